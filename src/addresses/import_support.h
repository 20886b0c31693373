// What the vCard and CSV readers of the import share: the address fields by
// position, and small text helpers.
#pragma once

#include <string>

namespace domora::import_detail {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

// Every from in text replaced by to, in one pass.
std::string replace_all(const std::string& text, const std::string& from, const std::string& to);

inline bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// True for UTF-8 that holds at least one multi-byte sequence: plain ASCII
// and Windows-1252 text are left as they are.
bool valid_utf8_with_multibyte(const std::string& bytes);

}  // namespace domora::import_detail
