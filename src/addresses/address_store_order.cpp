// Keeping the address image in sort order without sorting it again: after
// a sort the store remembers where every record starts, and the next sort
// only puts the few records appended since in their places and drops the
// deleted ones. The result is byte for byte what the full sort would give.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "addresses/address_store.h"
#include "app/status_log.h"
#include "app/text.h"

namespace domora {

namespace {

// More appended records than this go through the full sort: each one placed
// moves the records after it.
constexpr std::size_t kMostPlaced = 64;

const unsigned char* upper_table() {
    static const auto table = [] {
        static unsigned char t[256];
        for (int i = 0; i < 256; ++i) t[i] = upper_byte(static_cast<unsigned char>(i));
        return t;
    }();
    return table;
}

std::uint32_t frame_length(const std::string& bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

// The sort key (Last + " " + First + " " + Company, outer blanks removed,
// upper case) into a buffer that is reused, since the check after a load
// forms one for every record.
static void sort_key_into(const AddressStore& store, std::uint32_t offset, std::string& key) {
    // First, Last and Company in one walk over the record.
    std::string_view fields[3];
    const std::string& image = store.image();
    const std::size_t end = std::min<std::size_t>(offset + static_cast<std::size_t>(store.length_at(offset)), image.size());
    std::size_t pos = offset + kAddressRecordHeaderSize;
    for (std::string_view& field : fields) {
        if (pos >= end) break;
        const void* zero = std::memchr(image.data() + pos, 0, end - pos);
        const std::size_t stop = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - image.data()) : end;
        field = std::string_view(image).substr(pos, stop - pos);
        pos = stop + 1;
    }
    key.clear();
    key.append(fields[kFieldLast]).append(" ");
    key.append(fields[kFieldFirst]).append(" ");
    key.append(fields[kFieldCompany]);
    std::size_t first = 0, last = key.size();
    while (first < last && key[first] == ' ') ++first;
    while (last > first && key[last - 1] == ' ') --last;
    key.erase(last).erase(0, first);
    const unsigned char* upper = upper_table();
    for (char& c : key) c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
}

void AddressStore::forget_order() {
    m_order_known = false;
    m_view_current = false;
    m_ordered_end = 0;
    m_dead_in_order = 0;
    std::vector<std::uint32_t>().swap(m_frames);
}

// How much of the image, from its start, is whole records with the live
// ones in sort order.
void AddressStore::verify_order() {
    forget_order();
    std::string previous, key;
    bool have_previous = false;
    std::size_t at = 0;
    while (at < m_image.size() && next_frame(at) == at) {
        const auto offset = static_cast<std::uint32_t>(at);
        if (live_at(offset)) {
            sort_key_into(*this, offset, key);
            if (have_previous && std::string_view(key) < std::string_view(previous)) break;
            previous.swap(key);
            have_previous = true;
        } else {
            ++m_dead_in_order;
        }
        m_frames.push_back(offset);
        at += length_at(offset);
    }
    m_ordered_end = at;
    m_order_known = true;
}

bool AddressStore::place_changes() {
    if (!m_order_known) verify_order();
    // What follows the ordered records: records appended since, and nothing else.
    std::vector<std::uint32_t> added;
    for (std::size_t at = m_ordered_end; at < m_image.size();) {
        if (next_frame(at) != at) return false;
        const auto offset = static_cast<std::uint32_t>(at);
        if (live_at(offset)) added.push_back(offset);
        if (added.size() > kMostPlaced) return false;
        at += length_at(offset);
    }
    std::vector<std::string> keys(added.size());
    std::string moved;
    for (std::size_t i = 0; i < added.size(); ++i) {
        sort_key_into(*this, added[i], keys[i]);
        moved.append(m_image, added[i], length_at(added[i]));
    }
    m_image.resize(m_ordered_end);
    m_view_current = false;
    if (m_dead_in_order > 0) {
        std::size_t write = 0, kept = 0;
        for (const std::uint32_t offset : m_frames) {
            const std::uint32_t length = length_at(offset);
            if (!live_at(offset)) continue;
            if (write != offset) std::memmove(m_image.data() + write, m_image.data() + offset, length);
            m_frames[kept++] = static_cast<std::uint32_t>(write);
            write += length;
        }
        m_frames.resize(kept);
        m_image.resize(write);
        m_dead_in_order = 0;
    }
    // Each new record goes after every record whose key is not greater, as
    // the stable full sort leaves records with equal keys in file order.
    std::string probe;
    std::size_t from = 0;
    for (std::size_t i = 0; i < added.size(); ++i) {
        const std::string_view record(moved.data() + from, frame_length(moved, from));
        from += record.size();
        const auto place = std::upper_bound(m_frames.begin(), m_frames.end(), keys[i], [&](const std::string& key, std::uint32_t offset) {
            sort_key_into(*this, offset, probe);
            return std::string_view(key) < std::string_view(probe);
        });
        const std::size_t at = place == m_frames.end() ? m_image.size() : *place;
        m_image.insert(at, record);
        const auto index = place - m_frames.begin();
        m_frames.insert(m_frames.begin() + index, static_cast<std::uint32_t>(at));
        for (auto it = m_frames.begin() + index + 1; it != m_frames.end(); ++it) *it += static_cast<std::uint32_t>(record.size());
    }
    m_ordered_end = m_image.size();
    m_appends_since_sort = 0;
    return true;
}

void AddressStore::adopt_sorted(std::string image) {
    forget_order();
    m_image = std::move(image);
    for (std::size_t at = 0; at < m_image.size(); at += length_at(static_cast<std::uint32_t>(at))) {
        m_frames.push_back(static_cast<std::uint32_t>(at));
    }
    m_ordered_end = m_image.size();
    m_order_known = true;
    m_appends_since_sort = 0;
}

void AddressStore::finish_as_loaded() {
    m_read_failed = false;
    rebuild_view();
    status_log_write("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(m_image.size())));
}

}  // namespace domora
