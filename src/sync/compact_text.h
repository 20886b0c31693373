// A short text held by one pointer: the href, ETag and UID of every contact
// of a book, which a std::string would hold in four times the room.
#pragma once

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

namespace domora {

class CompactText {
public:
    CompactText() = default;
    // Implicit: a text is stored wherever one is expected.
    CompactText(std::string_view text) { assign(text); }  // NOLINT(google-explicit-constructor)
    CompactText(const std::string& text) : CompactText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    CompactText(const char* text) : CompactText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    CompactText(const CompactText& other) { assign(other.view()); }
    CompactText(CompactText&& other) noexcept : m_data(std::exchange(other.m_data, nullptr)) {}
    CompactText& operator=(const CompactText& other) {
        if (this != &other) assign(other.view());
        return *this;
    }
    CompactText& operator=(CompactText&& other) noexcept {
        if (this != &other) {
            delete[] m_data;
            m_data = std::exchange(other.m_data, nullptr);
        }
        return *this;
    }
    CompactText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }
    CompactText& operator=(const std::string& text) { return *this = std::string_view(text); }
    CompactText& operator=(const char* text) { return *this = std::string_view(text); }
    ~CompactText() { delete[] m_data; }

    std::string_view view() const {
        if (m_data == nullptr) return {};
        std::uint32_t size = 0;
        std::memcpy(&size, m_data, sizeof size);
        return {m_data + sizeof size, size};
    }
    operator std::string_view() const { return view(); }  // NOLINT(google-explicit-constructor)
    std::string str() const { return std::string(view()); }
    bool empty() const { return m_data == nullptr; }
    std::size_t size() const { return view().size(); }

    friend bool operator==(const CompactText& a, const CompactText& b) { return a.view() == b.view(); }
    friend bool operator==(const CompactText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const CompactText& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const CompactText& a, const char* b) { return a.view() == b; }
    friend std::string operator+(const std::string& a, const CompactText& b) { return a + std::string(b.view()); }
    friend std::string operator+(const CompactText& a, const std::string& b) { return std::string(a.view()) + b; }
    friend std::string operator+(const char* a, const CompactText& b) { return a + std::string(b.view()); }
    friend std::string operator+(const CompactText& a, const char* b) { return std::string(a.view()) + b; }

private:
    void assign(std::string_view text) {
        // Its own bytes may be what is assigned: the old ones go last.
        char* data = nullptr;
        if (!text.empty()) {
            const auto size = static_cast<std::uint32_t>(text.size());
            data = new char[sizeof size + text.size()];
            std::memcpy(data, &size, sizeof size);
            std::memcpy(data + sizeof size, text.data(), text.size());
        }
        delete[] m_data;
        m_data = data;
    }

    char* m_data = nullptr;  // the length (u32) and the bytes; null for the empty text
};

std::ostream& operator<<(std::ostream& out, const CompactText& text);

}  // namespace domora
