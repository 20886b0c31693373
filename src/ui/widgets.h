// The widget table and the drawing layer: every screen and popup is a list of
// widget records, drawn in order into the off-screen surface and hit-tested
// in order by the event wait (earlier records win, later ones draw on top).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace domora {

inline constexpr int kMaxWidgets = 300;
inline constexpr std::size_t kMaxWidgetText = 280;
inline constexpr int kEndMarker = -1;
inline constexpr int kTabBarHeight = 34;

// Widget kinds, shared by all screens.
enum WidgetKind {
    kKindRectangle = 1,
    kKindTab = 2,
    kKindButton = 4,
    kKindLabel = 5,
    kKindLink = 6,
    kKindPanel = 7,
    kKindFilled = 8,
    kKindOutline = 9,
    kKindDotted = 10,
    kKindHitArea = 11,
    kKindShade = 12,
    kKindBitmap = 13,
    kKindBackground = 14,
    kKindFieldFrame = 15,
    kKindTextInput = 16,
    kKindScrollBar = 18,
    kKindSavedImage = 19,
    kKindCheckBox = 20,
    kKindPopupList = 21,
    kKindGradient = 22,
    kKindPicture = 24,
    kKindPasswordList = 209,
    kKindAddressList = 510,
    kKindFileList = 753,
    kKindOptionList = 800,
    kKindVehicleList = 1009,
    kKindVehicleCharts = 1010,
};

// Looks written by the event wait.
enum Look { kLookNormal = 0, kLookPressedLeft = 1, kLookPressedRight = 2, kLookHovered = 3 };

// The shared record at the head of every scrolling list.
struct ListState {
    int view_height = 0;     // pixels of the visible area
    int scroll_offset = 0;   // pixels
    int content_height = 0;  // item count x row height
    int item_count = 0;
    int current_item = 0;    // 0-based
    int row_height = 22;
    int scroll_step = 22;
};

// A text input's state before one change, for Ctrl+Z.
struct FieldUndo {
    std::string text;
    std::int32_t caret = 0, sel_start = 0, sel_end = 0;
};

struct WidgetRecord {
    std::int32_t id = kEndMarker;
    std::int32_t kind = 0;
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::uint32_t colour1 = 0;
    std::uint32_t colour2 = 0;
    FontHandle font = 0;
    std::int32_t mnemonic = 0;  // 1-based position in the text; 100 and more mean position - 100
    std::int32_t max_length = 0;
    std::int32_t scroll = 0, caret = 0, sel_start = 0, sel_end = 0;
    std::int32_t checked = 0;         // check boxes: 1 shows "CHECKED_BOX"; buttons: 1 is what Enter chooses;
                                      // the file list: 1 while it takes the keys
    bool secret = false;              // text input: shown as bullets, never copied out
    ListState* list = nullptr;        // scroll bars and lists: the list they show
    std::vector<FieldUndo> undo;      // text input: the states before its changes, the latest last
    std::int32_t undo_run = 0;        // text input: the kind of change that is still going on (a typing run)
    std::int32_t look = kLookNormal;
    std::string text;
    std::string accessible_name;      // what a screen reader calls it where the text says nothing

    Rect rect() const { return Rect{x1, y1, x2, y2}; }
    bool contains(int x, int y) const { return x >= x1 && x < x2 && y >= y1 && y < y2; }
};

using WidgetTable = std::array<WidgetRecord, kMaxWidgets>;
WidgetTable& widgets();

// ---- the toolkit's fonts --------------------------------------------------------------------

struct Fonts {
    FontHandle user_normal = 0;
    FontHandle user_bold = 0;
    FontHandle large_heading = 0;
    FontHandle input = 0;
    FontHandle message = 0;
    FontHandle link = 0;
    FontHandle title = 0;
    FontHandle small_bold = 0;
    FontHandle button = 0;
    int user_size = 20;  // after the cap by client height
};
const Fonts& fonts();
// The user size as the fonts are made for a client this high: 0 gives 20,
// and taller clients allow larger sizes (920 px: 36 ... below 740: 24).
int capped_font_size(int user_size, int client_height);
// Makes (again) every font from the settings and the client height.
void make_fonts();
void release_fonts();
// max(22, 1.15 x user size rounded to one decimal): the record lists' row height.
double user_line_height();

