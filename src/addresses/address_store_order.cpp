// Keeping the address image in sort order without sorting it again: after
// a sort the store remembers where every record starts, and the next sort
// only puts the few records appended since in their places and drops the
// deleted ones. The result is byte for byte what the full sort would give.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "addresses/address_store.h"
#include "app/files.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"

namespace domora {

namespace {

// More appended records than this go through the full sort: each one placed
// moves the records after it.
constexpr std::size_t kMostPlaced = 64;

std::uint32_t frame_length(const std::string& bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

// The sort key (Last + " " + First + " " + Company, outer blanks removed,
// upper case) into a buffer that is reused, since the check after a load
// forms one for every record; the key is the returned part of the buffer.
// The three values are short, so walking them byte by byte beats looking
// for their ends first.
static std::string_view sort_key_into(const AddressStore& store, std::uint32_t offset, std::string& key) {
    const std::string& image = store.image();
    const char* pos = image.data() + offset + kAddressRecordHeaderSize;
    const char* const end = image.data() + std::min<std::size_t>(offset + static_cast<std::size_t>(store.length_at(offset)), image.size());
    const char* starts[3];
    std::size_t lengths[3];
    for (int field = kFieldFirst; field <= kFieldCompany; ++field) {
        const char* stop = pos;
        while (stop < end && *stop != '\0') ++stop;
        starts[field] = pos;
        lengths[field] = static_cast<std::size_t>(stop - pos);
        pos = stop < end ? stop + 1 : end;
    }
    key.resize(lengths[0] + lengths[1] + lengths[2] + 2);
    const auto& upper = upper_bytes();
    char* out = key.data();
    const auto put = [&](int field) {
        const auto* from = reinterpret_cast<const unsigned char*>(starts[field]);
        for (std::size_t i = 0; i < lengths[field]; ++i) *out++ = static_cast<char>(upper[from[i]]);
    };
    put(kFieldLast);
    *out++ = ' ';
    put(kFieldFirst);
    *out++ = ' ';
    put(kFieldCompany);
    std::size_t first = 0, last = key.size();
    while (first < last && key[first] == ' ') ++first;
    while (last > first && key[last - 1] == ' ') --last;
    return std::string_view(key).substr(first, last - first);
}

std::string_view AddressStore::sort_key(std::uint32_t offset, std::string& buffer) const { return sort_key_into(*this, offset, buffer); }

void AddressStore::forget_order() {
    m_order_known = false;
    m_view_current = false;
    m_selected_known = false;
    m_ordered_end = 0;
    m_dead_in_order = 0;
    m_placed.clear();
    std::vector<std::uint32_t>().swap(m_frames);
}

// How much of the image, from its start, is whole records with the live
// ones in sort order. The check sees the frames one at a time, so that the
// first add after a load can make it in the walk it makes anyway.
AddressStore::OrderCheck AddressStore::start_order_check() {
    // The records stay where they are, so the view stays as it is.
    m_order_known = false;
    m_ordered_end = 0;
    m_dead_in_order = 0;
    m_placed.clear();
    m_frames.clear();
    return OrderCheck{};
}

void AddressStore::check_order_at(OrderCheck& check, std::uint32_t offset) {
    if (check.done) return;
    if (offset != check.expected) {
        check.done = true;
        return;
    }
    if (live_at(offset)) {
        const std::string_view key = sort_key_into(*this, offset, check.key);
        if (check.have_previous && key < std::string_view(check.previous)) {
            check.done = true;
            return;
        }
        check.previous.assign(key);
        check.have_previous = true;
    } else {
        ++m_dead_in_order;
    }
    m_frames.push_back(offset);
    check.expected = offset + static_cast<std::size_t>(length_at(offset));
}

void AddressStore::finish_order_check(const OrderCheck& check) {
    m_ordered_end = check.expected;
    m_order_known = true;
}

void AddressStore::verify_order() {
    OrderCheck check = start_order_check();
    for (std::size_t at = 0; at < m_image.size() && !check.done && next_frame(at) == at; at += length_at(static_cast<std::uint32_t>(at))) {
        check_order_at(check, static_cast<std::uint32_t>(at));
    }
    finish_order_check(check);
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
    std::vector<std::int32_t> ids(added.size());
    std::string moved, buffer;
    for (std::size_t i = 0; i < added.size(); ++i) {
        keys[i] = sort_key_into(*this, added[i], buffer);
        ids[i] = id_at(added[i]);
        moved.append(m_image, added[i], length_at(added[i]));
    }
    const bool view_held_all = m_view_current && m_mode == kModeAll;
    m_placed.clear();
    m_selected_known = false;
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
    std::vector<std::size_t> indexes;  // where each placed record is in m_frames
    for (std::size_t i = 0; i < added.size(); ++i) {
        const std::string_view record(moved.data() + from, frame_length(moved, from));
        from += record.size();
        const auto place = std::upper_bound(m_frames.begin(), m_frames.end(), keys[i], [&](const std::string& key, std::uint32_t offset) {
            return std::string_view(key) < sort_key_into(*this, offset, probe);
        });
        const std::size_t at = place == m_frames.end() ? m_image.size() : *place;
        m_image.insert(at, record);
        const auto index = place - m_frames.begin();
        m_frames.insert(m_frames.begin() + index, static_cast<std::uint32_t>(at));
        for (auto it = m_frames.begin() + index + 1; it != m_frames.end(); ++it) *it += static_cast<std::uint32_t>(record.size());
        for (std::size_t& earlier : indexes) {
            if (earlier >= static_cast<std::size_t>(index)) ++earlier;
        }
        indexes.push_back(static_cast<std::size_t>(index));
    }
    m_ordered_end = m_image.size();
    m_appends_since_sort = 0;
    for (std::size_t i = 0; i < added.size(); ++i) m_placed.emplace_back(ids[i], m_frames[indexes[i]]);
    // Every record is live now and the view held them all: it holds them
    // still, in their new places, and walking the image again is not needed.
    if (view_held_all) {
        m_items = m_frames;
        m_view_current = true;
    }
    return true;
}

std::optional<std::uint32_t> AddressStore::placed_at(std::int32_t id) const {
    for (const auto& [placed_id, offset] : m_placed) {
        if (placed_id == id) return offset;
    }
    return std::nullopt;
}

Result<void> AddressStore::write_in_order(const std::vector<std::uint32_t>& order) {
    std::size_t bytes = 0;
    std::size_t next = 0;
    const std::string_view image(m_image);
    const Result<void> written = write_pieces([&] {
        if (next == order.size()) return std::string_view();
        // The records lie all over the image: asking for one a few ahead
        // keeps the copy from waiting for each in turn.
        constexpr std::size_t kAhead = 8;
        if (next + kAhead < order.size()) __builtin_prefetch(image.data() + order[next + kAhead]);
        const std::uint32_t offset = order[next++];
        const std::uint32_t length = length_at(offset);
        bytes += length;
        return image.substr(offset, length);
    });
    if (next < order.size()) {
        // The write stopped early; the rest still counts for the image kept.
        for (std::size_t i = next; i < order.size(); ++i) bytes += length_at(order[i]);
    }
    // Another program wrote the file: the caller catches up and sorts again.
    if (!written && changed_meanwhile(written.error())) return written;
    // Room for the next adds, so that they do not move the whole image.
    const std::size_t room = bytes + kAddressSpareRoom;
    if (!written) {
        std::string sorted;
        sorted.reserve(room);
        for (const std::uint32_t offset : order) sorted.append(m_image, offset, length_at(offset));
        replace_image(std::move(sorted));
        return written;
    }
    // The file holds exactly the records in order, and the old image is no
    // longer needed: read back into the same memory, the book is held once,
    // where building the sorted image beside it held it twice.
    if (m_image.capacity() < room) {
        std::string().swap(m_image);
        m_image.reserve(room);
    }
    const Result<void> read = read_whole_file_into(app_paths().address_file, m_image);
    if (!read || m_image.size() != bytes) {
        // The file is whole; only this copy of it is not.
        (void)load();
        return {};
    }
    forget_order();
    std::size_t at = 0;
    m_frames.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        m_frames.push_back(static_cast<std::uint32_t>(at));
        at += length_at(static_cast<std::uint32_t>(at));
    }
    m_ordered_end = m_image.size();
    m_order_known = true;
    m_appends_since_sort = 0;
    finish_as_loaded();
    return {};
}

void AddressStore::finish_as_loaded() {
    m_read_failed = false;
    rebuild_view();
    status_log_write("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(m_image.size())));
}

}  // namespace domora
