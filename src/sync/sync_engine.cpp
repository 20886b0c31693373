// Receiving the server's changes, the delete guard and applying what came to the book.
#include "sync/sync_engine.h"

#include <map>
#include <unordered_map>
#include <unordered_set>

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

// A text key of all 17 values, for finding a record equal to a card.
std::string fields_key(const AddressFields& f) {
    std::string key;
    for (const std::string& v : f) key.append(v).append(1, '\0');
    return key;
}

}  // namespace

Result<Incoming> receive_changes(HttpClient& http, const SyncState& state, const BookSnapshot& book, const SyncProgressFn& progress) {
    if (progress) progress("Checking the server", 0, 0);
    Result<CollectionChanges> listed = collection_changes(http, state.book_url, state.token, state.ctag);
    if (!listed) return listed.error();
    const CollectionChanges& changes = listed.value();

    Incoming in;
    in.state = state;
    in.state.token = changes.token;
    in.state.ctag = changes.ctag;
    std::vector<SyncEntry>& entries = in.state.entries;
    std::unordered_map<std::string, std::size_t> by_href;
    for (std::size_t i = 0; i < entries.size(); ++i) by_href[entries[i].href] = i;
    std::unordered_map<std::int32_t, const BookContact*> by_id;
    for (const BookContact& c : book) by_id[c.id] = &c;

    // Which cards to fetch: new ones and those whose ETag moved.
    std::vector<std::string> wanted;
    std::map<std::string, std::string> listed_etag;
    for (const MemberEtag& m : changes.changed) {
        listed_etag[m.href] = m.etag;
        const auto known = by_href.find(m.href);
        if (known != by_href.end() && entries[known->second].etag == m.etag) continue;
        wanted.push_back(m.href);
    }
    std::vector<std::string> removed = changes.removed;
    if (changes.complete) {
        for (const SyncEntry& e : entries) {
            if (!e.etag.empty() && !listed_etag.count(e.href)) removed.push_back(e.href);
        }
    }
    // The listing is done with before the cards come: every member's href and ETag twice over is no small part of a large book.
    std::map<std::string, std::string>().swap(listed_etag);
    std::vector<MemberEtag>().swap(listed.value().changed);
    const std::size_t total = wanted.size();
    Result<std::vector<FetchedCard>> fetched = fetch_cards(http, state.book_url, wanted, [&](std::size_t done) {
        if (progress) progress("Receiving contacts", done, total);
    });
    if (!fetched) return fetched.error();

    // Records no contact belongs to yet, by their values: a card equal to one of them is that record.
    std::unordered_map<std::string, std::int32_t> unlinked;
    {
        std::unordered_map<std::int32_t, bool> linked;
        for (const SyncEntry& e : entries) linked[e.record_id] = true;
        for (const BookContact& c : book) {
            if (!linked.count(c.id)) unlinked.emplace(fields_key(c.fields), c.id);
        }
    }

    std::vector<bool> drop(entries.size(), false);
    for (FetchedCard& card : fetched.value()) {
        const AddressFields server_new = card_fields(card.card);
        const auto known = by_href.find(card.href);
        if (known == by_href.end()) {
            SyncEntry e;
            e.href = card.href;
            e.etag = card.etag;
            e.uid = card_uid(card.card);
            e.base = server_new;
            const auto same = unlinked.find(fields_key(server_new));
            if (same != unlinked.end()) {
                e.record_id = same->second;
                unlinked.erase(same);
            } else {
                in.changes.push_back({BookChange::Add, 0, card.href, {}, server_new});
            }
            e.card = std::move(card.card);
            by_href[e.href] = entries.size();
            entries.push_back(std::move(e));
            drop.push_back(false);
            continue;
        }
        SyncEntry& e = entries[known->second];
        if (e.etag.empty()) {
            // Our own upload, which went through before the sync was stopped.
            e.etag = card.etag;
            e.card = std::move(card.card);
            continue;
        }
        const AddressFields server_old = card_fields(e.card);
        const FieldSet theirs = changed_fields(server_old, server_new);
        e.etag = card.etag;
        e.card = std::move(card.card);
        const auto local = by_id.find(e.record_id);
        if (e.record_id == 0 || local == by_id.end()) {
            if (e.record_id != 0) in.log.push_back("Contacts Sync: " + name_of(server_new) + " was deleted here and changed on the server; it is kept");
            in.changes.push_back({BookChange::Add, 0, e.href, {}, server_new});
            e.base = server_new;
            e.record_id = 0;
            continue;
        }
        const AddressFields& ours = local->second->fields;
        const FieldSet mine = changed_fields(e.base, ours);
        AddressFields merged = ours;
        for (std::size_t f = 0; f < merged.size(); ++f) {
            if (!theirs.test(f)) continue;
            if (!mine.test(f)) {
                merged[f] = server_new[f];
                e.base[f] = server_new[f];
            } else if (ours[f] == server_new[f]) {
                e.base[f] = ours[f];  // the same change on both sides
            } else {
                in.log.push_back("Contacts Sync: " + name_of(ours) + " - " + kFieldNames[f] + " changed on both sides; kept \"" + ours[f] +
                                 "\", the server had \"" + server_new[f] + "\"");
            }
        }
        if (merged != ours) in.changes.push_back({BookChange::Edit, e.record_id, {}, ours, merged});
    }

    for (const std::string& href : removed) {
        const auto known = by_href.find(href);
        if (known == by_href.end()) continue;
        SyncEntry& e = entries[known->second];
        drop[known->second] = true;
        const auto local = by_id.find(e.record_id);
        if (e.record_id == 0 || local == by_id.end()) continue;
        const AddressFields& ours = local->second->fields;
        if (changed_fields(e.base, ours).any()) {
            // Deletion against a change keeps the contact: it goes up again as a new card.
            in.log.push_back("Contacts Sync: " + name_of(ours) + " was deleted on the server and changed here; it is kept");
            continue;
        }
        in.changes.push_back({BookChange::Delete, e.record_id, {}, ours, {}});
    }
    // Contacts whose record was never added (a sync stopped before its changes reached the book).
    // The adds already planned are looked up by href: a scan of them per contact is quadratic on a first sync.
    std::unordered_set<std::string> pending;
    for (const BookChange& c : in.changes) {
        if (c.kind == BookChange::Add) pending.insert(c.href);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (drop[i] || entries[i].record_id != 0 || pending.count(entries[i].href)) continue;
        in.changes.push_back({BookChange::Add, 0, entries[i].href, {}, card_fields(entries[i].card)});
    }
    // In place: a second vector of every contact would double what the state holds.
    std::size_t to = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (drop[i]) continue;
        if (to != i) entries[to] = std::move(entries[i]);
        ++to;
    }
    entries.resize(to);
    for (const SyncEntry& e : entries) in.server_size += e.etag.empty() ? 0 : 1;
    in.state_changed = in.state.token != state.token || in.state.ctag != state.ctag || !fetched.value().empty() || !removed.empty() || !in.changes.empty();
    return in;
}

