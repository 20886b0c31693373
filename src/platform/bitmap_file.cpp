// Bitmap files (".bmp") read straight from memory: the 14-byte file header,
// the info header in its old 12-byte form or any of the 40-byte and longer
// ones, and uncompressed pixels of 1, 4, 8, 16, 24 or 32 bits with or
// without bit-field masks. Every field is checked against the bytes there
// are before it is used.
#include <cstdint>
#include <cstdlib>

#include "platform/image.h"

namespace domora {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

std::uint32_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

std::uint32_t u32(std::string_view b, std::size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1u) == 0) ++shift;
        max = mask >> shift;
    }
    std::uint32_t of(std::uint32_t pixel) const {
        if (max == 0) return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
    }
};

}  // namespace

bool decode_bitmap_file(std::string_view bytes, Picture& out) {
    out = Picture{};
    if (bytes.size() < kFileHeaderSize + 12 || bytes.substr(0, 2) != "BM") return false;
    const std::uint32_t pixels_at = u32(bytes, 10);
    const std::uint32_t info_size = u32(bytes, kFileHeaderSize);
    if (info_size < 12 || info_size > bytes.size() - kFileHeaderSize) return false;
    const std::size_t info = kFileHeaderSize;

    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = kUncompressed, colours_used = 0;
    std::size_t palette_entry = 4;
    if (info_size == 12) {
        width = u16(bytes, info + 4);
        height = static_cast<std::int16_t>(u16(bytes, info + 6));
        bits = u16(bytes, info + 10);
        palette_entry = 3;
    } else {
        if (info_size < 40) return false;
        width = static_cast<std::int32_t>(u32(bytes, info + 4));
        height = static_cast<std::int32_t>(u32(bytes, info + 8));
        bits = u16(bytes, info + 14);
        compression = u32(bytes, info + 16);
        colours_used = u32(bytes, info + 32);
    }
    const bool top_down = height < 0;
    height = std::llabs(height);
    if (width <= 0 || height <= 0 || width * height > kMaxPicturePixels) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

    // The masks: inside a long header, or just after a 40-byte one.
    std::uint32_t masks[3] = {0, 0, 0};
    std::size_t after_header = info + info_size;
    if (compression == kBitFields || compression == kAlphaBitFields) {
        if (bits != 16 && bits != 32) return false;
        std::size_t masks_at = info + 40;
        if (info_size == 40) {
            const std::size_t extra = compression == kBitFields ? 12 : 16;
            if (bytes.size() < after_header + extra) return false;
            after_header += extra;
        } else if (info_size < 52) {
            return false;
        }
        for (int i = 0; i < 3; ++i) masks[i] = u32(bytes, masks_at + 4 * static_cast<std::size_t>(i));
    } else if (compression != kUncompressed) {
        return false;  // run-length encoded and embedded JPEG or PNG bitmaps are not read
    } else if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bits == 24 || bits == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }

    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        std::size_t count = colours_used == 0 || colours_used > (1u << bits) ? (1u << bits) : colours_used;
        const std::size_t room = after_header <= bytes.size() ? (bytes.size() - after_header) / palette_entry : 0;
        if (count > room) count = room;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = after_header + i * palette_entry;
            palette.push_back(static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
                              static_cast<unsigned char>(bytes[at]));
        }
    }

    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (pixels_at > bytes.size() || stride * static_cast<std::uint64_t>(height) > bytes.size() - pixels_at) return false;

    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.pixels.resize(static_cast<std::size_t>(width * height));
    for (std::int64_t y = 0; y < height; ++y) {
        const std::size_t row = pixels_at + static_cast<std::size_t>(stride) * static_cast<std::size_t>(top_down ? y : height - 1 - y);
        std::uint32_t* target = &out.pixels[static_cast<std::size_t>(y * width)];
        for (std::int64_t x = 0; x < width; ++x) {
            std::uint32_t colour = 0;
            if (bits <= 8) {
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const unsigned byte = static_cast<unsigned char>(bytes[row + bit / 8]);
                const unsigned index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                colour = index < palette.size() ? palette[index] : 0;
            } else {
                const std::size_t at = row + static_cast<std::size_t>(x) * (bits / 8);
                const std::uint32_t raw = bits == 16   ? u16(bytes, at)
                                          : bits == 24 ? u16(bytes, at) | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16
                                                       : u32(bytes, at);
                colour = red.of(raw) << 16 | green.of(raw) << 8 | blue.of(raw);
            }
            target[x] = colour;
        }
    }
    return true;
}

}  // namespace domora
