// Wiping secrets: the plaintext image, the master password and the texts
// of forms that held them are overwritten before their memory is given back.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace domora {

// Overwrites the bytes in a way the compiler may not drop.
void wipe_bytes(void* data, std::size_t size);
// Overwrites the whole of the string's buffer, not just its length, then empties it.
void wipe(std::string& text);

// An allocator that wipes every block it frees, so that a container that
// grows leaves no copy of its old contents behind.
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) {
        wipe_bytes(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const {
        return true;
    }
};

using SecureBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// A string that wipes itself when it goes out of scope.
class ScopedSecret {
public:
    explicit ScopedSecret(std::string text = {}) : m_text(std::move(text)) {}
    ScopedSecret(const ScopedSecret&) = delete;
    ScopedSecret& operator=(const ScopedSecret&) = delete;
    ~ScopedSecret() { wipe(m_text); }
    std::string& text() { return m_text; }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace domora
