#include "ui/file_browser.h"

#include <algorithm>
#include <filesystem>

#include "app/files.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/accessible_tree.h"
#include "ui/browser_places.h"
#include "ui/event_wait.h"
#include "ui/field_editor.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {

namespace {

constexpr int kOkId = 750;
constexpr int kCancelId = 751;
constexpr int kNewFolderId = 752;
constexpr int kListId = 753;
constexpr int kScrollBarId = 754;
constexpr int kScrollUpId = 755;
constexpr int kScrollDownId = 756;
constexpr int kFileNameId = 757;
constexpr int kDestinationId = 758;
constexpr std::uint32_t kHighlight = rgb(0, 0, 128);
// The current row while the keys go to the file name field.
constexpr std::uint32_t kQuietHighlight = rgb(204, 214, 228);
constexpr int kCaretBlinkMs = 300;

// ---- the browser's state while it shows ---------------------------------------------------

struct Browser {
    std::string folder;
    std::vector<std::string> extensions;  // the files listed; all when empty
    std::vector<BrowserEntry> entries;
    ListState list;
    int field = -1;  // index of the file name field in the widget table
    std::string file_name;
    // The user has moved in the list since the last edit of the file name
    // field: Enter then opens the current row instead of taking the name.
    bool list_active = false;
};
Browser* g_browser = nullptr;

int row_height() { return std::max(22, FontHeight(fonts().input) + 4); }

void draw_entries(WidgetRecord& w) {
    Browser& b = *g_browser;
    FillBox(w.rect(), rgb(255, 255, 255));
    FrameBox(w.rect(), kPanelLine);
    const Rect inner{w.x1 + 1, w.y1 + 1, w.x2 - 1, w.y2 - 1};
    ClipTo(inner);
    const int rh = b.list.row_height;
    const int first = b.list.scroll_offset / rh;
    const int input_height = FontHeight(fonts().input);
    for (int i = first; i < static_cast<int>(b.entries.size()); ++i) {
        const int y = inner.top + i * rh - b.list.scroll_offset;
        if (y >= inner.bottom) break;
        const BrowserEntry& e = b.entries[static_cast<std::size_t>(i)];
        const bool current = i == b.list.current_item;
        const bool lit = current && b.list_active;
        if (current) FillBox(Rect{inner.left, y, inner.right, y + rh}, lit ? kHighlight : kQuietHighlight);
        const char* icon = e.kind == BrowserEntry::Drive    ? "DRIVE_ICON"
                           : e.kind == BrowserEntry::Parent ? "UPFOLDER_ICON"
                           : e.kind == BrowserEntry::File   ? "FILE_ICON"
                                                            : "FOLDER_ICON";
        DrawResourceBitmap(icon, inner.left + 6, y + (rh - 16) / 2);
        DrawFittedText(inner.left + 30, y + (rh - input_height) / 2, inner.right - 4, lit ? rgb(255, 255, 255) : rgb(0, 0, 0),
                       fonts().input, e.text);
    }
    ClipTo(Rect{});
}

void describe_entries(const WidgetRecord& w, AccessibleList& out) {
    const Browser& b = *g_browser;
    out.name = "Files";
    out.columns = {"Name"};
    out.current_row = b.list.current_item;
    out.rows.reserve(b.entries.size());
    for (std::size_t i = 0; i < b.entries.size(); ++i) {
        AccessibleRow r;
        r.cells = {b.entries[i].text};
        r.bounds = list_row_bounds(w, w.y1 + 1, static_cast<int>(i), std::max(1, b.list.row_height), b.list.scroll_offset);
        out.rows.push_back(std::move(r));
    }
}

// Enter opens the current row when the user has moved to a place or a
// folder in the list; otherwise it does what OK does.
bool enter_opens_row() {
    const Browser& b = *g_browser;
    if (!b.list_active || b.list.current_item < 0 || b.list.current_item >= static_cast<int>(b.entries.size())) return false;
    return b.entries[static_cast<std::size_t>(b.list.current_item)].kind != BrowserEntry::File;
}

void build(const std::string& title) {
    Browser& b = *g_browser;
    const MainWindowState& win = main_window();
    const Fonts& f = fonts();
    const int width = std::min(win.client_width - 60, 900);
    const int height = std::min(win.client_height - 90, 720);
    const int left = (win.client_width - width) / 2;
    const int top = (win.client_height - height) / 2 + 10;
    const int title_height = FontHeight(f.message);
    const int input_height = FontHeight(f.input);
    const int list_top = top + 14 + title_height + 10;
    const int buttons_top = top + height - 14 - 32;
    const int name_top = buttons_top - 14 - input_height - 4;
    const int destination_top = name_top - 10 - title_height;
    const int list_bottom = destination_top - 10;
    const int list_right = left + width - 20 - 22;

    begin_popup_widgets(Rect{left, top, left + width, top + height});
    const int tw = MeasureText(f.message, title).width;
    AddWidget(0, kKindLabel, left + (width - tw) / 2, top + 14, left + (width + tw) / 2 + 1, top + 14 + title_height,
              rgb(0, 0, 0), 0, f.message, 0, title);
    const int list = AddWidget(kListId, kKindFileList, left + 20, list_top, list_right, list_bottom, 0, 0, f.input, 0, "");
    widgets()[static_cast<std::size_t>(list - 1)].checked = b.list_active ? 1 : 0;
    AddWidget(kScrollUpId, kKindButton, list_right, list_top, list_right + 22, list_top + 22, 0, 0, f.button, 0, "\x01");
    const int bar = AddWidget(kScrollBarId, kKindScrollBar, list_right, list_top + 22, list_right + 22, list_bottom - 22, 0, 0, 0,
                              0, "");
    widgets()[static_cast<std::size_t>(bar - 1)].list = &b.list;
    AddWidget(kScrollDownId, kKindButton, list_right, list_bottom - 22, list_right + 22, list_bottom, 0, 0, f.button, 0, "\x02");

    const int label_width = std::max(MeasureText(f.message, "Destination:").width, MeasureText(f.message, "File Name:").width);
    const int value_left = left + 20 + label_width + 12;
    AddWidget(0, kKindLabel, left + 20, destination_top, value_left, destination_top + title_height, rgb(0, 0, 0), 0, f.message,
              0, "Destination:");
    AddWidget(kDestinationId, kKindLabel, value_left, destination_top, left + width - 20, destination_top + title_height,
              rgb(0, 0, 96), 0, f.input, 0, b.folder);
    AddWidget(0, kKindLabel, left + 20, name_top + 2, value_left, name_top + 2 + title_height, rgb(0, 0, 0), 0, f.message, 0,
              "File Name:");
    AddWidget(0, kKindFieldFrame, value_left - 1, name_top - 1, left + width - 19, name_top + input_height + 5,
              rgb(63, 115, 139), kWhite, 0, 0, "");
    const int field = AddWidget(kFileNameId, kKindTextInput, value_left, name_top, left + width - 20, name_top + input_height + 4,
                                0, kWhite, f.input, 0, "");
    b.field = field - 1;
    WidgetRecord& name_field = widgets()[static_cast<std::size_t>(b.field)];
    name_field.text = b.file_name.substr(0, kMaxWidgetText);
    name_field.max_length = static_cast<int>(kMaxWidgetText);
    name_field.caret = name_field.sel_start = name_field.sel_end = static_cast<int>(name_field.text.size());
    field_scroll_to_caret(name_field);
    set_focused_field(b.field);

    const std::vector<std::string> captions = {"New Folder", "OK", "Cancel"};
    const std::vector<int> mnemonics = free_mnemonics(captions);
    int button_width = 80;
    for (const std::string& caption : captions) button_width = std::max(button_width, MeasureText(f.button, caption).width + 20);
    AddWidget(kNewFolderId, kKindButton, left + 20, buttons_top, left + 20 + button_width, buttons_top + 32, rgb(0, 0, 0), 0,
              f.button, mnemonics[0], captions[0]);
    const int ok = AddWidget(kOkId, kKindButton, left + width - 20 - 2 * button_width, buttons_top, left + width - 20 - button_width,
                             buttons_top + 32, rgb(0, 0, 0), 0, f.button, mnemonics[1], captions[1]);
    widgets()[static_cast<std::size_t>(ok - 1)].checked = enter_opens_row() ? 0 : 1;
    AddWidget(kCancelId, kKindButton, left + width - 20 - button_width, buttons_top, left + width - 20, buttons_top + 32,
              rgb(0, 0, 0), 0, f.button, mnemonics[2], captions[2]);

    b.list.row_height = row_height();
    b.list.scroll_step = b.list.row_height;
    b.list.view_height = list_bottom - list_top - 2;
    b.list.item_count = static_cast<int>(b.entries.size());
    b.list.content_height = b.list.item_count * b.list.row_height;
    clamp_scroll(b.list);
}

void redraw(const std::string& title) {
    // Keep what the user typed across rebuilds of the table.
    if (g_browser->field >= 0) g_browser->file_name = widgets()[static_cast<std::size_t>(g_browser->field)].text;
    build(title);
    DrawAllWidgets();
}

void redraw_list() {
    const int index = FindWidget(kListId);
    if (index >= 0) widgets()[static_cast<std::size_t>(index)].checked = g_browser->list_active ? 1 : 0;
    DrawWidget(index);
    present_widget(index);
    const int bar = FindWidget(kScrollBarId);
    DrawWidget(bar);
    present_widget(bar);
    // The focus frame is on OK exactly when Enter would press it.
    const int ok = FindWidget(kOkId);
    if (ok < 0) return;
    const int checked = enter_opens_row() ? 0 : 1;
    if (widgets()[static_cast<std::size_t>(ok)].checked == checked) return;
    widgets()[static_cast<std::size_t>(ok)].checked = checked;
    DrawWidget(ok);
    present_widget(ok);
}

// The keys go back to the file name field: Enter takes it again.
void name_edited() {
    if (!g_browser->list_active) return;
    g_browser->list_active = false;
    redraw_list();
}

// Reads the folder into the list; a folder that cannot be read is said so.
void load(const std::string& folder) {
    Browser& b = *g_browser;
    b.folder = with_slash(folder);
    if (!browser_entries(b.folder, b.entries, b.extensions)) {
        int ignored = 0;
        ShowPopup("This folder cannot be read:|" + b.folder, "", 1, "OK", 0, ignored);
    }
    // A folder opens with no row highlighted, so that Enter takes the file name.
    b.list.current_item = -1;
    b.list.scroll_offset = 0;
    b.list_active = false;
}

void set_current(int item) {
    Browser& b = *g_browser;
    if (b.entries.empty()) return;
    b.list.current_item = std::clamp(item, 0, static_cast<int>(b.entries.size()) - 1);
    b.list_active = true;
    scroll_to_current(b.list);
    const BrowserEntry& e = b.entries[static_cast<std::size_t>(b.list.current_item)];
    if (e.kind == BrowserEntry::File && b.field >= 0) {
        // Ctrl+Z in the field brings back the name the user had typed.
        field_replace_text(widgets()[static_cast<std::size_t>(b.field)], e.name);
        DrawWidget(b.field);
        present_widget(b.field);
    }
    redraw_list();
}

// Opens the current entry when it is a place or a folder; true when it did.
bool open_current(const std::string& title) {
    Browser& b = *g_browser;
    if (b.list.current_item < 0 || b.list.current_item >= static_cast<int>(b.entries.size())) return false;
    const BrowserEntry& e = b.entries[static_cast<std::size_t>(b.list.current_item)];
    if (e.kind == BrowserEntry::File) return false;
    if (e.kind == BrowserEntry::Drive && !folder_exists(e.path)) {
        int ignored = 0;
        ShowPopup(e.path + " Not Ready", "", 1, "OK", 0, ignored);
        redraw(title);
        return true;
    }
    load(e.path);
    redraw(title);
    return true;
}

// Goes to the folder above (the ".." row's), with the folder just left as the current row.
void open_parent(const std::string& title) {
    Browser& b = *g_browser;
    const auto parent = std::find_if(b.entries.begin(), b.entries.end(),
                                     [](const BrowserEntry& e) { return e.kind == BrowserEntry::Parent; });
    if (parent == b.entries.end()) return;
    const std::string left = b.folder;
    const bool active = b.list_active;
    load(parent->path);
    for (std::size_t i = 0; i < b.entries.size(); ++i) {
        if (b.entries[i].kind == BrowserEntry::Folder && b.entries[i].path == left) b.list.current_item = static_cast<int>(i);
    }
    b.list_active = active && b.list.current_item >= 0;
    scroll_to_current(b.list);
    redraw(title);
}

// A typed path, from the root or from the current folder, without "." and "..".
std::string typed_path(const std::string& typed) {
    return std::filesystem::path(typed[0] == '/' ? typed : g_browser->folder + typed).lexically_normal().string();
}

// A name typed in the field that is a folder is opened instead of being
// taken as a file name.
bool open_typed_folder(const std::string& title) {
    Browser& b = *g_browser;
    WidgetRecord& field = widgets()[static_cast<std::size_t>(b.field)];
    const std::string name = trim(field.text);
    if (name.empty()) return false;
    const std::string path = typed_path(name);
    if (!folder_exists(path)) return false;
    field_replace_text(field, "");
    b.file_name.clear();
    load(path);
    redraw(title);
    return true;
}

void delete_current(const std::string& title) {
    Browser& b = *g_browser;
    if (b.list.current_item < 0 || b.list.current_item >= static_cast<int>(b.entries.size())) return;
    const BrowserEntry e = b.entries[static_cast<std::size_t>(b.list.current_item)];
    if (e.kind != BrowserEntry::Folder && e.kind != BrowserEntry::File) return;
    int answer = 0;
    if (e.kind == BrowserEntry::Folder) {
        ShowPopup("(Folder)|" + e.name, "", 2, "Delete|Cancel", 0, answer);
    } else {
        ShowPopup("(File)|" + e.name + "|" + with_thousands(e.size) + " Bytes", "", 2, "Delete|Cancel", 0, answer);
    }
    if (answer == 1) {
        const bool done = e.kind == BrowserEntry::Folder ? DeleteTree(e.path) : delete_file(e.path);
        if (!done) {
            int ignored = 0;
            ShowPopup("Could not delete everything in|" + e.path, "", 1, "OK", 0, ignored);
        }
    }
    const int keep = b.list.current_item;
    load(b.folder);
    b.list.current_item = std::min(keep, static_cast<int>(b.entries.size()) - 1);
    b.list_active = b.list.current_item >= 0;
    redraw(title);
}

void new_folder(const std::string& title) {
    Browser& b = *g_browser;
    int answer = 0;
    clear_field_buffer();
    ShowPopup("Add New Folder To|" + b.folder, "", 1, "OK|Cancel", 60, answer);
    const std::string name = trim(field_text(0));
    if (answer == 1 && !name.empty()) {
        if (name.find('/') != std::string::npos || platform().sys_mkdir(b.folder + name, 0755) != 0) {
            int ignored = 0;
            ShowPopup("The folder could not be made:|" + b.folder + name, "", 1, "OK", 0, ignored);
        }
    }
    load(b.folder);
    for (std::size_t i = 0; i < b.entries.size(); ++i) {
        if (b.entries[i].kind == BrowserEntry::Folder && b.entries[i].name == name) {
            b.list.current_item = static_cast<int>(i);
            b.list_active = true;  // Enter opens the new folder
        }
    }
    redraw(title);
    scroll_to_current(b.list);
    redraw_list();
}

}  // namespace

