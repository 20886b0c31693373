// What the vCard and CSV readers of the import share: the address fields by
// position, and a few text helpers.
#pragma once

#include <string>

namespace domora::import_detail {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

inline bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// True for UTF-8 that holds at least one multi-byte sequence: plain ASCII
// and Windows-1252 text are left as they are.
bool valid_utf8_with_multibyte(const std::string& bytes);

}  // namespace domora::import_detail
