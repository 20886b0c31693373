#include "platform/qt/qt_print.h"

#include <QtCore/QStringList>
#include <QtGui/QFont>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontMetrics>
#include <QtGui/QImage>
#include <QtGui/QPageLayout>
#include <QtGui/QPageSize>
#include <QtGui/QPainter>
#include <QtGui/QPen>
#include <QtPrintSupport/QPrintDialog>
#include <QtPrintSupport/QPrintEngine>
#include <QtPrintSupport/QPrinter>
#include <QtPrintSupport/QPrinterInfo>

#include <cerrno>
#include <cstring>
#include <map>

#include "platform/cp1252.h"

namespace domora {

namespace {

QString to_qt(const std::string& bytes) { return QString::fromStdString(cp1252_to_utf8(bytes)); }
std::string from_qt(const QString& text) { return utf8_to_cp1252(text.toStdString()); }

// The CUPS print engine keeps the options the properties dialog chose under
// this engine property, as a list of name, value, name, value, ...
const auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

QPageSize page_size_of(int paper) {
    switch (paper) {
        case kPaperLegal: return QPageSize(QPageSize::Legal);
        case kPaperStatement: return QPageSize(QPageSize::Statement);
        case kPaperA4: return QPageSize(QPageSize::A4);
        case kPaperA5: return QPageSize(QPageSize::A5);
        default: return QPageSize(QPageSize::Letter);
    }
}

// Options text ("name=value" lines) into the printer, and back.
void apply_options(QPrinter& printer, const std::string& options) {
    QStringList cups;
    std::size_t pos = 0;
    while (pos < options.size()) {
        std::size_t end = options.find('\n', pos);
        if (end == std::string::npos) end = options.size();
        const std::string line = options.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "sides") {
            printer.setDuplex(value == "two-sided-long-edge"    ? QPrinter::DuplexLongSide
                              : value == "two-sided-short-edge" ? QPrinter::DuplexShortSide
                                                                : QPrinter::DuplexNone);
        } else if (name == "print-color-mode") {
            printer.setColorMode(value == "monochrome" ? QPrinter::GrayScale : QPrinter::Color);
        } else {
            cups << to_qt(name) << to_qt(value);
        }
    }
    if (!cups.isEmpty() && printer.printEngine()) printer.printEngine()->setProperty(kCupsOptions, cups);
}

std::string options_of(QPrinter& printer) {
    std::string out;
    std::map<std::string, std::string> seen;
    if (printer.printEngine()) {
        const QStringList cups = printer.printEngine()->property(kCupsOptions).toStringList();
        for (int i = 0; i + 1 < cups.size(); i += 2) seen[from_qt(cups[i])] = from_qt(cups[i + 1]);
    }
    switch (printer.duplex()) {
        case QPrinter::DuplexLongSide: seen["sides"] = "two-sided-long-edge"; break;
        case QPrinter::DuplexShortSide: seen["sides"] = "two-sided-short-edge"; break;
        default: seen["sides"] = "one-sided"; break;
    }
    seen["print-color-mode"] = printer.colorMode() == QPrinter::GrayScale ? "monochrome" : "color";
    // Page size, orientation and copies are the print settings' own business.
    for (const char* ours : {"media", "PageSize", "orientation-requested", "landscape", "copies", "number-up"}) seen.erase(ours);
    for (const auto& [name, value] : seen) {
        if (name.find_first_of("=\n") != std::string::npos || value.find('\n') != std::string::npos) continue;
        out += name + "=" + value + "\n";
    }
    return out;
}

class QtPrintService : public PrintService {
public:
    ~QtPrintService() override {
        if (m_painter.isActive()) m_painter.end();
    }

    std::vector<std::string> printers() override {
        std::vector<std::string> out;
        for (const QString& name : QPrinterInfo::availablePrinterNames()) out.push_back(from_qt(name));
        return out;
    }

    std::string default_printer() override { return from_qt(QPrinterInfo::defaultPrinterName()); }

    std::string printer_options(const std::string&) override { return {}; }

