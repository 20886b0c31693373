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

}  // namespace

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