#include "ui/popups.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/text.h"
#include "ui/event_wait.h"
#include "ui/field_editor.h"

namespace domora {

namespace {

FieldBuffer g_fields;
// Fields of the next dialog that start with their text selected.
std::array<bool, kFieldBufferSize> g_select_on_open{};
constexpr std::uint32_t kFieldFrame = rgb(63, 115, 139);
constexpr int kCaretBlinkMs = 300;

struct PopupLayout {
    std::vector<std::string> lines, labels, buttons;
    int fields = 0;
    int line_height = 0, label_width = 0, button_width = 0, field_pixels = 0, input_height = 0;
    int field_gap = 12;  // between two fields; less where the client is low
    int width = 0, height = 0, left = 0, top = 0;
};

PopupLayout lay_out(const std::string& message, const std::string& labels, const std::string& buttons, int n) {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    PopupLayout l;
    l.lines = split_bars(message);
    l.labels = split_bars(labels);
    l.buttons = split_bars(buttons);
    l.line_height = FontHeight(f.message);
    int message_width = 0;
    for (const std::string& line : l.lines) message_width = std::max(message_width, MeasureText(f.message, line).width);
    for (const std::string& label : l.labels) l.label_width = std::max(l.label_width, MeasureText(f.message, label).width);
    if (!l.labels.empty()) l.label_width += 10;
    l.fields = n == 0 ? 0 : l.labels.empty() ? 1 : static_cast<int>(l.labels.size());
    for (const std::string& caption : l.buttons) l.button_width = std::max(l.button_width, MeasureText(f.button, caption).width);
    l.button_width = std::max(80, l.button_width + 20);
    l.field_pixels = std::min(MeasureText(f.input, std::string(static_cast<std::size_t>(n + 1), 'X')).width,
                              win.client_width - l.label_width - 120);
    l.input_height = FontHeight(f.input);
    const int field_block = l.fields > 0 ? l.label_width + l.field_pixels + 15 : 0;
    l.width = std::max({static_cast<int>(l.buttons.size()) * l.button_width, field_block, message_width}) + 40;
    // A message line wider than the window (a long path) ends in the ellipsis instead.
    l.width = std::min(l.width, std::max(200, win.client_width - 20));
    l.height = l.line_height * static_cast<int>(l.lines.size()) + 32 + (l.input_height + l.field_gap) * l.fields + 55;
    // On a low screen the fields move closer together, so that the buttons
    // stay inside the window.
    const int room = win.client_height - 8;
    if (l.height > room && l.fields > 0) {
        const int gap = l.field_gap - (l.height - room + l.fields - 1) / l.fields;
        l.field_gap = std::max(2, gap);
        l.height = l.line_height * static_cast<int>(l.lines.size()) + 32 + (l.input_height + l.field_gap) * l.fields + 55;
    }
    l.left = (win.client_width - l.width) / 2;
    l.top = std::max(4, std::min((win.client_height - l.height) / 2 + 10, win.client_height - 4 - l.height));
    return l;
}

// Builds the popup's widget table; returns the index of each input field.
std::vector<int> build_popup(const PopupLayout& l, int n, bool preset, const std::vector<std::string>& keep,
                             int default_button, bool enter_presses_default) {
    const Fonts& f = fonts();
    begin_popup_widgets(Rect{l.left, l.top, l.left + l.width, l.top + l.height});
    for (std::size_t i = 0; i < l.lines.size(); ++i) {
        const int w = MeasureText(f.message, l.lines[i]).width;
        const int x = std::max(l.left + 20, l.left + (l.width - w) / 2);
        const int y = l.top + 12 + l.line_height * static_cast<int>(i);
        AddWidget(0, kKindLabel, x, y, std::min(x + w + 1, l.left + l.width - 20), y + l.line_height, rgb(0, 0, 0), 0, f.message, 0,
                  l.lines[i]);
    }
    std::vector<int> field_index;
    const int block_left = l.left + (l.width - (l.label_width + l.field_pixels)) / 2;
    const int field_left = block_left + l.label_width;
    const int first_y = l.top + l.line_height * static_cast<int>(l.lines.size()) + 30;
    for (int i = 0; i < l.fields; ++i) {
        const int y = first_y + (l.input_height + l.field_gap) * i;
        if (i < static_cast<int>(l.labels.size())) {
            const std::string& label = l.labels[static_cast<std::size_t>(i)];
            const int w = MeasureText(f.message, label).width;
            AddWidget(0, kKindLabel, field_left - 10 - w, y, field_left - 9, y + l.input_height, rgb(0, 0, 0), 0,
                      f.message, 0, label);
        }
        AddWidget(0, kKindFieldFrame, field_left - 1, y - 1, field_left + l.field_pixels + 1, y + l.input_height + 1,
                  kFieldFrame, kWhite, 0, 0, "");
        const WidgetRecord& source = g_fields[static_cast<std::size_t>(i)];
        const std::string text = !keep.empty() ? keep[static_cast<std::size_t>(i)] : preset ? source.text : std::string();
        const int count = AddWidget(0, kKindTextInput, field_left, y, field_left + l.field_pixels, y + l.input_height,
                                    preset ? source.colour1 : 0, preset ? source.colour2 : kWhite, f.input, 0, "");
        WidgetRecord& field = widgets()[static_cast<std::size_t>(count - 1)];
        field.max_length = field_limit(preset ? source : field, n);
        field.secret = preset && source.secret;
        // A secret's text gets its whole room at once, so that typing never moves it and leaves a copy.
        if (field.secret) field.text.reserve(kMaxWidgetText);
        field.text.assign(text, 0, static_cast<std::size_t>(field.max_length));
        if (field.colour2 == 0 && field.colour1 == 0) field.colour2 = kWhite;
        field.caret = static_cast<int>(field.text.size());
        field.sel_start = field.sel_end = field.caret;
        // A field the caller wants retyped starts with its text selected, so that typing replaces it.
        if (keep.empty() && preset && g_select_on_open[static_cast<std::size_t>(i)]) field.sel_start = 0;
        field_scroll_to_caret(field);
        field_index.push_back(count - 1);
    }
    const int row = l.button_width * static_cast<int>(l.buttons.size());
    const int buttons_top = l.fields > 0 ? first_y + (l.input_height + l.field_gap) * l.fields + 10
                                         : l.top + l.line_height * static_cast<int>(l.lines.size()) + 40;
    const std::vector<int> mnemonics = free_mnemonics(l.buttons);
    for (std::size_t i = 0; i < l.buttons.size(); ++i) {
        const int x = l.left + (l.width - row) / 2 + l.button_width * static_cast<int>(i);
        const int count = AddWidget(kFirstButtonId + static_cast<int>(i), kKindButton, x, buttons_top, x + l.button_width,
                                    buttons_top + 32, rgb(0, 0, 0), 0, f.button, mnemonics[i], l.buttons[i]);
        const bool is_default = static_cast<int>(i) + 1 == default_button;
        widgets()[static_cast<std::size_t>(count - 1)].checked = is_default && enter_presses_default ? 1 : 0;
    }
    return field_index;
}

// The button Escape chooses in a popup without fields: Cancel or No, or the
// only button of a message. 0 when there is none.
int escape_button(const std::vector<std::string>& captions) {
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const std::string caption = to_upper(trim(captions[i]));
        if (caption == "CANCEL" || caption == "NO") return static_cast<int>(i) + 1;
    }
    return captions.size() == 1 ? 1 : 0;
}

void focus(int index) {
    set_focused_field(index);
    field_reset_caret();
}

// The focus frame goes on the default button only while Enter would press it.
void frame_default_button(int default_button, bool enter_presses_default) {
    const int index = FindWidget(kFirstButtonId + default_button - 1);
    if (index < 0) return;
    WidgetRecord& button = widgets()[static_cast<std::size_t>(index)];
    const int checked = enter_presses_default ? 1 : 0;
    if (button.checked == checked) return;
    button.checked = checked;
    DrawWidget(index);
    present_widget(index);
}

bool is_word_start(const std::string& text, std::size_t i) { return i == 0 || text[i - 1] == ' '; }

bool is_mnemonic_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

PopupScope::PopupScope() : was_open(main_window().popup_open) {
    MainWindowState& win = main_window();
    win.popup_open = true;
    win.screen_needs_redraw = false;
    platform().set_window_locked(true);
    SaveScreen();
}

PopupScope::~PopupScope() {
    MainWindowState& win = main_window();
    // Put the screen back as it was, so that a popup that follows at once
    // does not keep this one in its picture of the screen.
    DrawSaved(Rect{0, 0, win.client_width, win.client_height});
    Present(0, 0, win.client_width, win.client_height);
    FreeSaved();
    win.popup_open = was_open;
    if (!was_open) platform().set_window_locked(false);
    win.screen_needs_redraw = true;
}

void popup_message(const std::string& text) {
    int result = 0;
    ShowPopup(text, "", 1, "OK", 0, result);
}

// ---- the field buffer ----------------------------------------------------------------------------

FieldBuffer& field_buffer() { return g_fields; }

void clear_field_buffer() {
    for (WidgetRecord& r : g_fields) {
        r = WidgetRecord{};
        r.id = 0;
        r.colour1 = 0;
        r.colour2 = kWhite;
    }
}

std::string field_text(int i) {
    if (i < 0 || i >= kFieldBufferSize) return {};
    return g_fields[static_cast<std::size_t>(i)].text;
}

void set_field_secret(int i) {
    if (i >= 0 && i < kFieldBufferSize) g_fields[static_cast<std::size_t>(i)].secret = true;
}

void set_field_text(int i, const std::string& text, int max_length) {
    if (i < 0 || i >= kFieldBufferSize) return;
    WidgetRecord& r = g_fields[static_cast<std::size_t>(i)];
    r.text = text.substr(0, kMaxWidgetText);
    r.max_length = max_length;
}

std::vector<std::string> split_bars(const std::string& text) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return parts;
}

