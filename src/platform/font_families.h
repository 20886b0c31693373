// The font families installed on the system, for the user's choice of the
// screen font. Each backend supplies its own catalogue; until one is set the
// list is empty.
#pragma once

#include <string>
#include <vector>

namespace domora {

class FontCatalogue {
public:
    virtual ~FontCatalogue() = default;
    // Family names as Windows-1252 byte strings, in any order.
    virtual std::vector<std::string> families() = 0;
};

void set_font_catalogue(FontCatalogue* catalogue);
// The installed families, sorted with case ignored, each name once.
std::vector<std::string> installed_font_families();

}  // namespace domora
