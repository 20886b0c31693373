// Receiving the server's changes, the delete guard and applying what came to the book.
#include "sync/sync_engine.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>

#include "addresses/address_store.h"
#include "app/text.h"
#include "sync/carddav_client.h"
#include "sync/dav_xml.h"

namespace domora {

namespace {

const char* const kFieldNames[kAddressFieldCount] = {"First",      "Last",       "Company",    "Address 1", "Address 2", "City",
                                                     "State",      "Zip",        "Country",    "Home Phone", "Work Phone",
                                                     "Cell Phone", "Email",      "Web Site",   "Misc 1",     "Misc 2",  "Misc 3"};

std::string name_of(const AddressFields& f) {
    const std::string name = trim(f[kFieldFirst] + " " + f[kFieldLast]);
    return name.empty() ? f[kFieldCompany] : name;
}

// The contacts by href while the server's changes come: those the state
// came with as their places sorted by href, four bytes each, made when the
// server first names a member (most syncs find none); those added since in
// a map. An href's bytes stay where they are when its entry moves, so the
// map's views outlive the entries' room growing.
class HrefIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    explicit HrefIndex(const std::vector<SyncEntry>& entries) : m_entries(entries), m_known(entries.size()) {}

    std::size_t find(std::string_view href) {
        if (!m_sorted) sort_known();
        const auto at = std::lower_bound(m_by_href.begin(), m_by_href.end(), href,
                                         [this](std::uint32_t i, std::string_view h) { return m_entries[i].href.view() < h; });
        if (at != m_by_href.end() && m_entries[*at].href == href) return *at;
        const auto added = m_added.find(href);
        return added == m_added.end() ? npos : added->second;
    }
    // The entry at index was added after the state's own.
    void added(std::size_t index) { m_added.emplace(m_entries[index].href.view(), index); }
    void clear() {
        std::vector<std::uint32_t>().swap(m_by_href);
        m_added = {};
    }

private:
    void sort_known() {
        m_sorted = true;
        m_by_href.resize(m_known);
        for (std::size_t i = 0; i < m_known; ++i) m_by_href[i] = static_cast<std::uint32_t>(i);
        std::sort(m_by_href.begin(), m_by_href.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return m_entries[a].href.view() < m_entries[b].href.view(); });
    }

    const std::vector<SyncEntry>& m_entries;
    std::size_t m_known;
    bool m_sorted = false;
    std::vector<std::uint32_t> m_by_href;
    std::unordered_map<std::string_view, std::size_t> m_added;
};

}  // namespace

BookIndex::BookIndex(const BookSnapshot& book) {
    m_sorted.reserve(book.size());
    for (const BookContact& c : book) m_sorted.push_back(&c);
    std::sort(m_sorted.begin(), m_sorted.end(), [](const BookContact* a, const BookContact* b) { return a->id < b->id; });
}

std::size_t BookIndex::position(std::int32_t id) const {
    const auto at = std::lower_bound(m_sorted.begin(), m_sorted.end(), id, [](const BookContact* c, std::int32_t v) { return c->id < v; });
    return at != m_sorted.end() && (*at)->id == id ? static_cast<std::size_t>(at - m_sorted.begin()) : npos;
}

const BookContact* BookIndex::find(std::int32_t id) const {
    const std::size_t at = position(id);
    return at == npos ? nullptr : m_sorted[at];
}

