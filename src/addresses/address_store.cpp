#include "addresses/address_store.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "app/files.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

constexpr char kMagic[] = "MSRI";
constexpr const char* kNotReplaced = "the address file could not be read, so it is not replaced";
constexpr std::uint32_t kMagicWord = 'M' | ('S' << 8) | ('R' << 16) | (static_cast<std::uint32_t>('I') << 24);
constexpr std::size_t kLoadSpare = kAddressSpareRoom;
// Room kept for a " (n)" suffix when values have to be cut to fit.
constexpr std::size_t kSuffixRoom = 16;
constexpr std::size_t kMostValueBytes = kAddressRecordBuilderSize - kAddressRecordHeaderSize - kAddressFieldCount;

std::uint32_t get_u32(const std::string& image, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(image.data() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put_u32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Long scans let the window breathe now and then; a test's virtual clock
// stands still, so scripted input is never eaten here.
class MessageServer {
public:
    MessageServer() : m_last(platform().tick_ms()) {}
    // False when the program is quitting and the scan should stop.
    bool serve() {
        if ((++m_turn & 255) != 0) return true;
        const std::uint64_t now = platform().tick_ms();
        if (now - m_last >= 30) {
            pump_message(false);
            m_last = platform().tick_ms();
        }
        return !main_window().quit_requested;
    }

private:
    std::uint64_t m_last;
    unsigned m_turn = 0;
};

std::size_t value_bytes(const AddressValues& values) {
    std::size_t total = 0;
    for (const std::string& v : values) total += v.size();
    return total;
}

// Cuts the longest values, evenly, until all of them together take at most budget bytes.
void cut_to_fit(AddressValues& values, std::size_t budget) {
    std::size_t lo = 0, hi = 0;
    for (const std::string& v : values) hi = std::max(hi, v.size());
    auto used = [&](std::size_t cap) {
        std::size_t total = 0;
        for (const std::string& v : values) total += std::min(v.size(), cap);
        return total;
    };
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo + 1) / 2;
        if (used(mid) <= budget) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    for (std::string& v : values) {
        if (v.size() > lo) v.resize(lo);
    }
}

}  // namespace

std::string address_name_key(std::string_view first, std::string_view last, std::string_view company) {
    std::string key;
    key.reserve(first.size() + last.size() + company.size() + 2);
    key.append(first).append(" ").append(last).append(" ").append(company);
    std::size_t from = 0, to = key.size();
    while (from < to && key[from] == ' ') ++from;
    while (to > from && key[to - 1] == ' ') --to;
    key.erase(to).erase(0, from);
    lower_in_place(key);
    return key;
}

std::string build_address_record(std::int32_t id, bool live, std::uint8_t marks, const AddressValues& values) {
    std::string out(kAddressRecordHeaderSize, '\0');
    std::memcpy(out.data() + 4, kMagic, 4);
    put_u32(out, 8, static_cast<std::uint32_t>(id));
    out[12] = live ? 1 : 0;
    out[13] = static_cast<char>(marks);
    for (const std::string& v : values) {
        out += v;
        out += '\0';
    }
    put_u32(out, 0, static_cast<std::uint32_t>(out.size()));
    return out;
}

AddressStore& address_store() {
    static AddressStore store;
    return store;
}

// ---- the file ------------------------------------------------------------------------------------

