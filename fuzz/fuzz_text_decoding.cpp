// Text decoding of imported files and the clipboard: any bytes decode, and a
// Windows-1252 text reaches the program unchanged whether it came as UTF-8
// or UTF-16 of either byte order, with its mark.
#include "addresses/address_import.h"
#include "fuzz_support.h"
#include "platform/cp1252.h"

using namespace domora;

namespace {

std::string utf16(const std::string& text, bool big_endian) {
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (unsigned char c : text) {
        const char32_t u = cp1252_to_unicode(c);
        const char high = static_cast<char>((u >> 8) & 0xFF);
        const char low = static_cast<char>(u & 0xFF);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(fuzz::input_text(data, size));
    (void)import_text(bytes);
    (void)utf8_to_cp1252(bytes);

    // The input as Windows-1252 text, without zero bytes (they end a text).
    std::string text;
    for (char c : bytes) {
        if (c != '\0') text += c;
    }
    // What the code page cannot carry through Unicode is the one thing allowed to change.
    std::string expected;
    for (unsigned char c : text) expected += unicode_to_cp1252(cp1252_to_unicode(c));

    FUZZ_CHECK(utf8_to_cp1252(cp1252_to_utf8(text)) == expected);
    FUZZ_CHECK(import_text("\xEF\xBB\xBF" + cp1252_to_utf8(text)) == expected);
    FUZZ_CHECK(import_text(utf16(text, false)) == expected);
    FUZZ_CHECK(import_text(utf16(text, true)) == expected);
    return 0;
}