void install_popup_messages() { set_message_handler(popup_message); }

void select_field_text(int i) {
    if (i >= 0 && i < kFieldBufferSize) g_select_on_open[static_cast<std::size_t>(i)] = true;
}

std::vector<int> free_mnemonics(const std::vector<std::string>& captions) {
    std::string taken;
    std::vector<int> positions;
    for (const std::string& caption : captions) {
        int chosen = 0;
        // The first letter when it is free, else the start of a later word, else any letter.
        for (int pass = 0; pass < 2 && chosen == 0; ++pass) {
            for (std::size_t i = 0; i < caption.size() && chosen == 0; ++i) {
                if (!is_mnemonic_byte(caption[i]) || (pass == 0 && !is_word_start(caption, i))) continue;
                if (taken.find(static_cast<char>(upper_byte(static_cast<unsigned char>(caption[i])))) != std::string::npos) continue;
                chosen = static_cast<int>(i) + 1;
            }
        }
        if (chosen > 0) taken += static_cast<char>(upper_byte(static_cast<unsigned char>(caption[static_cast<std::size_t>(chosen - 1)])));
        positions.push_back(chosen);
    }
    return positions;
}

void begin_popup_widgets(const Rect& panel) {
    const MainWindowState& win = main_window();
    EndWidgets(0);
    set_focused_field(-1);
    AddWidget(0, kKindSavedImage, 0, 0, win.client_width, win.client_height, 0, 0, 0, 0, "");
    AddWidget(kHeaderBandId, kKindHitArea, 0, 0, win.client_width, 35, 0, 0, 0, 0, "");
    // The screen is dimmed once: a popup over another popup leaves the one below as it is.
    if (saved_screens() <= 1) AddWidget(0, kKindShade, 0, 0, win.client_width, win.client_height, rgb(0, 0, 0), 0, 0, 0, "");
    AddWidget(0, kKindPanel, panel.left, panel.top, panel.right, panel.bottom, kPanelLine, kPanelFill, 0, 0, "");
}

