#include "platform/image.h"

#include <algorithm>
#include <cmath>

namespace domora {

namespace {

// Until a backend sets its own: no codecs at all.
class NoCodecs : public ImageService {
public:
    std::string resize_image(const std::string& source, const std::string&, int, int, int, bool) override {
        return "Resize Image Failed - GdipLoadImageFromFile - " + source;
    }
    bool decode_image(std::string_view, Picture& out) override {
        out = Picture{};
        return false;
    }
};

ImageService* g_service = nullptr;

}  // namespace

ImageService& image_service() {
    static NoCodecs none;
    return g_service ? *g_service : none;
}

void set_image_service(ImageService* service) { g_service = service; }

PhotoFormat photo_format(std::string_view bytes) {
    if (bytes.size() >= 10 && bytes.substr(6, 4) == "JFIF") return PhotoFormat::Jpeg;
    if (bytes.size() >= 4 && static_cast<unsigned char>(bytes[0]) == 0x89 && bytes.substr(1, 3) == "PNG") return PhotoFormat::Png;
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "BM") return PhotoFormat::Bitmap;
    return PhotoFormat::None;
}

CropArea crop_to_aspect(int width, int height, int target_width, int target_height) {
    CropArea area{0, 0, std::max(width, 0), std::max(height, 0)};
    if (width <= 0 || height <= 0 || target_width <= 0 || target_height <= 0) return area;
    const std::int64_t w = width, h = height, tw = target_width, th = target_height;
    // Portrait pictures lose their top and bottom, landscape ones their sides.
    // A landscape picture narrower than the target's aspect would need a band
    // wider than itself; it loses top and bottom instead, so that nothing is
    // stretched.
    const std::int64_t band_height = w * th / tw;
    const std::int64_t band_width = h * tw / th;
    const bool cut_height = (h >= w && band_height <= h) || band_width > w;
    if (cut_height) {
        area.height = static_cast<int>(std::max<std::int64_t>(1, std::min(band_height, h)));
        area.y = (height - area.height) / 2;
    } else {
        area.width = static_cast<int>(std::max<std::int64_t>(1, std::min(band_width, w)));
        area.x = (width - area.width) / 2;
    }
    return area;
}

void fit_without_crop(int width, int height, int target_width, int target_height, int& out_width, int& out_height) {
    out_width = std::max(width, 1);
    out_height = std::max(height, 1);
    if (width <= 0 || height <= 0) return;
    if (width < height) {
        out_height = std::min(target_height, height);
        out_width = static_cast<int>(std::lround(static_cast<double>(out_height) * width / height));
    } else {
        out_width = std::min(target_width, width);
        out_height = static_cast<int>(std::lround(static_cast<double>(out_width) * height / width));
    }
    out_width = std::max(out_width, 1);
    out_height = std::max(out_height, 1);
}

std::string encoder_mime_type(std::string_view extension) {
    std::string upper(extension);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    static const struct {
        const char* extension;
        const char* mime;
    } kEncoders[] = {
        {"BMP", "image/bmp"},   {"EMF", "image/x-emf"}, {"GIF", "image/gif"},   {"ICO", "image/x-icon"},
        {"JPG", "image/jpeg"},  {"JPEG", "image/jpeg"}, {"PNG", "image/png"},   {"TIF", "image/tiff"},
        {"TIFF", "image/tiff"}, {"WMF", "image/x-wmf"},
    };
    for (const auto& e : kEncoders) {
        if (upper == e.extension) return e.mime;
    }
    return {};
}

bool decode_photo(std::string_view bytes, Picture& out) {
    out = Picture{};
    bool ok = false;
    switch (photo_format(bytes)) {
        case PhotoFormat::Jpeg:
        case PhotoFormat::Png: ok = image_service().decode_image(bytes, out); break;
        case PhotoFormat::Bitmap: ok = decode_bitmap_file(bytes, out); break;
        case PhotoFormat::None: break;
    }
    // Whatever a codec gave back is checked before anything draws it.
    if (!ok || out.empty() || out.pixels.size() != static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height)) {
        out = Picture{};
        return false;
    }
    return true;
}

}  // namespace domora
