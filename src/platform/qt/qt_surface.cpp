#include "platform/qt/qt_surface.h"

#include <QtGui/QFontMetrics>
#include <QtGui/QLinearGradient>
#include <algorithm>
#include <cmath>

#include "platform/cp1252.h"

namespace domora {

namespace {

QString to_qt(const std::string& bytes) { return QString::fromStdString(cp1252_to_utf8(bytes)); }
QColor qcolour(std::uint32_t c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
QRect qrect(const Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// An outline through the middle of the rectangle's edge pixels, so that a
// one-pixel pen covers exactly those pixels at any pixel ratio.
QRectF pixel_centred(const Rect& r) { return QRectF(r.left + 0.5, r.top + 0.5, r.right - r.left - 1, r.bottom - r.top - 1); }

}  // namespace

const QFont& QtSurface::font_of(FontHandle font) {
    const auto it = m_fonts.find(font);
    if (it != m_fonts.end()) return it->second;
    static const QFont fallback;
    return fallback;
}

const QImage& QtSurface::bitmap(const std::string& name) {
    auto it = m_bitmaps.find(name);
    if (it == m_bitmaps.end()) {
        QImage image(QStringLiteral(":/") + to_qt(name) + QStringLiteral(".xpm"));
        it = m_bitmaps.emplace(name, image.convertToFormat(QImage::Format_ARGB32_Premultiplied)).first;
    }
    return it->second;
}

void QtSurface::resize_surface(int width, int height, qreal ratio) {
    if (m_painter.isActive()) m_painter.end();
    // On a scaled screen the surface has the screen's pixels, so that text,
    // boxes and bitmaps are drawn sharp; everything above it keeps to
    // logical pixels, which the painter scales.
    m_surface = QImage(std::max(1, static_cast<int>(std::ceil(width * ratio))),
                       std::max(1, static_cast<int>(std::ceil(height * ratio))), QImage::Format_RGB32);
    m_surface.setDevicePixelRatio(ratio);
    m_surface.fill(Qt::black);
    m_painter.begin(&m_surface);
}

FontHandle QtSurface::create_font(const FontSpec& spec) {
    QFont font(to_qt(spec.face));
    font.setPixelSize(std::max(1, spec.height));
    font.setWeight(spec.weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setUnderline(spec.underline);
    font.setStyleStrategy(spec.smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    // The height asked for is the character cell (ascent + descent), as
    // the stored sizes mean it; scale the em size to match.
    const int cell = QFontMetrics(font).height();
    if (cell > 0 && cell != spec.height) {
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(spec.height * static_cast<double>(spec.height) / cell))));
    }
    const FontHandle handle = m_next_font++;
    m_fonts.emplace(handle, font);
    return handle;
}

void QtSurface::release_font(FontHandle font) { m_fonts.erase(font); }

int QtSurface::font_height(FontHandle font) { return QFontMetrics(font_of(font)).height(); }

TextExtent QtSurface::measure_text(FontHandle font, const std::string& text) {
    const QFontMetrics metrics(font_of(font));
    return TextExtent{metrics.horizontalAdvance(to_qt(text)), metrics.height()};
}

void QtSurface::draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) {
    if (!m_painter.isActive()) return;
    const QFont& f = font_of(font);
    m_painter.setFont(f);
    m_painter.setPen(qcolour(colour));
    m_painter.drawText(QPoint(x, y + QFontMetrics(f).ascent()), to_qt(text));
}

void QtSurface::set_clip(const Rect& clip) {
    if (!m_painter.isActive()) return;
    if (clip.right <= clip.left || clip.bottom <= clip.top) {
        m_painter.setClipping(false);
    } else {
        m_painter.setClipRect(qrect(clip));
    }
}

void QtSurface::fill_rect(const Rect& r, std::uint32_t colour) {
    if (m_painter.isActive()) m_painter.fillRect(qrect(r), qcolour(colour));
}

void QtSurface::frame_rect(const Rect& r, std::uint32_t colour) {
    if (!m_painter.isActive() || r.right <= r.left || r.bottom <= r.top) return;
    m_painter.setPen(QPen(qcolour(colour), 1));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(pixel_centred(r));
}

void QtSurface::dotted_rect(const Rect& r, std::uint32_t colour) {
    if (!m_painter.isActive() || r.right <= r.left || r.bottom <= r.top) return;
    m_painter.setPen(QPen(qcolour(colour), 1, Qt::DotLine));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(pixel_centred(r));
}

void QtSurface::draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    if (!m_painter.isActive()) return;
    m_painter.setPen(QPen(qcolour(colour), 1));
    m_painter.drawLine(QPointF(x1 + 0.5, y1 + 0.5), QPointF(x2 + 0.5, y2 + 0.5));
}

void QtSurface::invert_rect(const Rect& r) {
    if (!m_painter.isActive()) return;
    m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    m_painter.fillRect(qrect(r), Qt::white);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void QtSurface::blend_rect(const Rect& r, std::uint32_t colour, int alpha) {
    if (!m_painter.isActive()) return;
    QColor c = qcolour(colour);
    c.setAlpha(std::clamp(alpha, 0, 255));
    m_painter.fillRect(qrect(r), c);
}

void QtSurface::gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha) {
    if (!m_painter.isActive()) return;
    QLinearGradient gradient(0, r.top, 0, r.bottom);
    QColor a = qcolour(top), b = qcolour(bottom);
    a.setAlpha(std::clamp(alpha, 0, 255));
    b.setAlpha(std::clamp(alpha, 0, 255));
    gradient.setColorAt(0, a);
    gradient.setColorAt(1, b);
    m_painter.fillRect(qrect(r), gradient);
}

bool QtSurface::bitmap_size(const std::string& name, int& width, int& height) {
    const QImage& image = bitmap(name);
    width = image.width();
    height = image.height();
    return !image.isNull();
}

void QtSurface::draw_bitmap(const std::string& name, int x, int y) {
    const QImage& image = bitmap(name);
    if (m_painter.isActive() && !image.isNull()) m_painter.drawImage(QPoint(x, y), image);
}

void QtSurface::draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) return;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | pixels[static_cast<std::size_t>(y) * width + x];
    }
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.drawImage(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), image);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void QtSurface::save_surface() { m_saved.push_back(m_surface.copy()); }

void QtSurface::draw_saved_surface(const Rect& r) {
    if (!m_painter.isActive() || m_saved.empty()) return;
    const QImage& saved = m_saved.back();
    const qreal ratio = saved.devicePixelRatio();
    const QRect area = qrect(r);
    m_painter.drawImage(QRectF(area), saved,
                        QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
}

void QtSurface::free_saved_surface() {
    if (!m_saved.empty()) m_saved.pop_back();
}

std::uint32_t QtSurface::pixel(int x, int y) {
    const qreal ratio = m_surface.devicePixelRatio();
    const int dx = static_cast<int>(x * ratio), dy = static_cast<int>(y * ratio);
    if (!m_surface.valid(dx, dy)) return 0;
    return m_surface.pixel(dx, dy) & 0xFFFFFF;
}

}  // namespace domora
