// The portable engine: the round function as four table lookups per column
// (SubBytes, ShiftRows and MixColumns folded into one table), with the
// tables derived at compile time from the field arithmetic of FIPS-197.
#include <array>
#include <cstdint>

#include "passwords/aes/aes_engines.h"

namespace domora::aes::detail {

namespace {

// ---- GF(2^8) and the S-box ------------------------------------------------------------------

constexpr std::uint8_t xtime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00));
}

constexpr std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t rotate_left(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

struct Boxes {
    std::array<std::uint8_t, 256> forward{};
    std::array<std::uint8_t, 256> inverse{};
};

constexpr Boxes make_boxes() {
    // Powers of the generator 0x03 give every non-zero element; its
    // logarithm table gives the multiplicative inverse in one step.
    std::array<std::uint8_t, 256> power{};
    std::array<std::uint8_t, 256> log{};
    std::uint8_t p = 1;
    for (int i = 0; i < 255; ++i) {
        power[static_cast<std::size_t>(i)] = p;
        log[p] = static_cast<std::uint8_t>(i);
        p = static_cast<std::uint8_t>(p ^ xtime(p));
    }
    Boxes boxes;
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t inverse =
            x == 0 ? 0 : power[static_cast<std::size_t>((255 - log[static_cast<std::size_t>(x)]) % 255)];
        // The affine transformation of section 5.1.1.
        const std::uint8_t s = static_cast<std::uint8_t>(inverse ^ rotate_left(inverse, 1) ^ rotate_left(inverse, 2) ^
                                                         rotate_left(inverse, 3) ^ rotate_left(inverse, 4) ^ 0x63);
        boxes.forward[static_cast<std::size_t>(x)] = s;
        boxes.inverse[s] = static_cast<std::uint8_t>(x);
    }
    return boxes;
}

constexpr Boxes kBoxes = make_boxes();

constexpr std::uint32_t word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return (static_cast<std::uint32_t>(b0) << 24) | (static_cast<std::uint32_t>(b1) << 16) |
           (static_cast<std::uint32_t>(b2) << 8) | b3;
}

constexpr std::uint32_t rotate_right(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// ---- round tables ------------------------------------------------------------------------------

using Table = std::array<std::uint32_t, 256>;
struct Tables {
    std::array<Table, 4> encrypt{};
    std::array<Table, 4> decrypt{};
};

constexpr Tables make_tables() {
    Tables t;
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t s = kBoxes.forward[static_cast<std::size_t>(x)];
        const std::uint8_t v = kBoxes.inverse[static_cast<std::size_t>(x)];
        // One column of MixColumns (2 3 1 1) and of InvMixColumns (e b d 9),
        // each table a rotation of the first.
        const std::uint32_t e = word(multiply(s, 2), s, s, multiply(s, 3));
        const std::uint32_t d = word(multiply(v, 0x0e), multiply(v, 0x09), multiply(v, 0x0d), multiply(v, 0x0b));
        for (int r = 0; r < 4; ++r) {
            t.encrypt[static_cast<std::size_t>(r)][static_cast<std::size_t>(x)] = r == 0 ? e : rotate_right(e, 8 * r);
            t.decrypt[static_cast<std::size_t>(r)][static_cast<std::size_t>(x)] = r == 0 ? d : rotate_right(d, 8 * r);
        }
    }
    return t;
}

constexpr Tables kTables = make_tables();

inline std::uint32_t load_word(const unsigned char* p) {
    return word(p[0], p[1], p[2], p[3]);
}

inline void store_word(unsigned char* p, std::uint32_t w) {
    p[0] = static_cast<unsigned char>(w >> 24);
    p[1] = static_cast<unsigned char>(w >> 16);
    p[2] = static_cast<unsigned char>(w >> 8);
    p[3] = static_cast<unsigned char>(w);
}

inline std::uint8_t byte_of(std::uint32_t w, int shift) { return static_cast<std::uint8_t>(w >> shift); }

}  // namespace

// ---- key schedule helpers -------------------------------------------------------------------------

std::uint32_t substitute_word(std::uint32_t w) {
    const auto& s = kBoxes.forward;
    return word(s[byte_of(w, 24)], s[byte_of(w, 16)], s[byte_of(w, 8)], s[byte_of(w, 0)]);
}

std::uint32_t inverse_mix_column(std::uint32_t w) {
    // The decryption tables start with the inverse S-box; passing each byte
    // through the forward S-box first leaves InvMixColumns alone.
    const auto& s = kBoxes.forward;
    const auto& d = kTables.decrypt;
    return d[0][s[byte_of(w, 24)]] ^ d[1][s[byte_of(w, 16)]] ^ d[2][s[byte_of(w, 8)]] ^ d[3][s[byte_of(w, 0)]];
}

// ---- the engine --------------------------------------------------------------------------------------

