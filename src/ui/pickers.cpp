// The choice dialog, the list picker and the progress popup.
#include <algorithm>

#include "app/main_window.h"
#include "app/text.h"
#include "ui/accessible_tree.h"
#include "ui/event_wait.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr std::uint32_t kHighlight = rgb(0, 0, 128);
constexpr int kPickerLineHeight = 23;
constexpr int kScrollUpId = 500;
constexpr int kScrollBarId = 501;
constexpr int kScrollDownId = 502;
constexpr int kProgressTitleId = 9001;
constexpr int kProgressBarId = 9002;
constexpr int kProgressDetailId = 9003;

PopupList g_list;

struct Saved {
    Saved() : was_open(main_window().popup_open) {
        main_window().popup_open = true;
        main_window().screen_needs_redraw = false;
        platform().set_window_locked(true);
        SaveScreen();
    }
    ~Saved() {
        const MainWindowState& win = main_window();
        DrawSaved(Rect{0, 0, win.client_width, win.client_height});
        Present(0, 0, win.client_width, win.client_height);
        FreeSaved();
        main_window().popup_open = was_open;
        if (!was_open) platform().set_window_locked(false);
        main_window().screen_needs_redraw = true;
    }
    bool was_open;
};

// ---- the choice dialog -------------------------------------------------------------------------

struct ChoiceState {
    std::vector<std::string> options;
    int chosen = 0;
    int line_height = 0;
};
ChoiceState g_choice;

void draw_options(WidgetRecord& w) {
    FillBox(w.rect(), rgb(255, 255, 255));
    FrameBox(w.rect(), kPanelLine);
    ClipTo(w.rect());
    for (std::size_t i = 0; i < g_choice.options.size(); ++i) {
        const int y = w.y1 + 4 + g_choice.line_height * static_cast<int>(i);
        const bool on = static_cast<int>(i) == g_choice.chosen;
        if (on) FillBox(Rect{w.x1 + 2, y, w.x2 - 2, y + g_choice.line_height}, kHighlight);
        DrawTextAt(w.x1 + 10, y + 1, 0, on ? rgb(255, 255, 255) : rgb(0, 0, 0), fonts().input, g_choice.options[i]);
    }
    ClipTo(Rect{});
}

// ---- the list picker -----------------------------------------------------------------------------

struct PickerState {
    int left = 0, top = 0, right = 0, bottom = 0;
    int visible = 0;
    bool scroll_bar = false;
};
PickerState g_picker;

void draw_picker_lines(WidgetRecord& w) {
    const Rect r = w.rect();
    FillBox(r, rgb(255, 255, 255));
    FrameBox(Rect{g_picker.left, g_picker.top, g_picker.right, g_picker.bottom}, kPanelLine);
    ClipTo(r);
    for (int i = 0; i < g_picker.visible; ++i) {
        const int line = g_list.first_visible + i;
        if (line >= static_cast<int>(g_list.lines.size())) break;
        const int y = r.top + 5 + kPickerLineHeight * i;
        const bool on = line == g_list.chosen;
        if (on) FillBox(Rect{r.left + 1, y, r.right - 1, y + kPickerLineHeight}, kHighlight);
        const std::string& text = g_list.lines[static_cast<std::size_t>(line)];
        const bool heading = !text.empty() && text[0] == '|';
        const FontHandle font = heading ? fonts().message : fonts().input;
        DrawTextAt(r.left + 5, y + (kPickerLineHeight - FontHeight(font)) / 2, 0, on ? rgb(255, 255, 255) : rgb(0, 0, 0), font,
                   heading ? text.substr(1) : text);
    }
    ClipTo(Rect{});
}

void describe_options(const WidgetRecord& w, AccessibleList& out) {
    out.columns = {"Option"};
    out.current_row = g_choice.chosen;
    for (std::size_t i = 0; i < g_choice.options.size(); ++i) {
        AccessibleRow r;
        r.cells = {g_choice.options[i]};
        r.bounds = list_row_bounds(w, w.y1 + 4, static_cast<int>(i), std::max(1, g_choice.line_height), 0);
        out.rows.push_back(std::move(r));
    }
}