Result<void> AddressStore::load() {
    settle_order_ahead();
    m_image.clear();
    m_items.clear();
    m_name_keys_valid = false;
    forget_order();
    m_appends_since_sort = 0;
    m_read_failed = false;
    const std::string& path = app_paths().address_file;
    m_loaded = true;
    m_loaded_path = path;
    m_identity = {};
    m_journal.clear();
    m_renumbered.clear();
    Result<void> outcome;
    std::size_t file_size = 0;
    FileInfo info;
    if (!path.empty() && platform().sys_stat(path, info)) {
        Result<std::string> data = info.is_folder ? Result<std::string>(Error{"it is a folder"}) : read_whole_file(path, kLoadSpare, &m_identity);
        if (!data) {
            outcome = Error{data.error().message};
        } else if (data.value().size() > UINT32_MAX) {
            outcome = Error{"the file is too large"};
        } else {
            m_image = std::move(data.value());
            file_size = m_image.size();
            drop_junk();
        }
        if (!outcome) {
            m_read_failed = true;
            status_log_write("Load Addresses Failed: " + path + " - " + outcome.error().message);
        }
    }
    rebuild_view();
    status_log_write("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(file_size)));
    return outcome;
}

void AddressStore::drop_junk() {
    // A damaged frame whose length runs past the end is junk only while the
    // image is no longer than that: once an append grew the image it would
    // be read as a record swallowing the ones behind it. So the image keeps
    // exactly the frames this walk finds, and every later walk finds the same.
    // Nearly always the frames lie back to back: then there is nothing to copy.
    std::size_t expected = 0;
    for (std::size_t at = next_frame(0); at == expected && at != std::string::npos;
         at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
        expected = at + length_at(static_cast<std::uint32_t>(at));
    }
    if (expected == m_image.size()) return;
    std::string kept;
    kept.reserve(m_image.size());
    for (std::size_t at = next_frame(0); at != std::string::npos; at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
        kept.append(m_image, at, length_at(static_cast<std::uint32_t>(at)));
    }
    status_log_write("Address Junk Dropped: " + log_number(static_cast<std::int64_t>(m_image.size() - kept.size())));
    m_image = std::move(kept);
}

namespace {
constexpr const char* kChangedMeanwhile = "another program changed the address file while it was being saved";
}  // namespace

bool AddressStore::changed_meanwhile(const Error& error) { return error.message == kChangedMeanwhile; }

bool AddressStore::may_write_over() const {
    const std::string& path = app_paths().address_file;
    return !m_loaded || (path == m_loaded_path && file_identity(path) == m_identity);
}

Result<void> AddressStore::write() {
    (void)catch_up();
    return write_image(m_image);
}

void AddressStore::expect_save() {
    if (m_read_failed) return;
    prepare_spare_file(app_paths().address_file);
    // A smaller book sorts in a few milliseconds at the save itself.
    constexpr std::size_t kWorthFindingAhead = std::size_t{1} << 20;
    if (m_image.size() >= kWorthFindingAhead) find_order_ahead();
}

void AddressStore::reserve_appends(std::size_t count, std::size_t bytes) {
    // Growing the image may move it, under the worker finding its order.
    settle_order_ahead();
    m_image.reserve(m_image.size() + bytes);
    m_items.reserve(m_items.size() + count);
}

Result<void> AddressStore::write_image(std::string_view image) {
    // An address file that could not be read may still hold the user's
    // addresses; writing this image over it would lose them.
    if (m_read_failed) return Error{kNotReplaced};
    if (!may_write_over()) return Error{kChangedMeanwhile};
    FileIdentity written;
    return note_written(write_file_atomic_reusing(app_paths().address_file, image, kOwnerOnly, &written), written);
}

Result<void> AddressStore::write_pieces(const std::function<std::string_view()>& next) {
    if (m_read_failed) return Error{kNotReplaced};
    if (!may_write_over()) return Error{kChangedMeanwhile};
    FileIdentity written;
    return note_written(write_file_atomic_reusing(app_paths().address_file, next, kOwnerOnly, &written), written);
}

// A whole write makes the file ours again: what it is now is what we wrote,
// and no change of the user's is left to carry over.
Result<void> AddressStore::note_written(Result<void> saved, const FileIdentity& written) {
    if (saved) {
        m_identity = written;
        m_journal.clear();
    }
    return saved;
}

// ---- the image -----------------------------------------------------------------------------------

void AddressStore::replace_image(std::string image) {
    settle_order_ahead();
    m_image = std::move(image);
    m_name_keys_valid = false;
    forget_order();
    m_appends_since_sort = 0;
    rebuild_view();
}

std::size_t AddressStore::next_frame(std::size_t from) const {
    const std::string_view image(m_image);
    // Most often a whole frame starts right here; looking for it costs more than checking.
    if (from < image.size() && image.size() - from >= kAddressRecordHeaderSize && get_u32(m_image, from + 4) == kMagicWord) {
        const std::uint32_t length = get_u32(m_image, from);
        if (length >= kAddressRecordHeaderSize && length <= image.size() - from) return from;
    }
    while (from < image.size()) {
        const std::size_t magic = image.find(std::string_view(kMagic, 4), from + 4);
        if (magic == std::string_view::npos) return std::string_view::npos;
        const std::size_t at = magic - 4;
        if (image.size() - at >= kAddressRecordHeaderSize) {
            const std::uint32_t length = get_u32(m_image, at);
            if (length >= kAddressRecordHeaderSize && length <= image.size() - at) return at;
        }
        from = at + 1;
    }
    return std::string_view::npos;
}

std::uint32_t AddressStore::length_at(std::uint32_t offset) const { return get_u32(m_image, offset); }

std::int32_t AddressStore::id_at(std::uint32_t offset) const {
    return static_cast<std::int32_t>(get_u32(m_image, offset + 8));
}

bool AddressStore::live_at(std::uint32_t offset) const { return m_image[offset + 12] == 1; }

std::uint8_t AddressStore::marks_at(std::uint32_t offset) const {
    return static_cast<std::uint8_t>(m_image[offset + 13]);
}

void AddressStore::set_marks_at(std::uint32_t offset, std::uint8_t marks) {
    // The search mark decides what search results show.
    const std::uint8_t old = marks_at(offset);
    if (((old ^ marks) & kSearchMark) != 0) m_view_current = false;
    if (((old ^ marks) & kSelectedMark) != 0 && m_selected_known) {
        if ((marks & kSelectedMark) != 0) {
            ++m_selected_count;
            m_selected_hint = offset;
        } else {
            --m_selected_count;
        }
    }
    m_image[offset + 13] = static_cast<char>(marks);
}

std::size_t AddressStore::selected_count() const {
    if (!m_selected_known) {
        m_selected_count = 0;
        each_frame([&](std::uint32_t offset) {
            if ((marks_at(offset) & kSelectedMark) != 0) ++m_selected_count;
            return true;
        });
        m_selected_known = true;
    }
    return m_selected_count;
}

void AddressStore::clear_selected() {
    if (m_selected_known && m_selected_count == 0) return;
    if (m_selected_known && m_selected_count == 1 && m_selected_hint < m_image.size() &&
        (marks_at(m_selected_hint) & kSelectedMark) != 0) {
        set_marks_at(m_selected_hint, static_cast<std::uint8_t>(marks_at(m_selected_hint) & ~kSelectedMark));
        return;
    }
    each_frame([&](std::uint32_t offset) {
        // Most records have no such mark: leaving their bytes untouched spares
        // writing a whole large image back to memory.
        const std::uint8_t marks = marks_at(offset);
        if ((marks & kSelectedMark) != 0) m_image[offset + 13] = static_cast<char>(marks & ~kSelectedMark);
        return true;
    });
    m_selected_known = true;
    m_selected_count = 0;
}

void AddressStore::set_live_at(std::uint32_t offset, bool live) {
    if (live_at(offset) == live) {
        m_image[offset + 12] = live ? 1 : 0;
        return;
    }
    if (m_name_keys_valid) {
        const std::string key = name_key_at(offset);
        if (live) {
            m_names.add(key);
        } else {
            m_names.remove(key);
        }
    }
    const std::uint32_t key = static_cast<std::uint32_t>(id_at(offset));
    if (!m_journal.noted(key)) m_journal.note(key, !live, live ? 0 : content_fingerprint(offset));
    if (!live && m_order_known && offset < m_ordered_end) {
        ++m_dead_in_order;
    } else if (live) {
        forget_order();
    }
    m_view_current = false;
    m_image[offset + 12] = live ? 1 : 0;
}

std::uint64_t AddressStore::content_fingerprint(std::uint32_t offset) const {
    return record_fingerprint(std::string_view(m_image).substr(offset + kAddressRecordHeaderSize,
                                                                length_at(offset) - kAddressRecordHeaderSize));
}

AddressRecord AddressStore::record_at(std::uint32_t offset) const {
    AddressRecord record;
    record.id = id_at(offset);
    record.live = live_at(offset);
    record.marks = marks_at(offset);
    const std::size_t end = std::min<std::size_t>(offset + static_cast<std::size_t>(length_at(offset)), m_image.size());
    std::size_t pos = offset + kAddressRecordHeaderSize;
    for (std::string& field : record.fields) {
        if (pos >= end) break;
        const void* zero = std::memchr(m_image.data() + pos, 0, end - pos);
        const std::size_t stop = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - m_image.data()) : end;
        field.assign(m_image, pos, stop - pos);
        pos = stop + 1;
    }
    return record;
}

