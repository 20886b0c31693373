#include "passwords/password_record.h"

#include <algorithm>

#include "app/text.h"

namespace domora {

namespace {

const char* const kOldFormatNames[kOldFormatValueCount] = {"User Name:", "Password:", "PIN:", "URL:", "Note 1:",
                                                           "Note 2:", "Note 3:", "Note 4:", "Note 5:"};

}  // namespace

std::uint32_t read_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void write_u32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::int32_t record_id(RecordBytes record) {
    if (record.size() < kPasswordRecordHeaderSize) return 0;
    return static_cast<std::int32_t>(read_u32(record.data() + 8));
}

unsigned char record_format(RecordBytes record) { return record.size() < kPasswordRecordHeaderSize ? 0 : record[12]; }

std::vector<std::string> record_fields(RecordBytes record) {
    std::vector<std::string> fields;
    std::size_t at = kPasswordRecordHeaderSize;
    while (at < record.size()) {
        const auto begin = record.begin() + static_cast<std::ptrdiff_t>(at);
        const auto zero = std::find(begin, record.end(), 0);
        fields.emplace_back(begin, zero);
        at = static_cast<std::size_t>(zero - record.begin()) + 1;
    }
    return fields;
}

std::string record_text(RecordBytes record) {
    if (record.size() <= kPasswordRecordHeaderSize) return {};
    return std::string(record.begin() + kPasswordRecordHeaderSize, record.end());
}

PasswordLine split_line(const std::string& line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return {"", trim(line)};
    return {trim(line.substr(0, colon + 1)), trim(line.substr(colon + 1))};
}

PasswordEntry read_entry(RecordBytes record) {
    PasswordEntry entry;
    entry.id = record_id(record);
    entry.format = record_format(record);
    const std::vector<std::string> fields = record_fields(record);
    if (fields.empty()) return entry;
    entry.title = fields[0];
    if (entry.format == kFormatOld) {
        for (int i = 0; i < kOldFormatValueCount && i + 1 < static_cast<int>(fields.size()); ++i) {
            const std::string value = trim(fields[static_cast<std::size_t>(i + 1)]);
            if (!value.empty()) entry.lines.push_back({kOldFormatNames[i], value});
        }
        return entry;
    }
    for (int i = 1; i <= kPasswordLineCount && i < static_cast<int>(fields.size()); ++i) {
        const std::string& line = fields[static_cast<std::size_t>(i)];
        if (trim(line).empty()) continue;
        entry.lines.push_back(split_line(line));
    }
    return entry;
}

std::vector<unsigned char> build_record(std::int32_t id, const std::vector<std::string>& fields, unsigned char kept) {
    std::vector<unsigned char> record(kPasswordRecordHeaderSize, 0);
    record[4] = 'M';
    record[5] = 'S';
    record[6] = 'R';
    record[7] = 'I';
    write_u32(record.data() + 8, static_cast<std::uint32_t>(id));
    record[12] = kFormatCurrent;
    record[13] = kept;
    for (int i = 0; i < kPasswordFieldCount; ++i) {
        std::string field = i < static_cast<int>(fields.size()) ? fields[static_cast<std::size_t>(i)] : std::string();
        field = field.substr(0, std::min(field.find('\0'), kMaxFieldLength));
        record.insert(record.end(), field.begin(), field.end());
        record.push_back(0);
    }
    write_u32(record.data(), static_cast<std::uint32_t>(record.size()));
    return record;
}

ValueKind classify_value(const std::string& value) {
    const std::string v = to_lower(value);
    const std::size_t at = v.find('@');
    if (at != std::string::npos && at >= 1) {
        const std::size_t dot = v.find('.', at + 1);
        if (dot != std::string::npos && dot > at + 1 && dot + 1 < v.size()) return ValueKind::kEmail;
    }
    if (v.rfind("www.", 0) == 0 && v.size() > 4) return ValueKind::kWeb;
    if (v.rfind("http", 0) == 0 && v.find(':', 4) != std::string::npos && v.find('.', 4) != std::string::npos) {
        return ValueKind::kWeb;
    }
    return ValueKind::kText;
}

std::string sort_key(RecordBytes record) {
    const std::vector<std::string> fields = record_fields(record);
    std::string key;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) key += ' ';
        if (i < fields.size()) key += fields[i];
    }
    return to_upper(trim(key));
}

std::string clipboard_line_ends(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace domora