void describe_picker_lines(const WidgetRecord& w, AccessibleList& out) {
    out.columns = {"Choice"};
    out.current_row = g_list.chosen;
    for (std::size_t i = 0; i < g_list.lines.size(); ++i) {
        const std::string& text = g_list.lines[i];
        AccessibleRow r;
        r.cells = {!text.empty() && text[0] == '|' ? text.substr(1) : text};
        r.bounds = list_row_bounds(w, w.y1 + 5, static_cast<int>(i), kPickerLineHeight, g_list.first_visible * kPickerLineHeight);
        out.rows.push_back(std::move(r));
    }
}

ListState g_picker_scroll;

void build_picker() {
    const MainWindowState& win = main_window();
    EndWidgets(0);
    AddWidget(0, kKindSavedImage, 0, 0, win.client_width, win.client_height, 0, 0, 0, 0, "");
    AddWidget(kHeaderBandId, kKindHitArea, 0, 0, win.client_width, 35, 0, 0, 0, 0, "");
    const int text_right = g_picker.right - (g_picker.scroll_bar ? 22 : 0);
    AddWidget(0, kKindPopupList, g_picker.left, g_picker.top, text_right, g_picker.bottom, 0, 0, 0, 0, "");
    if (g_picker.scroll_bar) {
        ListState& state = g_picker_scroll;
        state.row_height = kPickerLineHeight;
        state.view_height = g_picker.visible * kPickerLineHeight;
        state.content_height = static_cast<int>(g_list.lines.size()) * kPickerLineHeight;
        state.scroll_offset = g_list.first_visible * kPickerLineHeight;
        AddWidget(kScrollUpId, kKindButton, text_right, g_picker.top, g_picker.right, g_picker.top + 22, 0, 0, fonts().button, 0, "\x01");
        const int count = AddWidget(kScrollBarId, kKindScrollBar, text_right, g_picker.top + 22, g_picker.right, g_picker.bottom - 22, 0, 0, 0, 0, "");
        widgets()[static_cast<std::size_t>(count - 1)].list = &state;
        AddWidget(kScrollDownId, kKindButton, text_right, g_picker.bottom - 22, g_picker.right, g_picker.bottom, 0, 0, fonts().button, 0, "\x02");
    }
}

void show_line(int line) {
    const int count = static_cast<int>(g_list.lines.size());
    if (count == 0) return;
    g_list.chosen = std::clamp(line, 0, count - 1);
    if (g_list.chosen < g_list.first_visible) g_list.first_visible = g_list.chosen;
    if (g_list.chosen >= g_list.first_visible + g_picker.visible) g_list.first_visible = g_list.chosen - g_picker.visible + 1;
}

void scroll_lines(int by) {
    const int most = std::max(0, static_cast<int>(g_list.lines.size()) - g_picker.visible);
    g_list.first_visible = std::clamp(g_list.first_visible + by, 0, most);
}

void redraw_picker() {
    build_picker();
    DrawAllWidgets();
}

// ---- progress -------------------------------------------------------------------------------------

struct ProgressState {
    bool was_open = false;
    int last_percent = -1;
    std::uint64_t started = 0;
    bool saved = false;
};
ProgressState g_progress;

}  // namespace

PopupList& popup_list() { return g_list; }

int index_of(const std::vector<std::string>& lines, const std::string& text) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (equal_nocase(lines[i], text)) return static_cast<int>(i);
    }
    return -1;
}

