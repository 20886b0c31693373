#include "printing/print_settings_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/device_mode.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {

namespace {

LabelMap g_label_map = [] {
    LabelMap m{};
    m.fill(1);
    return m;
}();

constexpr int kKindLabelSheet = 620;
constexpr int kRowIdBase = 100;
constexpr int kDefaultsId = 130;
constexpr int kOkId = 131;
constexpr int kCancelId = 132;
constexpr int kSheetId = 140;

constexpr std::uint32_t kUsedShade = rgb(150, 160, 170);
constexpr std::uint32_t kBlankLabel = rgb(255, 255, 255);

enum Row {
    kPrinter, kPaper, kOrientation, kFont, kFontSize, kHPos, kVPos, kHSpacing, kVSpacing, kLeft, kRight, kTop, kBottom,
    kReturnAddress, kOutlines, kCopies, kIndex, kRowCount
};

constexpr const char* kCaptions[kRowCount] = {
    "Printer: ", "Paper: ", "Orientation: ", "Font: ", "Font Size: ", "Horizontal Position: ", "Vertical Position: ",
    "Horizontal Spacing: ", "Vertical Spacing: ", "Left Margin: ", "Right Margin: ", "Top Margin: ", "Bottom Margin: ",
    "Return Address: ", "Draw Outlines: ", "Copies: ", "Index Headings: "};

constexpr int kPapers[] = {1, 5, 6, 9, 11};
constexpr const char* kIndexNames[] = {"None", "Full Bar", "Right Margin Letters"};

bool is_label_layout(int layout_id) { return layout_id >= 20 && layout_id <= 39; }

// The screen's state while it runs.
struct ScreenState {
    int layout_id = 0;
    std::string layout_name;
    PrintSettings* record = nullptr;
    Rect sheet;           // where the preview sheet is drawn
    double scale = 0;     // preview pixels per thousandth of an inch
    int press_button = 0; // the button of the press that the last click began with
    int key_row = -1;     // the row Up and Down have reached; Space opens it
};
ScreenState g_screen;

std::int32_t length_value(const PrintSettings& r, int row) {
    switch (row) {
        case kRowHorizontalPosition: return r.horizontal_position();
        case kRowVerticalPosition: return r.vertical_position();
        case kRowHorizontalSpacing: return r.horz_spacing();
        case kRowVerticalSpacing: return r.vert_spacing();
        case kRowLeftMargin: return r.left_margin();
        case kRowRightMargin: return r.right_margin();
        case kRowTopMargin: return r.top_margin();
        default: return r.bottom_margin();
    }
}

void set_length_value(PrintSettings& r, int row, std::int32_t v) {
    switch (row) {
        case kRowHorizontalPosition: r.set_horizontal_position(v); break;
        case kRowVerticalPosition: r.set_vertical_position(v); break;
        case kRowHorizontalSpacing: r.set_horz_spacing(v); break;
        case kRowVerticalSpacing: r.set_vert_spacing(v); break;
        default: r.set_margin(row - kRowLeftMargin, v); break;
    }
}

std::string return_address_text() {
    std::string out;
    for (const std::string& part : split_bars(settings().return_address)) {
        if (!out.empty()) out += ", ";
        out += part;
    }
    return out;
}

std::string row_value(const PrintSettings& r, int row) {
    switch (row) {
        case kPrinter: return r.printer();
        case kPaper: return paper_name(r.paper());
        case kOrientation: return r.orientation() == 2 ? "Landscape" : "Portrait";
        case kFont: return r.face();
        case kFontSize: return std::to_string(r.font_size()) + " point";
        case kReturnAddress: return return_address_text();
        case kOutlines: return r.outlines() ? "Yes" : "No";
        case kCopies: return std::to_string(r.copies()) + " labels for each address";
        case kIndex: return kIndexNames[std::clamp(r.index_headings(), 0, 2)];
        default: return inches_text(length_value(r, row - kHPos));
    }
}

// ---- the preview ----------------------------------------------------------------------------------

Rect label_rect(const PrintSettings& r, int position) {
    const int across = std::max(1, r.horz_count());
    const int column = position % across, row = position / across;
    const double s = g_screen.scale;
    const double x = r.horizontal_position() + column * static_cast<double>(r.card_width() + r.horz_spacing());
    const double y = r.vertical_position() + row * static_cast<double>(r.card_height() + r.vert_spacing());
    const int left = g_screen.sheet.left + static_cast<int>(x * s);
    const int top = g_screen.sheet.top + static_cast<int>(y * s);
    return Rect{left, top, left + std::max(2, static_cast<int>(r.card_width() * s)),
                top + std::max(2, static_cast<int>(r.card_height() * s))};
}

int label_positions(const PrintSettings& r) {
    return std::min(256, std::max(1, r.horz_count()) * std::max(1, r.vert_count()));
}

void draw_sheet(WidgetRecord& w) {
    const PrintSettings& r = *g_screen.record;
    FillBox(w.rect(), kBlankLabel);
    FrameBox(w.rect(), rgb(0, 0, 0));
    ClipTo(w.rect());
    for (int i = 0; i < label_positions(r); ++i) {
        const Rect box = label_rect(r, i);
        FillBox(box, g_label_map[static_cast<std::size_t>(i)] ? kBlankLabel : kUsedShade);
        FrameBox(box, rgb(90, 100, 110));
    }
    ClipTo(Rect{});
}

int position_at(int x, int y) {
    const PrintSettings& r = *g_screen.record;
    for (int i = 0; i < label_positions(r); ++i) {
        const Rect box = label_rect(r, i);
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) return i;
    }
    return -1;
}

