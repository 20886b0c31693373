// How the Addresses screen looks: the display-mode switches, the buttons,
// the list with its check boxes and scroll bar, and the "Current Address" panel.
#include <algorithm>
#include <cmath>

#include "addresses/address_screen.h"
#include "addresses/address_screen_parts.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/text.h"
#include "ui/accessible_tree.h"
#include "ui/tab_bar.h"

namespace domora {

namespace {

constexpr std::uint32_t kWhiteText = rgb(255, 255, 255);
constexpr std::uint32_t kNavy = rgb(0, 0, 128);
constexpr std::uint32_t kFrame = rgb(24, 52, 64);
constexpr std::uint32_t kHeadingFill = rgb(36, 70, 84);
constexpr std::uint32_t kSelectedRow = rgb(214, 228, 242);
constexpr std::uint32_t kStripedRow = rgb(244, 247, 250);
constexpr std::uint32_t kPanelLine = rgb(110, 150, 165);
constexpr std::uint32_t kDimText = rgb(190, 210, 218);
constexpr std::uint32_t kLinkText = rgb(170, 215, 255);
constexpr std::uint32_t kLinkPressed = rgb(255, 200, 80);
constexpr int kMargin = 16;
constexpr int kLeftColumnWidth = 190;
constexpr int kScrollWidth = 22;

ListState g_list;
bool g_scroll_pending = true;

struct Button {
    int id;
    const char* caption;
    int mnemonic;
    std::uint32_t colour;
};

// Find/Print/Map, Add/Edit/Delete and Import/Export are told apart by colour.
constexpr Button kButtons[] = {
    {kIdFind, "Find", 1, rgb(0, 138, 0)},       {kIdPrint, "Print", 1, rgb(0, 138, 0)},
    {kIdMap, "Map", 1, rgb(0, 138, 0)},         {kIdAdd, "Add", 1, rgb(33, 135, 169)},
    {kIdEdit, "Edit", 1, rgb(33, 135, 169)},    {kIdDelete, "Delete", 1, rgb(33, 135, 169)},
    {kIdImport, "Import", 1, rgb(160, 0, 160)}, {kIdExport, "Export", 2, rgb(160, 0, 160)},
};

int row_height() { return std::max(22, static_cast<int>(std::lround(user_line_height()))); }

// The two text columns of a list of this width: where each starts and ends.
struct Columns {
    int first_left, first_right, second_left, second_right;
};
Columns columns_of(int x1, int x2) {
    const int text_left = x1 + kCheckColumnWidth;
    const int split = text_left + (x2 - text_left) * 2 / 5;
    return Columns{text_left + 4, split - 6, split + 4, x2 - 6};
}

void draw_text_in(const Rect& clip, int x, int y, std::uint32_t colour, FontHandle font, const std::string& text) {
    ClipTo(clip);
    DrawFittedText(x, y, clip.right, colour, font, text);
}

void draw_list(WidgetRecord& w) {
    const AddressStore& store = address_store();
    const Fonts& f = fonts();
    const Rect r = w.rect();
    FillBox(r, rgb(255, 255, 255));
    const int row = std::max(1, g_list.row_height);
    const int text_height = FontHeight(f.user_normal);
    if (store.count() == 0) {
        const std::string note = store.mode() == kModeSearch ? "No addresses match the search" : "No addresses yet";
        const int width = MeasureText(f.input, note).width;
        draw_text_in(r, (r.left + r.right - width) / 2, r.top + 20, rgb(110, 120, 130), f.input, note);
    }
    const Columns c = columns_of(r.left, r.right);
    int box_w = 16, box_h = 16;
    platform().bitmap_size("UNCHECKED_BOX", box_w, box_h);
    for (int i = std::max(0, g_list.scroll_offset / row); i < store.count(); ++i) {
        const int y = r.top + i * row - g_list.scroll_offset;
        if (y >= r.bottom) break;
        const Rect line{r.left + 1, std::max(r.top, y), r.right - 1, std::min(r.bottom, y + row)};
        const std::uint32_t offset = store.item(i);
        const bool selected = (store.marks_at(offset) & kSelectedMark) != 0;
        const bool current = i == store.current();
        ClipTo(r);
        if (current) {
            FillBox(line, kNavy);
        } else if (selected) {
            FillBox(line, kSelectedRow);
        } else if (i % 2 == 1) {
            FillBox(line, kStripedRow);
        }
        ClipTo(line);
        DrawResourceBitmap(selected ? "CHECKED_BOX" : "UNCHECKED_BOX", r.left + (kCheckColumnWidth - box_w) / 2 + 1,
                           y + (row - box_h) / 2);
        const auto [left, right] = address_row_columns(store.record_at(offset));
        const std::uint32_t colour = current ? kWhiteText : rgb(0, 0, 0);
        const int ty = y + (row - text_height) / 2;
        draw_text_in(Rect{c.first_left, line.top, c.first_right, line.bottom}, c.first_left, ty, colour, f.user_normal, left);
        draw_text_in(Rect{c.second_left, line.top, c.second_right, line.bottom}, c.second_left, ty, colour, f.user_normal, right);
    }
    ClipTo(Rect{});
    FrameBox(r, kFrame);
}

// The rows a screen reader is given: the two columns as drawn, and the check box.
void describe_list(const WidgetRecord& w, AccessibleList& out) {
    const AddressStore& store = address_store();
    out.name = "Addresses";
    out.columns = {"Last", "First"};
    out.has_check_column = true;
    out.current_row = store.valid_position(store.current()) ? store.current() : -1;
    out.rows.reserve(static_cast<std::size_t>(store.count()));
    const int row = std::max(1, g_list.row_height);
    for (int i = 0; i < store.count(); ++i) {
        const std::uint32_t offset = store.item(i);
        auto [left, right] = address_row_columns(store.record_at(offset));
        AccessibleRow r;
        r.cells = {std::move(left), std::move(right)};
        r.bounds = list_row_bounds(w, w.y1, i, row, g_list.scroll_offset);
        r.checked = (store.marks_at(offset) & kSelectedMark) != 0;
        out.rows.push_back(std::move(r));
    }
}

// A label line of the detail panel; returns the next line's top.
int add_detail_text(int x, int y, int right, const std::string& text, std::uint32_t colour) {
    const int height = FontHeight(fonts().user_normal);
    AddWidget(0, kKindLabel, x, y, right, y + height + 2, colour, 0, fonts().user_normal, 0, text);
    return y + g_list.row_height;
}

int add_detail_link(int x, int y, int right, int id, const std::string& caption, const std::string& address) {
    const Fonts& f = fonts();
    const int height = FontHeight(f.user_normal);
    const int caption_width = MeasureText(f.user_normal, caption).width;
    AddWidget(0, kKindLabel, x, y, std::min(right, x + caption_width + 1), y + height + 2, kWhiteText, 0, f.user_normal, 0,
              caption);
    const int link_left = x + caption_width + 4;
    const int link_right = std::min(right, link_left + MeasureText(f.input, address).width + 2);
    if (link_left < link_right) {
        AddWidget(id, kKindLink, link_left, y, link_right, y + std::max(height, FontHeight(f.input)) + 2, kLinkText,
                  kLinkPressed, f.input, 0, address);
    }
    return y + g_list.row_height;
}

void add_detail_panel(int x1, int top, int x2, int bottom) {
    const Fonts& f = fonts();
    const AddressStore& store = address_store();
    AddWidget(0, kKindLabel, x1, top, x2, top + FontHeight(f.large_heading) + 2, kWhiteText, 0, f.large_heading, 0,
              "Current Address");
    const int box_top = top + FontHeight(f.large_heading) + 10;
    AddWidget(0, kKindOutline, x1, box_top, x2, bottom, kPanelLine, 0, 0, 0, "");
    const int x = x1 + 14, right = x2 - 10;
    int y = box_top + 12;
    if (!store.valid_position(store.current())) {
        add_detail_text(x, y, right, "No address to show", kDimText);
        return;
    }
    for (const DetailLine& line : address_detail_lines(store.record_at(store.item(store.current())))) {
        if (y + g_list.row_height > bottom) break;
        switch (line.kind) {
            case DetailLine::Email: y = add_detail_link(x, y, right, kIdEmailLink, "Email: ", line.text); break;
            case DetailLine::WebSite: y = add_detail_link(x, y, right, kIdWebLink, "Web Site: ", line.text); break;
            default: y = add_detail_text(x, y, right, line.text, kWhiteText); break;
        }
    }
}

// The two display-mode switches; returns the bottom of the second.
int add_mode_switches(int x1, int y, int x2) {
    const Fonts& f = fonts();
    const AddressStore& store = address_store();
    AddWidget(0, kKindLabel, x1, y, x2, y + FontHeight(f.message) + 2, kWhiteText, 0, f.message, 0, "Display Mode");
    y += FontHeight(f.message) + 8;
    const int caption_h = FontHeight(f.button), count_h = FontHeight(f.input);
    const int height = caption_h + count_h + 16;
    const char* captions[] = {"All Addresses", "Search Results"};
    for (int mode = kModeAll; mode <= kModeSearch; ++mode) {
        const bool active = store.mode() == mode;
        const std::uint32_t fill = active ? kNavy : rgb(255, 255, 255);
        const std::uint32_t text = active ? kWhiteText : kNavy;
        AddWidget(0, kKindRectangle, x1, y, x2, y + height, kFrame, fill, 0, 0, "");
        AddWidget(0, kKindLabel, x1 + 12, y + 6, x2 - 4, y + 6 + caption_h + 2, text, 0, f.button, 0, captions[mode]);
        if (active) {
            AddWidget(0, kKindLabel, x1 + 12, y + 8 + caption_h, x2 - 4, y + 8 + caption_h + count_h + 2, text, 0, f.input, 0,
                      std::to_string(store.count()) + " records");
        }
        // The switch answers through a hit area, so its hover look never paints over its captions.
        AddWidget(mode == kModeAll ? kIdShowAll : kIdShowSearch, kKindHitArea, x1, y, x2, y + height, 0, 0, 0, 0, "");
        y += height + 8;
    }
    return y;
}

}  // namespace

ListState& address_list_state() { return g_list; }

void scroll_current_into_view() { g_scroll_pending = true; }

// ---- what rows and the panel show --------------------------------------------------------------

std::pair<std::string, std::string> address_row_columns(const AddressRecord& record) {
    const std::string& first = record.fields[kFieldFirst];
    const std::string& last = record.fields[kFieldLast];
    const std::string& company = record.fields[kFieldCompany];
    if (!last.empty()) return {last, company.empty() ? first : first + ", " + company};
    if (!first.empty()) return {first, company};
    return {company, ""};
}

std::vector<DetailLine> address_detail_lines(const AddressRecord& record) {
    const auto& f = record.fields;
    std::vector<DetailLine> lines;
    auto text = [&](const std::string& line) {
        if (!line.empty()) lines.push_back(DetailLine{DetailLine::Text, line});
    };
    text(trim(f[kFieldFirst] + " " + f[kFieldLast]));
    text(f[kFieldCompany]);
    text(f[kFieldAddress1]);
    text(f[kFieldAddress2]);
    if (!f[kFieldCity].empty() || !f[kFieldState].empty()) text(f[kFieldCity] + ", " + f[kFieldState] + " " + f[kFieldZip]);
    text(f[kFieldCountry]);
    if (!f[kFieldEmail].empty()) lines.push_back(DetailLine{DetailLine::Email, f[kFieldEmail]});
    if (!f[kFieldWebSite].empty()) lines.push_back(DetailLine{DetailLine::WebSite, f[kFieldWebSite]});
    if (!f[kFieldHomePhone].empty()) text("Home Phone: " + f[kFieldHomePhone]);
    if (!f[kFieldWorkPhone].empty()) text("Work Phone: " + f[kFieldWorkPhone]);
    if (!f[kFieldCellPhone].empty()) text("Cell Phone: " + f[kFieldCellPhone]);
    text(f[kFieldMisc1]);
    text(f[kFieldMisc2]);
    text(f[kFieldMisc3]);
    return lines;
}

// ---- the whole screen ----------------------------------------------------------------------------

void draw_address_screen() {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    const AddressStore& store = address_store();
    BeginWidgets();
    add_tab_bar(kScreenAddresses);
    const int top = kTabBarHeight + 1 + 14;
    const int bottom = win.client_height - kMargin;
    const int row = row_height();
    g_list.row_height = row;

    // Left: the display mode and the buttons, in their three colour groups.
    const int left = kMargin, left_right = kMargin + kLeftColumnWidth;
    int y = add_mode_switches(left, top, left_right) + 16;
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        if (i == 3 || i == 6) y += 14;
        const Button& b = kButtons[i];
        // White captions on a face of the group's colour.
        AddWidget(b.id, kKindButton, left, y, left_right, y + 32, rgb(255, 255, 255), b.colour, f.button, b.mnemonic,
                  b.caption);
        y += 38;
    }

