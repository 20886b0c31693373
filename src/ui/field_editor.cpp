#include "ui/field_editor.h"

#include <algorithm>

#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

constexpr int kPadding = 3;
bool g_caret_shown = false;

int clamp_position(const WidgetRecord& f, int p) { return std::clamp(p, 0, static_cast<int>(f.text.size())); }

bool has_selection(const WidgetRecord& f) { return f.sel_start != f.sel_end; }

void delete_selection(WidgetRecord& f) {
    const int a = clamp_position(f, std::min(f.sel_start, f.sel_end));
    const int b = clamp_position(f, std::max(f.sel_start, f.sel_end));
    f.text.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
    f.caret = a;
    f.sel_start = f.sel_end = a;
}

std::string selected_text(const WidgetRecord& f) {
    const int a = clamp_position(f, std::min(f.sel_start, f.sel_end));
    const int b = clamp_position(f, std::max(f.sel_start, f.sel_end));
    return f.text.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
}

// Moves the caret; with Shift the selection follows it, without it collapses.
void move_caret(WidgetRecord& f, int to, bool extend) {
    to = clamp_position(f, to);
    if (extend) {
        if (!has_selection(f)) f.sel_start = f.caret;
        f.sel_end = to;
    } else {
        f.sel_start = f.sel_end = to;
    }
    f.caret = to;
}

int text_width(const WidgetRecord& f, int from, int to) {
    from = clamp_position(f, from);
    to = clamp_position(f, to);
    if (to <= from) return 0;
    return platform().measure_text(f.font, field_shown_text(f).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from))).width;
}

int inner_width(const WidgetRecord& f) { return std::max(1, f.x2 - f.x1 - 2 * kPadding); }

// ---- words ---------------------------------------------------------------------------------------

bool word_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || upper_byte(b) != lower_byte(b) || b == 0xDF;
}

// Ctrl+Right goes to the start of the next word, Ctrl+Left to the start of
// this or the previous one. A secret is one word: its shape stays hidden.
int word_boundary(const WidgetRecord& f, int from, int direction) {
    const int size = static_cast<int>(f.text.size());
    if (f.secret) return direction > 0 ? size : 0;
    int p = from;
    auto at = [&](int i) { return word_byte(f.text[static_cast<std::size_t>(i)]); };
    if (direction > 0) {
        while (p < size && at(p)) ++p;
        while (p < size && !at(p)) ++p;
    } else {
        while (p > 0 && !at(p - 1)) --p;
        while (p > 0 && at(p - 1)) --p;
    }
    return p;
}

// ---- undo -----------------------------------------------------------------------------------------

// The kinds of change; a run of typing or of deleting is undone at once.
enum UndoRun { kRunNone = 0, kRunTyping, kRunDeleting, kRunReplacing, kRunSingle };
constexpr std::size_t kUndoDepth = 100;

// Keeps the state before a change, unless the change goes on a run that is already kept.
void remember(WidgetRecord& f, int run, bool force = false) {
    if (!force && run != kRunSingle && run == f.undo_run && !f.undo.empty()) return;
    // A secret's states never move to a new buffer, which would leave copies behind.
    if (f.secret && f.undo.capacity() < kUndoDepth) f.undo.reserve(kUndoDepth);
    if (f.undo.size() >= kUndoDepth) {
        wipe_text(f.undo.front().text);
        std::move(f.undo.begin() + 1, f.undo.end(), f.undo.begin());
        wipe_text(f.undo.back().text);
        f.undo.pop_back();
    }
    f.undo.push_back(FieldUndo{f.text, f.caret, f.sel_start, f.sel_end});
    f.undo_run = run;
}

void drop_latest(WidgetRecord& f) {
    wipe_text(f.undo.back().text);
    f.undo.pop_back();
}

bool undo(WidgetRecord& f) {
    // States kept before changes that changed nothing are passed over.
    while (!f.undo.empty() && f.undo.back().text == f.text) drop_latest(f);
    f.undo_run = kRunNone;
    if (f.undo.empty()) return false;
    const FieldUndo& last = f.undo.back();
    wipe_text(f.text);
    f.text = last.text;
    f.caret = clamp_position(f, last.caret);
    f.sel_start = clamp_position(f, last.sel_start);
    f.sel_end = clamp_position(f, last.sel_end);
    drop_latest(f);
    return true;
}

}  // namespace

