// Wiping secrets: the plaintext image, the master password and the texts
// of forms that held them are overwritten before their memory is given back.
// The image and the master password live in pages of their own that are
// kept out of swap where the system allows it and out of core dumps.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace domora {

// Overwrites the bytes in a way the compiler may not drop.
void wipe_bytes(void* data, std::size_t size);
// Overwrites the whole of the string's buffer, not just its length, then empties it.
void wipe(std::string& text);

// Whole pages for a secret: locked in memory where the limits allow it
// (quietly not where they do not) and left out of core dumps. Null when no
// memory can be had.
void* allocate_secret_pages(std::size_t size);
// Wipes the pages, then gives them back.
void free_secret_pages(void* data, std::size_t size);

// An allocator that keeps its blocks in secret pages and wipes every block
// it frees, so that a container that grows leaves no copy of its old
// contents behind.
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* block = allocate_secret_pages(n * sizeof(T));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* p, std::size_t n) { free_secret_pages(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const {
        return true;
    }
};

using SecureBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// A short secret text (a master password, a copied value) in a secret page
// of its own, wiped whenever it changes and when it goes.
class SecretText {
public:
    static constexpr std::size_t kCapacity = 4095;
    SecretText() = default;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText();
    // Takes at most kCapacity bytes of text.
    void assign(std::string_view text);
    void clear();
    std::string_view view() const { return std::string_view(m_data, m_size); }
    bool empty() const { return m_size == 0; }
    // Where the text lives; null before the first text.
    const void* data() const { return m_data; }

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
};

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