void ShowChoice(const std::string& title, const std::string& options, const std::string& buttons, int& button_result,
                int& chosen) {
    MainWindowState& win = main_window();
    if (win.quit_requested) return;
    Saved scope;
    set_widget_drawer(kKindOptionList, draw_options);
    set_list_describer(kKindOptionList, describe_options);
    const Fonts& f = fonts();
    g_choice.options = split_bars(options);
    g_choice.chosen = std::clamp(chosen, 0, std::max(0, static_cast<int>(g_choice.options.size()) - 1));
    g_choice.line_height = FontHeight(f.input) + 6;
    const std::vector<std::string> captions = split_bars(buttons);
    int button_width = 80;
    for (const std::string& c : captions) button_width = std::max(button_width, MeasureText(f.button, c).width + 20);
    int list_width = MeasureText(f.message, title).width;
    for (const std::string& o : g_choice.options) list_width = std::max(list_width, MeasureText(f.input, o).width + 20);
    const int title_height = FontHeight(f.message);
    const int list_height = g_choice.line_height * static_cast<int>(g_choice.options.size()) + 8;
    const int width = std::max(list_width, button_width * static_cast<int>(captions.size())) + 40;
    const int height = 12 + title_height + 12 + list_height + 14 + 32 + 16;
    const int left = (win.client_width - width) / 2;
    const int top = (win.client_height - height) / 2 + 10;

    auto build = [&] {
        begin_popup_widgets(Rect{left, top, left + width, top + height});
        const int tw = MeasureText(f.message, title).width;
        AddWidget(0, kKindLabel, left + (width - tw) / 2, top + 12, left + (width + tw) / 2 + 1, top + 12 + title_height,
                  rgb(0, 0, 0), 0, f.message, 0, title);
        const int list_top = top + 12 + title_height + 12;
        AddWidget(1000, kKindOptionList, left + 20, list_top, left + width - 20, list_top + list_height, 0, 0, f.input, 0, "");
        const int row_left = left + (width - button_width * static_cast<int>(captions.size())) / 2;
        const int buttons_top = list_top + list_height + 14;
        const std::vector<int> mnemonics = free_mnemonics(captions);
        for (std::size_t i = 0; i < captions.size(); ++i) {
            const int x = row_left + button_width * static_cast<int>(i);
            const int count = AddWidget(kFirstButtonId + static_cast<int>(i), kKindButton, x, buttons_top, x + button_width,
                                        buttons_top + 32, rgb(0, 0, 0), 0, f.button, mnemonics[i], captions[i]);
            widgets()[static_cast<std::size_t>(count - 1)].checked = i == 0 ? 1 : 0;  // Enter chooses the first
        }
    };
    build();
    DrawAllWidgets();
    InputState& in = input();
    int pressed = 0;
    while (pressed == 0 && !win.quit_requested) {
        if (win.screen_needs_redraw) {
            win.screen_needs_redraw = false;
            build();
            DrawAllWidgets();
        }
        const int id = event_wait(true);
        if (id >= kFirstButtonId && id <= kLastButtonId) {
            pressed = id - kFirstButtonId + 1;
        } else if (id == 1000) {
            const int line = (in.mouse_y - widgets()[static_cast<std::size_t>(FindWidget(1000))].y1 - 4) / g_choice.line_height;
            if (line >= 0 && line < static_cast<int>(g_choice.options.size())) g_choice.chosen = line;
            DrawWidget(FindWidget(1000));
            present_widget(FindWidget(1000));
        } else if (in.key == kKeyUp || in.key == kKeyDown) {
            const int step = in.key == kKeyUp ? -1 : 1;
            g_choice.chosen = std::clamp(g_choice.chosen + step, 0, std::max(0, static_cast<int>(g_choice.options.size()) - 1));
            DrawWidget(FindWidget(1000));
            present_widget(FindWidget(1000));
            KeyRepeatDelay(1);
        } else if (in.key == kKeyReturn) {
            pressed = 1;
        } else if (in.key == kKeyEscape) {
            pressed = static_cast<int>(captions.size());
        }
    }
    if (pressed != 0) button_result = pressed;
    chosen = g_choice.chosen;
    wait_for_release();
    wait_for_key_release();
}

// ---- PickFromList ----------------------------------------------------------------------------------

