#include "vehicles/vehicle_list.h"

#include <algorithm>
#include <cmath>

#include "app/main_window.h"
#include "platform/platform.h"
#include "ui/accessible_tree.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr std::uint32_t kRowBackground = rgb(255, 255, 255);
constexpr std::uint32_t kRowText = rgb(0, 0, 0);
constexpr std::uint32_t kGasLabel = rgb(110, 0, 0);
constexpr std::uint32_t kCurrentBackground = rgb(0, 0, 128);
constexpr std::uint32_t kCurrentText = rgb(255, 255, 255);
constexpr std::uint32_t kDivider = rgb(220, 220, 220);
constexpr int kCheckBoxSize = 16;

VehicleManager* g_shown = nullptr;

int row_height(const VehicleManager& m) { return std::max(1, m.list.row_height); }

WidgetRecord* widget(int id) {
    const int index = FindWidget(id);
    return index < 0 ? nullptr : &widgets()[static_cast<std::size_t>(index)];
}

// The row under a y inside the list (may be past the last record).
int row_at(const VehicleManager& m, const WidgetRecord& list, int y) {
    return (y - list.y1 + m.list.scroll_offset) / row_height(m);
}

void draw_row(const VehicleManager& m, const RecordColumns& c, const Rect& list, int position, int y) {
    const VehicleStore& store = m.store;
    const std::size_t offset = store.record_offset(position);
    const ChunkHeader h = store.header(offset);
    const int height = row_height(m);
    const bool current = position == store.record_position();
    const std::uint32_t text = current ? kCurrentText : kRowText;
    FillBox(Rect{list.left, y, list.right, y + height}, current ? kCurrentBackground : kRowBackground);
    for (int x : {c.date_end, c.odometer_end, c.cost_end}) platform().draw_line(x, y, x, y + height, kDivider);

    const FontHandle font = fonts().user_normal;
    const int ty = y + (height - FontHeight(font)) / 2;
    const std::string date = format_date(h.year, h.month, h.day);
    const std::size_t space = date.find(' ');
    DrawTextAt(c.date_left, ty, 0, text, font, date.substr(0, space));
    if (space != std::string::npos) DrawTextAt(c.date_text_right, ty, 1, text, font, date.substr(space + 1));
    if (h.b != 0) DrawTextAt(c.odometer_end - c.padding, ty, 1, text, font, format_odometer(h.b));
    if (h.d != 0) {
        DrawTextAt(c.odometer_end + c.padding, ty, 0, text, font, "$");
        DrawTextAt(c.cost_end - c.padding, ty, 1, text, font, format_cost(h.d));
    }
    const char* box = (h.marks & kVehicleSelectedMark) != 0 ? "CHECKED_BOX" : "UNCHECKED_BOX";
    int bw = kCheckBoxSize, bh = kCheckBoxSize;
    platform().bitmap_size(box, bw, bh);
    DrawResourceBitmap(box, c.check_left + (c.check_right - c.check_left - bw) / 2, y + (height - bh) / 2);

    if (h.type == kRecordMaintenance) {
        DrawFittedText(c.record_left, ty, list.right - c.padding, text, font, store.description(offset));
    } else if (h.type == kRecordFuel) {
        const FontHandle bold = fonts().user_bold;
        DrawTextAt(c.record_left, y + (height - FontHeight(bold)) / 2, 0, current ? kCurrentText : kGasLabel, bold, "Gas: ");
        const int detail_left = c.record_left + last_extent().width + 4;
        DrawFittedText(detail_left, ty, list.right - c.padding, text, font, fuel_detail(h.a, h.b, h.c, h.d, h.e));
    }
}

void draw_list(WidgetRecord& w) {
    const Rect r = w.rect();
    FillBox(r, kRowBackground);
    if (!g_shown) return;
    VehicleManager& m = *g_shown;
    sync_record_list(m);
    const RecordColumns c = record_columns(r.left, r.right);
    const int height = row_height(m);
    ClipTo(r);
    for (int position = m.list.scroll_offset / height; position < m.store.record_count(); ++position) {
        const int y = r.top + position * height - m.list.scroll_offset;
        if (y >= r.bottom) break;
        draw_row(m, c, r, position, y);
    }
    // The dividers run on below the last row, so the columns read as columns.
    const int below = r.top + m.store.record_count() * height - m.list.scroll_offset;
    if (below < r.bottom) {
        for (int x : {c.date_end, c.odometer_end, c.cost_end}) platform().draw_line(x, std::max(below, r.top), x, r.bottom, kDivider);
    }
    ClipTo(Rect{});
}

