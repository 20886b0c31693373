// Moving addresses in and out: the Export and Import buttons of the
// Addresses screen, with their choices, the file browser, the clipboard and
// the CSV mapping form.
#pragma once

#include <string>
#include <vector>

#include "addresses/address_import.h"
#include "addresses/address_store.h"

namespace domora {

// Writes the selected records of the view as the user chooses: vCard, CSV,
// an e-mail list or plain text, to a file or the clipboard.
void export_addresses(AddressStore& store);

// Reads addresses from a vCard or CSV file or the clipboard, appends them,
// sorts, and makes the last one read current and alone selected.
void import_addresses(AddressStore& store);

// The two importers on a file: they append to the store and give the id of
// the last record appended (0 when none). False when nothing was imported
// (for CSV: when the mapping form was cancelled).
bool import_vcard_file(AddressStore& store, const std::string& path, std::int32_t& last_id);
bool import_csv_file(AddressStore& store, const std::string& path, std::int32_t& last_id);

// The form in which the user matches CSV columns to the address fields.
// Starts from auto_map; false when cancelled.
bool run_mapping_form(const std::vector<std::string>& header, const std::string& header_line, FieldMapping& mapping);

}  // namespace domora
