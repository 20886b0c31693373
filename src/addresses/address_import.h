// Reading addresses that other programs wrote: vCard files of any version
// and CSV files with a header line, from a file or the clipboard.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "addresses/address_export.h"

namespace domora {

// A file's or the clipboard's bytes as Windows-1252 text: a byte-order mark
// is skipped, UTF-16 and UTF-8 are converted (what the code page cannot hold
// becomes '?'), anything else is taken as Windows-1252 already.
std::string import_text(const std::string& bytes);

// ---- CSV ---------------------------------------------------------------------------------

// The lines of a CSV text; a quoted field may run over line ends.
std::vector<std::string> csv_lines(const std::string& text);
// The fields of one line: blanks around a line and before a field are
// dropped; a quoted field runs to its closing quote ("" stands for one
// quote, line breaks inside become ", "); any other field runs to the next
// comma and loses its trailing blanks.
std::vector<std::string> split_csv_line(const std::string& line);

// For each address field, 0 (not imported) or the 1-based column feeding it.
using FieldMapping = std::array<int, kAddressFieldCount>;
// Matches the header's columns to the address fields by their words, and
// writes the "Field Mapping: " line to the status log.
FieldMapping auto_map(const std::vector<std::string>& header, const std::string& header_line);
// Line 0 is a header when 3 or more of its fields name "first", "last" or "address".
bool is_header_line(const std::vector<std::string>& fields);
// The record a line gives under a mapping.
AddressFields mapped_record(const std::vector<std::string>& fields, const FieldMapping& mapping);

// ---- vCard --------------------------------------------------------------------------------

// Every card of a vCard text, each line written to the status log as it is read.
std::vector<AddressFields> parse_vcards(const std::string& text);

// ---- both ------------------------------------------------------------------------------------

// Cuts values to 280 characters, then shortens the longest ones until the
// record fits the 4096-byte record builder.
void fit_to_record(AddressFields& fields);
// The status-log entries for one imported record.
void log_imported_record(const AddressFields& fields);

}  // namespace domora