Result<Incoming> receive_changes(HttpClient& http, SyncState state, const BookSnapshot& book, const SyncProgressFn& progress) {
    // A first sync's report brings the cards themselves, and is the long part of it.
    if (progress) progress(state.token.empty() ? "Receiving contacts" : "Checking the server", 0, 0);
    Incoming in;
    const std::string old_token = state.token;
    const std::string old_ctag = state.ctag;
    in.state = std::move(state);
    std::vector<SyncEntry>& entries = in.state.entries;
    const std::size_t known_count = entries.size();
    HrefIndex by_href(entries);
    const BookIndex by_id(book);

    // Records no contact belongs to yet, by their values: a card equal to one of them is that record.
    std::unordered_map<std::string_view, std::int32_t> unlinked;
    {
        std::vector<bool> linked(by_id.size(), false);
        for (const SyncEntry& e : entries) {
            const std::size_t at = by_id.position(e.record_id);
            if (at != BookIndex::npos) linked[at] = true;
        }
        for (const BookContact& c : book) {
            if (!linked[by_id.position(c.id)]) unlinked.emplace(c.fields.bytes(), c.id);
        }
    }

    // Which cards to take or fetch: new ones and those whose ETag moved.
    std::vector<bool> listed_member(known_count, false);
    // A member the server names: its contact's place (npos for a new card), marked as listed.
    const auto member = [&](const std::string& href) {
        const std::size_t known = by_href.find(href);
        if (known != HrefIndex::npos && known < known_count) listed_member[known] = true;
        return known;
    };
    const auto known_as_is = [&](const std::string& href, const std::string& etag) {
        const std::size_t known = member(href);
        return known != HrefIndex::npos && entries[known].etag == etag;
    };

    // Our fields of a record, as the snapshot has them or as the base it
    // matched; kept once read, since the base moves on as the cards come.
    std::unordered_map<std::int32_t, AddressFields> synced_as;
    const auto ours_of = [&](const BookContact& local, const PackedFields& base) -> AddressFields {
        if (!local.as_synced) return local.fields.unpacked();
        const auto kept = synced_as.find(local.id);
        if (kept != synced_as.end()) return kept->second;
        return synced_as.emplace(local.id, base.unpacked()).first->second;
    };

    std::vector<bool> drop(entries.size(), false);
    std::size_t received = 0;
    // While the report is read the entries make room as cards come; after
    // it, room is made for the new cards asked for, and one beyond them is
    // left for the next sync.
    bool growing = true;
    // The first card the spool could not keep or give back ends the step.
    std::optional<Error> failed;
    // Each card goes to the spool and its text is let go at once.
    const auto keep = [&](SyncEntry& e, std::string& card) {
        if (Result<void> kept = in.state.set_card(e, card); !kept) failed = kept.error();
        std::string().swap(card);
    };
    const auto keep_base = [&](SyncEntry& e, const PackedFields& base) {
        if (Result<void> kept = in.state.set_base(e, base); !kept && !failed) failed = kept.error();
    };
    const auto take = [&](FetchedCard& card) {
        if (failed) return;
        const AddressFields server_new = card_fields(card.card);
        const std::size_t known = by_href.find(card.href);
        if (known == HrefIndex::npos) {
            if (entries.size() == entries.capacity()) {
                if (!growing) return;
                entries.reserve(std::max<std::size_t>(64, entries.capacity() * 2));
            }
            ++received;
            SyncEntry e;
            e.etag = std::move(card.etag);
            e.uid = card_uid(card.card);
            const PackedFields base = server_new;
            const auto same = unlinked.find(base.bytes());
            if (same != unlinked.end()) {
                e.record_id = same->second;
                unlinked.erase(same);
            }
            keep_base(e, base);
            keep(e, card.card);
            e.href = std::move(card.href);
            entries.push_back(std::move(e));
            by_href.added(entries.size() - 1);
            drop.push_back(false);
            return;
        }
        ++received;
        SyncEntry& e = entries[known];
        if (e.etag.empty()) {
            // Our own upload, which went through before the sync was stopped.
            e.etag = std::move(card.etag);
            keep(e, card.card);
            return;
        }
        Result<std::string> old_card = in.state.card(e);
        if (!old_card) {
            failed = old_card.error();
            return;
        }
        Result<PackedFields> old_base = in.state.base(e);
        if (!old_base) {
            failed = old_base.error();
            return;
        }
        const AddressFields server_old = card_fields(old_card.value());
        const FieldSet theirs = changed_fields(server_old, server_new);
        e.etag = std::move(card.etag);
        keep(e, card.card);
        const BookContact* local = by_id.find(e.record_id);
        if (e.record_id == 0 || local == nullptr) {
            // Its record is made again from the server's card.
            if (e.record_id != 0) in.log.push_back("Contacts Sync: " + name_of(server_new) + " was deleted here and changed on the server; it is kept");
            keep_base(e, server_new);
            e.record_id = 0;
            return;
        }
        const AddressFields ours = ours_of(*local, old_base.value());
        const FieldSet mine = changed_fields(old_base.value(), ours);
        AddressFields base = old_base.value().unpacked();
        AddressFields merged = ours;
        for (std::size_t f = 0; f < merged.size(); ++f) {
            if (!theirs.test(f)) continue;
            if (!mine.test(f)) {
                merged[f] = server_new[f];
                base[f] = server_new[f];
            } else if (ours[f] == server_new[f]) {
                base[f] = ours[f];  // the same change on both sides
            } else {
                in.log.push_back("Contacts Sync: " + name_of(ours) + " - " + kFieldNames[f] + " changed on both sides; kept \"" + ours[f] +
                                 "\", the server had \"" + server_new[f] + "\"");
            }
        }
        keep_base(e, base);
        if (merged != ours) in.changes.push_back({BookChange::Edit, e.record_id, ours, merged});
    };
    // The report's cards are taken in as they are read.
    Result<CollectionChanges> listed = collection_changes(http, in.state.book_url, old_token, old_ctag, [&](FetchedCard& card) {
        if (!known_as_is(card.href, card.etag)) take(card);
    });
    if (!listed) return listed.error();
    if (failed) return *failed;
    CollectionChanges& changes = listed.value();
    const bool new_token = changes.token != old_token || changes.ctag != old_ctag;
    in.state.token = changes.token;
    in.state.ctag = changes.ctag;
    std::vector<std::string> wanted;
    std::size_t wanted_new = 0;  // of them, cards no contact has yet
    for (MemberEtag& m : changes.changed) {
        const std::size_t known = member(m.href);
        if (known != HrefIndex::npos && entries[known].etag == m.etag) continue;
        if (known == HrefIndex::npos) ++wanted_new;
        wanted.push_back(std::move(m.href));
    }
    std::vector<std::string> removed = std::move(changes.removed);
    if (changes.complete) {
        for (std::size_t i = 0; i < known_count; ++i) {
            if (!entries[i].etag.empty() && !listed_member[i]) removed.push_back(entries[i].href.str());
        }
    }
    // The listing is done with before the cards come: every member's href and ETag is no small part of a large book.
    std::vector<bool>().swap(listed_member);
    std::vector<MemberEtag>().swap(changes.changed);
    growing = false;
    // Room for the new ones only: a changed card keeps its contact, and the
    // whole list is not moved for it.
    if (entries.capacity() < entries.size() + wanted_new) entries.reserve(entries.size() + wanted_new);
    // Each batch is taken in as it comes, so no more than one batch of cards is held beside the state.
    const std::size_t total = wanted.size();
    Result<void> fetched = fetch_cards_each(http, in.state.book_url, wanted, [&](std::vector<FetchedCard>& batch, std::size_t done) {
        for (FetchedCard& card : batch) take(card);
        if (progress) progress("Receiving contacts", done, total);
    });
    if (!fetched) return fetched.error();
    if (failed) return *failed;

    for (const std::string& href : removed) {
        const std::size_t known = by_href.find(href);
        if (known == HrefIndex::npos) continue;
        SyncEntry& e = entries[known];
        drop[known] = true;
        const BookContact* local = by_id.find(e.record_id);
        if (e.record_id == 0 || local == nullptr) continue;
        Result<PackedFields> base = in.state.base(e);
        if (!base) return base.error();
        const AddressFields ours = ours_of(*local, base.value());
        if (changed_fields(base.value(), ours).any()) {
            // Deletion against a change keeps the contact: it goes up again as a new card.
            in.log.push_back("Contacts Sync: " + name_of(ours) + " was deleted on the server and changed here; it is kept");
            continue;
        }
        in.changes.push_back({BookChange::Delete, e.record_id, ours, {}});
    }
    by_href.clear();
    // In place: a second vector of every contact would double what the state holds.
    std::size_t to = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (drop[i]) continue;
        if (to != i) entries[to] = std::move(entries[i]);
        ++to;
    }
    entries.resize(to);
    // Room made by doubling as a report's cards came is given back, before the book grows by them.
    if (entries.capacity() - entries.size() > entries.size() / 4) entries.shrink_to_fit();
    // Contacts without a record: new cards, and those of a sync stopped before its changes reached the book.
    for (const SyncEntry& e : entries) {
        in.server_size += e.etag.empty() ? 0 : 1;
        in.adds += e.record_id == 0 ? 1 : 0;
    }
    in.state_changed = new_token || received > 0 || !removed.empty() || !in.changes.empty() || in.adds > 0;
    return in;
}

