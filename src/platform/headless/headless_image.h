// A scripted image service for tests: it records what it is asked, writes
// what the test gives it, and decodes to the picture the test sets. Tests
// that need real codecs use the Qt service, which runs without a window.
#pragma once

#include <string>
#include <vector>

#include "platform/image.h"

namespace domora {

class HeadlessImageService : public ImageService {
public:
    struct ResizeCall {
        std::string source;
        std::string target;
        int width = 0;
        int height = 0;
        int quality = 0;
        bool crop = false;
    };
    std::vector<ResizeCall> resize_calls;
    // What resize_image writes to its target. With resize_failure set it
    // writes nothing and answers that line.
    std::string resize_output{"\xFF\xD8\xFF\xE0\x00\x10JFIF\x00 scripted", 20};
    std::string resize_failure;

    // JPEG and PNG bytes decode to this picture; an empty one fails.
    Picture decoded{4, 3, std::vector<std::uint32_t>(12, 0x336699)};
    int decode_calls = 0;

    // What picture_size says of every file: a picture of this size, or none.
    bool known_picture = true;
    int picture_width = 1600;
    int picture_height = 1200;

    std::string resize_image(const std::string& source, const std::string& target, int width, int height, int quality,
                             bool crop) override;
    bool picture_size(const std::string&, int& width, int& height) override {
        width = known_picture ? picture_width : 0;
        height = known_picture ? picture_height : 0;
        return known_picture;
    }
    bool decode_image(std::string_view bytes, Picture& out) override;
};

}  // namespace domora
