// Conversion between Windows-1252 byte strings and UTF-8, used only where
// text crosses to the outside world (drawing, keyboard, clipboard, file names).
#pragma once

#include <string>
#include <string_view>

namespace domora {

// Every byte has a code point: the five bytes that Windows-1252 leaves
// unassigned map to the C1 controls of the same value, so any byte string
// survives a round trip.
char32_t cp1252_to_unicode(unsigned char byte);
// '?' for a code point that Windows-1252 cannot hold.
char unicode_to_cp1252(char32_t code_point);

std::string cp1252_to_utf8(std::string_view bytes);
// Malformed UTF-8 sequences and characters outside Windows-1252 become '?'.
std::string utf8_to_cp1252(std::string_view utf8);

}  // namespace domora
