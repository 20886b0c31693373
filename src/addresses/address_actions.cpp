#include "addresses/address_actions.h"

#include <algorithm>

#include "app/files.h"
#include "app/launch.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/popups.h"

namespace domora {

namespace {

std::vector<std::string> g_captured;
std::vector<std::string> g_captured_lower;

std::string blanks_to_plus(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '+');
    return text;
}

// Control bytes 0 to 10 go, runs of blanks become one, the ends are trimmed.
std::string clean_bing_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 10) continue;
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return trim(out);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

MapHosts& map_hosts() {
    static MapHosts hosts;
    return hosts;
}

// ---- map ----------------------------------------------------------------------------------------

bool address_can_be_mapped(const AddressRecord& record) {
    const auto empty = [&](int field) { return trim(record.fields[static_cast<std::size_t>(field)]).empty(); };
    if (empty(kFieldAddress1) && empty(kFieldAddress2)) return false;
    return !empty(kFieldCity) && !empty(kFieldState) && !empty(kFieldZip);
}

std::string map_web_address(MapService service, const AddressRecord& record) {
    const auto& f = record.fields;
    const std::string& a1 = f[kFieldAddress1];
    const std::string& a2 = f[kFieldAddress2];
    const std::string& city = f[kFieldCity];
    const std::string& state = f[kFieldState];
    const std::string& zip = f[kFieldZip];
    switch (service) {
        case MapService::Google: {
            std::string text = trim(a1);
            if (!trim(a2).empty()) text += ", " + trim(a2);
            text += ", " + city + ", " + state + " " + zip;
            return "https://" + map_hosts().google + "/maps/place/" + blanks_to_plus(text);
        }
        case MapService::Mapquest: {
            std::string query;
            const std::string street = trim(a1 + " " + a2);
            if (!street.empty()) query += street;
            query.append(",").append(trim(city)).append(",").append(trim(state)).append(" ").append(zip);
            return "https://" + map_hosts().mapquest + "/search/result?query=" + query;
        }
        case MapService::Bing:
        default: {
            const std::string text = clean_bing_text(a1 + " " + a2 + ", " + city + ", " + state + " " + zip);
            return "https://" + map_hosts().bing + "/maps/?v=2&where1=" + text;
        }
    }
}

void map_current_address(AddressStore& store) {
    if (store.size() == 0) {
        show_message("There are no addresses to map");
        return;
    }
    if (!store.valid_position(store.current())) {
        show_message("No Record Selected");
        return;
    }
    const AddressRecord record = store.record_at(store.item(store.current()));
    if (!address_can_be_mapped(record)) {
        show_message("The current record has an incomplete address");
        return;
    }
    int button = 2;
    int chosen = 0;
    ShowChoice("Map Current Address", "Google Maps|Mapquest|Bing Maps", "OK|Cancel", button, chosen);
    if (button != 1 || chosen < 0 || chosen > 2) return;
    open_web_page(map_web_address(static_cast<MapService>(chosen), record));
}

// ---- clipboard --------------------------------------------------------------------------------------

void File_to_Clipboard(const std::string& path) {
    if (!file_exists(path)) {
        show_message("File_to_Clipboard|" + path + "|is missing");
        return;
    }
    Result<std::string> data = read_whole_file(path);
    if (!data) {
        show_message("File_to_Clipboard|" + path + "|could not be read");
        return;
    }
    if (data.value().empty()) {
        show_message("File_to_Clipboard|" + path + "|is empty");
        return;
    }
    // The clipboard takes text up to its first zero byte.
    std::string& text = data.value();
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    platform().set_clipboard_text(text);
}

std::string web_address_in(const std::string& clipboard) {
    std::string text = clipboard.substr(0, clipboard.find('\0'));
    text = trim(text);
    const auto blank = std::find_if(text.begin(), text.end(), is_blank);
    text.erase(blank, text.end());
    if (to_lower(text.substr(0, 4)) == "www.") text = "http://" + text;
    const std::string lower = to_lower(text);
    if (lower.find("www") == std::string::npos && lower.find("http") == std::string::npos) return {};
    return text;
}

void capture_web_address() {
    const std::string address = web_address_in(platform().clipboard_text());
    if (address.empty()) return;
    const std::string lower = to_lower(address);
    if (std::find(g_captured_lower.begin(), g_captured_lower.end(), lower) != g_captured_lower.end()) return;
    g_captured.push_back(address);
    g_captured_lower.push_back(lower);
    if (!platform().is_foreground()) platform().play_sound("DING");
}

const std::vector<std::string>& captured_web_addresses() { return g_captured; }

void forget_captured_web_addresses() {
    g_captured.clear();
    g_captured_lower.clear();
}

void install_web_address_capture() { set_clipboard_handler(capture_web_address); }

}  // namespace domora