// ---- the table --------------------------------------------------------------------------------

// Empties the table and adds the screen background below the tab bar.
void BeginWidgets();
// Appends a record (text cut to 280 characters, editing words zeroed), keeps
// the table ended, and returns the new count. Records past 300 are refused.
int AddWidget(int id, int kind, int x1, int y1, int x2, int y2, std::uint32_t colour1, std::uint32_t colour2,
              FontHandle font, int mnemonic, const std::string& text);
int widget_count();
// Ends the table after count records (for callers that build it by hand).
void EndWidgets(int count);
int FindWidget(int id);

// ---- drawing ------------------------------------------------------------------------------------

void DrawWidget(int index);
// Draws every record up to the end marker and presents the whole client area.
void DrawAllWidgets();
void Present(int x, int y, int width, int height);
void present_widget(int index);
// Measures and draws with a transparent background; alignment 0 left, 1
// right, 2 centre. Both leave the text's size in the last extent.
TextExtent MeasureText(FontHandle font, const std::string& text);
void DrawTextAt(int x, int y, int alignment, std::uint32_t colour, FontHandle font, const std::string& text);
const TextExtent& last_extent();
int FontHeight(FontHandle font);

// The ellipsis ("\x85" in Windows-1252) that ends a text cut to fit its box.
inline constexpr char kEllipsis = '\x85';
// The text as it fits in width pixels: whole when it fits, else the longest
// start that fits with the ellipsis after it (the ellipsis alone when not even
// one character does). Only drawing uses it; records keep the whole text.
std::string fitted_text(FontHandle font, const std::string& text, int width);
// True when the text needs no cutting to fit in width pixels.
bool text_fits(FontHandle font, const std::string& text, int width);
// DrawTextAt, left-aligned, of the text fitted between x and right.
void DrawFittedText(int x, int y, int right, std::uint32_t colour, FontHandle font, const std::string& text);

void FillBox(const Rect& r, std::uint32_t colour);
void FrameBox(const Rect& r, std::uint32_t colour);
void DottedBox(const Rect& r, std::uint32_t colour);
void ClipTo(const Rect& r);  // an empty rectangle removes the clip
void BlendRect(const Rect& r, std::uint32_t colour, int alpha);
void DrawResourceBitmap(const std::string& name, int x, int y);
// The screen behind each open popup: SaveScreen keeps one more image,
// DrawSaved draws the newest, FreeSaved drops it.
void SaveScreen();
void DrawSaved(const Rect& r);
void FreeSaved();
// How many images are kept: the number of popups open over the screen.
int saved_screens();
// How many popups have opened so far; each one is a new dialog to a screen reader.
int popups_opened();

// A screen's own drawing for its list kinds (addresses, passwords, ...).
using WidgetDrawer = void (*)(WidgetRecord& widget);
void set_widget_drawer(int kind, WidgetDrawer drawer);

// The text-input record that has the focus (its caret and selection are
// drawn), or -1.
void set_focused_field(int index);
int focused_field();

// ---- scroll bars and lists ---------------------------------------------------------------------

struct ScrollThumb {
    int top = 0;
    int bottom = 0;
    double ratio = 0;  // track pixels per content pixel; 0 when everything fits
};
// Keeps the offset between 0 and content height - view height.
void clamp_scroll(ListState& list);
ScrollThumb scroll_thumb(const ListState& list, int track_top, int track_bottom);
// Scrolls just enough to show the current item.
void scroll_to_current(ListState& list);
// Drags the thumb of the scroll bar record at index while the left button is
// held, calling redraw after every change of the list's offset.
void drag_scroll_thumb(int index, void (*redraw)());

// Waits while pumping events until the delay has passed or the button, the
// key and the character are all released: mode 0 30 ms, 1 350 ms, other 100 ms.
void KeyRepeatDelay(int mode);

// Rebuilds the surface and fonts for the current client size.
void rebuild_surface();

// When DOMORA_WIDGET_DUMP names a file, every full draw rewrites it with the
// current screen, the popup flag and one line per widget record.
void dump_widgets();

}  // namespace domora