// The rows a screen reader is given: the columns as drawn, and the check box.
void describe_list(const WidgetRecord& w, AccessibleList& out) {
    out.name = "Records";
    out.columns = {"Date", "Odometer", "Cost", "Record"};
    out.has_check_column = true;
    if (!g_shown) return;
    VehicleManager& m = *g_shown;
    sync_record_list(m);
    const VehicleStore& store = m.store;
    const int height = row_height(m);
    out.current_row = store.record_count() > 0 ? store.record_position() : -1;
    out.rows.reserve(static_cast<std::size_t>(store.record_count()));
    for (int position = 0; position < store.record_count(); ++position) {
        const std::size_t offset = store.record_offset(position);
        const ChunkHeader h = store.header(offset);
        AccessibleRow r;
        std::string record;
        if (h.type == kRecordMaintenance) {
            record = store.description(offset);
        } else if (h.type == kRecordFuel) {
            record = "Gas: ";
            record += fuel_detail(h.a, h.b, h.c, h.d, h.e);
        }
        std::string cost;
        if (h.d != 0) {
            cost = "$";
            cost += format_cost(h.d);
        }
        r.cells = {format_date(h.year, h.month, h.day), h.b != 0 ? format_odometer(h.b) : std::string(), std::move(cost),
                   std::move(record)};
        r.bounds = list_row_bounds(w, w.y1, position, height, m.list.scroll_offset);
        r.checked = (h.marks & kVehicleSelectedMark) != 0;
        out.rows.push_back(std::move(r));
    }
}

void redraw_widget(int id) {
    const int index = FindWidget(id);
    if (index < 0) return;
    DrawWidget(index);
    present_widget(index);
}

// Sets the selected mark on every row from one position to another.
void mark_range(VehicleStore& store, int from, int to, bool on) {
    for (int i = std::min(from, to); i <= std::max(from, to); ++i) store.set_selected(i, on);
}

// Scrolls by rows, keeping within the list.
void scroll_rows(VehicleManager& m, int rows) {
    sync_record_list(m);
    m.list.scroll_offset += rows * row_height(m);
    clamp_scroll(m.list);
}

}  // namespace

RecordColumns record_columns(int left, int right) {
    const FontHandle font = fonts().user_normal;
    RecordColumns c;
    c.padding = std::max(10, static_cast<int>(std::lround(0.012 * (right - left))));
    const int p = c.padding;
    c.date_left = left + 2;
    // A wide month name ("May", or a longer one in some languages) must not
    // run into the day, so the widest of the locale's twelve counts too.
    int widest = MeasureText(font, "Nov 30, 1963").width;
    const int day_and_year = MeasureText(font, " 30, 2022").width;
    for (int month = 1; month <= 12; ++month) {
        widest = std::max(widest, MeasureText(font, platform().month_abbreviation(month)).width + day_and_year);
    }
    c.date_text_right = c.date_left + widest;
    c.date_end = std::max(c.date_left + MeasureText(font, "Sep 30, 2022").width, c.date_text_right) + p;
    c.odometer_end = c.date_end + MeasureText(font, "4,999,999 mi").width + 2 * p;
    c.cost_end = c.odometer_end + MeasureText(font, "$ 999,999.00").width + 2 * p;
    c.check_left = c.cost_end;
    c.check_right = c.cost_end + kCheckBoxSize + p;
    c.record_left = c.check_right + p / 2;
    return c;
}

void show_records_of(VehicleManager* m) { g_shown = m; }

void install_record_list_drawer() {
    set_widget_drawer(kKindVehicleList, draw_list);
    set_list_describer(kKindVehicleList, describe_list);
}

bool all_records_selected(const VehicleManager& m) {
    if (m.store.record_count() == 0) return false;
    for (int i = 0; i < m.store.record_count(); ++i) {
        if (!m.store.is_selected(i)) return false;
    }
    return true;
}

void redraw_record_list() {
    if (WidgetRecord* box = widget(kVehicleListCheckId); box && g_shown) box->checked = all_records_selected(*g_shown) ? 1 : 0;
    redraw_widget(kVehicleListCheckId);
    redraw_widget(kVehicleListId);
    redraw_widget(kVehicleScrollBarId);
}

// ---- the mouse --------------------------------------------------------------------------------------

