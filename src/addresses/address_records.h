// Records by their id, for callers that keep ids across runs (the contacts
// sync): find, add, edit and delete through the store's public operations.
// The index is built once and holds until the next sort moves the records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "addresses/address_store.h"

namespace domora {

class AddressRecordIndex {
public:
    // Indexes the live records of the image.
    explicit AddressRecordIndex(AddressStore& store);

    std::optional<AddressRecord> find(std::int32_t id) const;
    // Appends a record under an id above every id in the image, marks 0;
    // stored is what the record holds (a taken name gets " (2)").
    std::int32_t add(const AddressValues& values, AddressValues& stored);
    // Room for count more adds of bytes in all (see AddressStore::reserve_appends).
    void reserve_adds(std::size_t count, std::size_t bytes);
    // The record keeps its id and marks. False when no live record has the id.
    bool edit(std::int32_t id, const AddressValues& values, AddressValues& stored);
    bool remove(std::int32_t id);
    // Whether any change was made (the caller sorts, which writes the file).
    bool changed() const { return m_changed; }

private:
    static constexpr std::uint32_t kGone = UINT32_MAX;
    // A record's id and where it is; a removed one keeps its place as gone.
    struct Place {
        std::int32_t id;
        std::uint32_t offset;
    };
    Place* place_of(std::int32_t id);
    const Place* place_of(std::int32_t id) const;

    AddressStore& m_store;
    // By id: eight bytes a record, where a hash map took thirty.
    std::vector<Place> m_places;
    std::int32_t m_largest = 0;
    bool m_changed = false;
};

}  // namespace domora
