// The CSV headers of the common contact exporters (Google in its current and
// older layouts, Outlook in English, Thunderbird), whose columns are mapped
// by their exact names, and the per-line rules their layouts need.
#pragma once

#include <string>
#include <vector>

#include "addresses/address_import.h"

namespace domora {

// True, with the mapping, when the header is a known exporter's.
bool known_layout_map(const std::vector<std::string>& header, FieldMapping& mapping);

// Label columns beside phone columns ("Phone 1 - Label" / "Phone 1 - Value")
// and a known exporter's address groups.
CsvColumns csv_columns(const std::vector<std::string>& header);

// Corrects a mapped record by what the columns say: the phone columns the
// mapping feeds into the phone fields go to the field their label names
// (Mobile, Work, Home; faxes and pagers are dropped), others to the field
// mapped to them or the next empty one; and when the mapped address group
// is empty on this line, the first other group that is not takes its place.
void apply_columns(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns,
                   AddressFields& record);

}  // namespace domora
