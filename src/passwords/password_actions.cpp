#include "passwords/password_actions.h"

#include <algorithm>
#include <cmath>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/text.h"
#include "passwords/generator_popup.h"
#include "passwords/master_password.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "ui/popups.h"

namespace domora {

namespace {

ListState g_list;
std::string g_last_search;

constexpr int kFormFieldWidth = 60;
constexpr int kFindFieldWidth = 40;
constexpr int kTitleLimit = 79;
constexpr std::uint32_t kErrorText = rgb(150, 0, 0);
const char* const kNoPasswords = "No Passwords In Database";
const char* const kNoRecordSelected = "No Record Selected";
const char* const kFormHint =
    "|Enter a title for this record, then a name and value for each field.|(Separate field names and values with a colon)";

std::string form_labels() {
    std::string labels = "Title";
    for (int n = 1; n <= kPasswordLineCount; ++n) labels += "|Name: Value " + std::to_string(n);
    return labels;
}

// The form's texts, and the buffer's copies wiped.
std::vector<std::string> take_form_fields() {
    std::vector<std::string> fields;
    for (int i = 0; i < kPasswordFieldCount; ++i) fields.push_back(field_text(i));
    wipe_dialog_texts();
    return fields;
}

void wipe_all(std::vector<std::string>& texts) {
    for (std::string& text : texts) wipe(text);
}

// A generated password into the form: the line named "Password:" gets it
// as its value, else the first empty line becomes "Password: " and it.
void put_generated(const std::string& password) {
    int line = 0;
    for (int i = 1; i < kPasswordFieldCount && line == 0; ++i) {
        const PasswordLine parts = split_line(field_text(i));
        if (equal_nocase(parts.name, "Password:")) line = i;
    }
    for (int i = 1; i < kPasswordFieldCount && line == 0; ++i) {
        if (trim(field_text(i)).empty()) line = i;
    }
    if (line == 0) {
        show_message("Every line of this record is in use.|Empty one for the generated password and press Generate again.");
        return;
    }
    WidgetRecord& field = field_buffer()[static_cast<std::size_t>(line)];
    wipe(field.text);
    field.text = "Password: " + password;
}

// Shows the entry form until it is cancelled or saved with a title; true on save.
bool run_record_form(const std::string& heading, bool mark_title) {
    const std::string labels = form_labels();
    for (;;) {
        int result = 0;
        ShowPopup(heading + kFormHint, labels, 1, "Save|Generate|Cancel", kFormFieldWidth + 100, result);
        if (result == 2) {
            ScopedSecret generated;
            if (generate_password_popup(generated.text())) put_generated(generated.text());
            continue;
        }
        if (result != 1) {
            wipe_dialog_texts();
            return false;
        }
        if (!trim(field_text(0)).empty()) return true;
        show_message("Every record must have a title");
        if (mark_title) field_buffer()[0].colour1 = kErrorText;
    }
}

// Sort, then the new or edited record current and in view.
void finish_change(std::int32_t id) {
    const Result<void> saved = SortPasswords();
    ParsePasswords();
    g_list.current_item = 0;
    g_list.scroll_offset = 0;
    select_password_id(id);
    main_window().screen_needs_redraw = true;
    report_save_failure(saved);
}

int current_row() {
    clamp_current_password();
    return g_list.current_item;
}

// The binary insertion sort the address list uses: find the place among
// the sorted items by halving, then move the items above it up by one.
void insertion_sort(std::vector<std::uint32_t>& items, const std::vector<std::string>& keys) {
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto key = [&](std::size_t slot) -> const std::string& { return keys[order[slot]]; };
    const long long n = static_cast<long long>(items.size());
    OpenProgress();
    for (long long i = 1; i < n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        if (compare_bytes(key(ui - 1), key(ui)) > 0) {
            long long lo = 0, hi = i - 1;
            long long mid = lo + static_cast<long long>(std::nearbyint(static_cast<double>(hi - lo) / 2.0));
            do {
                if (compare_bytes(key(ui), key(static_cast<std::size_t>(mid))) >= 0) {
                    lo = mid;
                } else {
                    hi = mid;
                }
                mid = lo + (hi - lo) / 2;
            } while (mid != lo);
            const long long place = compare_bytes(key(static_cast<std::size_t>(mid)), key(ui)) < 0 ? mid + 1 : mid;
            const std::size_t moving = order[ui];
            std::move_backward(order.begin() + place, order.begin() + i, order.begin() + i + 1);
            order[static_cast<std::size_t>(place)] = moving;
        }
        UpdateProgress("Sorting Records", std::to_string(i + 1) + " of " + std::to_string(n), i + 1, n);
    }
    CloseProgress();
    std::vector<std::uint32_t> sorted;
    for (std::size_t slot : order) sorted.push_back(items[slot]);
    items.swap(sorted);
}

}  // namespace

ListState& password_list() { return g_list; }
std::string& last_password_search() { return g_last_search; }

void clamp_current_password() {
    g_list.current_item = std::clamp(g_list.current_item, 0, std::max(0, view_count() - 1));
}

void select_password_id(std::int32_t id) {
    for (int row = 0; row < view_count(); ++row) {
        if (record_id(view_record(row)) != id) continue;
        g_list.current_item = row;
        break;
    }
    clamp_current_password();
    scroll_to_current(g_list);
}

// ---- sort -------------------------------------------------------------------------------------------

Result<void> SortPasswords() {
    ParsePasswords();
    if (password_store().used_length < kPasswordHeaderSize) {
        show_message("No Passwords To Sort?");
        return {};
    }
    std::vector<std::uint32_t> items = password_store().view;
    std::vector<std::string> keys;
    for (int row = 0; row < view_count(); ++row) keys.push_back(sort_key(view_record(row)));
    insertion_sort(items, keys);
    wipe_all(keys);
    return RewritePasswords(items);
}

// ---- add and edit -------------------------------------------------------------------------------------

void AddPassword() {
    clear_field_buffer();
    for (int i = 0; i < kPasswordFieldCount; ++i) set_field_text(i, "", static_cast<int>(kMaxFieldLength));
    if (!run_record_form("Add Password", false)) return;
    std::vector<std::string> fields = take_form_fields();
    ParsePasswords();
    const std::int32_t id = NewPasswordId();
    // Lines are kept as typed; they are split into name and value when shown.
    AppendPassword(id, fields);
    wipe_all(fields);
    finish_change(id);
}

void EditPassword() {
    if (view_count() == 0) {
        show_message(kNoPasswords);
        return;
    }
    const int row = current_row();
    const std::uint32_t offset = password_store().view[static_cast<std::size_t>(row)];
    const RecordBytes record = password_record(offset);
    if (record.empty()) {
        show_message(kNoRecordSelected);
        return;
    }
    const unsigned char kept = record[13];
    PasswordEntry entry = read_entry(record);
    clear_field_buffer();
    // A field never cuts what the record already holds.
    const std::string title = trim(entry.title);
    set_field_text(0, title, std::max(kTitleLimit, static_cast<int>(title.size())));
    for (int i = 1; i < kPasswordFieldCount; ++i) {
        std::string line;
        if (i <= static_cast<int>(entry.lines.size())) {
            const PasswordLine& l = entry.lines[static_cast<std::size_t>(i - 1)];
            line = trim(l.name + " " + l.value);
        }
        set_field_text(i, line, std::max(static_cast<int>(kMaxFieldLength), static_cast<int>(line.size())));
        wipe(line);
    }
    for (PasswordLine& l : entry.lines) {
        wipe(l.name);
        wipe(l.value);
    }
    if (!run_record_form("Edit Password", true)) return;
    std::vector<std::string> fields = take_form_fields();
    MarkPasswordDeleted(offset);
    AppendPassword(entry.id, fields, kept);
    wipe_all(fields);
    finish_change(entry.id);
}

// ---- delete -----------------------------------------------------------------------------------------

void DeletePassword() {
    if (view_count() == 0) {
        show_message(kNoPasswords);
        return;
    }
    const int row = current_row();
    const std::uint32_t offset = password_store().view[static_cast<std::size_t>(row)];
    if (password_record(offset).empty()) {
        show_message(kNoRecordSelected);
        return;
    }
    const PasswordEntry entry = read_entry(password_record(offset));
    int result = 0;
    ShowPopup("Are you sure you want to delete this password?||" + entry.title, "", 2, "Yes|No", 0, result);
    main_window().screen_needs_redraw = true;
    if (result != 1) return;
    MarkPasswordDeleted(offset);
    const Result<void> saved = CompactPasswords();
    clamp_current_password();
    scroll_to_current(g_list);
    report_save_failure(saved);
}

// ---- find -------------------------------------------------------------------------------------------

void FindPassword() {
    clear_field_buffer();
    set_field_text(0, g_last_search, kTitleLimit);
    int result = 0;
    ShowPopup("Find Password", "", 1, "OK|Cancel", kFindFieldWidth + 100, result);
    main_window().screen_needs_redraw = true;
    if (result != 1 || view_count() == 0) return;
    const std::string text = trim(field_text(0));
    if (text.empty()) return;
    const int start = equal_nocase(text, g_last_search) ? current_row() + 1 : 0;
    g_last_search = text;
    const std::string wanted = to_upper(text);
    for (int row = start; row < view_count(); ++row) {
        std::string haystack = to_upper(record_text(view_record(row)));
        const bool found = haystack.find(wanted) != std::string::npos;
        wipe(haystack);
        if (found) {
            g_list.current_item = row;
            scroll_to_current(g_list);
            return;
        }
    }
    show_message("No More Matches");
    g_last_search.clear();
}

}  // namespace domora
