#include "addresses/address_names.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "addresses/address_store.h"
#include "app/text.h"

namespace domora {

namespace {

std::uint32_t hash_key(std::string_view key) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

constexpr std::size_t kMostDigits = 18;  // every number the rule can reach fits

// Calls visit(family, n) for every way the key reads as text + "(n)" + text,
// where the text before is empty or ends in a blank and the text after is
// empty or starts with one: the shapes a " (n)" suffix gives a key.
template <typename Visit>
void for_each_suffix(std::string_view key, Visit visit) {
    for (std::size_t open = key.find('('); open != std::string_view::npos; open = key.find('(', open + 1)) {
        if (open > 0 && key[open - 1] != ' ') continue;
        std::size_t close = open + 1;
        while (close < key.size() && key[close] >= '0' && key[close] <= '9') ++close;
        const std::size_t digits = close - open - 1;
        if (digits == 0 || digits > kMostDigits || key[open + 1] == '0') continue;
        if (close >= key.size() || key[close] != ')') continue;
        if (close + 1 < key.size() && key[close + 1] != ' ') continue;
        std::int64_t n = 0;
        for (std::size_t i = open + 1; i < close; ++i) n = n * 10 + (key[i] - '0');
        std::string family;
        family.reserve(key.size());
        family.append(key.substr(0, open)).append(1, '\0').append(key.substr(close + 1));
        visit(family, n);
    }
}

// The family of the keys that First + " (n)" gives: the key with " (n)"
// after First is the text before "(n)", "(n)", and the text after: First
// without its leading blanks and with one blank added (nothing when First
// is blank), and " " + Last + " " + Company without its trailing blanks.
std::string suffix_family(std::string_view first, std::string_view last, std::string_view company) {
    std::string family;
    std::size_t lead = 0;
    while (lead < first.size() && first[lead] == ' ') ++lead;
    const std::string_view kept_first = first.substr(lead);
    family.append(kept_first);
    if (!kept_first.empty()) family += ' ';
    family += '\0';
    const std::size_t after = family.size();
    family.append(" ").append(last).append(" ").append(company);
    while (family.size() > after && family.back() == ' ') family.pop_back();
    for (char& c : family) c = static_cast<char>(lower_byte(static_cast<unsigned char>(c)));
    return family;
}

}  // namespace

void AddressNameIndex::clear() {
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_slots.clear();
    m_slots.shrink_to_fit();
    m_live = 0;
    m_families.clear();
}

std::size_t AddressNameIndex::find_slot(std::string_view key, std::uint32_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t at = m_slots[slot];
        if (at == 0) return slot;
        const Entry& e = m_entries[at - 1];
        if (e.hash == hash && e.key_length == key.size() &&
            std::memcmp(m_keys.data() + e.key_at, key.data(), key.size()) == 0) {
            return slot;
        }
    }
}

void AddressNameIndex::grow() {
    std::vector<std::uint32_t> slots(std::max<std::size_t>(64, m_slots.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        std::size_t slot = m_entries[i].hash & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
    m_slots.swap(slots);
}

void AddressNameIndex::reserve(std::size_t keys, std::size_t key_bytes) {
    m_keys.reserve(key_bytes);
    m_entries.reserve(keys);
    std::size_t slots = 64;
    while (slots < keys * 2 + 2) slots *= 2;
    if (slots <= m_slots.size()) return;
    std::vector<std::uint32_t>().swap(m_slots);
    m_slots.resize(slots / 2);
    grow();
}

void AddressNameIndex::add(std::string_view key) {
    if ((m_entries.size() + 1) * 2 > m_slots.size()) grow();
    const std::uint32_t hash = hash_key(key);
    const std::size_t slot = find_slot(key, hash);
    if (m_slots[slot] == 0) {
        m_entries.push_back(Entry{hash, static_cast<std::uint32_t>(key.size()), m_keys.size(), 0});
        m_keys.append(key);
        m_slots[slot] = static_cast<std::uint32_t>(m_entries.size());
    }
    Entry& e = m_entries[m_slots[slot] - 1];
    if (++e.count == 1) {
        ++m_live;
        key_became_taken(key, true);
    }
}

void AddressNameIndex::remove(std::string_view key) {
    if (m_slots.empty()) return;
    const std::size_t slot = find_slot(key, hash_key(key));
    if (m_slots[slot] == 0) return;
    Entry& e = m_entries[m_slots[slot] - 1];
    if (e.count <= 0) return;
    if (--e.count == 0) {
        --m_live;
        key_became_taken(key, false);
    }
}

int AddressNameIndex::count(std::string_view key) const {
    if (m_slots.empty()) return 0;
    const std::uint32_t at = m_slots[find_slot(key, hash_key(key))];
    return at == 0 ? 0 : m_entries[at - 1].count;
}

void AddressNameIndex::key_became_taken(std::string_view key, bool taken) {
    for_each_suffix(key, [&](const std::string& family, std::int64_t n) {
        if (taken) {
            auto& runs = m_families[family].runs;
            auto next = runs.upper_bound(n);
            const bool joins_before = next != runs.begin() && std::prev(next)->second >= n - 1;
            if (joins_before && std::prev(next)->second >= n) return;  // already taken
            const bool joins_after = next != runs.end() && next->first == n + 1;
            if (joins_before && joins_after) {
                std::prev(next)->second = next->second;
                runs.erase(next);
            } else if (joins_before) {
                std::prev(next)->second = n;
            } else if (joins_after) {
                const std::int64_t last = next->second;
                runs.erase(next);
                runs.emplace(n, last);
            } else {
                runs.emplace(n, n);
            }
            return;
        }
        const auto found = m_families.find(family);
        if (found == m_families.end()) return;
        auto& runs = found->second.runs;
        auto next = runs.upper_bound(n);
        if (next == runs.begin()) return;
        const auto run = std::prev(next);
        if (run->second < n) return;
        const std::int64_t first = run->first, last = run->second;
        runs.erase(run);
        if (first < n) runs.emplace(first, n - 1);
        if (n < last) runs.emplace(n + 1, last);
        if (runs.empty()) m_families.erase(found);
    });
}

std::int64_t AddressNameIndex::free_suffix(std::string_view first, std::string_view last, std::string_view company) const {
    if (count(address_name_key(first, last, company)) == 0) return 0;
    const auto found = m_families.find(suffix_family(first, last, company));
    if (found == m_families.end()) return 2;
    const auto& runs = found->second.runs;
    const auto next = runs.upper_bound(2);
    if (next == runs.begin()) return 2;
    const auto run = std::prev(next);
    return run->second >= 2 ? run->second + 1 : 2;
}


AddressNameScan::AddressNameScan(std::string_view first, std::string_view last, std::string_view company)
    : m_key(address_name_key(first, last, company)), m_family(suffix_family(first, last, company)) {}

void AddressNameScan::see(std::string_view key) {
    if (key == m_key) m_taken = true;
    if (key.find('(') == std::string_view::npos) return;
    for_each_suffix(key, [&](const std::string& family, std::int64_t n) {
        if (family == m_family) m_numbers.push_back(n);
    });
}

std::int64_t AddressNameScan::free_suffix() const {
    if (!m_taken) return 0;
    std::vector<std::int64_t> taken = m_numbers;
    std::sort(taken.begin(), taken.end());
    std::int64_t n = 2;
    for (const std::int64_t t : taken) {
        if (t == n) ++n;
        else if (t > n) break;
    }
    return n;
}

}  // namespace domora
