#include "sync/packed_fields.h"

namespace domora {

namespace {

constexpr unsigned char kLongField = 255;

void put_length(std::string& out, std::size_t length) {
    if (length < kLongField) {
        out += static_cast<char>(length);
        return;
    }
    out += static_cast<char>(kLongField);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

// Walks the packing field by field. The bytes are only ever made by
// assign(), so they are whole; a short packing reads as empty fields all
// the same rather than past its end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    std::string_view next() {
        if (m_at >= m_bytes.size()) return {};
        std::size_t length = static_cast<unsigned char>(m_bytes[m_at++]);
        if (length == kLongField) {
            if (m_bytes.size() - m_at < 4) return end();
            length = 0;
            for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(m_bytes[m_at + static_cast<std::size_t>(i)]);
            m_at += 4;
        }
        if (length > m_bytes.size() - m_at) return end();
        const std::string_view field = m_bytes.substr(m_at, length);
        m_at += length;
        return field;
    }

private:
    std::string_view end() {
        m_at = m_bytes.size();
        return {};
    }
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

}  // namespace

void PackedFields::pack(const AddressFields& fields, std::string& out) {
    std::size_t size = 0;
    for (const std::string& f : fields) size += f.size() + (f.size() < kLongField ? 1 : 5);
    out.clear();
    if (size == fields.size()) return;  // all empty
    out.reserve(size);
    for (const std::string& f : fields) {
        put_length(out, f.size());
        out += f;
    }
}

void PackedFields::assign(const AddressFields& fields) {
    thread_local std::string packing;
    pack(fields, packing);
    m_bytes = std::string_view(packing);
}

std::string_view PackedFields::operator[](std::size_t field) const {
    Reader r(m_bytes.view());
    for (std::size_t i = 0; i < field; ++i) r.next();
    return r.next();
}

std::array<std::string_view, kAddressFieldCount> PackedFields::views_of(std::string_view bytes) {
    std::array<std::string_view, kAddressFieldCount> fields;
    Reader r(bytes);
    for (std::string_view& f : fields) f = r.next();
    return fields;
}

AddressFields PackedFields::unpacked() const {
    AddressFields fields;
    Reader r(m_bytes.view());
    for (std::string& f : fields) f = r.next();
    return fields;
}

void PackedFields::set(std::size_t field, std::string_view value) {
    AddressFields fields = unpacked();
    fields[field] = value;
    assign(fields);
}

bool PackedFields::operator==(const AddressFields& other) const {
    Reader r(m_bytes.view());
    for (const std::string& f : other) {
        if (r.next() != f) return false;
    }
    return true;
}

FieldSet changed_fields(const PackedFields& before, const AddressFields& after) {
    FieldSet set;
    Reader r(before.bytes());
    for (std::size_t i = 0; i < after.size(); ++i) set.set(i, r.next() != after[i]);
    return set;
}

FieldSet changed_fields(const PackedFields& before, const PackedFields& after) {
    FieldSet set;
    if (before == after) return set;
    Reader a(before.bytes()), b(after.bytes());
    for (std::size_t i = 0; i < kAddressFieldCount; ++i) set.set(i, a.next() != b.next());
    return set;
}

}  // namespace domora