// ---- the delete guard ---------------------------------------------------------------------------------

DeleteCounts count_deletions(const Incoming& incoming, const BookSnapshot& book) {
    DeleteCounts counts;
    counts.book_size = book.size();
    counts.server_size = incoming.server_size;
    for (const BookChange& c : incoming.changes) counts.in_book += c.kind == BookChange::Delete ? 1 : 0;
    std::unordered_map<std::int32_t, bool> present;
    for (const BookContact& c : book) present[c.id] = true;
    for (const SyncEntry& e : incoming.state.entries) {
        if (e.record_id != 0 && !e.etag.empty() && !present.count(e.record_id)) ++counts.on_server;
    }
    return counts;
}

bool deletions_need_asking(const DeleteCounts& c) {
    if (c.in_book + c.on_server > 20) return true;
    if (c.in_book > 0 && c.in_book * 4 > c.book_size) return true;
    return c.on_server > 0 && c.on_server * 4 > c.server_size;
}

void keep_deleted_contacts(Incoming& incoming, const BookSnapshot& book) {
    // Records the server deleted stay, and go up again as new cards (they have no contact now).
    std::vector<BookChange> changes;
    for (BookChange& c : incoming.changes) {
        if (c.kind != BookChange::Delete) changes.push_back(std::move(c));
    }
    incoming.changes = std::move(changes);
    // Cards whose record was deleted here come back into the book.
    std::unordered_map<std::int32_t, bool> present;
    for (const BookContact& c : book) present[c.id] = true;
    for (SyncEntry& e : incoming.state.entries) {
        if (e.record_id == 0 || e.etag.empty() || present.count(e.record_id)) continue;
        e.record_id = 0;
        e.base = card_fields(e.card);
        incoming.changes.push_back({BookChange::Add, 0, e.href, {}, e.base});
    }
}

// ---- applying -------------------------------------------------------------------------------------------

void apply_changes(Incoming& incoming, BookEditor& book) {
    std::unordered_map<std::string, SyncEntry*> by_href;
    std::unordered_map<std::int32_t, SyncEntry*> by_id;
    for (SyncEntry& e : incoming.state.entries) {
        by_href[e.href] = &e;
        if (e.record_id != 0) by_id[e.record_id] = &e;
    }
    for (const BookChange& c : incoming.changes) {
        if (c.kind == BookChange::Add) {
            const auto found = by_href.find(c.href);
            if (found == by_href.end()) continue;
            AddressFields stored;
            incoming.state_changed = true;
            found->second->record_id = book.add(c.after, stored);
            found->second->base = stored;
            continue;
        }
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
        const AddressFields stored = book.edit(c.id, wanted);
        const auto entry = by_id.find(c.id);
        if (entry == by_id.end()) continue;
        for (std::size_t f = 0; f < stored.size(); ++f) {
            if (!user.test(f) && c.after[f] != c.before[f]) entry->second->base[f] = stored[f];
        }
    }
}

}  // namespace domora
