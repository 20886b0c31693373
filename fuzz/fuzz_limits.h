// Checks shared by the import targets.
#pragma once

#include "addresses/address_export.h"
#include "fuzz_support.h"

namespace domora::fuzz {

// What an imported record must be before it reaches the address store: no
// value over 280 characters, no zero byte, and room in the record builder.
inline void check_importable(const AddressFields& fields) {
    std::size_t total = kAddressRecordHeaderSize;
    for (const std::string& value : fields) {
        FUZZ_CHECK(value.size() <= 280);
        FUZZ_CHECK(value.find('\0') == std::string::npos);
        total += value.size() + 1;
    }
    FUZZ_CHECK(total <= kAddressRecordBuilderSize);
}

// Seventeen values made of the input: split at 0x1F, line breaks, quotes
// kept, zero bytes and the separators themselves gone.
inline AddressFields fields_from(std::string_view bytes, bool keep_line_breaks) {
    AddressFields fields;
    std::size_t field = 0;
    for (char c : bytes) {
        if (c == '\x1F') {
            if (++field == fields.size()) break;
            continue;
        }
        if (c == '\0' || (!keep_line_breaks && (c == '\r' || c == '\n'))) continue;
        if (fields[field].size() < 100) fields[field] += c;
    }
    return fields;
}

}  // namespace domora::fuzz
