// Add, Edit, Delete and Find on the Addresses screen: their forms, checks
// and messages, and what they leave current and selected.
#include <algorithm>

#include "addresses/address_screen_parts.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr int kFormFieldLength = 100;
constexpr int kFormWidth = 60;
// A progress popup only for operations that take noticeably long.
constexpr std::uint64_t kProgressAfterMs = 250;

// Shows the entry form until it is saved with a name or company, or cancelled.
bool run_entry_form(const std::string& message, AddressValues& values) {
    for (;;) {
        int result = 2;
        ShowPopup(message, kAddressLabels, 1, "Save|Cancel", kFormWidth + 100, result);
        if (result != 1 || main_window().quit_requested) return false;
        for (int i = 0; i < kAddressFieldCount; ++i) values[static_cast<std::size_t>(i)] = field_text(i);
        if (!trim(values[kFieldFirst] + " " + values[kFieldLast]).empty() || !trim(values[kFieldCompany]).empty()) return true;
        show_message("Every record must have a name or company");
    }
}

void sort_with_progress(AddressStore& store) {
    LazyProgress progress("Sorting Records");
    (void)sort_addresses(store, progress.fn());
}

}  // namespace

// ---- progress ------------------------------------------------------------------------------------

LazyProgress::LazyProgress(std::string title) : m_title(std::move(title)), m_started(platform().tick_ms()) {}

LazyProgress::~LazyProgress() {
    if (m_open) CloseProgress();
}

void LazyProgress::update(std::int64_t done, std::int64_t total) {
    if (!m_open) {
        if (platform().tick_ms() - m_started < kProgressAfterMs) return;
        OpenProgress();
        m_open = true;
    }
    const std::int64_t percent = std::min<std::int64_t>(100, 100 * done / std::max<std::int64_t>(total, 1));
    UpdateProgress(m_title, std::to_string(percent) + "%", done, total);
}

// ---- add and edit ----------------------------------------------------------------------------------

void add_address() {
    AddressStore& store = address_store();
    clear_field_buffer();
    for (int i = 0; i < kAddressFieldCount; ++i) set_field_text(i, "", kFormFieldLength);
    AddressValues values;
    store.expect_save();
    if (!run_entry_form("Add Address", values)) return;
    store.set_mode_value(kModeAll);
    store.rebuild_view();
    const std::int32_t id = store.new_record_id();
    const AppendResult added = store.append_record(id, kSelectedMark, values);
    set_field_text(0, added.first, kFormFieldLength);
    sort_with_progress(store);
    store.rebuild_view();
    address_list_state().scroll_offset = 0;
    store.set_current(0);
    set_current_to_added(store, store.renumbered(id));
    select_only(store, store.current());
    scroll_current_into_view();
}

void edit_address() {
    AddressStore& store = address_store();
    if (store.size() == 0) {
        show_message("There are no addresses to edit");
        return;
    }
    if (!store.valid_position(store.current())) {
        show_message("No Record Selected");
        return;
    }
    const std::uint32_t offset = store.item(store.current());
    const AddressRecord old = store.record_at(offset);
    // A value longer than the form holds (it came from an import) is shown
    // cut, and kept whole unless the user changes it.
    AddressValues shown;
    clear_field_buffer();
    for (int i = 0; i < kAddressFieldCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        shown[at] = old.fields[at].substr(0, kMaxWidgetText);
        set_field_text(i, shown[at], std::max(kFormFieldLength, static_cast<int>(shown[at].size())));
    }
    AddressValues values;
    store.expect_save();
    if (!run_entry_form("Edit Address", values)) return;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == shown[i] && old.fields[i].size() > shown[i].size()) values[i] = old.fields[i];
    }
    store.set_live_at(offset, false);
    const AppendResult saved = store.append_record(old.id, old.marks, values);
    set_field_text(0, saved.first, kFormFieldLength);
    sort_with_progress(store);
    store.rebuild_view();
    address_list_state().scroll_offset = 0;
    store.set_current(0);
    set_current_by_id(store, old.id);
    scroll_current_into_view();
}

// ---- delete ------------------------------------------------------------------------------------------

void delete_addresses() {
    AddressStore& store = address_store();
    if (store.count() == 0) {
        show_message("There are no addresses to delete");
        return;
    }
    int result = 2;
    store.expect_save();
    ShowPopup("Are you sure you want to delete the selected addresses?", "", 2, "OK|Cancel", 0, result);
    if (result != 1 || main_window().quit_requested) return;
    int first = -1;
    for (int p = 0; p < store.count(); ++p) {
        if (mark(store, p, kSelectedBit) == 0) continue;
        store.set_live_at(store.item(p), false);
        if (first < 0) first = p;
    }
    if (first < 0) first = store.count() - 1;
    status_log_write("Begin Sort");
    sort_with_progress(store);
    status_log_write("List Records: " + log_number(store.count()));
    status_log_write("Adjust Current Record");
    store.set_current(std::max(0, std::min(first, store.count() - 1)));
    set_mark(store, store.current(), kSelectedBit, true);
    scroll_current_into_view();
}

// ---- find ----------------------------------------------------------------------------------------------

void find_addresses() {
    AddressStore& store = address_store();
    clear_field_buffer();
    int result = kFindCancel;
    store.expect_save();
    ShowPopup("Find Addresses", "", 1, "OK|Narrow|Widen|Exclude|Cancel", 40, result);
    if (main_window().quit_requested) return;
    LazyProgress progress("Searching...");
    if (apply_find(store, field_text(0), result, progress.fn())) scroll_current_into_view();
}

}  // namespace domora
