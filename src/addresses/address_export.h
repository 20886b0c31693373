// The four export formats of the address book: vCard, CSV, an e-mail list
// and plain text. Each writer takes the selected records in view order and
// gives the whole file's text, every line ending in CR LF.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "addresses/address_store.h"
#include "platform/platform.h"

namespace domora {

using AddressFields = std::array<std::string, kAddressFieldCount>;

struct ExportRecord {
    AddressFields fields;
    bool last_in_view = false;  // plain text puts a separator after every other record
};

// vCard 3.0 as RFC 2426 has it (text values escaped, line breaks inside a
// value as \n, lines folded at 75 octets of UTF-8); stamp is the export's
// UTC time. The text is Windows-1252, for the clipboard, which converts it.
std::string vcard_text(const std::vector<ExportRecord>& records, const UtcTime& stamp);
// A text value escaped as the vCard writer escapes it (backslash, comma,
// semicolon; a line break as \n).
std::string vcard_escaped(const std::string& value);
// The same as a file holds it: UTF-8, the encoding vCard readers expect.
std::string vcard_file(const std::vector<ExportRecord>& records, const UtcTime& stamp);
// A header line, then every value quoted; a quote inside a value is doubled.
std::string csv_text(const std::vector<ExportRecord>& records);
// One address a line, with the name in front when both names are known.
// lines is how many were written (0: there is nothing to export).
std::string email_list_text(const std::vector<ExportRecord>& records, int& lines);
std::string plain_text(const std::vector<ExportRecord>& records);

// The default extension is added when the name has no "." or more than
// five characters after its last ".".
std::string with_default_extension(const std::string& name, const std::string& extension);

}  // namespace domora