    bool printer_properties(std::string& printer, std::string& options, int orientation, int paper) override {
        const QPrinterInfo info = QPrinterInfo::printerInfo(to_qt(printer));
        if (info.isNull()) return true;  // nothing to ask about
        QPrinter p(info, QPrinter::HighResolution);
        p.setPageSize(page_size_of(paper));
        p.setPageOrientation(orientation == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        apply_options(p, options);
        QPrintDialog dialog(&p);
        dialog.setWindowTitle(QStringLiteral("Printer Properties"));
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        if (dialog.exec() != QDialog::Accepted) return false;
        if (p.outputFormat() == QPrinter::NativeFormat && !p.printerName().isEmpty()) printer = from_qt(p.printerName());
        options = options_of(p);
        return true;
    }

    std::vector<std::string> font_families(const std::string&) override {
        std::vector<std::string> out;
        for (const QString& family : QFontDatabase::families()) out.push_back(from_qt(family));
        return out;
    }

    bool open_device(const PrintDevice& device, PrintCaps& caps) override {
        close_device();
        if (device.printer == kSaveAsPdf) {
            if (device.output_file.empty()) return false;
            m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            m_printer->setOutputFormat(QPrinter::PdfFormat);
            m_printer->setOutputFileName(to_qt(device.output_file));
            m_printer->setResolution(1200);
        } else {
            const QPrinterInfo info = QPrinterInfo::printerInfo(to_qt(device.printer));
            if (info.isNull()) {
                m_error = ENODEV;
                return false;
            }
            m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
            apply_options(*m_printer, device.options);
        }
        m_printer->setDocName(QStringLiteral("Domora"));
        m_printer->setPageSize(page_size_of(device.paper));
        m_printer->setPageOrientation(device.orientation == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        m_printer->setFullPage(false);
        m_printer->setPageMargins(m_printer->pageLayout().minimumMargins(), m_printer->pageLayout().units());
        if (!m_printer->isValid()) {
            m_printer.reset();
            m_error = ENODEV;
            return false;
        }
        const QRect paper = m_printer->paperRect(QPrinter::DevicePixel).toRect();
        const QRect page = m_printer->pageRect(QPrinter::DevicePixel).toRect();
        caps.dpi_x = m_printer->logicalDpiX();
        caps.dpi_y = m_printer->logicalDpiY();
        caps.page_width = paper.width();
        caps.page_height = paper.height();
        caps.printable_width = page.width();
        caps.printable_height = page.height();
        caps.offset_x = page.left() - paper.left();
        caps.offset_y = page.top() - paper.top();
        m_pages = 0;
        m_error = 0;
        return true;
    }

    int start_document(const std::string&) override {
        if (!m_printer) return 0;
        // Painting on a printer starts the document and its first page.
        if (!m_painter.begin(m_printer.get())) {
            m_error = EIO;
            return 0;
        }
        return 1;
    }

    int start_page() override {
        if (!m_painter.isActive()) return 0;
        if (m_pages > 0 && !m_printer->newPage()) {
            m_error = EIO;
            return 0;
        }
        ++m_pages;
        m_painter.setClipping(false);
        return 1;
    }

    int end_page() override { return m_painter.isActive() ? 1 : 0; }

    int end_document() override {
        if (!m_painter.isActive()) return 0;
        if (!m_painter.end()) {
            m_error = EIO;
            return 0;
        }
        return 1;
    }

    int last_error() override { return m_error; }
    std::string error_text(int error) override { return std::strerror(error); }

    void close_device() override {
        if (m_painter.isActive()) m_painter.end();
        m_fonts.clear();
        m_printer.reset();
    }

    FontHandle create_font(const FontSpec& spec) override {
        QFont font(to_qt(spec.face));
        font.setPixelSize(std::max(1, spec.height));
        font.setWeight(spec.weight >= 700 ? QFont::Bold : QFont::Normal);
        font.setUnderline(spec.underline);
        const FontHandle handle = m_next_font++;
        m_fonts.emplace(handle, font);
        return handle;
    }

    void release_font(FontHandle font) override { m_fonts.erase(font); }

    TextExtent measure_text(FontHandle font, const std::string& text) override {
        const QFontMetrics metrics = metrics_of(font);
        return TextExtent{metrics.horizontalAdvance(to_qt(text)), metrics.height()};
    }

    void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) override {
        if (!m_painter.isActive()) return;
        m_painter.setFont(font_of(font));
        m_painter.setPen(QColor::fromRgb(colour));
        m_painter.drawText(QPoint(x, y + metrics_of(font).ascent()), to_qt(text));
    }

    void set_clip(const Rect& clip) override {
        if (!m_painter.isActive()) return;
        if (clip.right <= clip.left || clip.bottom <= clip.top) {
            m_painter.setClipping(false);
        } else {
            m_painter.setClipRect(QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
        }
    }

    void fill_rect(const Rect& r, std::uint32_t colour) override {
        if (!m_painter.isActive() || r.right <= r.left || r.bottom <= r.top) return;
        m_painter.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), QColor::fromRgb(colour));
    }

    void frame_rect(const Rect& r, int line_width, std::uint32_t colour) override {
        const int w = std::max(1, line_width);
        fill_rect(Rect{r.left, r.top, r.right, r.top + w}, colour);
        fill_rect(Rect{r.left, r.bottom - w, r.right, r.bottom}, colour);
        fill_rect(Rect{r.left, r.top, r.left + w, r.bottom}, colour);
        fill_rect(Rect{r.right - w, r.top, r.right, r.bottom}, colour);
    }

    void draw_line(int x1, int y1, int x2, int y2, int line_width, std::uint32_t colour) override {
        if (!m_painter.isActive()) return;
        // A pen rather than filled pixels, so that a PDF keeps it as a line.
        m_painter.setPen(QPen(QColor::fromRgb(colour), std::max(1, line_width), Qt::SolidLine, Qt::FlatCap));
        m_painter.drawLine(QPoint(x1, y1), QPoint(x2, y2));
    }

    void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) override {
        if (!m_painter.isActive() || width <= 0 || height <= 0 ||
            pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
            return;
        }
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | pixels[static_cast<std::size_t>(y) * width + x];
        }
        m_painter.drawImage(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), image);
    }

private:
    const QFont& font_of(FontHandle font) {
        const auto it = m_fonts.find(font);
        static const QFont fallback;
        return it == m_fonts.end() ? fallback : it->second;
    }
    QFontMetrics metrics_of(FontHandle font) {
        if (m_printer) return QFontMetrics(font_of(font), m_printer.get());
        return QFontMetrics(font_of(font));
    }

    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
    std::map<FontHandle, QFont> m_fonts;
    FontHandle m_next_font = 1;
    int m_pages = 0;
    int m_error = 0;
};

}  // namespace

std::unique_ptr<PrintService> make_qt_print_service() { return std::make_unique<QtPrintService>(); }

}  // namespace domora
