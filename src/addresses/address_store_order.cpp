// Keeping the address image in sort order without sorting it again: after
// a sort the store remembers where every record starts, and the next sort
// only puts the few records appended since in their places and drops the
// deleted ones. The result is byte for byte what the full sort would give.
#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <optional>
#include <string_view>
#include <thread>

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

std::vector<std::uint32_t> sorted_offsets(const AddressStore& store, std::vector<std::uint32_t> offsets,
                                          const std::function<void(std::int64_t, std::int64_t)>& progress) {
    // The sort moves small entries, never records. Each carries the first
    // sixteen bytes of its key as two numbers that compare as they do, so
    // most comparisons read nothing else; the rest of each key lies in one buffer.
    constexpr std::size_t kHead = 16;
    struct Entry {
        std::uint64_t head[2];
        std::uint32_t tail_at;
        std::uint32_t tail_length;
        std::uint32_t offset;
    };
    std::string tails;
    std::vector<Entry> entries;
    entries.reserve(offsets.size());
    const auto total = static_cast<std::int64_t>(offsets.size());
    std::string buffer;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const std::uint32_t offset = offsets[i];
        const std::string_view key = sort_key_into(store, offset, buffer);
        // Keys hold no zero byte, so a short key padded with zeros still
        // comes before every longer key it begins.
        Entry entry{{0, 0}, 0, 0, offset};
        for (std::size_t b = 0; b < kHead; ++b) {
            std::uint64_t& head = entry.head[b / 8];
            head = (head << 8) | (b < key.size() ? static_cast<unsigned char>(key[b]) : 0u);
        }
        const std::string_view tail = key.size() > kHead ? key.substr(kHead) : std::string_view();
        entry.tail_at = static_cast<std::uint32_t>(tails.size());
        entry.tail_length = static_cast<std::uint32_t>(tail.size());
        entries.push_back(entry);
        tails += tail;
        if (progress) progress(static_cast<std::int64_t>(i) + 1, total);
    }
    // The entries hold the offsets now.
    std::vector<std::uint32_t>().swap(offsets);
    const std::string_view all_tails(tails);
    // Equal keys keep their file order, which is the order of the offsets:
    // with that as the last word every two entries differ, and an unstable
    // sort gives what a stable one would. string_view compares bytes as
    // unsigned values, a prefix first.
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
        if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
        const int tail = all_tails.substr(a.tail_at, a.tail_length).compare(all_tails.substr(b.tail_at, b.tail_length));
        return tail != 0 ? tail < 0 : a.offset < b.offset;
    });
    std::string().swap(tails);
    std::vector<std::uint32_t> order;
    order.reserve(entries.size());
    for (const Entry& e : entries) order.push_back(e.offset);
    return order;
}

// ---- the order found ahead -------------------------------------------------------------------------

struct AddressStore::FoundOrder {
    bool ok = false;
    std::size_t end = 0;  // the image's size when it was found
    // Every frame of the image, deleted ones too, in sort order; the worker
    // never reads the deleted flag, which a delete may change meanwhile.
    std::vector<std::uint32_t> sorted;
    // The image was whole frames already in that order: the frames, for place_changes.
    bool in_order = false;
};

struct AddressStore::OrderAhead {
    std::thread worker;
    FoundOrder found;
};

AddressStore::OrderAheadSlot::OrderAheadSlot() = default;

AddressStore::OrderAheadSlot::OrderAheadSlot(OrderAheadSlot&& other) {
    other.settle();
    found = std::move(other.found);
}

AddressStore::OrderAheadSlot& AddressStore::OrderAheadSlot::operator=(OrderAheadSlot&& other) {
    settle();
    other.settle();
    found = std::move(other.found);
    return *this;
}

AddressStore::OrderAheadSlot::~OrderAheadSlot() { settle(); }

void AddressStore::OrderAheadSlot::settle() {
    if (!ahead) return;
    ahead->worker.join();
    if (ahead->found.ok) found = std::make_unique<FoundOrder>(std::move(ahead->found));
    ahead.reset();
}

AddressStore::AddressStore() = default;
// The members go in order, the worker's slot first.
AddressStore::AddressStore(AddressStore&& other) = default;
AddressStore& AddressStore::operator=(AddressStore&& other) = default;

// The image is destroyed before the slot: the worker has to be done first.
AddressStore::~AddressStore() { m_order_ahead.settle(); }