void PickFromList(int x, int y, int width, int flags, int /*reserved*/, int& result) {
    MainWindowState& win = main_window();
    if (win.quit_requested) return;
    result = -1;
    Saved scope;
    set_widget_drawer(kKindPopupList, draw_picker_lines);
    set_list_describer(kKindPopupList, describe_picker_lines);
    g_list.first_visible = 0;
    g_list.chosen = -1;
    // The caller's current value is highlighted, so that Enter keeps it; each list says its own.
    const int current = g_list.current;
    g_list.current = -1;
    const Fonts& f = fonts();
    int text_width = 0;
    for (const std::string& line : g_list.lines) {
        const bool heading = !line.empty() && line[0] == '|';
        text_width = std::max(text_width, MeasureText(heading ? f.message : f.input, heading ? line.substr(1) : line).width);
    }
    text_width += 10;
    const int count = static_cast<int>(g_list.lines.size());
    int visible = std::max(0, (win.client_height - 20 - std::max(y, 55)) / kPickerLineHeight);
    if (flags == 0) visible = std::max(visible, 10);
    visible = std::min(visible, count);
    g_picker.visible = visible;
    g_picker.scroll_bar = visible < count;
    const int list_width = std::max(width - 10, text_width + (g_picker.scroll_bar ? 22 : 0));
    g_picker.left = x - 1;
    g_picker.top = std::max(y, 55);
    g_picker.right = g_picker.left + list_width + 9;
    g_picker.bottom = g_picker.top + visible * kPickerLineHeight + 10;
    if (g_picker.right > win.client_width) {
        const int shift = g_picker.right - (win.client_width - 20);
        g_picker.left -= shift;
        g_picker.right -= shift;
    }
    if (g_picker.bottom > win.client_height) {
        const int shift = g_picker.bottom - (win.client_height - 20);
        g_picker.top -= shift;
        g_picker.bottom -= shift;
    }
    if (current >= 0 && current < count) show_line(current);
    result = g_list.chosen;
    redraw_picker();
    InputState& in = input();
    bool done = false;
    bool opening_press = in.button != 0;  // the press that opened the list is not a choice
    bool pressed_in_list = false;
    bool repeating = false;
    // The pointer resting over the list does not take the highlight from the keys; moving it does.
    int pointer_x = in.mouse_x, pointer_y = in.mouse_y;
    while (!done && !win.quit_requested) {
        const int id = event_wait(true);
        const bool pointer_moved = in.mouse_x != pointer_x || in.mouse_y != pointer_y;
        pointer_x = in.mouse_x;
        pointer_y = in.mouse_y;
        const bool inside = in.mouse_x >= g_picker.left && in.mouse_x < g_picker.right && in.mouse_y >= g_picker.top &&
                            in.mouse_y < g_picker.bottom;
        const int text_right = g_picker.right - (g_picker.scroll_bar ? 22 : 0);
        if (id == kScrollUpId || id == kScrollDownId || (in.button == 1 && (FindWidget(kScrollUpId) >= 0))) {
            int held = 0;
            const int up = FindWidget(kScrollUpId), down = FindWidget(kScrollDownId);
            if (in.button == 1 && up >= 0 && widgets()[static_cast<std::size_t>(up)].contains(in.mouse_x, in.mouse_y)) held = -1;
            if (in.button == 1 && down >= 0 && widgets()[static_cast<std::size_t>(down)].contains(in.mouse_x, in.mouse_y)) held = 1;
            if (held != 0) {
                scroll_lines(held);
                redraw_picker();
                KeyRepeatDelay(repeating ? 2 : 1);
                repeating = true;
                continue;
            }
        }
        repeating = false;
        const int bar = FindWidget(kScrollBarId);
        if (in.button == 1 && bar >= 0 && widgets()[static_cast<std::size_t>(bar)].contains(in.mouse_x, in.mouse_y)) {
            drag_scroll_thumb(bar, [] {
                g_list.first_visible = g_picker_scroll.scroll_offset / kPickerLineHeight;
                redraw_picker();
            });
            continue;
        }
        if (in.button == 1 && !inside && !opening_press) {
            g_list.chosen = -1;
            done = true;
            break;
        }
        const bool on_lines = inside && in.mouse_x < text_right && count > 0;
        if (on_lines && (pointer_moved || in.button != 0 || in.wheel_lines != 0)) {
            const int line = std::clamp(g_list.first_visible + (in.mouse_y - g_picker.top - 5) / kPickerLineHeight, 0, count - 1);
            if (line != g_list.chosen) {
                g_list.chosen = line;
                DrawWidget(2);
                present_widget(2);
            }
            if (in.button == 1 && !opening_press) pressed_in_list = true;
        }
        if (in.button == 0) {
            // A press in the list that is let go over a line chooses it.
            if (pressed_in_list && on_lines) done = true;
            opening_press = false;
            pressed_in_list = false;
        }
        if (in.wheel_lines != 0) {
            scroll_lines(-in.wheel_lines);
            redraw_picker();
        }
        if (in.key != 0) {
            const int page = std::max(1, g_picker.visible - 1);
            bool moved = true;
            switch (in.key) {
                case kKeyUp: show_line(g_list.chosen - 1); break;
                case kKeyDown: show_line(g_list.chosen + 1); break;
                case kKeyPageUp: show_line(g_list.chosen - page); break;
                case kKeyPageDown: show_line(g_list.chosen + page); break;
                case kKeyHome: show_line(0); break;
                case kKeyEnd: show_line(count - 1); break;
                case kKeyReturn:
                    moved = false;
                    if (count > 0 && g_list.chosen >= 0) done = true;
                    break;
                case kKeySpace:
                case kKeyEscape:
                    moved = false;
                    g_list.chosen = -1;
                    done = true;
                    break;
                default: moved = false; break;
            }
            if (moved) {
                redraw_picker();
                KeyRepeatDelay(1);
            }
        }
        if ((in.character >= 'A' && in.character <= 'Z') || (in.character >= 'a' && in.character <= 'z')) {
            const unsigned char wanted = upper_byte(static_cast<unsigned char>(in.character));
            for (int i = 0; i < count; ++i) {
                const std::string& line = g_list.lines[static_cast<std::size_t>(i)];
                if (!line.empty() && upper_byte(static_cast<unsigned char>(line[0])) == wanted) {
                    show_line(i);
                    redraw_picker();
                    break;
                }
            }
        }
    }
    result = g_list.chosen;
    wait_for_release();
    wait_for_key_release();
}

