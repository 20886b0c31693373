#include "passwords/password_export.h"

#include "app/text.h"

namespace domora {

namespace {

std::string slot_text(const PasswordLine& slot) { return trim(trim(slot.name) + " " + trim(slot.value)); }

std::string quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

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
        out += quoted(record.title);
        for (const PasswordLine& slot : record.slots) out.append(",").append(quoted(slot_text(slot)));
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
