// The screen font the user chose on the Options screen: its face, size and
// smoothing live in the settings and are checked against the system and the
// window before the fonts are made from them.
#pragma once

#include <string>
#include <vector>

#include "app/settings.h"

namespace domora {

inline constexpr const char* kDefaultScreenFont = "Arial";
inline constexpr int kDefaultScreenFontSize = 20;
inline constexpr int kSmallestScreenFontSize = 16;

// The largest size a client this high allows: 920 px and more 36, 890 34,
// 840 32, 810 30, 780 28, 740 26, below that 24.
int largest_font_size(int client_height);
// The sizes offered: every even size from 16 up to the largest.
std::vector<int> font_size_choices(int client_height);
// True when face names an installed family, with case ignored. The default
// face always counts: the font system resolves it to a metric twin.
bool font_family_installed(const std::string& face, const std::vector<std::string>& installed);
// Puts the settings right in place, so that the next save stores what is
// shown: an unknown face becomes the default, a size of 0 the default size,
// and the size is capped for the client height.
void correct_font_settings(Settings& s, int client_height);

}  // namespace domora
