#include "sync/carddav_state.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/files.h"
#include "platform/platform.h"

namespace domora {

namespace {

constexpr char kMagic[4] = {'C', 'D', 'A', 'V'};
constexpr std::size_t kFrameHeader = 9;  // length, magic, kind
constexpr unsigned char kSettingsFrame = 1;
constexpr unsigned char kEntryFrame = 2;
constexpr const char* kFormatVersion = "1";

void put_u32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t get_u32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

void put_text(std::string& out, std::string_view text) {
    put_u32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

void frame(std::string& out, unsigned char kind, const std::string& payload) {
    put_u32(out, static_cast<std::uint32_t>(kFrameHeader + payload.size()));
    out.append(kMagic, 4);
    out += static_cast<char>(kind);
    out += payload;
}

// Reads the texts of one frame's payload; false when a length runs past its end.
class Texts {
public:
    explicit Texts(std::string_view payload) : m_payload(payload) {}
    bool next(std::string& out) {
        std::string_view text;
        if (!next(text)) return false;
        out.assign(text);
        return true;
    }
    bool next(CompactText& out) {
        std::string_view text;
        if (!next(text)) return false;
        out = text;
        return true;
    }
    bool next(std::string_view& out) {
        if (m_payload.size() - m_at < 4) return false;
        const std::uint32_t length = get_u32(m_payload, m_at);
        m_at += 4;
        if (length > m_payload.size() - m_at) return false;
        out = m_payload.substr(m_at, length);
        m_at += length;
        return true;
    }
    bool at_end() const { return m_at == m_payload.size(); }

private:
    std::string_view m_payload;
    std::size_t m_at = 0;
};

bool read_settings(std::string_view payload, SyncState& state) {
    Texts t(payload);
    std::string version, plain;
    SyncState s;
    if (!t.next(version) || version != kFormatVersion) return false;
    if (!t.next(s.server) || !t.next(s.user) || !t.next(s.book_url) || !t.next(s.book_name) || !t.next(plain) || !t.next(s.token)) return false;
    if (plain != "0" && plain != "1") return false;
    if (!t.at_end() && !t.next(s.ctag)) return false;
    s.plain_http = plain == "1";
    state.server = std::move(s.server);
    state.user = std::move(s.user);
    state.book_url = std::move(s.book_url);
    state.book_name = std::move(s.book_name);
    state.plain_http = s.plain_http;
    state.token = std::move(s.token);
    state.ctag = std::move(s.ctag);
    return true;
}

// The card and the base are left for the spool: the card in the frame.
bool read_entry(std::string_view payload, SyncEntry& e, std::string_view& card, AddressFields& base) {
    if (payload.size() < 4) return false;
    e.record_id = static_cast<std::int32_t>(get_u32(payload, 0));
    if (e.record_id < 0) return false;
    Texts t(payload.substr(4));
    if (!t.next(e.href) || !t.next(e.etag) || !t.next(e.uid) || !t.next(card)) return false;
    for (std::string& field : base) {
        if (!t.next(field)) return false;
    }
    return !e.href.empty() && t.at_end();
}

void settings_frame(std::string& out, const SyncState& state) {
    std::string payload;
    put_text(payload, kFormatVersion);
    for (const std::string* text : {&state.server, &state.user, &state.book_url, &state.book_name}) put_text(payload, *text);
    put_text(payload, state.plain_http ? "1" : "0");
    put_text(payload, state.token);
    put_text(payload, state.ctag);
    frame(out, kSettingsFrame, payload);
}

void entry_frame(std::string& out, const SyncEntry& e, const std::string& card, std::string_view packed_base) {
    std::size_t size = 4 + 4 * (4 + kAddressFieldCount) + e.href.size() + e.etag.size() + e.uid.size() + card.size();
    const std::array<std::string_view, kAddressFieldCount> base = PackedFields::views_of(packed_base);
    for (const std::string_view field : base) size += field.size();
    put_u32(out, static_cast<std::uint32_t>(kFrameHeader + size));
    out.append(kMagic, 4);
    out += static_cast<char>(kEntryFrame);
    put_u32(out, static_cast<std::uint32_t>(e.record_id));
    for (const std::string_view text : {e.href.view(), e.etag.view(), e.uid.view(), std::string_view(card)}) put_text(out, text);
    for (const std::string_view field : base) put_text(out, field);
}

// What the writer gathers before it hands a piece over.
constexpr std::size_t kPieceSize = 64 * 1024;

}  // namespace

Result<std::string> SyncState::card(const SyncEntry& e) const {
    if (e.card.size == 0) return std::string();
    if (!cards) return Error{"the contacts sync lost its cards"};
    return cards->read(e.card);
}

Result<PackedFields> SyncState::base(const SyncEntry& e) const {
    if (e.base.at.size == 0) return PackedFields();
    if (!cards) return Error{"the contacts sync lost its cards"};
    Result<std::string> bytes = cards->read(e.base.at);
    if (!bytes) return bytes.error();
    return PackedFields::from_bytes(bytes.value());
}

namespace {

std::array<unsigned char, 16> digest_of(std::string_view packed) {
    std::array<unsigned char, 16> digest{};
    if (packed.empty()) return digest;
    // Picks the fastest code for this processor, once; thread-safe.
    [[maybe_unused]] static const int ready = sodium_init();
    crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(packed.data()), packed.size(), nullptr, 0);
    return digest;
}

Result<void> keep_text(SyncState& state, CardSpan& span, std::string_view text, const std::string& folder) {
    if (text.empty()) {
        span = {};
        return {};
    }
    if (!state.cards) {
        Result<std::shared_ptr<CardSpool>> spool = CardSpool::open(folder);
        if (!spool) return spool.error();
        state.cards = std::move(spool.value());
    }
    Result<CardSpan> kept = state.cards->add(text);
    if (!kept) return kept.error();
    span = kept.value();
    return {};
}

Result<void> keep_base(SyncState& state, SyncEntry& e, const PackedFields& fields, const std::string& folder) {
    BaseSpan base;
    if (Result<void> kept = keep_text(state, base.at, fields.bytes(), folder); !kept) return kept;
    base.digest = digest_of(fields.bytes());
    e.base = base;
    return {};
}

}  // namespace

bool base_matches(const SyncEntry& e, const PackedFields& fields) { return base_matches_packing(e, fields.bytes()); }

bool base_matches_packing(const SyncEntry& e, std::string_view packing) { return e.base.digest == digest_of(packing); }

Result<void> SyncState::set_card(SyncEntry& e, std::string_view text) { return keep_text(*this, e.card, text, sync_spool_folder()); }

Result<void> SyncState::set_base(SyncEntry& e, const PackedFields& fields) { return keep_base(*this, e, fields, sync_spool_folder()); }

Result<bool> SyncStateWriter::next(std::string& out) {
    out.clear();
    if (m_next > m_state.entries.size()) return false;
    if (m_next == 0) {
        settings_frame(out, m_state);
        ++m_next;
    }
    while (m_next <= m_state.entries.size() && out.size() < kPieceSize) {
        const SyncEntry& e = m_state.entries[m_next++ - 1];
        m_card.clear();
        m_base.clear();
        if (e.card.size != 0 || e.base.at.size != 0) {
            if (!m_state.cards) return Error{"the contacts sync lost its cards"};
            if (Result<void> read = m_state.cards->read_into(e.card, m_card); !read) return read.error();
            if (Result<void> read = m_state.cards->read_into(e.base.at, m_base); !read) return read.error();
        }
        entry_frame(out, e, m_card, m_base);
    }
    return true;
}

Result<std::string> format_sync_state(const SyncState& state) {
    std::string out, piece;
    SyncStateWriter writer(state);
    for (;;) {
        Result<bool> more = writer.next(piece);
        if (!more) return more.error();
        if (!more.value()) return out;
        out += piece;
    }
}

namespace {

// The bytes of the state, from memory or from the file a window at a time:
// a large book's state is never held twice, as its bytes and as contacts.
class Window {
public:
    explicit Window(std::string_view all) : m_all(all), m_size(all.size()) {}
    Window(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    std::uint64_t size() const { return m_size; }
    // The file could not be read (errno says why), or ended before its size.
    bool failed() const { return m_error != 0 || m_ended; }
    int error() const { return m_error; }

    // Bytes [offset, offset + count) of the state, count no more than what
    // is left; nothing before the last let_go() is asked again. Valid until
    // the next call. Shorter when the file could not be read that far (see failed()).
    std::string_view bytes(std::uint64_t offset, std::size_t count) {
        if (m_fd < 0) return m_all.substr(static_cast<std::size_t>(offset), count);
        while (!failed() && m_start + m_held.size() < offset + count) {
            const std::size_t at = m_held.size();
            // A piece at a time, but no more than the file has: a small book's state is read in its own size.
            const std::uint64_t left = m_size > m_start + at ? m_size - (m_start + at) : 0;
            const auto need = static_cast<std::size_t>(offset + count - m_start - at);
            m_held.resize(at + std::max<std::size_t>(need, static_cast<std::size_t>(std::min<std::uint64_t>(kRead, left))));
            const long n = platform().sys_read(m_fd, m_held.data() + at, m_held.size() - at);
            m_held.resize(at + static_cast<std::size_t>(n > 0 ? n : 0));
            if (n < 0) m_error = errno != 0 ? errno : EIO;
            if (n == 0) m_ended = true;
        }
        if (m_start + m_held.size() < offset + count) return {};
        return std::string_view(m_held).substr(static_cast<std::size_t>(offset - m_start), count);
    }
    // Everything before offset is done with. Bytes not read yet are passed
    // over in the file, not read: counting the frames skips the cards.
    void let_go(std::uint64_t offset) {
        if (m_fd < 0 || offset - m_start < kRead) return;
        if (offset > m_start + m_held.size()) {
            m_held.clear();
            if (platform().sys_seek(m_fd, static_cast<std::int64_t>(offset), SEEK_SET) < 0) m_error = errno != 0 ? errno : EIO;
        } else {
            m_held.erase(0, static_cast<std::size_t>(offset - m_start));
        }
        m_start = offset;
    }

private:
    static constexpr std::size_t kRead = 256 * 1024;
    std::string_view m_all;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_start = 0;  // the file offset of m_held's first byte
    std::string m_held;
    int m_error = 0;
    bool m_ended = false;
};

// The frame at offset: its length, or 0 when no whole frame starts there.
std::uint32_t frame_at(Window& w, std::uint64_t offset) {
    const std::uint64_t left = w.size() - offset;
    if (left < kFrameHeader) return 0;
    const std::string_view head = w.bytes(offset, kFrameHeader);
    if (head.size() < kFrameHeader || head.compare(4, 4, std::string_view(kMagic, 4)) != 0) return 0;
    const std::uint32_t length = get_u32(head, 0);
    return length < kFrameHeader || length > left ? 0 : length;
}

// How many contacts a whole file holds, read by the frames' lengths alone: room for them at once.
std::size_t entries_ahead(Window& w) {
    std::size_t count = 0;
    std::uint64_t at = 0;
    while (at < w.size()) {
        const std::uint32_t length = frame_at(w, at);
        if (length == 0) break;  // damage: the rest is found as it is read
        count += w.bytes(at + 8, 1) == std::string_view("\x02", 1) ? 1 : 0;
        at += length;
        w.let_go(at);
    }
    return count;
}

Result<SyncState> scan(Window& w, const std::string& folder, std::size_t room = 0) {
    SyncState state;
    state.entries.reserve(room);
    AddressFields base;  // one for every entry: its strings keep their room
    std::uint64_t at = 0;
    while (at < w.size()) {
        const std::uint32_t length = frame_at(w, at);
        if (w.failed()) break;  // what was read is all there is
        if (length == 0) {
            ++at;
            continue;
        }
        const std::string_view frame = w.bytes(at, length);
        if (frame.size() < length) break;
        const unsigned char kind = static_cast<unsigned char>(frame[8]);
        const std::string_view payload = frame.substr(kFrameHeader);
        bool good = false;
        if (kind == kSettingsFrame) {
            good = read_settings(payload, state);
        } else if (kind == kEntryFrame) {
            SyncEntry entry;
            std::string_view card;
            good = read_entry(payload, entry, card, base);
            if (good) {
                if (Result<void> kept = keep_text(state, entry.card, card, folder); !kept) return kept.error();
                if (Result<void> kept = keep_base(state, entry, base, folder); !kept) return kept.error();
                state.entries.push_back(std::move(entry));
            }
        }
        at += good ? length : 1;
        w.let_go(at);
    }
    return state;
}

}  // namespace

Result<SyncState> parse_sync_state(std::string_view bytes) {
    Window w(bytes);
    return scan(w, sync_spool_folder());
}

Result<SyncState> read_sync_state(const std::string& path) {
    if (!file_exists(path)) return SyncState{};
    Platform& os = platform();
    const int fd = os.sys_open(path, O_RDONLY, 0);
    if (fd < 0) return Error{std::strerror(errno)};
    const std::int64_t size = os.sys_seek(fd, 0, SEEK_END);
    std::size_t count = 0;
    if (size > 0) {
        os.sys_seek(fd, 0, SEEK_SET);
        Window counting(fd, static_cast<std::uint64_t>(size));
        count = entries_ahead(counting);
    }
    os.sys_seek(fd, 0, SEEK_SET);
    Window w(fd, size > 0 ? static_cast<std::uint64_t>(size) : 0);
    Result<SyncState> state = scan(w, folder_of(path), count);
    os.sys_close(fd);
    // Part of the contacts is no state to sync with: the next sync would take the rest for new ones.
    if (w.error() != 0) return Error{std::strerror(w.error())};
    return state;
}

Result<void> write_sync_state(const std::string& path, const SyncState& state) {
    SyncStateWriter writer(state);
    std::string piece;
    return write_file_atomic_checked(
        path,
        [&]() -> Result<std::string_view> {
            Result<bool> more = writer.next(piece);
            if (!more) return more.error();
            return more.value() ? std::string_view(piece) : std::string_view();
        },
        kOwnerOnly);
}

}  // namespace domora
