// What the vCard and CSV readers of the import share: the address fields by
// position, and a few text helpers.
#pragma once

#include <string>

#include "app/csv_text.h"

namespace domora::import_detail {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

inline bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// The reader of all imports shares it (app/csv_text.h).
using domora::valid_utf8_with_multibyte;

}  // namespace domora::import_detail
