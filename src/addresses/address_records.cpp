#include "addresses/address_records.h"

#include <algorithm>
#include <climits>

namespace domora {

AddressRecordIndex::AddressRecordIndex(AddressStore& store) : m_store(store) {
    m_places.reserve(static_cast<std::size_t>(store.count()));
    store.each_frame([this](std::uint32_t offset) {
        const std::int32_t id = m_store.id_at(offset);
        if (id > m_largest) m_largest = id;
        if (m_store.live_at(offset)) m_places.push_back({id, offset});
        return true;
    });
    // Of two live records with one id, the later in the image stands for it.
    std::stable_sort(m_places.begin(), m_places.end(), [](const Place& a, const Place& b) { return a.id < b.id; });
    std::size_t to = 0;
    for (std::size_t i = 0; i < m_places.size(); ++i) {
        if (to > 0 && m_places[to - 1].id == m_places[i].id) {
            m_places[to - 1] = m_places[i];
        } else {
            m_places[to++] = m_places[i];
        }
    }
    m_places.resize(to);
}

AddressRecordIndex::Place* AddressRecordIndex::place_of(std::int32_t id) {
    return const_cast<Place*>(static_cast<const AddressRecordIndex*>(this)->place_of(id));
}

const AddressRecordIndex::Place* AddressRecordIndex::place_of(std::int32_t id) const {
    const auto at = std::lower_bound(m_places.begin(), m_places.end(), id, [](const Place& p, std::int32_t v) { return p.id < v; });
    return at != m_places.end() && at->id == id ? &*at : nullptr;
}

std::optional<AddressRecord> AddressRecordIndex::find(std::int32_t id) const {
    const Place* found = place_of(id);
    if (found == nullptr || found->offset == kGone) return std::nullopt;
    return m_store.record_at(found->offset);
}

void AddressRecordIndex::reserve_adds(std::size_t count, std::size_t bytes) {
    m_places.reserve(m_places.size() + count);
    m_store.reserve_appends(count, bytes);
}

std::int32_t AddressRecordIndex::add(const AddressValues& values, AddressValues& stored) {
    // Above every id in the image, not only those the view shows; after the
    // largest id the smallest one no record has.
    std::int32_t id = m_largest < INT32_MAX ? m_largest + 1 : 0;
    if (id == 0) {
        for (id = 1;; ++id) {
            const Place* taken = place_of(id);
            if (taken == nullptr || taken->offset == kGone) break;
        }
    } else {
        m_largest = id;
    }
    const AppendResult appended = m_store.append_record(id, 0, values);
    if (Place* again = place_of(id)) {
        again->offset = appended.offset;
    } else {
        // Above every id, at the end, but for the smallest free one.
        const auto at = std::lower_bound(m_places.begin(), m_places.end(), id, [](const Place& p, std::int32_t v) { return p.id < v; });
        m_places.insert(at, Place{id, appended.offset});
    }
    stored = m_store.record_at(appended.offset).fields;
    m_changed = true;
    return id;
}

bool AddressRecordIndex::edit(std::int32_t id, const AddressValues& values, AddressValues& stored) {
    Place* found = place_of(id);
    if (found == nullptr || found->offset == kGone) return false;
    const std::uint8_t marks = m_store.marks_at(found->offset);
    // Deleted first, so the record's own name does not count as taken.
    m_store.set_live_at(found->offset, false);
    const AppendResult appended = m_store.append_record(id, marks, values);
    found->offset = appended.offset;
    stored = m_store.record_at(appended.offset).fields;
    m_changed = true;
    return true;
}

bool AddressRecordIndex::remove(std::int32_t id) {
    Place* found = place_of(id);
    if (found == nullptr || found->offset == kGone) return false;
    m_store.set_live_at(found->offset, false);
    found->offset = kGone;
    m_changed = true;
    return true;
}

}  // namespace domora
