#include "platform/font_families.h"

#include <algorithm>
#include <cctype>

namespace domora {

namespace {

FontCatalogue* g_catalogue = nullptr;

std::string folded(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

void set_font_catalogue(FontCatalogue* catalogue) { g_catalogue = catalogue; }

std::vector<std::string> installed_font_families() {
    std::vector<std::string> names = g_catalogue ? g_catalogue->families() : std::vector<std::string>{};
    names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return folded(a) < folded(b); });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) { return folded(a) == folded(b); }),
                names.end());
    return names;
}

}  // namespace domora