// ---- the delete guard ---------------------------------------------------------------------------------

DeleteCounts count_deletions(const Incoming& incoming, const BookSnapshot& book) {
    DeleteCounts counts;
    counts.book_size = book.size();
    counts.server_size = incoming.server_size;
    for (const BookChange& c : incoming.changes) counts.in_book += c.kind == BookChange::Delete ? 1 : 0;
    const BookIndex present(book);
    for (const SyncEntry& e : incoming.state.entries) {
        if (e.record_id != 0 && !e.etag.empty() && present.find(e.record_id) == nullptr) ++counts.on_server;
    }
    return counts;
}

bool deletions_need_asking(const DeleteCounts& c) {
    if (c.in_book + c.on_server > 20) return true;
    if (c.in_book > 0 && c.in_book * 4 > c.book_size) return true;
    return c.on_server > 0 && c.on_server * 4 > c.server_size;
}

Result<void> keep_deleted_contacts(Incoming& incoming, const BookSnapshot& book) {
    // Records the server deleted stay, and go up again as new cards (they have no contact now).
    std::vector<BookChange> changes;
    for (BookChange& c : incoming.changes) {
        if (c.kind != BookChange::Delete) changes.push_back(std::move(c));
    }
    incoming.changes = std::move(changes);
    // Cards whose record was deleted here come back into the book.
    const BookIndex present(book);
    for (SyncEntry& e : incoming.state.entries) {
        if (e.record_id == 0 || e.etag.empty() || present.find(e.record_id) != nullptr) continue;
        Result<std::string> card = incoming.state.card(e);
        if (!card) return card.error();
        if (Result<void> kept = incoming.state.set_base(e, card_fields(card.value())); !kept) return kept;
        e.record_id = 0;
        ++incoming.adds;
    }
    return {};
}