void portable_encrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    const auto& [t0, t1, t2, t3] = kTables.encrypt;
    const auto& sbox = kBoxes.forward;
    for (std::size_t b = 0; b < blocks; ++b, data += kBlockSize) {
        const std::uint32_t* rk = schedule.encrypt_words;
        std::uint32_t s0 = load_word(data) ^ rk[0];
        std::uint32_t s1 = load_word(data + 4) ^ rk[1];
        std::uint32_t s2 = load_word(data + 8) ^ rk[2];
        std::uint32_t s3 = load_word(data + 12) ^ rk[3];
        for (int round = 1; round < schedule.rounds; ++round) {
            rk += 4;
            const std::uint32_t n0 = t0[byte_of(s0, 24)] ^ t1[byte_of(s1, 16)] ^ t2[byte_of(s2, 8)] ^ t3[byte_of(s3, 0)] ^ rk[0];
            const std::uint32_t n1 = t0[byte_of(s1, 24)] ^ t1[byte_of(s2, 16)] ^ t2[byte_of(s3, 8)] ^ t3[byte_of(s0, 0)] ^ rk[1];
            const std::uint32_t n2 = t0[byte_of(s2, 24)] ^ t1[byte_of(s3, 16)] ^ t2[byte_of(s0, 8)] ^ t3[byte_of(s1, 0)] ^ rk[2];
            const std::uint32_t n3 = t0[byte_of(s3, 24)] ^ t1[byte_of(s0, 16)] ^ t2[byte_of(s1, 8)] ^ t3[byte_of(s2, 0)] ^ rk[3];
            s0 = n0;
            s1 = n1;
            s2 = n2;
            s3 = n3;
        }
        rk += 4;
        // The last round has no MixColumns.
        store_word(data, word(sbox[byte_of(s0, 24)], sbox[byte_of(s1, 16)], sbox[byte_of(s2, 8)], sbox[byte_of(s3, 0)]) ^ rk[0]);
        store_word(data + 4, word(sbox[byte_of(s1, 24)], sbox[byte_of(s2, 16)], sbox[byte_of(s3, 8)], sbox[byte_of(s0, 0)]) ^ rk[1]);
        store_word(data + 8, word(sbox[byte_of(s2, 24)], sbox[byte_of(s3, 16)], sbox[byte_of(s0, 8)], sbox[byte_of(s1, 0)]) ^ rk[2]);
        store_word(data + 12, word(sbox[byte_of(s3, 24)], sbox[byte_of(s0, 16)], sbox[byte_of(s1, 8)], sbox[byte_of(s2, 0)]) ^ rk[3]);
    }
}

void portable_decrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    const auto& [t0, t1, t2, t3] = kTables.decrypt;
    const auto& inv = kBoxes.inverse;
    for (std::size_t b = 0; b < blocks; ++b, data += kBlockSize) {
        const std::uint32_t* rk = schedule.decrypt_words;
        std::uint32_t s0 = load_word(data) ^ rk[0];
        std::uint32_t s1 = load_word(data + 4) ^ rk[1];
        std::uint32_t s2 = load_word(data + 8) ^ rk[2];
        std::uint32_t s3 = load_word(data + 12) ^ rk[3];
        // InvShiftRows takes row r from the column r places to the left.
        for (int round = 1; round < schedule.rounds; ++round) {
            rk += 4;
            const std::uint32_t n0 = t0[byte_of(s0, 24)] ^ t1[byte_of(s3, 16)] ^ t2[byte_of(s2, 8)] ^ t3[byte_of(s1, 0)] ^ rk[0];
            const std::uint32_t n1 = t0[byte_of(s1, 24)] ^ t1[byte_of(s0, 16)] ^ t2[byte_of(s3, 8)] ^ t3[byte_of(s2, 0)] ^ rk[1];
            const std::uint32_t n2 = t0[byte_of(s2, 24)] ^ t1[byte_of(s1, 16)] ^ t2[byte_of(s0, 8)] ^ t3[byte_of(s3, 0)] ^ rk[2];
            const std::uint32_t n3 = t0[byte_of(s3, 24)] ^ t1[byte_of(s2, 16)] ^ t2[byte_of(s1, 8)] ^ t3[byte_of(s0, 0)] ^ rk[3];
            s0 = n0;
            s1 = n1;
            s2 = n2;
            s3 = n3;
        }
        rk += 4;
        store_word(data, word(inv[byte_of(s0, 24)], inv[byte_of(s3, 16)], inv[byte_of(s2, 8)], inv[byte_of(s1, 0)]) ^ rk[0]);
        store_word(data + 4, word(inv[byte_of(s1, 24)], inv[byte_of(s0, 16)], inv[byte_of(s3, 8)], inv[byte_of(s2, 0)]) ^ rk[1]);
        store_word(data + 8, word(inv[byte_of(s2, 24)], inv[byte_of(s1, 16)], inv[byte_of(s0, 8)], inv[byte_of(s3, 0)]) ^ rk[2]);
        store_word(data + 12, word(inv[byte_of(s3, 24)], inv[byte_of(s2, 16)], inv[byte_of(s1, 8)], inv[byte_of(s0, 0)]) ^ rk[3]);
    }
}

}  // namespace domora::aes::detail
