#include "platform/qt/qt_image.h"

#include <QtCore/QBuffer>
#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtGui/QImage>
#include <QtGui/QImageReader>
#include <QtGui/QImageWriter>
#include <QtGui/QPainter>

#include "platform/cp1252.h"

namespace domora {

namespace {

QString to_qt(const std::string& cp1252) { return QString::fromStdString(cp1252_to_utf8(cp1252)); }

// Qt's name for the writer of each MIME type of the encoder table; the
// Windows metafile formats have no writer here.
QByteArray qt_format_of(const std::string& mime) {
    if (mime == "image/bmp") return "bmp";
    if (mime == "image/gif") return "gif";
    if (mime == "image/x-icon") return "ico";
    if (mime == "image/jpeg") return "jpeg";
    if (mime == "image/png") return "png";
    if (mime == "image/tiff") return "tiff";
    return {};
}

// Formats without alpha: a transparent picture goes onto white, not black.
QImage flattened(const QImage& image) {
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

bool too_large(const QSize& size) {
    return static_cast<std::int64_t>(size.width()) * size.height() > kMaxPicturePixels;
}

class QtImageService : public ImageService {
public:
    std::string resize_image(const std::string& source, const std::string& target, int width, int height, int quality,
                             bool crop) override {
        QImageReader reader(to_qt(source));
        // Phones and cameras store pictures as the sensor saw them and say in
        // the EXIF data how to turn them; a portrait must not end up lying down.
        reader.setAutoTransform(true);
        QImage picture;
        if (!reader.canRead() || too_large(reader.size()) || !reader.read(&picture) || picture.isNull()) {
            return "Resize Image Failed - GdipLoadImageFromFile - " + source;
        }
        const int w = picture.width(), h = picture.height();
        if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return "Resize Image Failed - GetImageDimension";

        QRect from(0, 0, w, h);
        int out_width = width, out_height = height;
        if (crop) {
            const CropArea area = crop_to_aspect(w, h, width, height);
            from = QRect(area.x, area.y, area.width, area.height);
        } else {
            fit_without_crop(w, h, width, height, out_width, out_height);
        }

        const std::size_t dot = target.rfind('.');
        const std::size_t slash = target.rfind('/');
        const std::string extension =
            dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : target.substr(dot + 1);
        const QByteArray format = qt_format_of(encoder_mime_type(extension));
        if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
            return "Resize Image Failed - Extension: " + extension;
        }

        QImage scaled = picture.copy(from).scaled(out_width, out_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (format == "jpeg" || format == "bmp") scaled = flattened(scaled);
        QImageWriter writer(to_qt(target), format);
        if (format == "jpeg") writer.setQuality(quality);
        if (!writer.write(scaled)) {
            QFile::remove(to_qt(target));
            return "Resize Image Failed - Failed File Save: " + target;
        }
        return {};
    }

    bool picture_size(const std::string& path, int& width, int& height) override {
        QImageReader reader(to_qt(path));
        width = height = 0;
        if (!reader.canRead()) return false;
        const QSize size = reader.size();
        if (size.isValid()) {
            width = size.width();
            height = size.height();
        }
        return true;
    }

    bool decode_image(std::string_view bytes, Picture& out) override {
        out = Picture{};
        QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        QImage image;
        if (!reader.canRead() || too_large(reader.size()) || !reader.read(&image) || image.isNull()) return false;
        image = flattened(image);
        out.width = image.width();
        out.height = image.height();
        out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
        for (int y = 0; y < out.height; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < out.width; ++x) out.pixels[static_cast<std::size_t>(y) * out.width + x] = line[x] & 0xFFFFFF;
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<ImageService> make_qt_image_service() { return std::make_unique<QtImageService>(); }

}  // namespace domora