std::string_view AddressStore::field_at(std::uint32_t offset, int field) const {
    const std::size_t end = std::min<std::size_t>(offset + static_cast<std::size_t>(length_at(offset)), m_image.size());
    std::size_t pos = offset + kAddressRecordHeaderSize;
    for (int i = 0; i < kAddressFieldCount && pos < end; ++i) {
        const void* zero = std::memchr(m_image.data() + pos, 0, end - pos);
        const std::size_t stop = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - m_image.data()) : end;
        if (i == field) return std::string_view(m_image).substr(pos, stop - pos);
        pos = stop + 1;
    }
    return {};
}

// ---- the view ------------------------------------------------------------------------------------

void AddressStore::rebuild_view() {
    if (!m_view_current) {
        m_items.clear();
        m_largest_id = 0;
        MessageServer server;
        bool whole = true;
        const auto visit = [&](std::uint32_t offset) {
            if (live_at(offset) && (m_mode == kModeAll || (marks_at(offset) & kSearchMark) != 0)) {
                m_items.push_back(offset);
                m_largest_id = std::max(m_largest_id, id_at(offset));
            }
            whole = server.serve();
            return whole;
        };
        each_frame(visit);
        m_view_current = whole;
    }
    status_log_write("Address Mode: " + log_number(m_mode) + " - Total Addresses: " + log_number(count()));
}