    // Right: the current address.
    const int detail_width = std::clamp(win.client_width * 34 / 100, 260, 480);
    const int detail_left = win.client_width - kMargin - detail_width;
    add_detail_panel(detail_left, top, win.client_width - kMargin, bottom);

    // Middle: the list under its heading row, the scroll controls at its right.
    const int list_left = left_right + 20;
    const int list_right = std::max(list_left + 120, detail_left - 20);
    const int heading_bottom = top + row + 8;
    const int rows_right = list_right - kScrollWidth;
    AddWidget(0, kKindRectangle, list_left, top, list_right, heading_bottom, kFrame, kHeadingFill, 0, 0, "");
    const int box = AddWidget(kIdSelectAll, kKindCheckBox, list_left + (kCheckColumnWidth - 16) / 2 + 1, top + 2,
                              list_left + kCheckColumnWidth, heading_bottom - 2, kWhiteText, 0, f.user_bold, 0, "");
    widgets()[static_cast<std::size_t>(box - 1)].checked = all_selected(store) ? 1 : 0;
    widgets()[static_cast<std::size_t>(box - 1)].accessible_name = "Select All";
    const Columns c = columns_of(list_left, rows_right);
    const int heading_text = top + (heading_bottom - top - FontHeight(f.user_bold)) / 2;
    AddWidget(0, kKindLabel, c.first_left, heading_text, c.first_right, heading_bottom, kWhiteText, 0, f.user_bold, 0, "Last");
    AddWidget(0, kKindLabel, c.second_left, heading_text, c.second_right, heading_bottom, kWhiteText, 0, f.user_bold, 0, "First");

