// The contacts sync's state file "carddav.dat" in the data folder: where to
// sync (server, address book, user name; never the password), the sync
// token, and per contact the record id, href, ETag, UID, the card as last
// seen on the server and our fields as they were when the two last agreed.
//
// The file is a run of frames like the data files': u32 total length,
// "CDAV", a u8 kind (1 the settings, 2 a contact), then length-prefixed
// byte strings (u32 length + bytes). While the program runs the cards wait
// in a spool (see card_spool.h), not in memory, and so do the bases. Every length is checked against the
// bytes left; a damaged frame is skipped byte by byte, so it costs only
// itself. Written whole, atomically, owner-only, a piece at a time so that a
// large book's state never lies in memory twice. The settings end in the
// ctag: a file from before it lacks it (read as unknown), and a reader from
// before it passes over it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "addresses/address_export.h"
#include "app/result.h"
#include "sync/card_spool.h"
#include "sync/compact_text.h"
#include "sync/packed_fields.h"

namespace domora {

inline constexpr const char* kSyncStateName = "carddav.dat";

// A contact's base (our fields when they last matched the card) lies in the
// state's spool beside the card, and is known in memory by its digest: a
// sync reads back only the bases of what changed, and tells every record
// still as its base says by the digest alone.
struct BaseSpan {
    CardSpan at;
    std::array<unsigned char, 16> digest{};  // all zero for the empty fields
    bool operator==(const BaseSpan&) const = default;
};

struct SyncEntry {
    std::int32_t record_id = 0;  // 0 while the contact waits to be added to the book
    CompactText href;            // normalised path on the server
    CompactText etag;            // "" while an upload is not confirmed
    CompactText uid;
    CardSpan card;               // in the state's spool: UTF-8, as last seen on (or sent to) the server
    BaseSpan base;               // our fields when they last matched the card (see SyncState::base)
};

// Whether fields are e's base, by its digest.
bool base_matches(const SyncEntry& e, const PackedFields& fields);
// The same for the packing of the fields (see PackedFields::pack).
bool base_matches_packing(const SyncEntry& e, std::string_view packing);

struct SyncState {
    std::string server;      // what the user typed
    std::string user;
    std::string book_url;    // absolute; "" when the sync is not set up
    std::string book_name;
    bool plain_http = false;  // the user accepted plain http to a server that is not on this machine
    std::string token;
    // The book's CS:getctag when the token was taken ("" when unknown): the
    // same ctag again means nothing changed since.
    std::string ctag;
    std::vector<SyncEntry> entries;
    // Where the entries' cards are; copies of a state share it.
    std::shared_ptr<CardSpool> cards;

    bool configured() const { return !book_url.empty(); }
    Result<std::string> card(const SyncEntry& e) const;
    // Keeps text as e's card. The spool is made on first need, beside the
    // state file (see app_paths), or in the temporary folder without one.
    Result<void> set_card(SyncEntry& e, std::string_view text);
    Result<PackedFields> base(const SyncEntry& e) const;
    Result<void> set_base(SyncEntry& e, const PackedFields& fields);
};

Result<std::string> format_sync_state(const SyncState& state);
// The same bytes a frame or so at a time, into out (which is reused): false
// after the last; an error when a card could not be read from the spool.
class SyncStateWriter {
public:
    explicit SyncStateWriter(const SyncState& state) : m_state(state) {}
    Result<bool> next(std::string& out);

private:
    const SyncState& m_state;
    std::size_t m_next = 0;  // 0 the settings, then entry m_next - 1
    std::string m_card;
    std::string m_base;
};
// What the bytes hold; damaged frames are left out. An error only when the
// cards find no spool.
Result<SyncState> parse_sync_state(std::string_view bytes);
// A missing file is a sync that is not set up.
Result<SyncState> read_sync_state(const std::string& path);
Result<void> write_sync_state(const std::string& path, const SyncState& state);

}  // namespace domora