int AddressStore::position_of(std::uint32_t offset) const {
    // The view lists records in image order.
    const auto it = std::lower_bound(m_items.begin(), m_items.end(), offset);
    return it != m_items.end() && *it == offset ? static_cast<int>(it - m_items.begin()) : -1;
}

// ---- changes ---------------------------------------------------------------------------------------

std::string AddressStore::name_key_at(std::uint32_t offset) const {
    std::string key;
    name_key_into(offset, key);
    return key;
}

// address_name_key of the record's own fields, into a buffer that is reused
// over a whole book.
void AddressStore::name_key_into(std::uint32_t offset, std::string& key) const {
    key.clear();
    const std::size_t end = std::min<std::size_t>(offset + static_cast<std::size_t>(length_at(offset)), m_image.size());
    std::size_t pos = offset + kAddressRecordHeaderSize;
    for (int field = kFieldFirst; field <= kFieldCompany; ++field) {
        if (field != kFieldFirst) key += ' ';
        if (pos >= end) continue;
        const void* zero = std::memchr(m_image.data() + pos, 0, end - pos);
        const std::size_t stop = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - m_image.data()) : end;
        key.append(m_image, pos, stop - pos);
        pos = stop + 1;
    }
    std::size_t first = 0, last = key.size();
    while (first < last && key[first] == ' ') ++first;
    while (last > first && key[last - 1] == ' ') --last;
    key.erase(last).erase(0, first);
    lower_in_place(key);
}

void AddressStore::build_name_keys() {
    m_names.clear();
    m_names.reserve(m_items.size() + 64, m_image.size() / 4);
    std::string key;
    for (std::size_t at = next_frame(0); at != std::string::npos; at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
        const auto offset = static_cast<std::uint32_t>(at);
        if (!live_at(offset)) continue;
        name_key_into(offset, key);
        m_names.add(key);
    }
    m_name_keys_valid = true;
}

std::string AddressStore::unique_first(const AddressValues& values) {
    const std::string& first = values[kFieldFirst];
    std::int64_t n = 0;
    if (!m_name_keys_valid && m_appends_since_sort < kAppendsBeforeLearningNames) {
        // A single add (each is sorted at once) looks at every name once
        // instead of learning them all.
        AddressNameScan scan(first, values[kFieldLast], values[kFieldCompany]);
        std::string key;
        // The first add after a load has to learn whether the book is in
        // order too; doing it in this walk spares a second one over a large image.
        const bool check_order = !m_order_known;
        OrderCheck check = check_order ? start_order_check() : OrderCheck{};
        for (std::size_t at = next_frame(0); at != std::string::npos; at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
            const auto offset = static_cast<std::uint32_t>(at);
            if (check_order) check_order_at(check, offset);
            if (!live_at(offset)) continue;
            // The key is First, Last and Company as they lie, zero bytes read
            // as blanks, trimmed: its length and whether it holds a '(' come
            // without forming it, and most keys are passed over on them.
            const char* const begin = m_image.data() + offset + kAddressRecordHeaderSize;
            const char* const end = m_image.data() + std::min<std::size_t>(offset + static_cast<std::size_t>(length_at(offset)), m_image.size());
            const char* stop = begin;
            for (int field = kFieldFirst; field <= kFieldCompany && stop < end; ++field) {
                const void* zero = std::memchr(stop, 0, static_cast<std::size_t>(end - stop));
                stop = zero ? static_cast<const char*>(zero) + (field < kFieldCompany ? 1 : 0) : end;
            }
            const char* from = begin;
            const char* to = stop;
            while (from < to && (*from == ' ' || *from == '\0')) ++from;
            while (to > from && (to[-1] == ' ' || to[-1] == '\0')) --to;
            const auto length = static_cast<std::size_t>(to - from);
            if (!scan.wants(length, std::memchr(from, '(', length) != nullptr)) continue;
            name_key_into(offset, key);
            scan.see(key);
        }
        if (check_order) finish_order_check(check);
        n = scan.free_suffix();
    } else {
        if (!m_name_keys_valid) build_name_keys();
        n = m_names.free_suffix(first, values[kFieldLast], values[kFieldCompany]);
    }
    return n == 0 ? first : first + " (" + std::to_string(n) + ")";
}

