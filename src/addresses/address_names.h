// The name keys of the live records, for the unique-name rule: a record
// being appended never gets the key of a live record; when its key is taken,
// First gets the smallest suffix " (n)", n from 2, whose key is free.
//
// Keys are kept side by side in one buffer with a small open-addressing
// table over them, so a million names cost tens of megabytes, not hundreds.
// For every key that could be a suffixed form of another name, which
// numbers n are taken is kept as runs, so the next free suffix is found
// without trying each number in turn.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace domora {

class AddressNameIndex {
public:
    void clear();
    // A live record with this name key came or went.
    void add(std::string_view key);
    void remove(std::string_view key);
    // How many live records have this key.
    int count(std::string_view key) const;
    // The suffix number for a record whose key parts are first, last and
    // company: 0 when its own key is free, otherwise the smallest n >= 2
    // whose suffixed key is free.
    std::int64_t free_suffix(std::string_view first, std::string_view last, std::string_view company) const;
    std::size_t size() const { return m_live; }
    // Room for this many keys, so that learning a large book grows nothing.
    void reserve(std::size_t keys, std::size_t key_bytes);

private:
    struct Entry {
        std::uint32_t hash;
        std::uint32_t key_length;
        std::uint64_t key_at;
        std::int32_t count;
    };
    // A family is the text around "(n)": the key's part before it and the part after it.
    struct Family {
        std::map<std::int64_t, std::int64_t> runs;  // first number -> last number, taken
    };
    std::size_t find_slot(std::string_view key, std::uint32_t hash) const;
    void grow();
    void key_became_taken(std::string_view key, bool taken);

    std::string m_keys;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_slots;  // entry index + 1, 0 for an empty slot
    std::size_t m_live = 0;
    std::unordered_map<std::string, Family> m_families;
};

// The same rule worked out by looking once at every live record's key,
// without keeping any: for a single add to a large book, where learning
// every name would take far longer than the add itself.
class AddressNameScan {
public:
    AddressNameScan(std::string_view first, std::string_view last, std::string_view company);
    // Whether a key of this length, with or without a '(' in it, can matter;
    // when not, see() would do nothing with it.
    bool wants(std::size_t key_length, bool has_parenthesis) const {
        return has_parenthesis || key_length == m_key.size();
    }
    // A live record's name key.
    void see(std::string_view key);
    // What AddressNameIndex::free_suffix gives over the keys seen.
    std::int64_t free_suffix() const;

private:
    std::string m_key;
    std::string m_family;
    bool m_taken = false;
    std::vector<std::int64_t> m_numbers;  // suffixes of m_family seen taken
};

}  // namespace domora