// Runs on the worker: reads the lengths and values of the records, which
// nothing changes while it runs, and nothing else of the store.
AddressStore::FoundOrder AddressStore::find_order() const {
    FoundOrder found;
    found.end = m_image.size();
    std::vector<std::uint32_t> frames;
    frames.reserve(m_image.size() / 64);
    // Whether the frames lie back to back in order is seen on the way: a
    // book in order (the usual one) needs no sort, nor the memory for one.
    bool in_order = true;
    std::size_t expected = 0;
    std::string key, previous;
    for (std::size_t at = next_frame(0); at != std::string::npos; at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
        const auto offset = static_cast<std::uint32_t>(at);
        if (in_order) {
            const std::string_view this_key = sort_key_into(*this, offset, key);
            in_order = at == expected && (frames.empty() || !(this_key < std::string_view(previous)));
            previous.assign(this_key);
        }
        frames.push_back(offset);
        expected = at + length_at(offset);
    }
    found.in_order = in_order && expected == found.end;
    found.sorted = found.in_order ? std::move(frames) : sorted_offsets(*this, std::move(frames));
    found.ok = true;
    return found;
}

void AddressStore::find_order_ahead() {
    settle_order_ahead();
    // Known already, or placing what changed is cheap as it is.
    if (m_order_ahead.found || m_order_known || m_image.empty() || m_read_failed) return;
    auto ahead = std::make_unique<OrderAhead>();
    OrderAhead* const work = ahead.get();
    ahead->worker = std::thread([this, work] {
        try {
            work->found = find_order();
        } catch (const std::bad_alloc&) {
            // Nothing found: the sort finds the order itself.
            work->found = FoundOrder{};
        }
        // The keys were sorted in this thread's own heap, which keeps what
        // was freed unless asked: the book would be held about twice over.
        ::malloc_trim(0);
    });
    m_order_ahead.ahead = std::move(ahead);
}

void AddressStore::settle_order_ahead() { m_order_ahead.settle(); }

std::optional<std::vector<std::uint32_t>> AddressStore::live_appended_since(std::size_t from) const {
    std::vector<std::uint32_t> added;
    for (std::size_t at = from; at < m_image.size();) {
        if (next_frame(at) != at) return std::nullopt;
        const auto offset = static_cast<std::uint32_t>(at);
        if (live_at(offset)) added.push_back(offset);
        if (added.size() > kMostPlaced) return std::nullopt;
        at += length_at(offset);
    }
    return added;
}

std::optional<std::vector<std::uint32_t>> AddressStore::take_found_order() {
    settle_order_ahead();
    if (!m_order_ahead.found) return std::nullopt;
    const std::unique_ptr<FoundOrder> found = std::move(m_order_ahead.found);
    // What was appended since: a few are put in their places.
    const std::optional<std::vector<std::uint32_t>> added = live_appended_since(found->end);
    if (!added) return std::nullopt;
    std::vector<std::uint32_t> order;
    order.reserve(found->sorted.size() + added->size());
    for (const std::uint32_t offset : found->sorted) {
        if (live_at(offset)) order.push_back(offset);
    }
    // Each goes after every record whose key is not greater: it lies after
    // them in the image, and the stable sort keeps that order.
    std::string key, probe;
    for (const std::uint32_t offset : *added) {
        key.assign(sort_key_into(*this, offset, probe));
        const auto place = std::upper_bound(order.begin(), order.end(), key, [&](const std::string& wanted, std::uint32_t at) {
            return std::string_view(wanted) < sort_key_into(*this, at, probe);
        });
        order.insert(place, offset);
    }
    return order;
}

void AddressStore::forget_order() {
    settle_order_ahead();
    m_order_ahead.found.reset();
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
    settle_order_ahead();
    if (!m_order_known && m_order_ahead.found) {
        // Not in order: the full sort takes what was found.
        if (!m_order_ahead.found->in_order) return false;
        // In order when it was found; since then records were at most
        // appended after it or marked deleted, which is what placing handles.
        m_frames = std::move(m_order_ahead.found->sorted);
        m_ordered_end = m_order_ahead.found->end;
        m_dead_in_order = 0;
        for (const std::uint32_t offset : m_frames) {
            if (!live_at(offset)) ++m_dead_in_order;
        }
        m_order_known = true;
        m_order_ahead.found.reset();
    }
    if (!m_order_known) verify_order();
    // What follows the ordered records: records appended since, and nothing else.
    const std::optional<std::vector<std::uint32_t>> appended = live_appended_since(m_ordered_end);
    if (!appended) return false;
    const std::vector<std::uint32_t>& added = *appended;
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
    // The image is replaced below; what was found of it goes with forget_order.
    settle_order_ahead();
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
