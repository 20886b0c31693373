#include "passwords/secure_memory.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace domora {

namespace {

std::size_t page_rounded(std::size_t size) {
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (std::max<std::size_t>(size, 1) + page - 1) / page * page;
}

}  // namespace

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

void* allocate_secret_pages(std::size_t size) {
    const std::size_t length = page_rounded(size);
    void* block = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    // Both are a protection, not a need: an unprivileged process may lock
    // only a little, and some kernels know no MADV_DONTDUMP.
    (void)::mlock(block, length);
#ifdef MADV_DONTDUMP
    (void)::madvise(block, length, MADV_DONTDUMP);
#endif
    return block;
}

void free_secret_pages(void* data, std::size_t size) {
    if (data == nullptr) return;
    const std::size_t length = page_rounded(size);
    wipe_bytes(data, length);
    (void)::munlock(data, length);
    ::munmap(data, length);
}

SecretText::~SecretText() { free_secret_pages(m_data, kCapacity + 1); }

void SecretText::assign(std::string_view text) {
    if (m_data == nullptr) {
        m_data = static_cast<char*>(allocate_secret_pages(kCapacity + 1));
        if (m_data == nullptr) throw std::bad_alloc();
    }
    // The text may be a part of this one.
    const std::size_t size = std::min(text.size(), kCapacity);
    // An empty view may have no memory behind it, which memmove must not be given.
    if (size > 0) ::memmove(m_data, text.data(), size);
    wipe_bytes(m_data + size, kCapacity + 1 - size);
    m_size = size;
}

void SecretText::clear() {
    if (m_data != nullptr) wipe_bytes(m_data, kCapacity + 1);
    m_size = 0;
}

}  // namespace domora