// ---- building and drawing ---------------------------------------------------------------------------

void build() {
    const MainWindowState& win = main_window();
    const Fonts& f = fonts();
    const PrintSettings& r = *g_screen.record;
    const int title_height = FontHeight(f.message) + 16;
    const int panel_top = 50;
    // The rows and the button row under them, each with its gap, fit in the
    // window whatever its height: on a low screen the rows get tighter.
    const int row_room = win.client_height - 10 - panel_top - title_height - 10 - 20;
    const int pitch = std::min(std::max(28, FontHeight(f.button) + 10) + 4, row_room / (kRowCount + 1));
    const int row_height = std::max(FontHeight(f.button) + 2, pitch - 4);
    const int gap = std::max(0, pitch - row_height);
    const int panel_bottom = std::min(win.client_height - 10, panel_top + title_height + (kRowCount + 2) * (row_height + 4) + 30);
    const Rect panel{20, panel_top, win.client_width - 20, panel_bottom};
    begin_popup_widgets(panel);
    const std::string title = "Print Settings - " + g_screen.layout_name;
    AddWidget(0, kKindLabel, panel.left + 20, panel.top + 10, panel.right - 20, panel.top + title_height, rgb(0, 0, 0), 0,
              f.message, 0, title);
    const int rows_left = panel.left + 20;
    const int rows_right = panel.left + std::min(620, (panel.right - panel.left) / 2);
    int y = panel.top + title_height;
    for (int row = 0; row < kRowCount; ++row) {
        const int count = AddWidget(kRowIdBase + row, kKindButton, rows_left, y, rows_right, y + row_height, rgb(0, 0, 0), 0,
                                    f.button, 0, kCaptions[row] + row_value(r, row));
        if (row == g_screen.key_row && count > 0) widgets()[static_cast<std::size_t>(count - 1)].look = kLookHovered;
        y += row_height + gap;
    }
    y += 10;
    const int bw = (rows_right - rows_left - 20) / 3;
    AddWidget(kDefaultsId, kKindButton, rows_left, y, rows_left + bw, y + row_height, rgb(0, 0, 0), 0, f.button, 1, "Defaults");
    const int ok = AddWidget(kOkId, kKindButton, rows_left + bw + 10, y, rows_left + 2 * bw + 10, y + row_height, rgb(0, 0, 0), 0,
                             f.button, 1, "OK");
    widgets()[static_cast<std::size_t>(ok - 1)].checked = 1;  // Enter prints
    AddWidget(kCancelId, kKindButton, rows_left + 2 * bw + 20, y, rows_right, y + row_height, rgb(0, 0, 0), 0, f.button, 1,
              "Cancel");

    g_screen.sheet = Rect{};
    if (is_label_layout(g_screen.layout_id) && r.paper_width() > 0 && r.paper_height() > 0) {
        const int area_left = rows_right + 30, area_right = panel.right - 20;
        const int area_top = panel.top + title_height, area_bottom = panel.bottom - 20;
        const double s = std::min((area_right - area_left) / static_cast<double>(r.paper_width()),
                                  (area_bottom - area_top) / static_cast<double>(r.paper_height()));
        if (s > 0) {
            g_screen.scale = s;
            const int w = static_cast<int>(r.paper_width() * s), h = static_cast<int>(r.paper_height() * s);
            g_screen.sheet = Rect{area_left + (area_right - area_left - w) / 2, area_top, 0, 0};
            g_screen.sheet.right = g_screen.sheet.left + w;
            g_screen.sheet.bottom = area_top + h;
            AddWidget(kSheetId, kKindLabelSheet, g_screen.sheet.left, g_screen.sheet.top, g_screen.sheet.right,
                      g_screen.sheet.bottom, 0, 0, 0, 0, "");
        }
    }
}

