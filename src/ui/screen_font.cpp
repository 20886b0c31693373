#include "ui/screen_font.h"

#include <algorithm>

#include "app/text.h"
#include "platform/font_families.h"

namespace domora {

int largest_font_size(int client_height) {
    if (client_height >= 920) return 36;
    if (client_height >= 890) return 34;
    if (client_height >= 840) return 32;
    if (client_height >= 810) return 30;
    if (client_height >= 780) return 28;
    if (client_height >= 740) return 26;
    return 24;
}

std::vector<int> font_size_choices(int client_height) {
    std::vector<int> sizes;
    for (int size = kSmallestScreenFontSize; size <= largest_font_size(client_height); size += 2) sizes.push_back(size);
    return sizes;
}

bool font_family_installed(const std::string& face, const std::vector<std::string>& installed) {
    const std::string wanted = to_lower(face);
    if (wanted == to_lower(kDefaultScreenFont)) return true;
    return std::any_of(installed.begin(), installed.end(), [&](const std::string& name) { return to_lower(name) == wanted; });
}

void correct_font_settings(Settings& s, int client_height) {
    if (!font_family_installed(s.screen_font, installed_font_families())) s.screen_font = kDefaultScreenFont;
    if (s.screen_font_size <= 0) s.screen_font_size = kDefaultScreenFontSize;
    s.screen_font_size = std::min(s.screen_font_size, largest_font_size(client_height));
}

}  // namespace domora