void wipe_text(std::string& text) {
    // The whole buffer, past the end of the text too: what a longer text left
    // there would otherwise stay in memory once it is freed.
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.capacity(); ++i) bytes[i] = 0;
    text.clear();
}

void field_forget_undo(WidgetRecord& field) {
    for (FieldUndo& state : field.undo) wipe_text(state.text);
    field.undo.clear();
    field.undo_run = kRunNone;
}

void field_replace_text(WidgetRecord& field, const std::string& text) {
    if (text == field.text) return;
    remember(field, kRunReplacing);
    field.text = text.substr(0, kMaxWidgetText);
    field.caret = field.sel_start = field.sel_end = static_cast<int>(field.text.size());
    field_scroll_to_caret(field);
}

std::string field_shown_text(const WidgetRecord& field) {
    return field.secret ? std::string(field.text.size(), kSecretBullet) : field.text;
}

int field_limit(const WidgetRecord& field, int fallback) {
    const int limit = field.max_length > 0 ? field.max_length : fallback;
    return std::clamp(limit, 0, static_cast<int>(kMaxWidgetText));
}

bool field_type_character(WidgetRecord& f, int character, int limit) {
    if (character < 32 || character > 255 || character == 127) return false;
    // Typing over a selection begins a run of its own, so that undoing it brings the selection back.
    remember(f, kRunTyping, has_selection(f));
    if (has_selection(f)) delete_selection(f);
    if (static_cast<int>(f.text.size()) >= limit) return false;
    f.caret = clamp_position(f, f.caret);
    f.text.insert(static_cast<std::size_t>(f.caret), 1, static_cast<char>(character));
    ++f.caret;
    f.sel_start = f.sel_end = f.caret;
    field_scroll_to_caret(f);
    return true;
}

void field_paste(WidgetRecord& f, const std::string& text, int limit) {
    remember(f, kRunSingle);
    if (has_selection(f)) delete_selection(f);
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) continue;
        if (static_cast<int>(f.text.size()) >= limit) break;
        f.text.insert(static_cast<std::size_t>(f.caret), 1, c);
        ++f.caret;
    }
    f.sel_start = f.sel_end = f.caret;
    field_scroll_to_caret(f);
}

bool field_edit_key(WidgetRecord& f, const InputState& in, int limit) {
    f.caret = clamp_position(f, f.caret);
    // Moving the caret ends a run of typing or deleting.
    const bool moves = in.key == kKeyLeft || in.key == kKeyRight || in.key == kKeyHome || in.key == kKeyEnd ||
                       (in.key == 'A' && in.ctrl);
    if (moves) f.undo_run = kRunNone;
    switch (in.key) {
        case kKeyLeft: move_caret(f, in.ctrl ? word_boundary(f, f.caret, -1) : f.caret - 1, in.shift); break;
        case kKeyRight: move_caret(f, in.ctrl ? word_boundary(f, f.caret, 1) : f.caret + 1, in.shift); break;
        case kKeyHome: move_caret(f, 0, in.shift); break;
        case kKeyEnd: move_caret(f, static_cast<int>(f.text.size()), in.shift); break;
        case kKeyBack:
            remember(f, kRunDeleting, has_selection(f));
            if (has_selection(f)) {
                delete_selection(f);
            } else if (f.caret > 0) {
                f.text.erase(static_cast<std::size_t>(f.caret - 1), 1);
                move_caret(f, f.caret - 1, false);
            }
            break;
        case kKeyDelete:
            remember(f, kRunDeleting, has_selection(f));
            if (has_selection(f)) {
                delete_selection(f);
            } else if (f.caret < static_cast<int>(f.text.size())) {
                f.text.erase(static_cast<std::size_t>(f.caret), 1);
            }
            break;
        case kKeyEscape:
            // Emptying the field is a change like any other: Ctrl+Z brings the text back.
            remember(f, kRunSingle);
            f.text.clear();
            move_caret(f, 0, false);
            break;
        case 'A':
            if (!in.ctrl) return false;
            f.sel_start = 0;
            f.sel_end = static_cast<int>(f.text.size());
            f.caret = f.sel_end;
            break;
        case 'C':
            if (!in.ctrl) return false;
            // A secret never leaves its field, not even to the clipboard.
            if (has_selection(f) && !f.secret) platform().set_clipboard_text(selected_text(f));
            break;
        case 'X':
            if (!in.ctrl) return false;
            if (has_selection(f) && !f.secret) {
                platform().set_clipboard_text(selected_text(f));
                remember(f, kRunSingle);
                delete_selection(f);
            }
            break;
        case 'V':
            if (!in.ctrl) return false;
            field_paste(f, platform().clipboard_text(), limit);
            break;
        case 'Z':
            if (!in.ctrl) return false;
            undo(f);
            break;
        default:
            return false;
    }
    field_scroll_to_caret(f);
    return true;
}

