// Pictures: turning a picture file into the small photo a vehicle record
// stores, and stored photo bytes back into pixels to draw.
//
// The conversion needs real image codecs, so it sits behind an ImageService
// that each backend provides (Qt's codecs for users, a scripted one for
// tests). Recognising a stored photo and reading bitmap files is plain code
// over bytes, the same everywhere.
//
// Paths are Windows-1252 byte strings, as everywhere in the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace domora {

// Pixels 0xRRGGBB, row by row from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    bool empty() const { return width <= 0 || height <= 0; }
};

// Pictures larger than this are refused rather than decoded: no stored photo
// is anywhere near it, and a damaged header must not ask for gigabytes.
inline constexpr std::int64_t kMaxPicturePixels = 40'000'000;

// What stored photo bytes hold: a JPEG carrying the JFIF marker ("JFIF" at
// offset 6), a PNG (0x89 "PNG") or a bitmap file ("BM"). Anything else is
// not shown.
enum class PhotoFormat { None, Jpeg, Png, Bitmap };
PhotoFormat photo_format(std::string_view bytes);

// The part of a width x height picture kept when it is cut around its centre
// to the target's aspect.
struct CropArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
CropArea crop_to_aspect(int width, int height, int target_width, int target_height);
// The output size without cutting: the picture's aspect, no larger than the
// target in its longer direction and never enlarged.
void fit_without_crop(int width, int height, int target_width, int target_height, int& out_width, int& out_height);

// The MIME type of the encoder that writes a file with this extension
// ("jpg", "PNG", ...), or "" when there is none.
std::string encoder_mime_type(std::string_view extension);

// A bitmap file held in memory, decoded. False for anything damaged, cut
// short or of a kind it does not read; out is then empty.
bool decode_bitmap_file(std::string_view bytes, Picture& out);

class ImageService {
public:
    virtual ~ImageService() = default;

    // Loads the picture at source (turned as its EXIF orientation says),
    // cuts it to the target's aspect when crop is on, scales it smoothly to
    // width x height (crop on) or within them (crop off), and writes it to
    // target with the encoder that the target's extension names, JPEG at
    // quality (0..100). Returns "" when target was written, else the
    // status-log line that says what failed.
    virtual std::string resize_image(const std::string& source, const std::string& target, int width, int height,
                                     int quality, bool crop) = 0;
    // Decodes JPEG or PNG bytes. False when they cannot be decoded.
    virtual bool decode_image(std::string_view bytes, Picture& out) = 0;
    // Looks at the picture file at path without decoding it: false when the
    // codecs do not know it as a picture; else its size in pixels (0 x 0 when
    // its header does not say).
    virtual bool picture_size(const std::string& path, int& width, int& height) {
        (void)path;
        width = height = 0;
        return false;
    }
};

// The service in use; one without codecs (every call fails) until a backend
// sets its own.
ImageService& image_service();
void set_image_service(ImageService* service);

// Stored photo bytes as pixels: JPEG and PNG through the image service,
// bitmap files here. False (out empty) for bytes of another kind and for
// damaged ones.
bool decode_photo(std::string_view bytes, Picture& out);

}  // namespace domora
