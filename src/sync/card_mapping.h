// Between our 17 address fields and the cards a CardDAV server keeps. Cards
// are read by the import's rules and written with the export's lines; an
// upload replaces only the properties of the fields that changed inside the
// card as the server last had it, so every property we do not own (photos,
// more numbers and addresses, birthdays, categories, X- properties, groups)
// stays exactly as it was.
#pragma once

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "addresses/address_export.h"
#include "platform/platform.h"

namespace domora {

using FieldSet = std::bitset<kAddressFieldCount>;

// The fields in which two records differ.
FieldSet changed_fields(const AddressFields& before, const AddressFields& after);

// The fields of a card (UTF-8, as the server sends it) by the import's rules.
AddressFields card_fields(std::string_view card);
// The card's UID, "" when it has none.
std::string card_uid(std::string_view card);

// A new card for a record: the export's vCard 3.0 with this UID, UTF-8, lines ended by CR LF.
std::string new_card(const AddressFields& fields, const std::string& uid, const UtcTime& stamp);

// The card with the properties of the changed fields made to hold fields'
// values (added where the card had none, removed where the value is now
// empty), a REV of stamp and a UID (uid when it had none). Lines of
// properties we left alone keep their bytes.
std::string patched_card(std::string_view card, const AddressFields& fields, const FieldSet& changed, const std::string& uid,
                         const UtcTime& stamp);

// ---- content lines, for the mapping and its tests ---------------------------------------------------

struct ContentLine {
    std::string raw;    // as the card had it, folds included, without the line end
    std::string value;  // unfolded
    std::string name;   // property name, upper case, without group
    std::string group;  // "item1" for "item1.TEL", else ""
};
std::vector<ContentLine> content_lines(std::string_view card);
// A content line folded at 75 octets, never inside a UTF-8 character or after an escaping backslash.
std::string fold_line(std::string_view line);

}  // namespace domora
