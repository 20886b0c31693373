// The Addresses screen's loop: what each button, key, press and wheel turn does.
#include "addresses/address_screen.h"

#include "addresses/address_exchange.h"

#include <algorithm>

#include "addresses/address_actions.h"
#include "addresses/address_print.h"
#include "addresses/address_screen_parts.h"
#include "app/launch.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "screens/screen_loop.h"
#include "app/startup.h"
#include "platform/platform.h"

namespace domora {

namespace {

bool g_drew = false;        // this turn only drew: the input state is an earlier turn's
int g_last_button = 0;      // the button held on the previous turn, to see new presses
int g_last_key = 0;         // the key held on the previous turn: a key acts once, when it goes down
std::string g_pending_message;

void draw_turn() {
    draw_address_screen();
    g_drew = true;
}

void redraw_now() { draw_address_screen(); }

bool quitting() { return main_window().quit_requested; }

void wait_for_key_release() {
    InputState& in = input();
    while (in.key != 0 && !quitting()) pump_message(true);
    wait_for_release();
}

void enter() {
    AddressStore& store = address_store();
    // Another program may have written the file while another screen showed.
    const FileCatchUp caught = store.refresh();
    if (!caught.read_error.empty()) {
        g_pending_message = "Unable to read the address file||" + app_paths().address_file + "|" + caught.read_error;
    }
    clear_marks(store, kSelectedBit);
    store.set_current(store.count() == 0 ? 0 : std::clamp(store.current(), 0, store.count() - 1));
    set_mark(store, store.current(), kSelectedBit, true);
    scroll_current_into_view();
}

std::string shown_field(int field) {
    const AddressStore& store = address_store();
    if (!store.valid_position(store.current())) return {};
    return std::string(store.field_at(store.item(store.current()), field));
}

void email_current() {
    if (send_email(shown_field(kFieldEmail), "", "", "") > 0) {
        show_message(std::string(kProductName) + " was unable to open your email program.");
    }
}


// ---- the list under the mouse ------------------------------------------------------------------

WidgetRecord* widget_by_id(int id) {
    const int index = FindWidget(id);
    return index < 0 ? nullptr : &widgets()[static_cast<std::size_t>(index)];
}

// Follows a press in the list until the button is released.
void press_in_list(const Rect& list, int button, bool shift) {
    AddressStore& store = address_store();
    const ListState& state = address_list_state();
    InputState& in = input();
    ListPress press(store, button, shift, in.mouse_x < list.left + kCheckColumnWidth);
    const int row = std::max(1, state.row_height);
    while (!quitting()) {
        int position = -1;
        if (in.mouse_y < list.top) {
            position = store.current() - 1;
        } else if (in.mouse_y >= list.bottom) {
            position = store.current() + 1;
        } else {
            position = (in.mouse_y - list.top + state.scroll_offset) / row;
        }
        if (press.follow(store, position)) {
            scroll_current_into_view();
            redraw_now();
        }
        if (in.button == 0) break;
        pump_message(true);
    }
    wait_for_release();
    if (!quitting() && press.wants_edit()) edit_address();
}

// A held scroll arrow scrolls one row at a time, at the key-repeat pace.
void hold_scroll_arrow(int direction) {
    ListState& list = address_list_state();
    InputState& in = input();
    int pace = 1;
    while (in.button == 1 && !quitting()) {
        const WidgetRecord* arrow = widget_by_id(direction < 0 ? kIdScrollUp : kIdScrollDown);
        if (arrow && arrow->contains(in.mouse_x, in.mouse_y)) {
            list.scroll_offset += direction * list.row_height;
            clamp_scroll(list);
            redraw_now();
        }
        KeyRepeatDelay(pace);
        pace = 2;
    }
    wait_for_release();
}

// Presses that act while the button is held: in the list, on the scroll
// arrows and on the scroll bar. Returns false for any other press (buttons
// act on their release, through the event wait).
bool press(int button, bool shift) {
    const InputState& in = input();
    const WidgetRecord* list = widget_by_id(kIdAddressList);
    if (list && list->contains(in.mouse_x, in.mouse_y)) {
        press_in_list(list->rect(), button, shift);
        return true;
    }
    if (button != 1) return false;
    for (const int id : {kIdScrollUp, kIdScrollDown}) {
        const WidgetRecord* arrow = widget_by_id(id);
        if (arrow && arrow->contains(in.mouse_x, in.mouse_y)) {
            hold_scroll_arrow(id == kIdScrollUp ? -1 : 1);
            return true;
        }
    }
    const int bar = FindWidget(kIdScrollBar);
    if (bar >= 0 && widgets()[static_cast<std::size_t>(bar)].contains(in.mouse_x, in.mouse_y)) {
        drag_scroll_thumb(bar, redraw_now);
        wait_for_release();
        return true;
    }
    return false;
}

// ---- keys ----------------------------------------------------------------------------------------

void move_with_key(int key, bool shift, bool ctrl) {
    AddressStore& store = address_store();
    const ListState& list = address_list_state();
    if (key == kKeyHome || key == kKeyEnd) {
        jump_current(store, key == kKeyEnd, shift, ctrl);
        scroll_current_into_view();
        redraw_now();
        wait_for_key_release();
        return;
    }
    const int page = std::max(1, list.view_height / std::max(1, list.row_height));
    const int delta = key == kKeyUp ? -1 : key == kKeyDown ? 1 : key == kKeyPageUp ? -page : page;
    int pace = 1;
    do {
        step_current(store, delta, shift, ctrl);
        scroll_current_into_view();
        redraw_now();
        KeyRepeatDelay(pace);
        pace = 2;
    } while (input().key == key && !quitting());
}

// Returns true when the key did something.
bool handle_key() {
    AddressStore& store = address_store();
    InputState& in = input();
    const int key = in.key;
    const bool shift = in.shift, ctrl = in.ctrl;
    switch (key) {
        case kKeyUp:
        case kKeyDown:
        case kKeyPageUp:
        case kKeyPageDown:
        case kKeyHome:
        case kKeyEnd:
            move_with_key(key, shift, ctrl);
            return true;
        case kKeySpace:
            wait_for_key_release();
            toggle_current_mark(store);
            return true;
        case kKeyReturn:
            wait_for_key_release();
            edit_address();
            return true;
        case kKeyDelete:
            wait_for_key_release();
            delete_addresses();
            return true;
        case kKeyTab:
            wait_for_key_release();
            set_address_mode(store, store.mode() == kModeAll ? kModeSearch : kModeAll);
            scroll_current_into_view();
            return true;
        case 'A':
            if (!ctrl) return false;
            wait_for_key_release();
            toggle_select_all(store);
            return true;
        default:
            return false;
    }
}

bool handle_character() {
    InputState& in = input();
    const int c = in.character;
    in.character = 0;
    if (c == 1) {  // Ctrl+A typed without its key (some keyboards and scripts)
        toggle_select_all(address_store());
        return true;
    }
    if (c == 's' || c == 'S') {
        wait_for_key_release();
        email_current();
        return true;
    }
    if (c == 'w' || c == 'W') {
        wait_for_key_release();
        open_web_page(shown_field(kFieldWebSite));
        return true;
    }
    return false;
}

// ---- one turn ----------------------------------------------------------------------------------------

bool handle_widget(int id) {
    AddressStore& store = address_store();
    switch (id) {
        case kIdFind: find_addresses(); return true;
        case kIdAdd: add_address(); return true;
        case kIdEdit: edit_address(); return true;
        case kIdDelete: delete_addresses(); return true;
        case kIdImport:
            import_addresses(store);
            address_list_state().scroll_offset = 0;
            scroll_current_into_view();
            return true;
        case kIdExport:
            ensure_selection(store);
            export_addresses(store);
            return true;
        case kIdPrint:
            ensure_selection(store);
            print_selected_addresses(store);
            return true;
        case kIdMap: map_current_address(store); return true;
        case kIdShowAll:
        case kIdShowSearch:
            set_address_mode(store, id == kIdShowAll ? kModeAll : kModeSearch);
            scroll_current_into_view();
            return true;
        case kIdSelectAll: toggle_select_all(store); return true;
        case kIdEmailLink: email_current(); return true;
        case kIdWebLink: open_web_page(shown_field(kFieldWebSite)); return true;
        default: return false;
    }
}

void handle_turn(int id) {
    InputState& in = input();
    MainWindowState& win = main_window();
    const bool new_press = in.button != 0 && g_last_button == 0;
    const bool new_key = in.key != 0 && in.key != g_last_key;
    g_last_button = in.button;
    g_last_key = in.key;
    bool acted = false;
    if (id != 0) {
        wait_for_release();
        acted = handle_widget(id);
    } else if (new_press) {
        acted = press(in.button, in.shift);
    } else if (in.wheel_lines != 0) {
        ListState& list = address_list_state();
        list.scroll_offset -= list.scroll_step * in.wheel_lines / 2;
        clamp_scroll(list);
        redraw_now();
    } else if (new_key) {
        acted = handle_key();
    }
    if (!acted && in.character != 0) acted = handle_character();
    if (acted) {
        // A key or button still held from a popup that just closed is not a new one.
        g_last_button = input().button;
        g_last_key = input().key;
        win.screen_needs_redraw = true;
    }
}

}  // namespace

void address_screen() {
    install_web_address_capture();
    register_address_list_drawer();
    enter();
    g_drew = false;
    g_last_button = input().button;
    g_last_key = input().key;
    ScreenLoop loop(kScreenAddresses);
    int id = 0;
    while (loop.next(id, draw_turn)) {
        if (g_drew) {
            g_drew = false;
            if (!g_pending_message.empty()) {
                const std::string message = g_pending_message;
                g_pending_message.clear();
                show_message(message);
            }
            continue;
        }
        handle_turn(id);
    }
}

}  // namespace domora
