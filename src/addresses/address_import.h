// Reading addresses that other programs wrote: vCard files of any version
// and CSV files with a header line, from a file or the clipboard.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "addresses/address_export.h"
#include "app/csv_text.h"

namespace domora {

// ---- CSV ---------------------------------------------------------------------------------

// For each address field, 0 (not imported) or the 1-based column feeding it.
using FieldMapping = std::array<int, kAddressFieldCount>;

// What a header says beyond its column names: phone numbers whose kind is
// in a label column beside them, and address groups (home, business) that
// stand in for one another.
struct CsvColumns {
    struct LabelledPhone {
        int value = 0;  // 1-based columns
        int label = 0;
    };
    std::vector<LabelledPhone> phones;
    // Street, street 2, city, state, postal code, country; 0 where a group has no such column.
    std::vector<std::array<int, 6>> address_groups;
};

// Maps a known exporter's header exactly, otherwise matches the columns to
// the address fields by their words; writes the "Field Mapping: " line to
// the status log.
FieldMapping auto_map(const std::vector<std::string>& header, const std::string& header_line);
// Line 0 is a header when it is a known exporter's header or auto_map
// recognises at least one of its columns; otherwise it is the first record.
bool is_header_line(const std::vector<std::string>& fields);
// The record a line gives under a mapping.
AddressFields mapped_record(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns = {});

// ---- vCard --------------------------------------------------------------------------------

// The cards read from a vCard text, held compactly for a long import: one
// card's 17 values after another, each ended by a zero byte (values that
// went through fit_to_record hold none).
class VcardCards {
public:
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    void add(const AddressFields& fields);
    // The card at `at` (0 for the first); moves `at` to the next one. False after the last.
    bool next(std::size_t& at, AddressFields& fields) const;

private:
    std::string m_bytes;
    std::size_t m_count = 0;
};

// Every card of a vCard text, each line written to the status log as it is
// read unless log_lines is off (the contacts sync reads cards it keeps anyway).
VcardCards read_vcards(std::string_view text, bool log_lines = true);
std::vector<AddressFields> parse_vcards(const std::string& text);

// ---- both ------------------------------------------------------------------------------------

// Cuts values to 280 characters, then, while the record would not fit the
// 4096-byte record builder (with room for a " (n)" after First), shortens
// the values that matter least: Misc 3 to Misc 1, the address, web site,
// e-mail and phones. Names and company are never cut.
void fit_to_record(AddressFields& fields);
// The status-log entries for one imported record.
void log_imported_record(const AddressFields& fields);

}  // namespace domora
