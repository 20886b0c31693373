// The import's work on a file's text, shared by the Addresses screen and the
// command-line companion: the cards or lines read, each record fitted,
// logged and appended to the store. Nothing here asks or draws; the caller
// chooses the mapping and shows the progress.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "addresses/address_import.h"
#include "addresses/address_store.h"

namespace domora {

// How a long import shows where it is and learns that it should stop.
class ImportSteps {
public:
    virtual ~ImportSteps() = default;
    virtual void update(long long done, long long total) = 0;
    // False ends the import after the record in hand (the program is quitting).
    virtual bool keep_going() { return true; }
};

// Fits, logs and appends one imported record; last_id becomes its id.
void append_imported(AddressStore& store, AddressFields& fields, std::int32_t& last_id);

// Appends every card of a vCard file's bytes; the number of cards read.
std::size_t import_vcard_bytes(AddressStore& store, std::string bytes, ImportSteps& steps, std::int32_t& last_id);

// A CSV file's text split into lines, with its header.
struct CsvImportText {
    char separator = ',';
    std::vector<std::string> lines;
    std::vector<std::string> header;  // the first line's fields
    std::string header_line;          // the first line, outer blanks removed
};
// False when the bytes hold no text to import (fewer than 5 bytes, or no line).
bool read_csv_import(const std::string& bytes, CsvImportText& text);

struct CsvImportCount {
    int imported = 0;
    int skipped = 0;  // lines whose field count differs from the header's
};
// Appends every line under the mapping; a line with another field count than
// the header is skipped whole, and a first line that is a header is left out.
CsvImportCount import_csv_text(AddressStore& store, const CsvImportText& text, const FieldMapping& mapping, ImportSteps& steps,
                               std::int32_t& last_id);

// The message about skipped lines, "" when none were.
std::string skipped_lines_message(int skipped);

}  // namespace domora
