// The drawing surface of the real backend: an image the size of the
// window's client area in the screen's pixels, the painter on it, the fonts
// made for it and the bitmaps drawn on it, and the copies kept under open
// popups. The window shows the image; this draws on it.
#pragma once

#include <QtGui/QFont>
#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace domora {

class QtSurface {
public:
    // The image the window shows; it stays the same object for the surface's life.
    QImage& image() { return m_surface; }
    void end_painting() {
        if (m_painter.isActive()) m_painter.end();
    }

    void resize_surface(int width, int height, qreal ratio);
    FontHandle create_font(const FontSpec& spec);
    void release_font(FontHandle font);
    int font_height(FontHandle font);
    TextExtent measure_text(FontHandle font, const std::string& text);
    void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text);
    void set_clip(const Rect& clip);
    void fill_rect(const Rect& r, std::uint32_t colour);
    void frame_rect(const Rect& r, std::uint32_t colour);
    void dotted_rect(const Rect& r, std::uint32_t colour);
    void draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour);
    void invert_rect(const Rect& r);
    void blend_rect(const Rect& r, std::uint32_t colour, int alpha);
    void gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha);
    bool bitmap_size(const std::string& name, int& width, int& height);
    void draw_bitmap(const std::string& name, int x, int y);
    void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels);
    void save_surface();
    void draw_saved_surface(const Rect& r);
    void free_saved_surface();
    std::uint32_t pixel(int x, int y);

private:
    const QFont& font_of(FontHandle font);
    const QImage& bitmap(const std::string& name);

    QImage m_surface;
    std::vector<QImage> m_saved;  // one per open popup, the newest last
    QPainter m_painter;
    std::map<FontHandle, QFont> m_fonts;
    FontHandle m_next_font = 1;
    std::map<std::string, QImage> m_bitmaps;
};

}  // namespace domora
