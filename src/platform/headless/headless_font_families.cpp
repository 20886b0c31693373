#include "platform/headless/headless_font_families.h"

namespace domora {

std::vector<std::string> HeadlessFontCatalogue::standard_names() {
    return {"DejaVu Sans", "DejaVu Serif", "Liberation Mono", "Liberation Sans", "Liberation Serif", "Noto Sans",
            "Verdana", "Caf\xE9 Script"};
}

}  // namespace domora
