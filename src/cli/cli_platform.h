// The platform of the command-line companion: the plain POSIX files, clock,
// environment and network of the base class, the user's locale through the C
// library, and no window. Anything that would need a window is inert, and a
// message meant for a box goes to standard error, so a store that reports
// through the system's box still tells the user something.
#pragma once

#include <string>

#include "platform/platform.h"

namespace domora {

class CliPlatform : public Platform {
public:
    // ---- no display ----------------------------------------------------------------------------
    Rect work_area() override { return Rect{0, 0, 1920, 1040}; }
    int display_depth() override { return 24; }
    void system_message_box(const std::string& text, const std::string& caption) override;
    bool claim_single_instance(const std::string&) override { return true; }
    void release_single_instance() override {}
    bool create_main_window(const std::string&, const WindowPlacement&, std::uint32_t) override { return false; }
    void show_main_window(int) override {}
    void client_size(int& width, int& height) override { width = height = 0; }
    WindowPlacement main_window_placement() override { return {}; }
    void destroy_main_window() override {}
    // There is never an event: a loop that waits for one is told to end.
    bool next_event(Event& event, bool wait) override;
    void set_timer(int, int) override {}
    void kill_timer(int) override {}
    void post_timer(int) override {}
    void idle_wait(int ms) override;
    std::uint64_t tick_ms() override;
    int wheel_scroll_lines() override { return 3; }
    void set_main_window_placement(const WindowPlacement&) override {}
    void move_main_window(int, int) override {}
    void cursor_position(int& x, int& y) override { x = y = 0; }
    void set_window_locked(bool) override {}
    bool is_foreground() override { return false; }
    void resize_surface(int, int) override {}
    FontHandle create_font(const FontSpec&) override { return 0; }
    void release_font(FontHandle) override {}
    int font_height(FontHandle) override { return 16; }
    TextExtent measure_text(FontHandle, const std::string& text) override {
        return TextExtent{static_cast<int>(text.size()) * 8, 16};
    }
    void draw_text(int, int, FontHandle, std::uint32_t, const std::string&) override {}
    void set_clip(const Rect&) override {}
    void fill_rect(const Rect&, std::uint32_t) override {}
    void frame_rect(const Rect&, std::uint32_t) override {}
    void dotted_rect(const Rect&, std::uint32_t) override {}
    void draw_line(int, int, int, int, std::uint32_t) override {}
    void invert_rect(const Rect&) override {}
    void blend_rect(const Rect&, std::uint32_t, int) override {}
    void gradient_rect(const Rect&, std::uint32_t, std::uint32_t, int) override {}
    bool bitmap_size(const std::string&, int& width, int& height) override {
        width = height = 0;
        return false;
    }
    void draw_bitmap(const std::string&, int, int) override {}
    void draw_image(const Rect&, int, int, const std::vector<std::uint32_t>&) override {}
    void save_surface() override {}
    void draw_saved_surface(const Rect&) override {}
    void free_saved_surface() override {}
    void present(const Rect&) override {}
    std::uint32_t pixel(int, int) override { return 0; }
    void play_sound(const std::string&) override {}

    // ---- the user's locale -----------------------------------------------------------------------
    // Read as the window program reads it: LC_ALL, then the category, then
    // LANG; "C" and "POSIX" are U.S. English.
    bool measurement_is_us() override;
    std::string month_abbreviation(int month) override;
    DateOrder date_order() override;

    // ---- no clipboard, no browser ----------------------------------------------------------------
    std::string clipboard_text() override { return {}; }
    void set_clipboard_text(const std::string&) override {}
    bool open_url(const std::string&) override { return false; }
};

}  // namespace domora
