// Our 17 address fields in one text, for what keeps a set per contact
// across a whole book (the book as the sync sees it): 17 strings cost 544
// bytes before their text, one compact text 8.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "sync/card_mapping.h"
#include "sync/compact_text.h"

namespace domora {

class PackedFields {
public:
    PackedFields() = default;  // every field empty
    // Implicit: a set of fields is stored wherever one is expected.
    PackedFields(const AddressFields& fields) { assign(fields); }  // NOLINT(google-explicit-constructor)
    PackedFields& operator=(const AddressFields& fields) {
        assign(fields);
        return *this;
    }

    std::string_view operator[](std::size_t field) const;
    AddressFields unpacked() const;
    // Every field, read in one pass; the views last as long as the packing is left alone.
    std::array<std::string_view, kAddressFieldCount> views() const { return views_of(bytes()); }
    // The same of bytes bytes() once gave, without copying them.
    static std::array<std::string_view, kAddressFieldCount> views_of(std::string_view bytes);
    // One field changed, the others kept.
    void set(std::size_t field, std::string_view value);

    // Bytes bytes() once gave (a short or damaged packing reads as empty fields).
    static PackedFields from_bytes(std::string_view bytes) {
        PackedFields p;
        p.m_bytes = bytes;
        return p;
    }
    // The packing of fields into out, whose room is reused.
    static void pack(const AddressFields& fields, std::string& out);
    // The packing is the same for the same fields, so its bytes are a key.
    std::string_view bytes() const { return m_bytes.view(); }
    bool operator==(const PackedFields& other) const { return m_bytes == other.m_bytes; }
    bool operator==(const AddressFields& other) const;

private:
    void assign(const AddressFields& fields);

    // Each field as its length (one byte below 255, else 255 and four bytes), then its text;
    // empty when every field is.
    CompactText m_bytes;
};

// The fields in which two records differ.
FieldSet changed_fields(const PackedFields& before, const AddressFields& after);
FieldSet changed_fields(const PackedFields& before, const PackedFields& after);

}  // namespace domora