    g_list.row_height = row;
    g_list.scroll_step = row;
    g_list.view_height = std::max(0, bottom - heading_bottom);
    g_list.item_count = store.count();
    g_list.content_height = store.count() * row;
    g_list.current_item = store.current();
    if (g_scroll_pending && store.valid_position(store.current())) scroll_to_current(g_list);
    g_scroll_pending = false;
    clamp_scroll(g_list);
    AddWidget(kIdAddressList, kKindAddressList, list_left, heading_bottom, rows_right, bottom, 0, 0, f.user_normal, 0, "");
    AddWidget(kIdScrollUp, kKindButton, rows_right, heading_bottom, list_right, heading_bottom + kScrollWidth, 0, 0, f.button, 0,
              "\x01");
    const int bar = AddWidget(kIdScrollBar, kKindScrollBar, rows_right, heading_bottom + kScrollWidth, list_right,
                              bottom - kScrollWidth, 0, 0, 0, 0, "");
    widgets()[static_cast<std::size_t>(bar - 1)].list = &g_list;
    AddWidget(kIdScrollDown, kKindButton, rows_right, bottom - kScrollWidth, list_right, bottom, 0, 0, f.button, 0, "\x02");
    DrawAllWidgets();
}

void register_address_list_drawer() {
    set_widget_drawer(kKindAddressList, draw_list);
    set_list_describer(kKindAddressList, describe_list);
}

}  // namespace domora
