// The headless drawing surface: plain 32-bit pixels, fonts with simple fixed
// metrics, and bitmaps read from the XPM files of the resource folder.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/headless/headless_platform.h"

namespace domora {

namespace {

Rect intersect(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

std::uint32_t mix(std::uint32_t below, std::uint32_t over, int alpha) {
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int b = static_cast<int>((below >> shift) & 0xFF);
        const int o = static_cast<int>((over >> shift) & 0xFF);
        out |= static_cast<std::uint32_t>((b * (255 - alpha) + o * alpha) / 255) << shift;
    }
    return out;
}

// The quoted strings of an XPM file, in order.
std::vector<std::string> xpm_strings(const std::string& text) {
    std::vector<std::string> strings;
    std::size_t pos = 0;
    bool in_comment = false;
    while (pos < text.size()) {
        if (in_comment) {
            const std::size_t end = text.find("*/", pos);
            if (end == std::string::npos) break;
            pos = end + 2;
            in_comment = false;
        } else if (text.compare(pos, 2, "/*") == 0) {
            in_comment = true;
            pos += 2;
        } else if (text[pos] == '"') {
            const std::size_t end = text.find('"', pos + 1);
            if (end == std::string::npos) break;
            strings.push_back(text.substr(pos + 1, end - pos - 1));
            pos = end + 1;
        } else {
            ++pos;
        }
    }
    return strings;
}

}  // namespace

// ---- fonts ----------------------------------------------------------------------------------

FontHandle HeadlessPlatform::create_font(const FontSpec& spec) {
    const FontHandle handle = m_next_font++;
    m_fonts[handle] = spec;
    return handle;
}

void HeadlessPlatform::release_font(FontHandle font) { m_fonts.erase(font); }

const FontSpec* HeadlessPlatform::font_spec(FontHandle font) const {
    const auto it = m_fonts.find(font);
    return it == m_fonts.end() ? nullptr : &it->second;
}

int HeadlessPlatform::font_height(FontHandle font) {
    const FontSpec* spec = font_spec(font);
    return spec ? spec->height : 16;
}

// Every character is half the font height wide (bold one pixel more), so
// layouts are easy to predict in tests.
TextExtent HeadlessPlatform::measure_text(FontHandle font, const std::string& text) {
    const FontSpec* spec = font_spec(font);
    const int height = spec ? spec->height : 16;
    const int advance = height / 2 + (spec && spec->weight >= 700 ? 1 : 0);
    return TextExtent{advance * static_cast<int>(text.size()), height};
}

void HeadlessPlatform::draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) {
    drawn_texts.push_back(DrawnText{x, y, colour, text});
    const FontSpec* spec = font_spec(font);
    const int height = spec ? spec->height : 16;
    const int advance = measure_text(font, "x").width;
    // Each visible character as a block, so that a saved picture shows where text went.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') continue;
        const int cx = x + advance * static_cast<int>(i);
        for (int py = y + height / 4; py < y + height - height / 5; ++py) {
            for (int px = cx + 1; px < cx + advance - 1; ++px) put(px, py, colour);
        }
    }
}

// ---- pixels ---------------------------------------------------------------------------------

void HeadlessPlatform::resize_surface(int width, int height) {
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), 0);
    client_width = m_width;
    client_height = m_height;
}

bool HeadlessPlatform::inside_clip(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return false;
    if (empty(m_clip)) return true;
    return x >= m_clip.left && x < m_clip.right && y >= m_clip.top && y < m_clip.bottom;
}

void HeadlessPlatform::put(int x, int y, std::uint32_t colour) {
    if (inside_clip(x, y)) m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] = colour & 0xFFFFFF;
}

std::uint32_t HeadlessPlatform::pixel(int x, int y) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
}

// The part of r that drawing may change: inside the surface and the clip.
// The rectangle loops work a row at a time on it, which is what put()
// does pixel by pixel.
Rect HeadlessPlatform::drawable(const Rect& r) const {
    Rect c = intersect(r, Rect{0, 0, m_width, m_height});
    if (!empty(m_clip)) c = intersect(c, m_clip);
    return c;
}

std::uint32_t* HeadlessPlatform::row_at(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width); }

void HeadlessPlatform::fill_rect(const Rect& r, std::uint32_t colour) {
    const Rect c = drawable(r);
    if (empty(c)) return;
    for (int y = c.top; y < c.bottom; ++y) std::fill(row_at(y) + c.left, row_at(y) + c.right, colour & 0xFFFFFF);
}

void HeadlessPlatform::frame_rect(const Rect& r, std::uint32_t colour) {
    if (empty(r)) return;
    for (int x = r.left; x < r.right; ++x) {
        put(x, r.top, colour);
        put(x, r.bottom - 1, colour);
    }
    for (int y = r.top; y < r.bottom; ++y) {
        put(r.left, y, colour);
        put(r.right - 1, y, colour);
    }
}

void HeadlessPlatform::dotted_rect(const Rect& r, std::uint32_t colour) {
    if (empty(r)) return;
    for (int x = r.left; x < r.right; x += 2) {
        put(x, r.top, colour);
        put(x, r.bottom - 1, colour);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        put(r.left, y, colour);
        put(r.right - 1, y, colour);
    }
}

