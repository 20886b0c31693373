#include "platform/headless/headless_image.h"

#include <fcntl.h>

#include "platform/headless/headless_platform.h"

namespace domora {

std::string HeadlessImageService::resize_image(const std::string& source, const std::string& target, int width, int height,
                                               int quality, bool crop) {
    resize_calls.push_back(ResizeCall{source, target, width, height, quality, crop});
    if (!resize_failure.empty()) return resize_failure;
    Platform& os = platform();
    const int fd = os.sys_open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return "Resize Image Failed - Failed File Save: " + target;
    const long written = os.sys_write(fd, resize_output.data(), resize_output.size());
    os.sys_close(fd);
    if (written != static_cast<long>(resize_output.size())) return "Resize Image Failed - Failed File Save: " + target;
    return {};
}

bool HeadlessImageService::decode_image(std::string_view, Picture& out) {
    ++decode_calls;
    out = decoded;
    return !out.empty();
}

// ---- drawing a picture on the headless surface ----------------------------------------------------

void HeadlessPlatform::draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) {
    drawn_images.push_back(DrawnImage{r, width, height});
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (width <= 0 || height <= 0 || w <= 0 || h <= 0 ||
        pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return;
    }
    for (int y = 0; y < h; ++y) {
        const std::size_t sy = static_cast<std::size_t>(static_cast<long long>(y) * height / h);
        for (int x = 0; x < w; ++x) {
            const std::size_t sx = static_cast<std::size_t>(static_cast<long long>(x) * width / w);
            put(r.left + x, r.top + y, pixels[sy * static_cast<std::size_t>(width) + sx]);
        }
    }
}

}  // namespace domora
