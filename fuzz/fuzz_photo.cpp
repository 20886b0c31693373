// Stored vehicle photos: any bytes are recognised or refused without harm,
// and a bitmap that decodes has exactly the pixels its size promises, within
// the limit that keeps a damaged header from asking for gigabytes.
#include <cstdlib>

#include "fuzz_support.h"
#include "platform/image.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)photo_format(bytes);
    Picture picture;
    if (decode_bitmap_file(bytes, picture)) {
        const std::int64_t area = static_cast<std::int64_t>(picture.width) * picture.height;
        if (picture.empty() || area > kMaxPicturePixels || picture.pixels.size() != static_cast<std::size_t>(area)) std::abort();
    } else if (!picture.empty() || !picture.pixels.empty()) {
        std::abort();  // a refused picture leaves nothing behind
    }
    return 0;
}
