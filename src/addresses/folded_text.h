// Finding an upper-cased text in bytes of any case, in place: the bytes are
// folded through the Windows-1252 upper-casing table as they are compared,
// never copied.
#pragma once

#include <string>
#include <string_view>

namespace domora {

class FoldedText {
public:
    // wanted: already upper-cased, not empty.
    explicit FoldedText(std::string wanted);
    // True when the text occurs in bytes, letter case ignored.
    bool in(std::string_view bytes) const;

private:
    bool matches_at(std::string_view bytes, std::size_t at) const;

    std::string m_wanted;
    unsigned char m_fold[256];
    // The bytes that fold to the first wanted byte: one or two in this code page.
    unsigned char m_first_a = 0;
    unsigned char m_first_b = 0;
};

}  // namespace domora
