#include "platform/headless/headless_print.h"

#include <algorithm>

namespace domora {

std::vector<HeadlessPrintService::Call> HeadlessPrintService::calls_of(const std::string& kind) const {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.kind == kind) out.push_back(c);
    }
    return out;
}

int HeadlessPrintService::page_of(std::size_t call_index) const {
    int page = -1;
    for (std::size_t i = 0; i <= call_index && i < calls.size(); ++i) {
        if (calls[i].kind == "start_page") ++page;
    }
    return page;
}

std::string HeadlessPrintService::printer_options(const std::string& printer) {
    const auto it = default_options.find(printer);
    return it == default_options.end() ? std::string() : it->second;
}

bool HeadlessPrintService::printer_properties(std::string& printer, std::string& options, int orientation, int paper) {
    properties_calls.push_back({printer, options, orientation, paper});
    if (!properties_confirm) return false;
    if (!properties_printer.empty()) printer = properties_printer;
    options = properties_options;
    return true;
}

bool HeadlessPrintService::open_device(const PrintDevice& device, PrintCaps& caps) {
    const bool known = device.printer == kSaveAsPdf ||
                       std::find(installed.begin(), installed.end(), device.printer) != installed.end();
    if (!known || device.printer.empty()) return false;
    opened.push_back(device);
    calls.push_back(Call{"open", {}, 0, 0, 0, 0, {}, 0, device.printer});
    // Paper sizes in thousandths of an inch, portrait.
    int w = 8500, h = 11000;
    switch (device.paper) {
        case kPaperLegal: h = 14000; break;
        case kPaperStatement: w = 5500; h = 8500; break;
        case kPaperA4: w = 8270; h = 11690; break;
        case kPaperA5: w = 5820; h = 8260; break;
        default: break;
    }
    if (device.orientation == kLandscape) std::swap(w, h);
    caps.dpi_x = caps.dpi_y = dpi;
    caps.page_width = static_cast<int>((static_cast<long long>(w) * dpi + 500) / 1000);
    caps.page_height = static_cast<int>((static_cast<long long>(h) * dpi + 500) / 1000);
    const int top = margin_y >= 0 ? margin_y : margin;
    caps.offset_x = margin;
    caps.offset_y = top;
    caps.printable_width = caps.page_width - 2 * margin;
    caps.printable_height = caps.page_height - 2 * top;
    device_open = true;
    m_error = 0;
    return true;
}

int HeadlessPrintService::start_document(const std::string& name) {
    calls.push_back(Call{"start_doc", {}, 0, 0, 0, 0, {}, 0, name});
    if (document_fails) {
        m_error = 5;
        return -1;
    }
    return 1;
}

int HeadlessPrintService::start_page() {
    calls.push_back(Call{"start_page"});
    ++pages;
    return 1;
}

int HeadlessPrintService::end_page() {
    calls.push_back(Call{"end_page"});
    return 1;
}

int HeadlessPrintService::end_document() {
    calls.push_back(Call{"end_doc"});
    return document_fails ? -1 : 1;
}

void HeadlessPrintService::close_device() {
    calls.push_back(Call{"close"});
    device_open = false;
}

FontHandle HeadlessPrintService::create_font(const FontSpec& spec) {
    const FontHandle handle = m_next_font++;
    m_fonts[handle] = spec;
    return handle;
}

TextExtent HeadlessPrintService::measure_text(FontHandle font, const std::string& text) {
    const auto it = m_fonts.find(font);
    const int height = it == m_fonts.end() ? 16 : it->second.height;
    const int advance = height / 2 + (it != m_fonts.end() && it->second.weight >= 700 ? 1 : 0);
    return TextExtent{advance * static_cast<int>(text.size()), height};
}

void HeadlessPrintService::draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) {
    const auto it = m_fonts.find(font);
    Call c{"text"};
    c.x = x;
    c.y = y;
    c.colour = colour;
    c.text = text;
    if (it != m_fonts.end()) {
        c.width = it->second.height;
        c.weight = it->second.weight;
        c.face = it->second.face;
    }
    calls.push_back(c);
}

void HeadlessPrintService::set_clip(const Rect& clip) { calls.push_back(Call{"clip", clip}); }

void HeadlessPrintService::fill_rect(const Rect& r, std::uint32_t colour) {
    Call c{"fill", r};
    c.colour = colour;
    calls.push_back(c);
}

void HeadlessPrintService::frame_rect(const Rect& r, int line_width, std::uint32_t colour) {
    Call c{"frame", r};
    c.width = line_width;
    c.colour = colour;
    calls.push_back(c);
}

void HeadlessPrintService::draw_line(int x1, int y1, int x2, int y2, int line_width, std::uint32_t colour) {
    Call c{"line", Rect{x1, y1, x2, y2}};
    c.width = line_width;
    c.colour = colour;
    calls.push_back(c);
}

void HeadlessPrintService::draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>&) {
    Call c{"image", r};
    c.x = width;
    c.y = height;
    calls.push_back(c);
}

}  // namespace domora