void redraw() {
    build();
    DrawAllWidgets();
}

// Opens the list picker below a row's button, the row's value highlighted;
// -1 when nothing was chosen.
int pick_below(int row, const std::vector<std::string>& lines, int current) {
    const int index = FindWidget(kRowIdBase + row);
    if (index < 0) return -1;
    const WidgetRecord& b = widgets()[static_cast<std::size_t>(index)];
    popup_list().lines = lines;
    popup_list().current = current;
    int picked = -1;
    PickFromList(b.x1, b.y2, b.x2 - b.x1, 0, 0, picked);
    wait_for_key_release();
    return picked >= 0 && picked < static_cast<int>(lines.size()) ? picked : -1;
}

void edit_return_address() {
    clear_field_buffer();
    const std::vector<std::string> parts = split_bars(settings().return_address);
    for (int i = 0; i < 5; ++i) set_field_text(i, i < static_cast<int>(parts.size()) ? parts[static_cast<std::size_t>(i)] : "");
    int result = 0;
    ShowPopup("Edit Return Address", "Name|Address 1|Address 2|City, State, Zip|Country", 1, "Save|Cancel", 140, result);
    wait_for_key_release();
    if (result != 1) return;
    std::string joined;
    for (int i = 0; i < 5; ++i) {
        if (i > 0) joined += '|';
        joined += field_text(i);
    }
    settings().return_address = joined;
    save_settings();
}

