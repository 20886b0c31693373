// A print service for tests: printers, answers to the properties dialog and
// device capabilities are set by the test, and every call of a job is
// recorded with its arguments so that layouts can be checked exactly.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/print.h"

namespace domora {

class HeadlessPrintService : public PrintService {
public:
    // ---- what the program sees; tests set these freely ---------------------------
    std::vector<std::string> installed{"Office Laser"};
    std::string default_name = "Office Laser";
    std::map<std::string, std::string> default_options;  // by printer
    std::vector<std::string> families{"Arial", "Courier New", "@Arial Unicode", "Times New Roman"};
    int dpi = 300;
    int margin = 0;     // unprintable border on each side, device pixels
    int margin_y = -1;  // when 0 or more, the top and bottom border instead; margin keeps the sides
    bool document_fails = false;

    // The properties dialog's pre-set answer: confirmed or not, and the
    // options (and printer, when not empty) it gives back.
    bool properties_confirm = true;
    std::string properties_options;
    std::string properties_printer;

    // ---- what the program did --------------------------------------------------------
    struct Call {
        std::string kind;  // "open", "start_doc", "start_page", "end_page", "end_doc", "close",
                           // "clip", "text", "fill", "frame", "line", "image"
        Rect rect;         // clip, fill, frame, image; line: its two ends
        int x = 0;         // text
        int y = 0;
        int width = 0;     // frame and line: the line width; text: the font's em height
        int weight = 0;    // text
        std::string face;  // text
        std::uint32_t colour = 0;
        std::string text;  // text; start_doc: the document name
    };
    std::vector<Call> calls;
    std::vector<PrintDevice> opened;  // every device a job opened
    struct PropertiesCall {
        std::string printer;
        std::string options;
        int orientation = 0;
        int paper = 0;
    };
    std::vector<PropertiesCall> properties_calls;
    int pages = 0;  // pages started
    bool device_open = false;
    // Calls of one kind, in order.
    std::vector<Call> calls_of(const std::string& kind) const;
    // The texts drawn, in order.
    std::vector<Call> texts() const { return calls_of("text"); }
    // Page index (0-based) of the i-th call.
    int page_of(std::size_t call_index) const;

    // ---- PrintService -------------------------------------------------------------------
    std::vector<std::string> printers() override { return installed; }
    std::string default_printer() override { return default_name; }
    std::string printer_options(const std::string& printer) override;
    bool printer_properties(std::string& printer, std::string& options, int orientation, int paper) override;
    std::vector<std::string> font_families(const std::string&) override { return families; }
    bool open_device(const PrintDevice& device, PrintCaps& caps) override;
    int start_document(const std::string& name) override;
    int start_page() override;
    int end_page() override;
    int end_document() override;
    int last_error() override { return m_error; }
    std::string error_text(int error) override { return error == 0 ? "Success" : "Input/output error"; }
    void close_device() override;
    FontHandle create_font(const FontSpec& spec) override;
    void release_font(FontHandle font) override { m_fonts.erase(font); }
    // Every character is half the em height wide (bold one pixel more).
    TextExtent measure_text(FontHandle font, const std::string& text) override;
    void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) override;
    void set_clip(const Rect& clip) override;
    void fill_rect(const Rect& r, std::uint32_t colour) override;
    void frame_rect(const Rect& r, int line_width, std::uint32_t colour) override;
    void draw_line(int x1, int y1, int x2, int y2, int line_width, std::uint32_t colour) override;
    void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) override;

    int live_fonts() const { return static_cast<int>(m_fonts.size()); }

private:
    std::map<FontHandle, FontSpec> m_fonts;
    FontHandle m_next_font = 1;
    int m_error = 0;
};

}  // namespace domora
