#include "addresses/address_csv_layouts.h"

#include <algorithm>
#include <array>

#include "app/text.h"

namespace domora {

namespace {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

using Group = std::array<const char*, 6>;

struct Layout {
    // Columns that together name the exporter.
    std::vector<const char*> signature;
    // The column of each address field, in field order; "" for none.
    std::array<const char*, kAddressFieldCount> columns;
    // Address groups in the order they stand in for one another.
    std::vector<Group> groups;
};

const Group kGoogleAddress1 = {"Address 1 - Street", "Address 1 - Extended Address", "Address 1 - City", "Address 1 - Region",
                               "Address 1 - Postal Code", "Address 1 - Country"};
const Group kGoogleAddress2 = {"Address 2 - Street", "Address 2 - Extended Address", "Address 2 - City", "Address 2 - Region",
                               "Address 2 - Postal Code", "Address 2 - Country"};
const Group kGoogleAddress3 = {"Address 3 - Street", "Address 3 - Extended Address", "Address 3 - City", "Address 3 - Region",
                               "Address 3 - Postal Code", "Address 3 - Country"};

const Layout kLayouts[] = {
    // Google Contacts, current layout.
    {{"First Name", "Last Name", "Phonetic First Name"},
     {"First Name", "Last Name", "Organization Name", kGoogleAddress1[0], kGoogleAddress1[1], kGoogleAddress1[2], kGoogleAddress1[3],
      kGoogleAddress1[4], kGoogleAddress1[5], "Phone 1 - Value", "Phone 2 - Value", "Phone 3 - Value", "E-mail 1 - Value",
      "Website 1 - Value", "Notes", "", ""},
     {kGoogleAddress1, kGoogleAddress2, kGoogleAddress3}},
    // Google Contacts, older layout.
    {{"Given Name", "Family Name"},
     {"Given Name", "Family Name", "Organization 1 - Name", kGoogleAddress1[0], kGoogleAddress1[1], kGoogleAddress1[2],
      kGoogleAddress1[3], kGoogleAddress1[4], kGoogleAddress1[5], "Phone 1 - Value", "Phone 2 - Value", "Phone 3 - Value",
      "E-mail 1 - Value", "Website 1 - Value", "Notes", "", ""},
     {kGoogleAddress1, kGoogleAddress2, kGoogleAddress3}},
    // Outlook, English.
    {{"First Name", "Last Name", "Home Street", "Business Street"},
     {"First Name", "Last Name", "Company", "Home Street", "Home Street 2", "Home City", "Home State", "Home Postal Code",
      "Home Country/Region", "Home Phone", "Business Phone", "Mobile Phone", "E-mail Address", "Web Page", "Notes", "", ""},
     {{"Home Street", "Home Street 2", "Home City", "Home State", "Home Postal Code", "Home Country/Region"},
      {"Business Street", "Business Street 2", "Business City", "Business State", "Business Postal Code", "Business Country/Region"},
      {"Other Street", "Other Street 2", "Other City", "Other State", "Other Postal Code", "Other Country/Region"}}},
    // Thunderbird.
    {{"First Name", "Last Name", "Display Name", "Primary Email"},
     {"First Name", "Last Name", "Organization", "Home Address", "Home Address 2", "Home City", "Home State", "Home ZipCode",
      "Home Country", "Home Phone", "Work Phone", "Mobile Number", "Primary Email", "Web Page 1", "Notes", "", ""},
     {{"Home Address", "Home Address 2", "Home City", "Home State", "Home ZipCode", "Home Country"},
      {"Work Address", "Work Address 2", "Work City", "Work State", "Work ZipCode", "Work Country"}}},
};

// The 1-based column named exactly so (letter case and outer blanks aside), or 0.
int column_of(const std::vector<std::string>& header, std::string_view name) {
    if (name.empty()) return 0;
    for (std::size_t c = 0; c < header.size(); ++c) {
        if (equal_nocase(trim(header[c]), name)) return static_cast<int>(c) + 1;
    }
    return 0;
}

const Layout* known_layout(const std::vector<std::string>& header) {
    for (const Layout& layout : kLayouts) {
        if (std::all_of(layout.signature.begin(), layout.signature.end(),
                        [&](const char* name) { return column_of(header, name) > 0; })) {
            return &layout;
        }
    }
    return nullptr;
}

bool ends_with_nocase(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && equal_nocase(std::string_view(text).substr(text.size() - tail.size()), tail);
}

std::string value_at(const std::vector<std::string>& fields, int column) {
    return column > 0 && column <= static_cast<int>(fields.size()) ? trim(fields[static_cast<std::size_t>(column - 1)]) : std::string();
}

// The phone field a label names, -1 for none; -2 for numbers that are no phone (fax, pager).
int phone_of_label(std::string label) {
    label = to_lower(trim(label));
    if (label.rfind("* ", 0) == 0) label = label.substr(2);  // Google marks the primary one so
    auto has = [&label](const char* word) { return label.find(word) != std::string::npos; };
    if (has("fax") || has("pager")) return -2;
    if (has("mobile") || has("cell")) return kCellPhone;
    if (has("work") || has("business") || has("office")) return kWorkPhone;
    if (has("home")) return kHomePhone;
    return -1;
}

void route_labelled_phones(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns,
                           AddressFields& record) {
    struct Source {
        int value, label, named;
    };
    std::vector<Source> sources;
    for (const CsvColumns::LabelledPhone& phone : columns.phones) {
        for (int field : {kHomePhone, kWorkPhone, kCellPhone}) {
            if (mapping[static_cast<std::size_t>(field)] != phone.value) continue;
            sources.push_back(Source{phone.value, phone.label, field});
            break;
        }
    }
    if (sources.empty()) return;
    for (const Source& s : sources) record[static_cast<std::size_t>(s.named)].clear();
    std::vector<Source> unplaced;
    for (const Source& s : sources) {
        const std::string number = value_at(fields, s.value);
        if (number.empty()) continue;
        const int target = phone_of_label(value_at(fields, s.label));
        if (target == -2) continue;
        if (target >= 0 && record[static_cast<std::size_t>(target)].empty()) {
            record[static_cast<std::size_t>(target)] = number;
        } else {
            unplaced.push_back(s);
        }
    }
    for (const Source& s : unplaced) {
        int target = s.named;
        for (int field : {s.named, static_cast<int>(kHomePhone), static_cast<int>(kWorkPhone), static_cast<int>(kCellPhone)}) {
            if (record[static_cast<std::size_t>(field)].empty()) {
                target = field;
                break;
            }
        }
        if (record[static_cast<std::size_t>(target)].empty()) record[static_cast<std::size_t>(target)] = value_at(fields, s.value);
    }
}

void stand_in_address(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns,
                      AddressFields& record) {
    const std::array<int, 6> mapped = {mapping[kAddress1], mapping[kAddress2], mapping[kCity],
                                       mapping[kState],    mapping[kZip],      mapping[kCountry]};
    auto empty = [&fields](const std::array<int, 6>& group) {
        return std::all_of(group.begin(), group.end(), [&fields](int column) { return value_at(fields, column).empty(); });
    };
    // Only the group as the exporter's mapping left it; a mapping the user changed is taken as it is.
    if (std::find(columns.address_groups.begin(), columns.address_groups.end(), mapped) == columns.address_groups.end()) return;
    if (!empty(mapped)) return;
    for (const std::array<int, 6>& group : columns.address_groups) {
        if (group == mapped || empty(group)) continue;
        for (std::size_t i = 0; i < group.size(); ++i) record[kAddress1 + i] = value_at(fields, group[i]);
        return;
    }
}

}  // namespace

bool known_layout_map(const std::vector<std::string>& header, FieldMapping& mapping) {
    const Layout* layout = known_layout(header);
    if (layout == nullptr) return false;
    for (std::size_t i = 0; i < mapping.size(); ++i) mapping[i] = column_of(header, layout->columns[i]);
    return true;
}

CsvColumns csv_columns(const std::vector<std::string>& header) {
    CsvColumns columns;
    for (std::size_t c = 0; c < header.size(); ++c) {
        const std::string name = trim(header[c]);
        if (!ends_with_nocase(name, " - Value") || !equal_nocase(std::string_view(name).substr(0, 6), "Phone ")) continue;
        const std::string prefix = name.substr(0, name.size() - 8);
        int label = column_of(header, prefix + " - Label");
        if (label == 0) label = column_of(header, prefix + " - Type");
        if (label > 0) columns.phones.push_back(CsvColumns::LabelledPhone{static_cast<int>(c) + 1, label});
    }
    if (const Layout* layout = known_layout(header)) {
        for (const Group& group : layout->groups) {
            std::array<int, 6> found{};
            for (std::size_t i = 0; i < group.size(); ++i) found[i] = column_of(header, group[i]);
            if (found[0] > 0 || found[2] > 0) columns.address_groups.push_back(found);
        }
    }
    return columns;
}

void apply_columns(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns,
                   AddressFields& record) {
    route_labelled_phones(fields, mapping, columns, record);
    stand_in_address(fields, mapping, columns, record);
}

}  // namespace domora