void change_row(int row) {
    PrintSettings& r = *g_screen.record;
    switch (row) {
        case kPrinter: choose_printer(g_screen.layout_id, r); return;
        case kPaper: {
            std::vector<std::string> names;
            for (int p : kPapers) names.push_back(paper_name(p));
            const int k = pick_below(row, names, index_of(names, paper_name(r.paper())));
            if (k >= 0) r.set_paper(kPapers[k]);
            break;
        }
        case kOrientation: {
            const int k = pick_below(row, {"Portrait", "Landscape"}, r.orientation() == 2 ? 1 : 0);
            if (k >= 0) r.set_orientation(k + 1);
            break;
        }
        case kFont: {
            if (r.printer().empty()) {
                show_message("You must select a printer first");
                return;
            }
            const std::vector<std::string> faces = font_choices(r.printer());
            const int k = pick_below(row, faces, index_of(faces, r.face()));
            if (k >= 0) r.set_face(faces[static_cast<std::size_t>(k)]);
            return;
        }
        case kFontSize: {
            std::vector<std::string> sizes;
            for (int s = 6; s <= 32; ++s) sizes.push_back(std::to_string(s) + " Point");
            const int k = pick_below(row, sizes, r.font_size() - 6);
            if (k >= 0) {
                r.set_font_size(6 + k);
                r.set_i32(300, 6 + k);
            }
            return;
        }
        case kReturnAddress: edit_return_address(); return;
        case kOutlines: {
            const int k = pick_below(row, {"No", "Yes"}, r.outlines() ? 1 : 0);
            if (k >= 0) r.set_outlines(k == 1);
            return;
        }
        case kCopies: {
            std::vector<std::string> counts;
            for (int c = 1; c <= 100; ++c) counts.push_back(std::to_string(c) + " labels for each address");
            const int k = pick_below(row, counts, r.copies() - 1);
            if (k >= 0) r.set_copies(1 + k);
            return;
        }
        case kIndex: {
            const int k = pick_below(row, {kIndexNames[0], kIndexNames[1], kIndexNames[2]}, r.index_headings());
            if (k >= 0) r.set_index_headings(k);
            return;
        }
        default: {
            const int length_row = row - kHPos;
            const std::vector<std::string> lengths = length_choices(r, length_row);
            const int k = pick_below(row, lengths, index_of(lengths, inches_text(length_value(r, length_row))));
            if (k >= 0) set_length_value(r, length_row, length_of_entry(k));
            return;
        }
    }
    // Paper and orientation change the paper size the other rows measure against.
    validate_print_settings(g_screen.layout_id, r);
}

}  // namespace

LabelMap& label_map() { return g_label_map; }

void reset_label_map() { g_label_map.fill(1); }

std::string inches_text(double thousandths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f\"", std::floor(thousandths + 0.5) / 1000.0);
    return text;
}

std::int32_t length_of_entry(int k) { return static_cast<std::int32_t>(std::nearbyint(62.5 * k)); }

std::vector<std::string> length_choices(const PrintSettings& r, int row) {
    const double across = r.horz_count(), down = r.vert_count();
    double limit = 0;
    switch (row) {
        case kRowHorizontalPosition:
            limit = r.paper_width() - (across * r.card_width() + (across - 1) * r.horz_spacing());
            break;
        case kRowVerticalPosition:
            limit = r.paper_height() - (down * r.card_height() + (down - 1) * r.vert_spacing());
            break;
        case kRowHorizontalSpacing:
            limit = std::round((r.paper_width() - across * r.card_width()) / std::max(1.0, across - 1));
            break;
        case kRowVerticalSpacing:
            limit = std::round((r.paper_height() - down * r.card_height()) / std::max(1.0, down - 1));
            break;
        case kRowLeftMargin:
        case kRowRightMargin: limit = std::round(r.card_width() / 4.0); break;
        default: limit = std::round(r.card_height() / 4.0); break;
    }
    // A damaged record must not ask for a list of millions.
    const int count = std::clamp(static_cast<int>(std::floor(limit / 62.5)) + 1, 1, 1000);
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) out.push_back(inches_text(62.5 * k));
    return out;
}

std::string paper_name(int paper) {
    switch (paper) {
        case 5: return "Legal - 8.5\" x 14\"";
        case 6: return "Statement - 5.5\" x 8.5\"";
        case 9: return "A4 - 210mm x 297mm";
        case 11: return "A5 - 148mm \xD7 210 mm";
        default: return "Letter - 8.5\" x 11\"";
    }
}