// ---- the browser ------------------------------------------------------------------------------

void BrowseForFile(const std::string& title, std::string& folder, std::string& file_name, int& result,
                   const std::vector<std::string>& extensions) {
    MainWindowState& win = main_window();
    if (win.quit_requested) return;
    const bool was_open = win.popup_open;
    win.popup_open = true;
    win.screen_needs_redraw = false;
    platform().set_window_locked(true);
    SaveScreen();
    set_widget_drawer(kKindFileList, draw_entries);
    set_list_describer(kKindFileList, describe_entries);

    Browser browser;
    Browser* outer = g_browser;
    g_browser = &browser;
    browser.file_name = file_name;
    browser.extensions = extensions;
    // A folder that is not there starts the browser in the home folder.
    load(!folder.empty() && folder_exists(folder) ? folder : home_folder());
    redraw(title);

    const int blink_timer = static_cast<int>(platform().tick_ms() & 0x3FFFFFFF) | 0x40000000;
    platform().set_timer(blink_timer, kCaretBlinkMs);
    InputState& in = input();
    int chosen = -1;
    int held_key = 0;
    bool press_taken = false;
    while (chosen < 0 && !win.quit_requested) {
        if (win.screen_needs_redraw) {
            win.screen_needs_redraw = false;
            redraw(title);
        }
        const int id = event_wait(true);
        if (id == kOkId) {
            if (!open_typed_folder(title)) chosen = 1;
        } else if (id == kCancelId) {
            chosen = 0;
        } else if (id == kNewFolderId) {
            new_folder(title);
            continue;  // the keys of the popup are not the browser's
        } else if (id == kListId) {
            const WidgetRecord& list = widgets()[static_cast<std::size_t>(FindWidget(kListId))];
            const int item = (in.mouse_y - list.y1 - 1 + browser.list.scroll_offset) / browser.list.row_height;
            if (item >= 0 && item < static_cast<int>(browser.entries.size())) {
                const bool again = item == browser.list.current_item;
                if (!again) set_current(item);
                // A double click opens a folder and chooses a file, as OK would;
                // a second single click on the current row opens a folder too.
                const bool is_file = browser.entries[static_cast<std::size_t>(item)].kind == BrowserEntry::File;
                if (!is_file && (again || in.double_click)) {
                    open_current(title);
                } else if (is_file && in.double_click) {
                    chosen = 1;
                } else if (again && !browser.list_active) {
                    browser.list_active = true;
                    redraw_list();
                }
            }
        }
        if (in.timer_id == blink_timer) {
            field_toggle_caret(browser.field);
            continue;
        }
        // A press in the file name field places the caret; dragging selects.
        if (in.button == 0) press_taken = false;
        if (in.button == 1 && !press_taken) {
            press_taken = true;
            if (widgets()[static_cast<std::size_t>(browser.field)].contains(in.mouse_x, in.mouse_y)) {
                field_reset_caret();
                field_mouse_select(browser.field);
                name_edited();
                continue;
            }
        }
        // Held scroll arrows and the dragged thumb.
        if (in.button == 1) {
            const int up = FindWidget(kScrollUpId), down = FindWidget(kScrollDownId), bar = FindWidget(kScrollBarId);
            int step = 0;
            if (widgets()[static_cast<std::size_t>(up)].contains(in.mouse_x, in.mouse_y)) step = -1;
            if (widgets()[static_cast<std::size_t>(down)].contains(in.mouse_x, in.mouse_y)) step = 1;
            if (step != 0) {
                browser.list.scroll_offset += step * browser.list.row_height;
                clamp_scroll(browser.list);
                redraw_list();
                KeyRepeatDelay(held_key == -step - 1000 ? 2 : 1);
                held_key = -step - 1000;
                continue;
            }
            if (widgets()[static_cast<std::size_t>(bar)].contains(in.mouse_x, in.mouse_y)) {
                drag_scroll_thumb(bar, redraw_list);
                continue;
            }
        }
        if (in.wheel_lines != 0) {
            browser.list.scroll_offset -= browser.list.scroll_step * in.wheel_lines / 2;
            clamp_scroll(browser.list);
            redraw_list();
        }
        if (in.key == 0 && in.button == 0) held_key = 0;
        if (in.key == 0 && in.character == 0) continue;
        if (in.key == kKeyEscape) {
            chosen = 0;
            continue;
        }
        // Alt+Up, and Backspace while the keys are the list's, go to the folder above.
        if ((in.key == kKeyUp && in.alt) || (in.key == kKeyBack && browser.list_active)) {
            open_parent(title);
            KeyRepeatDelay(held_key == in.key ? 2 : 1);
            held_key = in.key;
            continue;
        }
        const int page = std::max(1, browser.list.view_height / browser.list.row_height - 1);
        int move_to = -1;
        switch (in.key) {
            case kKeyUp: move_to = browser.list.current_item - 1; break;
            case kKeyDown: move_to = browser.list.current_item + 1; break;
            case kKeyPageUp: move_to = browser.list.current_item - page; break;
            case kKeyPageDown: move_to = browser.list.current_item + page; break;
            case kKeyHome:
                if (in.ctrl) move_to = 0;
                break;
            case kKeyEnd:
                if (in.ctrl) move_to = static_cast<int>(browser.entries.size()) - 1;
                break;
            default: break;
        }
        if (move_to >= 0 || (in.key == kKeyUp || in.key == kKeyPageUp)) {
            set_current(std::max(0, move_to));
            KeyRepeatDelay(held_key == in.key ? 2 : 1);
            held_key = in.key;
            continue;
        }
        if (in.key == kKeyReturn) {
            // Ctrl+Enter is OK from anywhere; a plain Enter opens the row the
            // user moved to, or takes the file name (a file's, after moving onto it).
            if (!in.ctrl && enter_opens_row()) {
                open_current(title);
            } else if (!open_typed_folder(title)) {
                chosen = 1;
            }
            wait_for_release();
            continue;
        }
        // Delete is the current row's while the keys are the list's, else the field's.
        if (in.key == kKeyDelete && browser.list_active) {
            delete_current(title);
            wait_for_release();
            continue;
        }
        WidgetRecord& field = widgets()[static_cast<std::size_t>(browser.field)];
        const bool typed = in.character != 0 && field_type_character(field, in.character, field.max_length);
        const bool edited = !typed && in.character == 0 && field_edit_key(field, in, field.max_length);
        if (typed || edited) {
            field_reset_caret();
            DrawWidget(browser.field);
            present_widget(browser.field);
            name_edited();
        }
        if (edited) {
            KeyRepeatDelay(held_key == in.key ? 2 : 1);
            held_key = in.key;
        }
    }
    platform().kill_timer(blink_timer);
    field_forget_undo(widgets()[static_cast<std::size_t>(browser.field)]);
    set_focused_field(-1);
    if (chosen == 1) {
        folder = browser.folder;
        file_name = trim(widgets()[static_cast<std::size_t>(browser.field)].text);
        // A typed path names its own folder ("/home/jo/car.png", "photos/car.png").
        const std::size_t slash = file_name.rfind('/');
        if (slash != std::string::npos) {
            const std::string there = with_slash(typed_path(file_name.substr(0, slash + 1)));
            if (folder_exists(there)) {
                folder = there;
                file_name.erase(0, slash + 1);
            }
        }
        result = 1;
    } else if (chosen == 0) {
        result = 0;
    }
    g_browser = outer;
    DrawSaved(Rect{0, 0, win.client_width, win.client_height});
    Present(0, 0, win.client_width, win.client_height);
    FreeSaved();
    win.popup_open = was_open;
    if (!was_open) platform().set_window_locked(false);
    win.screen_needs_redraw = true;
    wait_for_release();
    wait_for_key_release();
}

}  // namespace domora
