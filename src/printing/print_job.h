// The print engine: a job started from a print settings record, its grid of
// cards in device pixels, and the walk from card to card across pages. A
// card is one label, one envelope or one whole page; callers take the next
// card before drawing each one, the first included.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/print.h"
#include "printing/print_settings.h"

namespace domora {

struct PrintJob {
    PrintCaps caps;
    int page = 1;
    int line_width = 2;
    int card_wide = 0;
    int card_high = 0;
    int horz_spacing = 0;
    int vert_spacing = 0;
    int page_left = 0;  // the first card's corner, relative to the printable area
    int page_top = 0;
    int left_margin = 0;
    int right_margin = 0;
    int top_margin = 0;
    int bottom_margin = 0;
    int horz_count = 1;
    int vert_count = 1;
    bool outlines = false;
    int font_height = 0;
    int large_font_height = 0;
    std::string face;
    // The job's printer fonts: normal, bold, large bold.
    FontHandle font_normal = 0;
    FontHandle font_bold = 0;
    FontHandle font_large = 0;
    // Where the walk is.
    int horizontal = 0;  // column
    int vertical = 0;    // row
    Rect card;
    Rect text;  // the card minus its margins
    int line = 0;
    int column_width = 0;
    int full_line_width = 0;
    int line_count = 0;
    int page_flag = 0;  // above 0 while a page is open
    bool open = false;
    std::string output_file;  // "Save as PDF": the file written
};

inline constexpr std::uint32_t kPrintBlack = 0;
inline constexpr std::uint32_t kPrintWhite = 0xFFFFFF;

// Points to device pixels at this resolution: round(dpi x 0.01389 x points).
int points_to_pixels(int dpi, int points);

// Opens the record's printer and starts a document. The record's font size
// is set to 10 when it is outside 1..63. On failure the user has been told
// and false is returned; "Save as PDF" asks for the file first and fails
// quietly when the user cancels.
bool Printer_Start(PrintSettings& record, PrintJob& job);
// Moves to the next card, starting pages as needed, and clips to it.
void next_card(PrintJob& job);
// Ends the open page and the document and lets the printer go; a PDF file
// that was written is named to the user.
void end_document(PrintJob& job);

// Clips to r; to r enlarged by `grow` pixels to the right and bottom.
void clip_print(const Rect& r, int grow = 0);
// The card's frame, one line width wide, clipped to the card enlarged by 2.
void frame_card(const PrintJob& job);

}  // namespace domora
