#include "ui/widgets.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>

#include "app/files.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "platform/cp1252.h"
#include "ui/accessible_tree.h"
#include "ui/screen_font.h"

namespace domora {

namespace {

WidgetTable g_widgets;
int g_count = 0;
Fonts g_fonts;
TextExtent g_last_extent;
int g_focused = -1;
int g_saved_screens = 0;  // one per open popup
int g_popups_opened = 0;
std::map<int, WidgetDrawer>& drawers() {
    static std::map<int, WidgetDrawer> table;
    return table;
}

}  // namespace

WidgetTable& widgets() { return g_widgets; }

// ---- fonts ---------------------------------------------------------------------------------------

const Fonts& fonts() { return g_fonts; }

int capped_font_size(int user_size, int client_height) {
    if (user_size <= 0) user_size = 20;
    int cap = 24;
    if (client_height >= 920) cap = 36;
    else if (client_height >= 890) cap = 34;
    else if (client_height >= 840) cap = 32;
    else if (client_height >= 810) cap = 30;
    else if (client_height >= 780) cap = 28;
    else if (client_height >= 740) cap = 26;
    return std::min(user_size, cap);
}

void release_fonts() {
    for (FontHandle* f : {&g_fonts.user_normal, &g_fonts.user_bold, &g_fonts.large_heading, &g_fonts.input,
                          &g_fonts.message, &g_fonts.link, &g_fonts.title, &g_fonts.small_bold, &g_fonts.button}) {
        if (*f) platform().release_font(*f);
        *f = 0;
    }
}

void make_fonts() {
    release_fonts();
    // Before the window knows its size there is nothing to cap against yet.
    if (main_window().client_height > 0) correct_font_settings(settings(), main_window().client_height);
    const Settings& s = settings();
    const std::string face = s.screen_font.empty() ? "Arial" : s.screen_font;
    const int size = capped_font_size(s.screen_font_size, main_window().client_height);
    const bool smooth = s.font_smoothing != 0;
    auto make = [&](const std::string& f, int height, int weight, bool underline) {
        return platform().create_font(FontSpec{f, height, weight, underline, smooth});
    };
    g_fonts.user_size = size;
    g_fonts.user_normal = make(face, size, 400, false);
    g_fonts.user_bold = make(face, size, 700, false);
    g_fonts.large_heading = make("Arial", size + 6, 700, false);
    g_fonts.input = make("Arial", 20, 400, false);
    g_fonts.message = make("Arial", 20, 700, false);
    g_fonts.link = make("Arial", 20, 400, true);
    g_fonts.title = make("Arial", 24, 700, false);
    g_fonts.small_bold = make("Arial", 16, 700, false);
    g_fonts.button = make("Arial", 20, 400, false);
}

double user_line_height() { return std::max(22.0, std::round(1.15 * g_fonts.user_size * 10.0) / 10.0); }

void rebuild_surface() {
    const MainWindowState& w = main_window();
    platform().resize_surface(w.client_width, w.client_height);
    make_fonts();
}

// ---- the table -------------------------------------------------------------------------------------

void EndWidgets(int count) {
    // A new table: the event wait's memory of a marked record means nothing now.
    if (count == 0) forget_marked_widget();
    g_count = std::clamp(count, 0, kMaxWidgets);
    if (g_count < kMaxWidgets) g_widgets[static_cast<std::size_t>(g_count)].id = kEndMarker;
}

int widget_count() { return g_count; }

void BeginWidgets() {
    EndWidgets(0);
    g_focused = -1;
    const MainWindowState& w = main_window();
    AddWidget(0, kKindBackground, 0, kTabBarHeight + 1, w.client_width, w.client_height, kBackgroundRgb, kBackgroundRgb,
              0, 0, "");
}

int AddWidget(int id, int kind, int x1, int y1, int x2, int y2, std::uint32_t colour1, std::uint32_t colour2,
              FontHandle font, int mnemonic, const std::string& text) {
    // One record stays free for the end marker.
    if (g_count >= kMaxWidgets - 1) return g_count;
    WidgetRecord& w = g_widgets[static_cast<std::size_t>(g_count)];
    w = WidgetRecord{};
    w.id = id;
    w.kind = kind;
    w.x1 = x1;
    w.y1 = y1;
    w.x2 = x2;
    w.y2 = y2;
    w.colour1 = colour1;
    w.colour2 = colour2;
    w.font = font;
    w.mnemonic = mnemonic;
    w.text = text.substr(0, kMaxWidgetText);
    EndWidgets(g_count + 1);
    return g_count;
}

int FindWidget(int id) {
    for (int i = 0; i < kMaxWidgets; ++i) {
        const WidgetRecord& w = g_widgets[static_cast<std::size_t>(i)];
        if (w.id == kEndMarker) return -1;
        if (w.id == id) return i;
    }
    return -1;
}

void set_widget_drawer(int kind, WidgetDrawer drawer) { drawers()[kind] = drawer; }

void set_focused_field(int index) { g_focused = index; }
int focused_field() { return g_focused; }

// ---- drawing ---------------------------------------------------------------------------------------

void draw_widget_kind(WidgetRecord& w, bool focused);  // draw_widgets.cpp

void DrawWidget(int index) {
    if (index < 0 || index >= kMaxWidgets) return;
    WidgetRecord& w = g_widgets[static_cast<std::size_t>(index)];
    if (w.id == kEndMarker) return;
    const auto custom = drawers().find(w.kind);
    if (custom != drawers().end()) {
        custom->second(w);
    } else {
        draw_widget_kind(w, index == g_focused);
    }
    ClipTo(Rect{});
    accessible_tree_changed();
}

void DrawAllWidgets() {
    const MainWindowState& win = main_window();
    ClipTo(Rect{0, 0, win.client_width, win.client_height});
    for (int i = 0; i < kMaxWidgets && g_widgets[static_cast<std::size_t>(i)].id != kEndMarker; ++i) DrawWidget(i);
    ClipTo(Rect{});
    Present(0, 0, win.client_width, win.client_height);
    dump_widgets();
    publish_accessible_tree();
}

void Present(int x, int y, int width, int height) { platform().present(Rect{x, y, x + width, y + height}); }

void present_widget(int index) {
    if (index < 0 || index >= kMaxWidgets) return;
    const WidgetRecord& w = g_widgets[static_cast<std::size_t>(index)];
    Present(w.x1, w.y1, w.x2 - w.x1, w.y2 - w.y1);
}

TextExtent MeasureText(FontHandle font, const std::string& text) {
    g_last_extent = platform().measure_text(font, text);
    return g_last_extent;
}

void DrawTextAt(int x, int y, int alignment, std::uint32_t colour, FontHandle font, const std::string& text) {
    MeasureText(font, text);
    if (alignment == 1) x -= g_last_extent.width;
    if (alignment == 2) x -= g_last_extent.width / 2;
    platform().draw_text(x, y, font, colour, text);
}

const TextExtent& last_extent() { return g_last_extent; }

bool text_fits(FontHandle font, const std::string& text, int width) {
    return platform().measure_text(font, text).width <= width;
}

std::string fitted_text(FontHandle font, const std::string& text, int width) {
    if (text_fits(font, text, width)) return text;
    // The widths grow with the length, so the longest start that fits is
    // found by halving.
    std::size_t fits = 0, too_long = text.size();
    while (too_long - fits > 1) {
        const std::size_t middle = (fits + too_long) / 2;
        if (text_fits(font, text.substr(0, middle) + kEllipsis, width)) {
            fits = middle;
        } else {
            too_long = middle;
        }
    }
    std::string cut = text.substr(0, fits);
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    return cut + kEllipsis;
}

void DrawFittedText(int x, int y, int right, std::uint32_t colour, FontHandle font, const std::string& text) {
    DrawTextAt(x, y, 0, colour, font, fitted_text(font, text, right - x));
}

int FontHeight(FontHandle font) { return platform().font_height(font); }

void FillBox(const Rect& r, std::uint32_t colour) { platform().fill_rect(r, colour); }
void FrameBox(const Rect& r, std::uint32_t colour) { platform().frame_rect(r, colour); }
void DottedBox(const Rect& r, std::uint32_t colour) { platform().dotted_rect(r, colour); }
void ClipTo(const Rect& r) { platform().set_clip(r); }
void BlendRect(const Rect& r, std::uint32_t colour, int alpha) { platform().blend_rect(r, colour, alpha); }
void DrawResourceBitmap(const std::string& name, int x, int y) { platform().draw_bitmap(name, x, y); }
void SaveScreen() {
    platform().save_surface();
    ++g_saved_screens;
    ++g_popups_opened;
}
void DrawSaved(const Rect& r) { platform().draw_saved_surface(r); }
void FreeSaved() {
    platform().free_saved_surface();
    if (g_saved_screens > 0) --g_saved_screens;
}
int saved_screens() { return g_saved_screens; }
int popups_opened() { return g_popups_opened; }

// ---- scrolling ---------------------------------------------------------------------------------------

void clamp_scroll(ListState& list) {
    const int most = std::max(0, list.content_height - list.view_height);
    list.scroll_offset = std::clamp(list.scroll_offset, 0, most);
}

ScrollThumb scroll_thumb(const ListState& list, int track_top, int track_bottom) {
    ScrollThumb thumb;
    if (list.content_height <= list.view_height || list.content_height <= 0) {
        thumb.top = track_top;
        thumb.bottom = track_bottom;
        return thumb;
    }
    thumb.ratio = static_cast<double>(track_bottom - track_top) / list.content_height;
    thumb.top = std::min(track_bottom - 8, track_top + static_cast<int>(thumb.ratio * list.scroll_offset));
    thumb.bottom = std::min(track_bottom + 1, thumb.top + std::max(8, static_cast<int>(thumb.ratio * list.view_height + 2)));
    return thumb;
}

void scroll_to_current(ListState& list) {
    const int top = list.current_item * list.row_height;
    const int bottom = top + list.row_height;
    if (top < list.scroll_offset) list.scroll_offset = top;
    if (bottom > list.scroll_offset + list.view_height) list.scroll_offset = bottom - list.view_height;
    clamp_scroll(list);
}

void drag_scroll_thumb(int index, void (*redraw)()) {
    if (index < 0 || index >= kMaxWidgets) return;
    const WidgetRecord& bar = g_widgets[static_cast<std::size_t>(index)];
    if (!bar.list) return;
    ListState& list = *bar.list;
    const int track_top = bar.y1, track_bottom = bar.y2;
    const ScrollThumb start = scroll_thumb(list, track_top, track_bottom);
    if (start.ratio <= 0) return;
    InputState& in = input();
    // Grabbing the track outside the thumb takes the thumb's middle.
    const bool on_thumb = in.mouse_y >= start.top && in.mouse_y < start.bottom;
    const int grab = on_thumb ? in.mouse_y - start.top : (start.bottom - start.top) / 2;
    int last_y = INT32_MIN;
    while (in.button == 1 && !main_window().quit_requested) {
        if (in.mouse_y != last_y) {
            last_y = in.mouse_y;
            const double rows = (in.mouse_y - track_top - grab + 1) / start.ratio;
            const int before = list.scroll_offset;
            list.scroll_offset = static_cast<int>(std::floor(rows));
            clamp_scroll(list);
            if (list.scroll_offset != before && redraw) redraw();
        }
        pump_message(true);
    }
}

void KeyRepeatDelay(int mode) {
    constexpr int kRepeatTimer = 401;
    const std::uint64_t delay = mode == 0 ? 30 : mode == 1 ? 350 : 100;
    const std::uint64_t start = platform().tick_ms();
    const InputState& in = input();
    // A timer ends the wait, so that waiting for events never spins.
    platform().set_timer(kRepeatTimer, static_cast<int>(delay));
    while (!main_window().quit_requested && platform().tick_ms() - start < delay) {
        pump_message(true);
        if (in.button == 0 && in.key == 0 && in.character == 0 && mode != 0) break;
    }
    platform().kill_timer(kRepeatTimer);
}

// ---- the widget dump for tests that drive the real program -----------------------------------------

void dump_widgets() {
    const std::string path = platform().env("DOMORA_WIDGET_DUMP");
    if (path.empty()) return;
    const MainWindowState& w = main_window();
    std::string out = "screen\t" + std::to_string(w.current_screen) + "\tpopup\t" + std::to_string(w.popup_open ? 1 : 0) + "\n";
    for (int i = 0; i < kMaxWidgets && g_widgets[static_cast<std::size_t>(i)].id != kEndMarker; ++i) {
        const WidgetRecord& r = g_widgets[static_cast<std::size_t>(i)];
        // A secret field is dumped as it is shown: bullets.
        std::string text = r.secret ? std::string(r.text.size(), '\x95') : r.text;
        std::replace(text.begin(), text.end(), '\t', ' ');
        std::replace(text.begin(), text.end(), '\n', ' ');
        out += std::to_string(r.id) + "\t" + std::to_string(r.kind) + "\t" + std::to_string(r.x1) + "\t" +
               std::to_string(r.y1) + "\t" + std::to_string(r.x2) + "\t" + std::to_string(r.y2) + "\t" +
               std::to_string(r.look) + "\t" + cp1252_to_utf8(text) + "\n";
    }
    // It holds what the screen shows, a password's values included: owner
    // only. Only tests read it, so no draw waits for the disk.
    (void)write_scratch_file(path, out, kOwnerOnly);
}

}  // namespace domora
