#include "addresses/address_records.h"

#include <climits>

namespace domora {

AddressRecordIndex::AddressRecordIndex(AddressStore& store) : m_store(store) {
    store.each_frame([this](std::uint32_t offset) {
        const std::int32_t id = m_store.id_at(offset);
        if (id > m_largest) m_largest = id;
        if (m_store.live_at(offset)) m_offsets[id] = offset;
        return true;
    });
}

std::optional<AddressRecord> AddressRecordIndex::find(std::int32_t id) const {
    const auto found = m_offsets.find(id);
    if (found == m_offsets.end()) return std::nullopt;
    return m_store.record_at(found->second);
}

void AddressRecordIndex::reserve_adds(std::size_t count, std::size_t bytes) {
    m_offsets.reserve(m_offsets.size() + count);
    m_store.reserve_appends(count, bytes);
}

std::int32_t AddressRecordIndex::add(const AddressValues& values, AddressValues& stored) {
    // Above every id in the image, not only those the view shows; after the
    // largest id the smallest one no record has.
    std::int32_t id = m_largest < INT32_MAX ? m_largest + 1 : 0;
    if (id == 0) {
        for (id = 1; m_offsets.count(id); ++id) {
        }
    } else {
        m_largest = id;
    }
    const AppendResult appended = m_store.append_record(id, 0, values);
    m_offsets[id] = appended.offset;
    stored = m_store.record_at(appended.offset).fields;
    m_changed = true;
    return id;
}

bool AddressRecordIndex::edit(std::int32_t id, const AddressValues& values, AddressValues& stored) {
    const auto found = m_offsets.find(id);
    if (found == m_offsets.end()) return false;
    const std::uint8_t marks = m_store.marks_at(found->second);
    // Deleted first, so the record's own name does not count as taken.
    m_store.set_live_at(found->second, false);
    const AppendResult appended = m_store.append_record(id, marks, values);
    found->second = appended.offset;
    stored = m_store.record_at(appended.offset).fields;
    m_changed = true;
    return true;
}

bool AddressRecordIndex::remove(std::int32_t id) {
    const auto found = m_offsets.find(id);
    if (found == m_offsets.end()) return false;
    m_store.set_live_at(found->second, false);
    m_offsets.erase(found);
    m_changed = true;
    return true;
}

}  // namespace domora