void record_list_press(VehicleManager& m, int list_index) {
    VehicleStore& store = m.store;
    InputState& in = input();
    const WidgetRecord list = widgets()[static_cast<std::size_t>(list_index)];
    const int count = store.record_count();
    const int pressed = row_at(m, list, in.mouse_y);
    if (count == 0 || pressed >= count) {
        wait_for_release();
        return;
    }
    const RecordColumns c = record_columns(list.x1, list.x2);
    const int previous = store.record_position();
    const bool shift = in.shift;
    const bool range = shift || (in.mouse_x >= c.check_left && in.mouse_x < c.check_right);
    int anchor = pressed;
    bool state = true;
    if (range) {
        if (shift) {
            anchor = previous;
        } else {
            state = !store.is_selected(pressed);
        }
        mark_range(store, anchor, pressed, state);
    } else {
        store.clear_selected_marks();
        store.set_selected(pressed, true);
    }
    show_record(m, pressed);
    redraw_record_list();

    // The mouse is ours until the button comes up.
    int last = pressed;
    int delay = 1;
    while (in.button != 0 && !main_window().quit_requested) {
        const bool above = in.mouse_y < list.y1;
        const bool below = in.mouse_y >= list.y2;
        int target = last;
        if (above || below) {
            // Past an edge the list scrolls a row per step, at the key-repeat pace.
            const int visible = std::max(1, m.list.view_height / row_height(m));
            const int first = m.list.scroll_offset / row_height(m);
            target = std::clamp(above ? first - 1 : first + visible, 0, count - 1);
        } else {
            target = std::clamp(row_at(m, list, in.mouse_y), 0, count - 1);
        }
        if (target != last) {
            last = target;
            if (range) {
                mark_range(store, anchor, target, state);
            } else {
                store.clear_selected_marks();
                store.set_selected(target, true);
            }
            show_record(m, target);
            redraw_record_list();
        }
        if (above || below) {
            KeyRepeatDelay(delay);
            delay = 2;
        } else {
            delay = 1;
            pump_message(true);
        }
    }
    wait_for_release();
    if (!range && last == pressed && pressed == previous) {
        edit_current_record(m);
        main_window().screen_needs_redraw = true;
    }
}

void record_list_scroll_press(VehicleManager& m, int index) {
    InputState& in = input();
    const WidgetRecord& w = widgets()[static_cast<std::size_t>(index)];
    if (w.id == kVehicleScrollBarId) {
        sync_record_list(m);
        drag_scroll_thumb(index, [] { redraw_record_list(); });
    } else {
        const int step = w.id == kVehicleScrollUpId ? -1 : 1;
        int delay = 1;
        while (in.button == 1 && w.contains(in.mouse_x, in.mouse_y) && !main_window().quit_requested) {
            scroll_rows(m, step);
            redraw_record_list();
            KeyRepeatDelay(delay);
            delay = 2;
        }
    }
    wait_for_release();
}

void record_list_wheel(VehicleManager& m, int wheel_lines) {
    sync_record_list(m);
    m.list.scroll_offset -= m.list.scroll_step * wheel_lines / 2;
    clamp_scroll(m.list);
    redraw_record_list();
}

// ---- the keys ----------------------------------------------------------------------------------------------

bool record_list_key(VehicleManager& m, int key, bool shift, bool ctrl) {
    VehicleStore& store = m.store;
    InputState& in = input();
    const bool moves = key == kKeyUp || key == kKeyDown || key == kKeyHome || key == kKeyEnd || key == kKeyPageUp ||
                       key == kKeyPageDown;
    if (moves) {
        bool first = true;
        // Shift and Ctrl count as they were when the key went down.
        while (in.key == key && !main_window().quit_requested) {
            const int count = store.record_count();
            if (count > 0) {
                const int page = std::max(1, m.list.view_height / row_height(m));
                int target = store.record_position();
                switch (key) {
                    case kKeyUp: target -= 1; break;
                    case kKeyDown: target += 1; break;
                    case kKeyHome: target = 0; break;
                    case kKeyEnd: target = count - 1; break;
                    case kKeyPageUp: target -= page; break;
                    default: target += page; break;
                }
                target = std::clamp(target, 0, count - 1);
                if (shift) {
                    store.set_selected(target, true);
                } else if (!ctrl) {
                    store.clear_selected_marks();
                    store.set_selected(target, true);
                }
                show_record(m, target);
                redraw_record_list();
            }
            KeyRepeatDelay(first ? 1 : 0);
            first = false;
        }
        return true;
    }
    const bool flip_one = key == kKeySpace;
    const bool flip_all = key == 'A' && ctrl;
    const bool edit = key == kKeyReturn;
    if (!flip_one && !flip_all && !edit) return false;
    if (flip_one) store.set_selected(store.record_position(), !store.is_selected(store.record_position()));
    if (flip_all) toggle_all_selected(m);
    if (flip_one || flip_all) redraw_record_list();
    // Once per press: these do not repeat.
    while (in.key == key && !main_window().quit_requested) pump_message(true);
    if (edit && store.record_count() > 0) {
        edit_current_record(m);
        main_window().screen_needs_redraw = true;
    }
    return true;
}

}  // namespace domora
