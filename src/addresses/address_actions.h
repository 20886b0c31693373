// Actions that take address data out of the program: the current address on
// an online map, a text file onto the clipboard, and the capture of web
// addresses that the user copies while the program runs.
#pragma once

#include <string>
#include <vector>

#include "addresses/address_store.h"

namespace domora {

enum class MapService { Google = 0, Mapquest = 1, Bing = 2 };

// The https hosts of the map services; the services' own by default.
struct MapHosts {
    std::string google = "www.google.com";
    std::string mapquest = "www.mapquest.com";
    std::string bing = "www.bing.com";
};
MapHosts& map_hosts();

// False when Address 1 and Address 2 are both empty, or City, State or
// Zip/Postal Code is (Country is not needed).
bool address_can_be_mapped(const AddressRecord& record);
// The web address that shows the record on the service's map.
std::string map_web_address(MapService service, const AddressRecord& record);
// The "Map" button: checks the current record, asks for the service and
// opens its map in the browser.
void map_current_address(AddressStore& store);

// Puts the text of the file on the clipboard, telling the user when the
// file is missing or empty.
void File_to_Clipboard(const std::string& path);

// Run on every clipboard change: a copied web address that is new in this
// run is remembered, with the "DING" sound when the program is not the
// foreground window.
void capture_web_address();
// The web address that a copied text holds, or "" when it holds none.
std::string web_address_in(const std::string& clipboard);
// What was captured in this run, in order.
const std::vector<std::string>& captured_web_addresses();
void forget_captured_web_addresses();
// Hands clipboard changes of the main window to capture_web_address.
void install_web_address_capture();

}  // namespace domora
