#include "addresses/address_import.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "addresses/address_csv_layouts.h"
#include "addresses/import_support.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace import_detail {

bool valid_utf8_with_multibyte(const std::string& bytes) {
    bool multibyte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        // Plain ASCII, most of any file, eight bytes at a time.
        if (i + 8 <= bytes.size()) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2)) return false;
        if (extra > 0 && i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        }
        multibyte = multibyte || extra > 0;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return multibyte;
}

}  // namespace import_detail

using namespace import_detail;

namespace {

constexpr std::size_t kMaxValue = 280;
constexpr std::size_t kMaxRecord = 4096;
constexpr std::size_t kRecordHeader = 18;
// Kept free for the " (n)" the unique-name rule may add to First, so the store
// never has to cut the record again.
constexpr std::size_t kSuffixRoom = 16;
// When a record is too long, values are cut in this order, each only as far as needed.
constexpr int kCutOrder[] = {kMisc3, kMisc2, kMisc1, kAddress2, kWebSite, kAddress1, kCountry, kCity,
                             kState, kZip, kEmail, kCellPhone, kWorkPhone, kHomePhone};

// ---- text encodings ---------------------------------------------------------------------------

std::string utf16_to_cp1252(const std::string& bytes, std::size_t start, bool big_endian) {
    std::string out;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        char32_t unit = big_endian ? (a << 8 | b) : (b << 8 | a);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            i += 2;  // a pair outside the code page in any case
            out += '?';
            continue;
        }
        out += unicode_to_cp1252(unit);
    }
    return out;
}

}  // namespace

// ---- encodings ----------------------------------------------------------------------------------

std::string import_text(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return utf8_to_cp1252(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) return utf16_to_cp1252(bytes, 2, false);
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) return utf16_to_cp1252(bytes, 2, true);
    // UTF-16 without a mark shows as a zero in every other byte of plain text.
    if (bytes.size() >= 4 && bytes[1] == '\0' && bytes[3] == '\0' && bytes[0] != '\0') return utf16_to_cp1252(bytes, 0, false);
    if (bytes.size() >= 4 && bytes[0] == '\0' && bytes[2] == '\0' && bytes[1] != '\0') return utf16_to_cp1252(bytes, 0, true);
    if (valid_utf8_with_multibyte(bytes)) return utf8_to_cp1252(bytes);
    return bytes.substr(0, bytes.find('\0'));
}

std::string import_text(std::string&& bytes) {
    const std::string& in = bytes;
    const bool marked = (in.size() >= 3 && in.compare(0, 3, "\xEF\xBB\xBF") == 0) ||
                        (in.size() >= 2 && (in.compare(0, 2, "\xFF\xFE") == 0 || in.compare(0, 2, "\xFE\xFF") == 0));
    const bool bare_utf16 = in.size() >= 4 && ((in[1] == '\0' && in[3] == '\0' && in[0] != '\0') ||
                                               (in[0] == '\0' && in[2] == '\0' && in[1] != '\0'));
    if (marked || bare_utf16 || valid_utf8_with_multibyte(in)) return import_text(in);
    // Windows-1252 already: the bytes up to a zero are the text, no copy needed.
    const std::size_t zero = in.find('\0');
    if (zero != std::string::npos) bytes.resize(zero);
    return std::move(bytes);
}

// ---- CSV ------------------------------------------------------------------------------------------

char detect_separator(const std::string& text) {
    std::size_t commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;  // a doubled quote toggles twice
        if (quoted) continue;
        if (c == '\r' || c == '\n') break;
        if (c == ',') ++commas;
        if (c == ';') ++semicolons;
        if (c == '\t') ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs) return ';';
    if (tabs > commas && tabs > semicolons) return '\t';
    return ',';
}

std::vector<std::string> csv_lines(const std::string& text, char separator) {
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    bool field_start = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!quoted && (c == '\r' || c == '\n')) {
            lines.push_back(line);
            line.clear();
            field_start = true;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            continue;
        }
        line += c;
        if (quoted) {
            if (c != '"') continue;
            // A doubled quote inside a quoted field is one quote and the field goes on.
            if (i + 1 < text.size() && text[i + 1] == '"') {
                line += text[++i];
            } else {
                quoted = false;
            }
        } else if (c == separator) {
            field_start = true;
        } else if (c == '"' && field_start) {
            quoted = true;
            field_start = false;
        } else if (c != ' ') {
            field_start = false;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<std::string> split_csv_line(const std::string& raw, char separator) {
    const std::string line = trim(raw);
    std::vector<std::string> fields;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && line[i] == ' ') ++i;
        std::string value;
        if (i < line.size() && line[i] == '"') {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += line[i++];
            }
            value = replace_all(replace_all(replace_all(value, "\r\n", ", "), "\n", ", "), "\r", ", ");
            // Whatever follows the closing quote up to the separator is not part of the value.
            while (i < line.size() && line[i] != separator) ++i;
        } else {
            while (i < line.size() && line[i] != separator) value += line[i++];
            while (!value.empty() && value.back() == ' ') value.pop_back();
        }
        fields.push_back(value);
        if (i >= line.size()) break;
        ++i;  // the separator
    }
    return fields;
}

