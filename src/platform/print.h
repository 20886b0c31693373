// Printers: the installed destinations, their option dialogs, and print jobs
// drawn in device pixels. Reached through print_service(); the Qt backend
// talks to CUPS through Qt's print support, the headless one records every
// call so that tests can check the geometry exactly.
//
// Texts are Windows-1252 byte strings, as everywhere in the platform layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace domora {

// The printer that writes a PDF file instead of going to CUPS.
inline constexpr const char* kSaveAsPdf = "Save as PDF";

// Paper codes as the print settings store them.
enum PaperCode { kPaperLetter = 1, kPaperLegal = 5, kPaperStatement = 6, kPaperA4 = 9, kPaperA5 = 11 };
enum Orientation { kPortrait = 1, kLandscape = 2 };

// What a job is printed with.
struct PrintDevice {
    std::string printer;      // a CUPS destination, or kSaveAsPdf
    int orientation = kPortrait;
    int paper = kPaperLetter;
    std::string options;      // CUPS options, "name=value" lines each ended by LF
    std::string output_file;  // where kSaveAsPdf writes
};

// The device capabilities of an open job, in device pixels.
struct PrintCaps {
    int printable_width = 0;
    int printable_height = 0;
    int dpi_x = 0;
    int dpi_y = 0;
    int offset_x = 0;  // the printable area's corner on the physical page
    int offset_y = 0;
    int page_width = 0;  // the physical page
    int page_height = 0;
};

class PrintService {
public:
    virtual ~PrintService() = default;

    // ---- printers -------------------------------------------------------------------
    // The installed destinations (without kSaveAsPdf).
    virtual std::vector<std::string> printers() = 0;
    // The default destination; "" when there is none.
    virtual std::string default_printer() = 0;
    // The options the printer prints with when nobody chooses any, as PrintDevice::options.
    virtual std::string printer_options(const std::string& printer) = 0;
    // The printer's own properties dialog. options holds what to start from
    // and, when the user confirms, what was chosen; printer may be changed
    // there too. Returns false when the user cancels.
    virtual bool printer_properties(std::string& printer, std::string& options, int orientation, int paper) = 0;
    // Font families the printer can print, unsorted.
    virtual std::vector<std::string> font_families(const std::string& printer) = 0;

    // ---- a job --------------------------------------------------------------------------
    // Opens the device; false when the printer cannot be had.
    virtual bool open_device(const PrintDevice& device, PrintCaps& caps) = 0;
    // Results as the classic calls give them: above 0 on success.
    virtual int start_document(const std::string& name) = 0;
    virtual int start_page() = 0;
    virtual int end_page() = 0;
    virtual int end_document() = 0;
    // The error of the last failed call (0 when none) and its text.
    virtual int last_error() = 0;
    virtual std::string error_text(int error) = 0;
    virtual void close_device() = 0;

    // ---- drawing into the open page, in device pixels -----------------------------------
    // spec.height is the em height in device pixels.
    virtual FontHandle create_font(const FontSpec& spec) = 0;
    virtual void release_font(FontHandle font) = 0;
    virtual TextExtent measure_text(FontHandle font, const std::string& text) = 0;
    // Top-left corner at (x, y), transparent background.
    virtual void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) = 0;
    // An empty rectangle removes the clip.
    virtual void set_clip(const Rect& clip) = 0;
    virtual void fill_rect(const Rect& r, std::uint32_t colour) = 0;
    // A frame line_width pixels wide inside r.
    virtual void frame_rect(const Rect& r, int line_width, std::uint32_t colour) = 0;
    // A straight line line_width pixels wide from one point to the other.
    virtual void draw_line(int x1, int y1, int x2, int y2, int line_width, std::uint32_t colour) = 0;
    // 0xRRGGBB pixels, width x height, scaled into r.
    virtual void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) = 0;
};

// The service in use; one that knows no printers until a backend sets its own.
PrintService& print_service();
void set_print_service(PrintService* service);

}  // namespace domora