// ---- progress ---------------------------------------------------------------------------------------

void OpenProgress() {
    g_progress.was_open = main_window().popup_open;
    main_window().popup_open = true;
    g_progress.started = platform().tick_ms();
    g_progress.last_percent = -1;
    g_progress.saved = false;
}

void UpdateProgress(const std::string& title, const std::string& detail, long long done, long long total) {
    const long long percent = std::min<long long>(100, 100 * done / std::max<long long>(total, 1));
    if (percent == g_progress.last_percent && percent != 100) return;
    g_progress.last_percent = static_cast<int>(percent);
    MainWindowState& win = main_window();
    if (!g_progress.saved) {
        SaveScreen();
        g_progress.saved = true;
    }
    const Fonts& f = fonts();
    const int width = std::min(win.client_width - 40, 600);
    const int title_height = FontHeight(f.message);
    const int height = 12 + title_height + 14 + 30 + 20;
    const int left = (win.client_width - width) / 2;
    const int top = (win.client_height - height) / 2;
    const int bar_top = top + 12 + title_height + 14;
    const int bar_left = left + 20, bar_right = left + width - 20;
    EndWidgets(0);
    AddWidget(0, kKindSavedImage, 0, 0, win.client_width, win.client_height, 0, 0, 0, 0, "");
    AddWidget(0, kKindPanel, left, top, left + width, top + height, kPanelLine, kPanelFill, 0, 0, "");
    AddWidget(kProgressTitleId, kKindLabel, left + 20, top + 12, left + width - 20, top + 12 + title_height, rgb(0, 0, 0), 0,
              f.message, 0, title.substr(0, kMaxWidgetText));
    AddWidget(0, kKindFieldFrame, bar_left - 1, bar_top - 1, bar_right + 1, bar_top + 31, kPanelLine, rgb(140, 150, 160), 0, 0, "");
    const int filled = bar_left + static_cast<int>((bar_right - bar_left) * percent / 100);
    AddWidget(kProgressBarId, kKindFilled, bar_left, bar_top, filled, bar_top + 30, 0, kHighlight, 0, 0, "");
    const int dw = MeasureText(f.input, detail.substr(0, kMaxWidgetText)).width;
    const int dx = (bar_left + bar_right - dw) / 2;
    AddWidget(kProgressDetailId, kKindLabel, dx, bar_top + (30 - FontHeight(f.input)) / 2, dx + dw + 1, bar_top + 30,
              rgb(255, 255, 255), 0, f.input, 0, detail.substr(0, kMaxWidgetText));
    DrawAllWidgets();
    // Let the window show what was drawn and notice a close.
    pump_message(false);
}

void CloseProgress() {
    if (g_progress.saved) {
        const MainWindowState& win = main_window();
        DrawSaved(Rect{0, 0, win.client_width, win.client_height});
        Present(0, 0, win.client_width, win.client_height);
        FreeSaved();
    }
    g_progress.saved = false;
    main_window().popup_open = g_progress.was_open;
    main_window().screen_needs_redraw = true;
}

}  // namespace domora
