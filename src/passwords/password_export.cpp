#include "passwords/password_export.h"

#include "app/csv_text.h"
#include "app/text.h"
#include "passwords/secure_memory.h"

namespace domora {

namespace {

std::string slot_text(const PasswordLine& slot) { return trim(trim(slot.name) + " " + trim(slot.value)); }


}  // namespace

// A record's slots as stored: the current format keeps its lines in place
// (empty ones too); the older one has its fixed names.
PasswordExportRecord password_export_record(RecordBytes bytes) {
    PasswordExportRecord out;
    const PasswordEntry entry = read_entry(bytes);
    out.title = entry.title;
    if (entry.format == kFormatCurrent) {
        const std::vector<std::string> fields = record_fields(bytes);
        for (std::size_t i = 1; i < fields.size() && i <= out.slots.size(); ++i) out.slots[i - 1] = split_line(fields[i]);
    } else {
        for (std::size_t i = 0; i < entry.lines.size() && i < out.slots.size(); ++i) out.slots[i] = entry.lines[i];
    }
    return out;
}

void wipe_export_records(std::vector<PasswordExportRecord>& records) {
    for (PasswordExportRecord& r : records) {
        wipe(r.title);
        for (PasswordLine& line : r.slots) {
            wipe(line.name);
            wipe(line.value);
        }
    }
}

std::string password_plain_text(const std::vector<PasswordExportRecord>& records) {
    std::string out;
    for (const PasswordExportRecord& record : records) {
        out += record.title + "\r\n";
        for (const PasswordLine& slot : record.slots) {
            if (!trim(slot.name).empty() || !trim(slot.value).empty()) out += slot_text(slot) + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

std::string password_csv_text(const std::vector<PasswordExportRecord>& records) {
    std::string out;
    for (const PasswordExportRecord& record : records) {
        out += csv_quoted(record.title);
        for (const PasswordLine& slot : record.slots) out.append(",").append(csv_quoted(slot_text(slot)));
        out += "\r\n";
    }
    return out;
}

std::string password_export_name(const std::string& name, const std::string& extension) {
    std::string trimmed = trim(name);
    if (trimmed.empty()) trimmed = "passwords";
    const std::size_t dot = trimmed.rfind('.');
    if (dot == std::string::npos) return trimmed + "." + extension;
    return trimmed.substr(0, dot + 1) + extension;
}

}  // namespace domora
