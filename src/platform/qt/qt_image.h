// Pictures through Qt's image codecs. This header is free of Qt.
#pragma once

#include <memory>

#include "platform/image.h"

namespace domora {

// Needs no application object: it only reads, scales and writes images.
std::unique_ptr<ImageService> make_qt_image_service();

}  // namespace domora
