#include "addresses/address_list.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "addresses/folded_text.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/text.h"

namespace domora {

namespace {

void report(const ProgressFn& progress, std::int64_t done, std::int64_t total) {
    if (progress) progress(done, total);
}

void tell_save_failed(const Error& error) {
    show_message("Unable to save the address file||" + app_paths().address_file + "|" + error.message);
}

Result<void> sort_once(AddressStore& store, const ProgressFn& progress);

}  // namespace

// ---- sort --------------------------------------------------------------------------------------

std::string address_sort_key(std::string_view first, std::string_view last, std::string_view company) {
    std::string key;
    key.reserve(first.size() + last.size() + company.size() + 2);
    key.append(last).append(" ").append(first).append(" ").append(company);
    return to_upper(trim(key));
}

Result<void> sort_addresses(AddressStore& store, const ProgressFn& progress) {
    // What another program wrote since the book was read comes in first, so
    // that the sorted file holds it beside the user's change. A file that
    // changes again while the sort runs sends it round once more.
    for (int round = 0;; ++round) {
        (void)store.catch_up();
        Result<void> sorted = sort_once(store, progress);
        if (sorted || round >= 3 || !AddressStore::changed_meanwhile(sorted.error())) return sorted;
    }
}

namespace {

Result<void> sort_once(AddressStore& store, const ProgressFn& progress) {
    if (store.size() == 0) {
        show_message("No Addresses To Sort?");
        return Error{"no addresses to sort"};
    }
    if (store.place_changes()) {
        // Only what changed since the last sort was moved.
        const Result<void> written = store.write_image(store.image());
        if (!written && AddressStore::changed_meanwhile(written.error())) return written;
        if (!written) {
            store.rebuild_view();
            tell_save_failed(written.error());
            return written;
        }
        store.finish_as_loaded();
        return {};
    }
    // Found while the user typed the change, or else now.
    std::optional<std::vector<std::uint32_t>> found = store.take_found_order();
    std::vector<std::uint32_t> order;
    if (found) {
        order = std::move(*found);
    } else {
        std::vector<std::uint32_t> live;
        for (std::size_t at = store.next_frame(0); at != std::string::npos;
             at = store.next_frame(at + store.length_at(static_cast<std::uint32_t>(at)))) {
            if (store.live_at(static_cast<std::uint32_t>(at))) live.push_back(static_cast<std::uint32_t>(at));
        }
        order = sorted_offsets(store, std::move(live), progress);
    }

    // The file now holds exactly these records, and so does the image.
    const Result<void> written = store.write_in_order(order);
    if (!written && AddressStore::changed_meanwhile(written.error())) return written;
    if (!written) tell_save_failed(written.error());
    return written;
}

}  // namespace

// ---- find ----------------------------------------------------------------------------------------

bool apply_find(AddressStore& store, const std::string& text, int button, const ProgressFn& progress) {
    if (button < kFindNew || button > kFindExclude) return false;
    std::string wanted = to_upper(trim(text));
    const std::size_t zero = wanted.find('\0');
    if (zero != std::string::npos) wanted.resize(zero);
    if (wanted.empty()) return false;
    const std::int64_t total = static_cast<std::int64_t>(store.size());
    const FoldedText finder(wanted);
    std::size_t records = 0;
    for (std::size_t at = store.next_frame(0); at != std::string::npos;
         at = store.next_frame(at + store.length_at(static_cast<std::uint32_t>(at)))) {
        const auto offset = static_cast<std::uint32_t>(at);
        // Telling the popup about every record cost more than the search.
        if ((++records & 1023) == 0) report(progress, static_cast<std::int64_t>(at), total);
        if (!store.live_at(offset)) continue;
        // The values with their zero bytes: the text never holds a zero, so a hit stays in one field.
        const bool hit = finder.in(std::string_view(store.image()).substr(at + kAddressRecordHeaderSize,
                                                                          store.length_at(offset) - kAddressRecordHeaderSize));
        const std::uint8_t marks = store.marks_at(offset);
        const bool marked = (marks & kSearchMark) != 0;
        bool keep = marked;
        switch (button) {
            case kFindNew: keep = hit; break;
            case kFindNarrow: keep = marked && hit; break;
            case kFindWiden: keep = marked || hit; break;
            case kFindExclude: keep = marked && !hit; break;
            default: break;
        }
        if (keep != marked) store.set_marks_at(offset, static_cast<std::uint8_t>(marks ^ kSearchMark));
    }
    report(progress, total, total);
    store.set_mode_value(kModeSearch);
    store.rebuild_view();
    const Result<void> written = store.write();
    if (!written) tell_save_failed(written.error());
    clear_marks(store, kSelectedBit);
    store.set_current(0);
    set_mark(store, 0, kSelectedBit, true);
    return true;
}

// ---- modes, current record and marks --------------------------------------------------------------

void set_address_mode(AddressStore& store, int mode) {
    store.set_mode_value(mode == kModeSearch ? kModeSearch : kModeAll);
    store.rebuild_view();
    clear_marks(store, kSelectedBit);
    store.set_current(0);
    set_mark(store, 0, kSelectedBit, true);
}

void set_current_by_id(AddressStore& store, std::int32_t id) {
    if (id == -1 || store.count() == 0) {
        store.set_current(0);
        return;
    }
    for (int i = 0; i < store.count(); ++i) {
        if (store.id_at(store.item(i)) == id) {
            store.set_current(i);
            return;
        }
    }
}

void set_current_to_added(AddressStore& store, std::int32_t id) {
    // Its sort just placed it, so where it is is known without a walk.
    if (const auto offset = store.placed_at(id)) {
        const int position = store.position_of(*offset);
        if (position >= 0) {
            store.set_current(position);
            return;
        }
    }
    set_current_by_id(store, id);
}

int mark(const AddressStore& store, int position, int bit) {
    if (!store.valid_position(position) || bit < 0 || bit > 7) return 0;
    return (store.marks_at(store.item(position)) >> bit) & 1;
}

void set_mark(AddressStore& store, int position, int bit, bool value) {
    if (!store.valid_position(position) || bit < 0 || bit > 7) return;
    const std::uint32_t offset = store.item(position);
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    const std::uint8_t marks = store.marks_at(offset);
    store.set_marks_at(offset, static_cast<std::uint8_t>(value ? marks | mask : marks & ~mask));
}

void clear_marks(AddressStore& store, int bit) {
    if (bit < 0 || bit > 7) return;
    if (bit == kSelectedBit) {
        store.clear_selected();
        return;
    }
    const auto keep = static_cast<std::uint8_t>(~(1u << bit));
    store.each_frame([&](std::uint32_t offset) {
        // Most records have no such mark: leaving their bytes untouched spares
        // writing a whole large image back to memory.
        const std::uint8_t marks = store.marks_at(offset);
        if ((marks & keep) != marks) store.set_marks_at(offset, static_cast<std::uint8_t>(marks & keep));
        return true;
    });
}

bool all_selected(const AddressStore& store) {
    if (store.count() == 0) return false;
    // Fewer selected records in the whole image than the view shows: not all.
    if (store.selected_count() < static_cast<std::size_t>(store.count())) return false;
    for (int i = 0; i < store.count(); ++i) {
        if (mark(store, i, kSelectedBit) == 0) return false;
    }
    return true;
}

void select_only(AddressStore& store, int position) {
    clear_marks(store, kSelectedBit);
    set_mark(store, position, kSelectedBit, true);
}

void ensure_selection(AddressStore& store) {
    if (store.count() == 0) return;
    if (store.selected_count() == 0) set_mark(store, store.current(), kSelectedBit, true);
}

// ---- selection rules --------------------------------------------------------------------------------

void step_current(AddressStore& store, int delta, bool shift, bool ctrl) {
    if (store.count() == 0) return;
    const int old = std::clamp(store.current(), 0, store.count() - 1);
    const int now = std::clamp(old + delta, 0, store.count() - 1);
    store.set_current(now);
    if (shift) {
        const bool one_row = delta == 1 || delta == -1;
        for (int p = one_row ? now : std::min(old, now); p <= (one_row ? now : std::max(old, now)); ++p) {
            set_mark(store, p, kSelectedBit, true);
        }
    } else if (!ctrl) {
        select_only(store, now);
    }
}

void jump_current(AddressStore& store, bool to_end, bool shift, bool ctrl) {
    if (store.count() == 0) return;
    const int old = std::clamp(store.current(), 0, store.count() - 1);
    const int now = to_end ? store.count() - 1 : 0;
    store.set_current(now);
    if (shift) {
        for (int p = std::min(old, now); p <= std::max(old, now); ++p) set_mark(store, p, kSelectedBit, true);
    } else if (!ctrl) {
        select_only(store, now);
    }
}

void toggle_current_mark(AddressStore& store) {
    set_mark(store, store.current(), kSelectedBit, mark(store, store.current(), kSelectedBit) == 0);
}

void toggle_select_all(AddressStore& store) {
    if (store.count() == 0) return;
    const bool value = !all_selected(store);
    for (int i = 0; i < store.count(); ++i) set_mark(store, i, kSelectedBit, value);
}

ListPress::ListPress(const AddressStore& store, int button, bool shift, bool in_check_column)
    : m_button(button), m_range(shift || in_check_column), m_start_current(store.current()) {
    if (shift) {
        m_anchor = store.current();
        m_value = true;
    }
}

bool ListPress::follow(AddressStore& store, int position) {
    if (!store.valid_position(position) || position == m_row) return false;
    if (m_row >= 0) m_moved = true;
    if (m_first_row < 0) m_first_row = position;
    m_row = position;
    store.set_current(position);
    if (m_anchor < 0) {
        m_anchor = position;
        m_value = mark(store, position, kSelectedBit) == 0;
    }
    if (m_range) {
        for (int p = std::min(m_anchor, position); p <= std::max(m_anchor, position); ++p) {
            set_mark(store, p, kSelectedBit, m_value);
        }
    } else {
        select_only(store, position);
    }
    return true;
}

bool ListPress::wants_edit() const {
    if (m_range || m_row < 0) return false;
    if (m_button == 2) return true;
    return m_button == 1 && !m_moved && m_first_row == m_start_current;
}

}  // namespace domora