AppendResult AddressStore::append_record(std::int32_t id, std::uint8_t marks, const AddressValues& values) {
    AppendResult result;
    // The values are copied only when they have to change: a zero byte ends
    // a value, and a record too long for the builder is cut.
    AddressValues changed;
    const AddressValues* kept = &values;
    const auto change = [&]() -> AddressValues& {
        if (kept != &changed) {
            changed = values;
            kept = &changed;
        }
        return changed;
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t zero = values[i].find('\0');
        if (zero != std::string::npos) change()[i].resize(zero);
    }
    result.first = unique_first(*kept);
    if (value_bytes(*kept) - (*kept)[kFieldFirst].size() + result.first.size() > kMostValueBytes) {
        cut_to_fit(change(), kMostValueBytes - kSuffixRoom);
        result.first = unique_first(changed);
        result.cut = true;
        status_log_write("Address Record Cut To Fit: " + log_number(id));
    }
    // The record is built in place at the end of the image; the old records do not move.
    // Growing the image may move it, under the worker finding its order.
    settle_order_ahead();
    const std::size_t old_size = m_image.size();
    m_image.append(kAddressRecordHeaderSize, '\0');
    std::memcpy(m_image.data() + old_size + 4, kMagic, 4);
    put_u32(m_image, old_size + 8, static_cast<std::uint32_t>(id));
    m_image[old_size + 12] = 1;
    m_image[old_size + 13] = static_cast<char>(marks);
    if (m_selected_known && (marks & kSelectedMark) != 0) {
        ++m_selected_count;
        m_selected_hint = static_cast<std::uint32_t>(old_size);
    }
    for (std::size_t i = 0; i < kept->size(); ++i) {
        m_image.append(i == kFieldFirst ? result.first : (*kept)[i]);
        m_image.push_back('\0');
    }
    put_u32(m_image, old_size, static_cast<std::uint32_t>(m_image.size() - old_size));
    result.offset = static_cast<std::uint32_t>(old_size);
    m_journal.note(static_cast<std::uint32_t>(id), false);
    ++m_appends_since_sort;
    status_log_write("Save Address Record: " + log_number(id) + " - Old: " + log_number(static_cast<std::int64_t>(old_size)) +
                     " - New: " + log_number(static_cast<std::int64_t>(m_image.size())));
    if (m_name_keys_valid) m_names.add(address_name_key(result.first, (*kept)[kFieldLast], (*kept)[kFieldCompany]));
    // The old records do not move, so the view only gains this one.
    if (m_mode == kModeAll || (marks & kSearchMark) != 0) {
        m_items.push_back(result.offset);
        m_largest_id = std::max(m_largest_id, id);
    }
    status_log_write("Address Mode: " + log_number(m_mode) + " - Total Addresses: " + log_number(count()));
    return result;
}

std::int32_t AddressStore::new_record_id() const {
    if (m_largest_id < INT32_MAX) return m_largest_id + 1;
    std::vector<std::int32_t> ids;
    ids.reserve(m_items.size());
    for (const std::uint32_t offset : m_items) ids.push_back(id_at(offset));
    std::sort(ids.begin(), ids.end());
    std::int32_t candidate = 1;
    for (const std::int32_t id : ids) {
        if (id < candidate) continue;
        if (id > candidate) break;
        ++candidate;
    }
    return candidate;
}

}  // namespace domora