void HeadlessPlatform::draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    const int steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    for (int i = 0; i <= steps; ++i) {
        const int x = steps ? x1 + (x2 - x1) * i / steps : x1;
        const int y = steps ? y1 + (y2 - y1) * i / steps : y1;
        put(x, y, colour);
    }
}

void HeadlessPlatform::invert_rect(const Rect& r) {
    const Rect c = intersect(r, Rect{0, 0, m_width, m_height});
    for (int y = c.top; y < c.bottom; ++y) {
        for (int x = c.left; x < c.right; ++x) {
            if (inside_clip(x, y)) put(x, y, ~pixel(x, y));
        }
    }
}

void HeadlessPlatform::blend_rect(const Rect& r, std::uint32_t colour, int alpha) {
    const Rect c = drawable(r);
    if (empty(c)) return;
    for (int y = c.top; y < c.bottom; ++y) {
        std::uint32_t* const row = row_at(y);
        for (int x = c.left; x < c.right; ++x) row[x] = mix(row[x], colour, alpha) & 0xFFFFFF;
    }
}

void HeadlessPlatform::gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha) {
    const int h = std::max(1, r.bottom - r.top - 1);
    for (int y = r.top; y < r.bottom; ++y) {
        const std::uint32_t row = mix(top, bottom, 255 * (y - r.top) / h);
        blend_rect(Rect{r.left, y, r.right, y + 1}, row, alpha);
    }
}

void HeadlessPlatform::draw_saved_surface(const Rect& r) {
    if (m_saved.empty()) return;
    const SavedSurface& saved = m_saved.back();
    // A surface saved before the window changed size covers what it can.
    const Rect c = drawable(intersect(r, Rect{0, 0, saved.width, saved.height}));
    if (empty(c)) return;
    for (int y = c.top; y < c.bottom; ++y) {
        const std::uint32_t* const from = saved.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(saved.width);
        std::uint32_t* const row = row_at(y);
        for (int x = c.left; x < c.right; ++x) row[x] = from[x] & 0xFFFFFF;
    }
}

std::string HeadlessPlatform::surface_ppm() const {
    std::string out = "P6\n" + std::to_string(m_width) + " " + std::to_string(m_height) + "\n255\n";
    for (std::uint32_t p : m_pixels) {
        out += static_cast<char>((p >> 16) & 0xFF);
        out += static_cast<char>((p >> 8) & 0xFF);
        out += static_cast<char>(p & 0xFF);
    }
    return out;
}

// ---- bitmaps --------------------------------------------------------------------------------

const HeadlessPlatform::Bitmap& HeadlessPlatform::bitmap(const std::string& name) {
    Bitmap& bmp = m_bitmaps[name];
    if (bmp.loaded) return bmp;
    bmp.loaded = true;
    std::ifstream in(resource_folder + "/" + name + ".xpm", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::vector<std::string> strings = xpm_strings(text.str());
    if (strings.empty()) return bmp;
    int width = 0, height = 0, colours = 0, per_pixel = 0;
    if (std::sscanf(strings[0].c_str(), "%d %d %d %d", &width, &height, &colours, &per_pixel) != 4) return bmp;
    if (width <= 0 || height <= 0 || per_pixel <= 0 || strings.size() < 1u + static_cast<std::size_t>(colours) + static_cast<std::size_t>(height)) return bmp;
    std::map<std::string, std::uint32_t> table;
    for (int i = 0; i < colours; ++i) {
        const std::string& line = strings[1 + static_cast<std::size_t>(i)];
        if (line.size() < static_cast<std::size_t>(per_pixel)) return bmp;
        const std::string key = line.substr(0, static_cast<std::size_t>(per_pixel));
        // The rest is whitespace-separated "<context> <colour>" pairs; "c" is the colour one.
        std::istringstream rest(line.substr(static_cast<std::size_t>(per_pixel)));
        std::string word, value = "None";
        while (rest >> word) {
            if (word == "c" && rest >> value) break;
        }
        std::uint32_t colour = 0;  // transparent
        if (value.size() == 7 && value[0] == '#') colour = 0xFF000000u | static_cast<std::uint32_t>(std::stoul(value.substr(1), nullptr, 16));
        else if (value != "None" && value != "none") colour = 0xFF000000u;
        table[key] = colour;
    }
    bmp.width = width;
    bmp.height = height;
    bmp.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::string& row = strings[1 + static_cast<std::size_t>(colours) + static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * static_cast<std::size_t>(per_pixel);
            if (at + static_cast<std::size_t>(per_pixel) > row.size()) break;
            const auto it = table.find(row.substr(at, static_cast<std::size_t>(per_pixel)));
            if (it != table.end()) bmp.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = it->second;
        }
    }
    return bmp;
}

bool HeadlessPlatform::bitmap_size(const std::string& name, int& width, int& height) {
    const Bitmap& bmp = bitmap(name);
    width = bmp.width;
    height = bmp.height;
    return bmp.width > 0;
}

void HeadlessPlatform::draw_bitmap(const std::string& name, int x, int y) {
    const Bitmap& bmp = bitmap(name);
    for (int by = 0; by < bmp.height; ++by) {
        for (int bx = 0; bx < bmp.width; ++bx) {
            const std::uint32_t p = bmp.pixels[static_cast<std::size_t>(by) * static_cast<std::size_t>(bmp.width) + static_cast<std::size_t>(bx)];
            if (p & 0xFF000000u) put(x + bx, y + by, p);
        }
    }
}

}  // namespace domora