// ---- ShowPopup ---------------------------------------------------------------------------------------

void ShowPopup(const std::string& message, const std::string& labels, int default_button, const std::string& buttons,
               int field_width, int& result) {
    MainWindowState& win = main_window();
    if (win.quit_requested || win.close_popups) return;
    const int n = field_width >= 100 ? field_width - 100 : field_width;
    const bool preset = field_width >= 100;
    PopupScope scope;
    const PopupLayout layout = lay_out(message, labels, buttons, n);
    std::vector<int> fields = build_popup(layout, n, preset, {}, default_button, layout.fields <= 1);
    g_select_on_open.fill(false);
    int current = 0;
    // Enter moves on to the next field until the last one; from there (or
    // without fields) it presses the default button.
    auto enter_presses_default = [&] { return fields.empty() || current == static_cast<int>(fields.size()) - 1; };
    if (!fields.empty()) focus(fields[0]);
    platform().show_main_window(platform().main_window_placement().show_state);
    DrawAllWidgets();

    const int blink_timer = static_cast<int>(platform().tick_ms() & 0x3FFFFFFF) | 0x40000000;
    if (!fields.empty()) platform().set_timer(blink_timer, kCaretBlinkMs);
    InputState& in = input();
    bool press_taken = false;
    int held_key = 0;
    // A key still held from before the popup opened is not meant for it.
    int stale_key = in.key;
    int chosen = 0;
    auto move_focus = [&](int to) {
        const int old = fields[static_cast<std::size_t>(current)];
        current = to;
        focus(fields[static_cast<std::size_t>(current)]);
        for (int index : {old, fields[static_cast<std::size_t>(current)]}) {
            DrawWidget(index);
            present_widget(index);
        }
        frame_default_button(default_button, enter_presses_default());
    };
    while (chosen == 0 && !win.quit_requested && !win.close_popups) {
        if (win.screen_needs_redraw) {
            // The window changed size under the popup: lay it out again, keeping the typing.
            win.screen_needs_redraw = false;
            // The image behind stays the one saved when the popup opened.
            std::vector<std::string> typed;
            for (int index : fields) {
                typed.push_back(widgets()[static_cast<std::size_t>(index)].text);
                field_forget_undo(widgets()[static_cast<std::size_t>(index)]);
            }
            fields = build_popup(lay_out(message, labels, buttons, n), n, preset, typed, default_button, enter_presses_default());
            for (std::string& text : typed) wipe_text(text);
            if (!fields.empty()) focus(fields[static_cast<std::size_t>(current)]);
            DrawAllWidgets();
        }
        const int id = event_wait(true);
        if (id >= kFirstButtonId && id <= kLastButtonId) {
            chosen = id - kFirstButtonId + 1;
            break;
        }
        if (in.timer_id == blink_timer && !fields.empty()) {
            field_toggle_caret(fields[static_cast<std::size_t>(current)]);
            continue;
        }
        if (in.button == 0) press_taken = false;
        if (in.button == 1 && !press_taken) {
            press_taken = true;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                WidgetRecord& f = widgets()[static_cast<std::size_t>(fields[i])];
                if (!f.contains(in.mouse_x, in.mouse_y)) continue;
                if (static_cast<int>(i) != current) {
                    f.caret = std::min(static_cast<int>(f.text.size()), f.max_length);
                    f.sel_start = f.sel_end = f.caret;
                    move_focus(static_cast<int>(i));
                } else {
                    field_mouse_select(fields[i]);
                }
                break;
            }
        }
        if (in.key == 0) held_key = 0;
        if (in.key != stale_key) stale_key = 0;
        if (stale_key != 0) continue;
        if (in.key == 0 && in.character == 0) continue;
        if (fields.empty() && in.key == kKeyEscape) {
            chosen = escape_button(layout.buttons);
            if (chosen != 0) break;
            continue;
        }
        const bool last_field = enter_presses_default();
        if (in.key == kKeyReturn) {
            // Ctrl+Enter presses the default button from any field.
            if (last_field || in.ctrl) {
                chosen = default_button;
                break;
            }
        }
        if ((in.key == kKeyUp || (in.key == kKeyTab && in.shift)) && current > 0) {
            move_focus(current - 1);
            KeyRepeatDelay(1);
            continue;
        }
        if ((in.key == kKeyReturn || in.key == kKeyDown || (in.key == kKeyTab && !in.shift)) && !last_field) {
            move_focus(current + 1);
            KeyRepeatDelay(1);
            continue;
        }
        if (fields.empty()) continue;
        WidgetRecord& field = widgets()[static_cast<std::size_t>(fields[static_cast<std::size_t>(current)])];
        const bool typed = in.character != 0 && field_type_character(field, in.character, field.max_length);
        const bool edited = !typed && in.character == 0 && field_edit_key(field, in, field.max_length);
        if (typed || edited) {
            field_reset_caret();
            DrawWidget(fields[static_cast<std::size_t>(current)]);
            present_widget(fields[static_cast<std::size_t>(current)]);
        }
        if (edited) {
            // A held editing key repeats: first after 350 ms, then every 100 ms.
            KeyRepeatDelay(held_key == in.key ? 2 : 1);
            held_key = in.key;
        }
    }
    if (!fields.empty()) platform().kill_timer(blink_timer);
    set_focused_field(-1);
    if (chosen != 0) result = chosen;
    // Every field goes back through the buffer, in order, ended by -1.
    for (std::size_t i = 0; i < fields.size() && i < kFieldBufferSize; ++i) {
        WidgetRecord& out = g_fields[i];
        const WidgetRecord& f = widgets()[static_cast<std::size_t>(fields[i])];
        out.text = f.text;
        out.id = static_cast<int>(i);
        out.kind = f.kind;
        out.x1 = f.x1;
        out.y1 = f.y1;
        out.x2 = f.x2;
        out.y2 = f.y2;
        out.scroll = f.scroll;
        out.caret = f.caret;
        out.sel_start = f.sel_start;
        out.sel_end = f.sel_end;
    }
    if (!fields.empty() && fields.size() < kFieldBufferSize) g_fields[fields.size()].id = -1;
    // The popup's own copies of a secret go now; the caller has the buffer's.
    // The secret marks were for this dialog only.
    for (int index : fields) {
        WidgetRecord& f = widgets()[static_cast<std::size_t>(index)];
        if (f.secret) wipe_text(f.text);
        field_forget_undo(f);
    }
    for (WidgetRecord& record : g_fields) record.secret = false;
    wait_for_release();
    wait_for_key_release();
}

void show_ok(const std::string& message) {
    int ignored = 0;
    ShowPopup(message, "", 1, "OK", 0, ignored);
}

bool ask_ok_cancel(const std::string& message) {
    int answer = 0;
    ShowPopup(message, "", 1, "OK|Cancel", 0, answer);
    return answer == 1;
}

}  // namespace domora