// ---- applying -------------------------------------------------------------------------------------------

Result<void> apply_changes(Incoming& incoming, BookEditor& book) {
    // The first base that cannot be read or kept ends it. What went into the
    // book before is in the state too, which is still to be kept with it.

    // The contact of each changed record, found in one pass: the last of a
    // record's contacts stands for it. As many as the changes, not the book.
    std::vector<std::pair<std::int32_t, SyncEntry*>> by_id;
    by_id.reserve(incoming.changes.size());
    for (const BookChange& c : incoming.changes) by_id.emplace_back(c.id, nullptr);
    std::sort(by_id.begin(), by_id.end());
    by_id.erase(std::unique(by_id.begin(), by_id.end()), by_id.end());
    const auto place_of = [&](std::int32_t id) {
        return std::lower_bound(by_id.begin(), by_id.end(), std::pair<std::int32_t, SyncEntry*>(id, nullptr),
                                [](const auto& a, const auto& b) { return a.first < b.first; });
    };
    if (!by_id.empty()) {
        for (SyncEntry& e : incoming.state.entries) {
            const auto at = place_of(e.record_id);
            if (at != by_id.end() && at->first == e.record_id) at->second = &e;
        }
    }
    const auto entry_of = [&](std::int32_t id) -> SyncEntry* {
        const auto at = place_of(id);
        return at != by_id.end() && at->first == id ? at->second : nullptr;
    };
    for (const BookChange& c : incoming.changes) {
        const std::optional<AddressFields> now = book.find(c.id);
        if (!now) continue;  // deleted meanwhile: the next sync sends the deletion
        const FieldSet user = changed_fields(c.before, *now);
        if (c.kind == BookChange::Delete) {
            // Changed meanwhile: kept, and sent as a new card.
            if (user.none()) book.remove(c.id);
            continue;
        }
        AddressFields wanted = c.after;
        for (std::size_t f = 0; f < wanted.size(); ++f) {
            if (user.test(f)) wanted[f] = (*now)[f];
        }
        SyncEntry* const entry = entry_of(c.id);
        Result<PackedFields> packed = entry != nullptr ? incoming.state.base(*entry) : Result<PackedFields>(PackedFields());
        if (!packed) return packed.error();
        const AddressFields stored = book.edit(c.id, wanted);
        if (entry == nullptr) continue;
        AddressFields base = packed.value().unpacked();
        for (std::size_t f = 0; f < stored.size(); ++f) {
            if (!user.test(f) && c.after[f] != c.before[f]) base[f] = stored[f];
        }
        // Not kept: the base as it was makes the next sync send the merge as ours, which it is.
        if (Result<void> kept = incoming.state.set_base(*entry, base); !kept) return kept;
    }
    std::size_t adds = 0, packed_bytes = 0;
    for (const SyncEntry& e : incoming.state.entries) {
        if (e.record_id != 0) continue;
        ++adds;
        packed_bytes += e.base.at.size;
    }
    if (adds != 0) book.expect_adds(adds, packed_bytes);
    for (SyncEntry& e : incoming.state.entries) {
        if (e.record_id != 0) continue;
        Result<PackedFields> base = incoming.state.base(e);
        if (!base) return base.error();
        AddressFields stored;
        incoming.state_changed = true;
        e.record_id = book.add(base.value().unpacked(), stored);
        if (Result<void> kept = incoming.state.set_base(e, stored); !kept) return kept;
    }
    return {};
}

}  // namespace domora
