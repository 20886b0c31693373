// A fixed list of font families for tests; a test may change it.
#pragma once

#include <string>
#include <vector>

#include "platform/font_families.h"

namespace domora {

class HeadlessFontCatalogue : public FontCatalogue {
public:
    static std::vector<std::string> standard_names();
    std::vector<std::string> names = standard_names();
    std::vector<std::string> families() override { return names; }
};

}  // namespace domora
