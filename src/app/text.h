// Byte-string helpers. Every text in Domora is a std::string of
// Windows-1252 bytes; casing follows the code page's ANSI rules and
// comparisons look at bytes as unsigned values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace domora {

unsigned char upper_byte(unsigned char c);
unsigned char lower_byte(unsigned char c);
// The same as tables indexed by the byte, for loops over many texts.
const std::array<unsigned char, 256>& upper_bytes();
const std::array<unsigned char, 256>& lower_bytes();
std::string to_upper(std::string_view text);
std::string to_lower(std::string_view text);
// Upper- or lower-cases the text where it is.
void upper_in_place(std::string& text);
void lower_in_place(std::string& text);

// <0, 0, >0 after upper-casing both sides (unsigned bytes, shorter prefix first).
int compare_upper(std::string_view a, std::string_view b);
// The same after lower-casing both sides; differs from compare_upper only for
// the few characters that sort between the two cases (e.g. '_').
int compare_lower(std::string_view a, std::string_view b);
bool equal_nocase(std::string_view a, std::string_view b);
// Case-sensitive byte comparison, unsigned.
int compare_bytes(std::string_view a, std::string_view b);

// Removes blanks (code 32) only, never tabs or other white space.
std::string trim(std::string_view text);
// Every from in text replaced by to, left to right, in one pass over the text.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

// A number as the status log writes it: decimal, with one leading blank when
// not negative (" 42", "-7").
std::string log_number(std::int64_t value);

// A whole number with commas between groups of three digits: "1,234,567".
std::string with_thousands(std::int64_t value);
// A count and what it counts: "1 address", "1,234 addresses".
std::string count_of(std::int64_t value, std::string_view one, std::string_view many);

// The value of the leading numeric part of a text: optional blanks, an
// optional sign, digits. "12abc" gives 12, "abc" gives 0. Clamped to 32 bits.
std::int32_t leading_number(std::string_view text);

}  // namespace domora
