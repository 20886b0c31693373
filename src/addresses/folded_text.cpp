#include "addresses/folded_text.h"

#include "app/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace domora {

FoldedText::FoldedText(std::string wanted) : m_wanted(std::move(wanted)) {
    for (int c = 0; c < 256; ++c) m_fold[c] = upper_byte(static_cast<unsigned char>(c));
    const auto first = static_cast<unsigned char>(m_wanted[0]);
    m_first_a = m_first_b = first;
    bool found_a = false;
    for (int c = 0; c < 256; ++c) {
        if (m_fold[c] != first) continue;
        if (!found_a) {
            m_first_a = m_first_b = static_cast<unsigned char>(c);
            found_a = true;
        } else {
            m_first_b = static_cast<unsigned char>(c);
        }
    }
}

bool FoldedText::matches_at(std::string_view bytes, std::size_t at) const {
    if (bytes.size() - at < m_wanted.size()) return false;
    for (std::size_t k = 1; k < m_wanted.size(); ++k) {
        if (m_fold[static_cast<unsigned char>(bytes[at + k])] != static_cast<unsigned char>(m_wanted[k])) return false;
    }
    return true;
}

bool FoldedText::in(std::string_view bytes) const {
    if (bytes.size() < m_wanted.size()) return false;
    const std::size_t last_start = bytes.size() - m_wanted.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time look for the first wanted byte in either case.
    const __m128i a = _mm_set1_epi8(static_cast<char>(m_first_a));
    const __m128i b = _mm_set1_epi8(static_cast<char>(m_first_b));
    for (; i + 16 <= bytes.size() && i <= last_start; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, a), _mm_cmpeq_epi8(block, b))));
        while (mask != 0) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (at <= last_start && matches_at(bytes, at)) return true;
            mask &= mask - 1;
        }
    }
#endif
    for (; i <= last_start; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if ((c == m_first_a || c == m_first_b) && matches_at(bytes, i)) return true;
    }
    return false;
}

}  // namespace domora
