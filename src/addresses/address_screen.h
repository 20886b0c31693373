// The Addresses screen.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "addresses/address_store.h"

namespace domora {

// Widget identifiers of the screen (tabs use 3 to 8, the header band 1).
enum AddressWidgetId {
    kIdAddressList = 510,
    kIdShowAll = 520,
    kIdShowSearch = 521,
    kIdSelectAll = 522,
    kIdScrollUp = 530,
    kIdScrollBar = 531,
    kIdScrollDown = 532,
    kIdFind = 540,
    kIdPrint = 541,
    kIdMap = 542,
    kIdAdd = 543,
    kIdEdit = 544,
    kIdDelete = 545,
    kIdImport = 546,
    kIdExport = 547,
    kIdEmailLink = 550,
    kIdWebLink = 551,
};

// Runs the screen's loop until another screen is chosen or the program quits.
void address_screen();

// What a list row shows in its two columns.
std::pair<std::string, std::string> address_row_columns(const AddressRecord& record);

// One line of the "Current Address" panel; links carry their address.
struct DetailLine {
    enum Kind { Text, Email, WebSite } kind = Text;
    std::string text;  // the whole line, or for links the address
};
std::vector<DetailLine> address_detail_lines(const AddressRecord& record);

}  // namespace domora