namespace {

// The keyword rules, for headers of no known exporter.
FieldMapping keyword_map(const std::vector<std::string>& header) {
    FieldMapping map{};
    std::vector<std::string> columns;
    for (const std::string& h : header) columns.push_back(to_lower(h));
    auto first_match = [&](auto test) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (test(columns[c], static_cast<int>(c) + 1)) return static_cast<int>(c) + 1;
        }
        return 0;
    };
    map[kFirst] = first_match([](const std::string& t, int) { return contains(t, "first"); });
    map[kLast] = first_match([](const std::string& t, int) { return contains(t, "last"); });
    map[kCompany] = first_match([](const std::string& t, int) {
        return (contains(t, "organization") || contains(t, "company") || contains(t, "business")) && !contains(t, "phone") &&
               !contains(t, "address");
    });
    // An e-mail column is never a street address; a mailing address is one.
    auto is_email = [](const std::string& t) { return contains(t, "mail") && !contains(t, "mailing"); };
    map[kAddress1] = first_match([&](const std::string& t, int) { return (contains(t, "street") || contains(t, "addr")) && !is_email(t); });
    const int address1 = map[kAddress1];
    map[kAddress2] = first_match([&](const std::string& t, int c) { return contains(t, "addr") && !is_email(t) && c != address1; });
    map[kCity] = first_match([](const std::string& t, int) { return contains(t, "city"); });
    map[kState] = first_match([](const std::string& t, int) { return contains(t, "state"); });
    map[kZip] = first_match([](const std::string& t, int) { return contains(t, "zip") || contains(t, "code"); });
    map[kCountry] = first_match([](const std::string& t, int) { return contains(t, "country"); });
    map[kHomePhone] = first_match([](const std::string& t, int) { return contains(t, "home") && contains(t, "phone"); });
    map[kWorkPhone] = first_match([](const std::string& t, int) { return (contains(t, "business") || contains(t, "work")) && contains(t, "phone"); });
    map[kCellPhone] = first_match([](const std::string& t, int) { return contains(t, "cell") || contains(t, "mobile"); });
    if (map[kHomePhone] == 0) map[kHomePhone] = first_match([](const std::string& t, int) { return contains(t, "phone"); });
    map[kEmail] = first_match([](const std::string& t, int) { return contains(t, "mail") && !contains(t, "mailing"); });
    map[kWebSite] = first_match([](const std::string& t, int) { return contains(t, "web"); });
    map[kMisc1] = first_match([](const std::string& t, int) { return contains(t, "misc 1"); });
    map[kMisc2] = first_match([](const std::string& t, int) { return contains(t, "misc 2"); });
    map[kMisc3] = first_match([](const std::string& t, int) { return contains(t, "misc 3"); });
    return map;
}

}  // namespace

FieldMapping auto_map(const std::vector<std::string>& header, const std::string& header_line) {
    status_log_write("Field Mapping: " + log_number(static_cast<std::int64_t>(header.size())) + " - " + header_line);
    FieldMapping map{};
    if (known_layout_map(header, map)) return map;
    return keyword_map(header);
}

bool is_header_line(const std::vector<std::string>& fields) {
    FieldMapping map{};
    if (known_layout_map(fields, map)) return true;
    // An e-mail address in line 0 is data, however its words read.
    std::vector<std::string> names;
    for (const std::string& f : fields) names.push_back(f.find('@') == std::string::npos ? f : std::string());
    map = keyword_map(names);
    return std::any_of(map.begin(), map.end(), [](int column) { return column > 0; });
}

AddressFields mapped_record(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns) {
    AddressFields record;
    for (int i = 0; i < kAddressFieldCount; ++i) {
        const int column = mapping[static_cast<std::size_t>(i)];
        if (column > 0 && column <= static_cast<int>(fields.size())) record[static_cast<std::size_t>(i)] = fields[static_cast<std::size_t>(column - 1)];
    }
    apply_columns(fields, mapping, columns, record);
    fit_to_record(record);
    return record;
}

// ---- both ------------------------------------------------------------------------------------------

void fit_to_record(AddressFields& fields) {
    std::size_t total = kRecordHeader;
    for (std::string& value : fields) {
        if (value.size() > kMaxValue) value.resize(kMaxValue);
        // A zero byte ends a value in the file.
        if (value.find('\0') != std::string::npos) std::replace(value.begin(), value.end(), '\0', ' ');
        total += value.size() + 1;
    }
    // The values that matter least give way first; a name or company is never
    // cut, as three values at most kMaxValue long always fit.
    static_assert(kRecordHeader + kAddressFieldCount + 3 * kMaxValue + kSuffixRoom <= kMaxRecord);
    for (int field : kCutOrder) {
        if (total + kSuffixRoom <= kMaxRecord) break;
        std::string& value = fields[static_cast<std::size_t>(field)];
        const std::size_t cut = std::min(value.size(), total + kSuffixRoom - kMaxRecord);
        value.resize(value.size() - cut);
        total -= cut;
    }
}

void log_imported_record(const AddressFields& f) {
    static constexpr std::pair<const char*, int> kLines[] = {
        {"First: ", kFirst},         {"Last: ", kLast},           {"Company: ", kCompany},     {"Address 1: ", kAddress1},
        {"Address 2: ", kAddress2},  {"City: ", kCity},           {"State: ", kState},         {"Zip: ", kZip},
        {"Country: ", kCountry},     {"Email: ", kEmail},         {"Web Site: ", kWebSite},    {"Home Phone: ", kHomePhone},
        {"Work Phone: ", kWorkPhone}, {"Cell Phone: ", kCellPhone}, {"Misc 1: ", kMisc1},        {"Misc 2: ", kMisc2},
        {"Misc 3: ", kMisc3},
    };
    std::size_t bytes = 32;
    for (const std::string& value : f) bytes += value.size() + 16;
    std::string entries;
    entries.reserve(bytes);
    entries += "\r\n";  // an empty entry first
    for (const auto& [label, field] : kLines) entries.append(label).append(f[static_cast<std::size_t>(field)]).append("\r\n");
    entries += "\r\n=======================\r\n";
    status_log_write(entries);  // one write, the same lines
}

}  // namespace domora