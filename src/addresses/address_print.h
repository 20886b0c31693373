// Printing the selected addresses: the layout choice, the print settings
// screen, and the four layouts: labels, envelopes, the address book (full
// page or daytimer) and the member list.
#pragma once

#include <string>
#include <vector>

#include "addresses/address_store.h"
#include "printing/print_settings.h"

namespace domora {

// The Print button: choose a layout, adjust its settings, print.
void print_selected_addresses(AddressStore& store);

// Each validates the record, starts the printer and prints the selected
// addresses of the view in view order. False when the printer did not start.
bool print_labels(AddressStore& store, int layout_id, PrintSettings& record);
bool print_envelopes(AddressStore& store, int layout_id, PrintSettings& record);
bool print_address_book(AddressStore& store, int layout_id, PrintSettings& record);
bool print_member_list(AddressStore& store, int layout_id, PrintSettings& record);

// ---- the lines of each layout, for the routines and for tests --------------------------------

std::vector<std::string> label_lines(const AddressValues& a);
std::vector<std::string> envelope_lines(const AddressValues& a);
// Lines of an address book entry; the heading starts with "*", separators are empty lines.
std::vector<std::string> book_entry_lines(const AddressValues& a);
// Last + ", " + First as the book's heading shows it (without the "*").
std::string book_name(const AddressValues& a);

}  // namespace domora
