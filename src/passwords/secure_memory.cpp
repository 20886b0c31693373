#include "passwords/secure_memory.h"

#include <string.h>

namespace domora {

void wipe_bytes(void* data, std::size_t size) {
    if (data != nullptr && size > 0) explicit_bzero(data, size);
}

void wipe(std::string& text) {
    // Growing to the capacity never reallocates, and makes every byte that
    // ever held part of the text reachable.
    text.resize(text.capacity());
    wipe_bytes(text.data(), text.size());
    text.clear();
}

}  // namespace domora