std::vector<std::string> font_choices(const std::string& printer) {
    std::vector<std::string> out;
    for (const std::string& name : print_service().font_families(printer)) {
        if (name.empty() || name[0] == '@') continue;
        if (out.size() >= 500) break;
        out.push_back(name);
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return compare_upper(a, b) < 0; });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void choose_printer(int layout_id, PrintSettings& record) {
    const std::vector<std::string> names = installed_printers();
    if (names.empty()) {
        show_message("No printers found?");
        return;
    }
    const int k = pick_below(kPrinter, names, index_of(names, record.printer()));
    if (k < 0) return;
    std::string printer = names[static_cast<std::size_t>(k)];
    std::string options = printer == record.printer() ? device_mode_options(record.device_mode())
                                                      : print_service().printer_options(printer);
    // A PDF file has no printer options to choose.
    if (printer == kSaveAsPdf ||
        print_service().printer_properties(printer, options, record.orientation(), record.paper())) {
        record.set_printer(printer);
        record.set_device_mode(make_device_mode(printer, printer == kSaveAsPdf ? "" : options));
    }
    validate_print_settings(layout_id, record);
}

int print_settings_screen(int layout_id, const std::string& layout_name, PrintSettings* record) {
    if (!record) {
        show_message("No printer settings buffer?");
        return kPrintSettingsCancel;
    }
    MainWindowState& win = main_window();
    if (win.quit_requested) return kPrintSettingsCancel;
    g_screen = ScreenState{layout_id, layout_name, record};
    set_widget_drawer(kKindLabelSheet, draw_sheet);
    const bool was_open = win.popup_open;
    win.popup_open = true;
    platform().set_window_locked(true);
    SaveScreen();
    redraw();
    InputState& in = input();
    int result = 0;
    while (result == 0 && !win.quit_requested) {
        if (win.screen_needs_redraw) {
            win.screen_needs_redraw = false;
            redraw();
        }
        const int id = event_wait(true);
        if (in.button != 0) g_screen.press_button = in.button;
        if (id >= kRowIdBase && id < kRowIdBase + kRowCount) {
            change_row(id - kRowIdBase);
            win.screen_needs_redraw = true;
        } else if (id == kSheetId) {
            const int position = position_at(in.mouse_x, in.mouse_y);
            if (g_screen.press_button == 2 && position >= 0) {
                std::uint8_t& entry = g_label_map[static_cast<std::size_t>(position)];
                entry = entry ? 0 : 1;
                const int index = FindWidget(kSheetId);
                DrawWidget(index);
                present_widget(index);
            }
        } else if (id == kDefaultsId) {
            int answer = 2;
            // Resetting throws the layout's settings away: Enter keeps them.
            ShowPopup("Do you want to reset the print settings|back to their default values?", "", 2, "OK|Cancel", 0, answer);
            wait_for_key_release();
            if (answer == 1) *record = default_print_settings(layout_id);
            win.screen_needs_redraw = true;
        } else if (id == 0 && (in.key == kKeyUp || in.key == kKeyDown)) {
            const int step = in.key == kKeyUp ? -1 : 1;
            g_screen.key_row = g_screen.key_row < 0 ? (step > 0 ? 0 : kRowCount - 1)
                                                    : std::clamp(g_screen.key_row + step, 0, kRowCount - 1);
            redraw();
            KeyRepeatDelay(1);
        } else if (id == 0 && in.key == kKeySpace && g_screen.key_row >= 0) {
            const int row = g_screen.key_row;
            wait_for_key_release();
            change_row(row);
            win.screen_needs_redraw = true;
        } else if (id == kOkId || (id == 0 && in.key == kKeyReturn)) {
            result = kPrintSettingsPrint;
        } else if (id == kCancelId || (id == 0 && in.key == kKeyEscape)) {
            result = kPrintSettingsCancel;
        }
        if (in.button == 0 && id != 0) g_screen.press_button = 0;
    }
    wait_for_release();
    wait_for_key_release();
    DrawSaved(Rect{0, 0, win.client_width, win.client_height});
    Present(0, 0, win.client_width, win.client_height);
    FreeSaved();
    win.popup_open = was_open;
    if (!was_open) platform().set_window_locked(false);
    win.screen_needs_redraw = true;
    g_screen = ScreenState{};
    return result == 0 ? kPrintSettingsCancel : result;
}

}  // namespace domora
