#include "platform/print.h"

namespace domora {

namespace {

// Where no backend offers printing: no printers, and no job can start.
class NoPrinters : public PrintService {
public:
    std::vector<std::string> printers() override { return {}; }
    std::string default_printer() override { return {}; }
    std::string printer_options(const std::string&) override { return {}; }
    bool printer_properties(std::string&, std::string&, int, int) override { return false; }
    std::vector<std::string> font_families(const std::string&) override { return {}; }
    bool open_device(const PrintDevice&, PrintCaps&) override { return false; }
    int start_document(const std::string&) override { return 0; }
    int start_page() override { return 0; }
    int end_page() override { return 0; }
    int end_document() override { return 0; }
    int last_error() override { return 0; }
    std::string error_text(int) override { return {}; }
    void close_device() override {}
    FontHandle create_font(const FontSpec&) override { return 0; }
    void release_font(FontHandle) override {}
    TextExtent measure_text(FontHandle, const std::string&) override { return {}; }
    void draw_text(int, int, FontHandle, std::uint32_t, const std::string&) override {}
    void set_clip(const Rect&) override {}
    void fill_rect(const Rect&, std::uint32_t) override {}
    void frame_rect(const Rect&, int, std::uint32_t) override {}
    void draw_line(int, int, int, int, int, std::uint32_t) override {}
    void draw_image(const Rect&, int, int, const std::vector<std::uint32_t>&) override {}
};

NoPrinters g_none;
PrintService* g_service = nullptr;

}  // namespace

PrintService& print_service() { return g_service ? *g_service : g_none; }

void set_print_service(PrintService* service) { g_service = service; }

}  // namespace domora