int field_position_at(const WidgetRecord& f, int x) {
    const int origin = f.x1 + kPadding;
    const int first = clamp_position(f, f.scroll);
    int best = first;
    int best_distance = std::abs(x - origin);
    for (int p = first + 1; p <= static_cast<int>(f.text.size()); ++p) {
        const int distance = std::abs(x - (origin + text_width(f, first, p)));
        if (distance < best_distance) {
            best = p;
            best_distance = distance;
        }
    }
    return best;
}

void field_scroll_to_caret(WidgetRecord& f) {
    f.scroll = std::clamp(f.scroll, 0, static_cast<int>(f.text.size()));
    if (f.caret < f.scroll) f.scroll = f.caret;
    while (f.scroll < f.caret && text_width(f, f.scroll, f.caret) > inner_width(f)) ++f.scroll;
}

void field_mouse_select(int index) {
    WidgetRecord& f = widgets()[static_cast<std::size_t>(index)];
    InputState& in = input();
    const int anchor = field_position_at(f, in.mouse_x);
    f.undo_run = kRunNone;
    move_caret(f, anchor, false);
    draw_text_field(f, true);
    present_widget(index);
    while (in.button == 1 && !main_window().quit_requested) {
        pump_message(true);
        int to;
        if (in.mouse_x < f.x1 && f.scroll > 0) {
            --f.scroll;  // scrolls at the key-repeat pace while outside
            to = f.scroll;
            KeyRepeatDelay(2);
        } else if (in.mouse_x >= f.x2 && f.caret < static_cast<int>(f.text.size())) {
            to = f.caret + 1;
            KeyRepeatDelay(2);
        } else {
            to = field_position_at(f, in.mouse_x);
        }
        f.caret = clamp_position(f, to);
        f.sel_start = anchor;
        f.sel_end = f.caret;
        field_scroll_to_caret(f);
        draw_text_field(f, true);
        present_widget(index);
    }
}

// ---- drawing ---------------------------------------------------------------------------------------

void draw_text_field(WidgetRecord& f, bool focused) {
    const Rect box = f.rect();
    FillBox(box, f.colour2);
    ClipTo(box);
    const int height = FontHeight(f.font);
    const int y = f.y1 + (f.y2 - f.y1 - height) / 2;
    const int x = f.x1 + kPadding;
    const int first = clamp_position(f, f.scroll);
    platform().draw_text(x, y, f.font, f.colour1, field_shown_text(f).substr(static_cast<std::size_t>(first)));
    if (focused && has_selection(f)) {
        const int a = std::max(first, std::min(f.sel_start, f.sel_end));
        const int b = std::max(first, std::max(f.sel_start, f.sel_end));
        platform().invert_rect(Rect{x + text_width(f, first, a), y, x + text_width(f, first, b), y + height});
    }
    if (focused && g_caret_shown) {
        const int cx = x + text_width(f, first, f.caret);
        platform().invert_rect(Rect{cx, y, cx + 1, y + height});
    }
    ClipTo(Rect{});
}

void field_toggle_caret(int index) {
    if (index < 0 || index >= kMaxWidgets) return;
    WidgetRecord& f = widgets()[static_cast<std::size_t>(index)];
    if (f.kind != kKindTextInput) return;
    g_caret_shown = !g_caret_shown;
    ClipTo(f.rect());
    const int height = FontHeight(f.font);
    const int y = f.y1 + (f.y2 - f.y1 - height) / 2;
    const int cx = f.x1 + kPadding + text_width(f, clamp_position(f, f.scroll), f.caret);
    platform().invert_rect(Rect{cx, y, cx + 1, y + height});
    ClipTo(Rect{});
    Present(cx, y, 1, height);
}

bool field_caret_shown() { return g_caret_shown; }
void field_reset_caret() { g_caret_shown = false; }

}  // namespace domora
