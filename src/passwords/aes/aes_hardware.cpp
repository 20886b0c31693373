// The hardware engine: the AES instructions of x86 processors. Only these
// functions are compiled for them, so the program still starts on a
// processor without them and takes the portable engine there.
#include "passwords/aes/aes_engines.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DOMORA_AES_X86 1
#endif

namespace domora::aes::detail {

#ifdef DOMORA_AES_X86

namespace {

// Eight blocks in flight hide the latency of each round instruction.
constexpr std::size_t kLanes = 8;

#define DOMORA_AES_TARGET __attribute__((target("aes,sse2")))

DOMORA_AES_TARGET inline __m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

DOMORA_AES_TARGET inline void store(unsigned char* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <bool kEncrypt>
DOMORA_AES_TARGET void run(const unsigned char* keys, int rounds, unsigned char* data, std::size_t blocks) {
    __m128i k[kMaxRounds + 1];
    for (int r = 0; r <= rounds; ++r) k[r] = load(keys + 16 * r);
    while (blocks >= kLanes) {
        // Unrolled so that the eight blocks stay in registers.
        __m128i b[kLanes];
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i) b[i] = _mm_xor_si128(load(data + 16 * i), k[0]);
        for (int r = 1; r < rounds; ++r) {
#pragma GCC unroll 8
            for (std::size_t i = 0; i < kLanes; ++i) b[i] = kEncrypt ? _mm_aesenc_si128(b[i], k[r]) : _mm_aesdec_si128(b[i], k[r]);
        }
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i) {
            store(data + 16 * i, kEncrypt ? _mm_aesenclast_si128(b[i], k[rounds]) : _mm_aesdeclast_si128(b[i], k[rounds]));
        }
        data += kLanes * kBlockSize;
        blocks -= kLanes;
    }
    for (; blocks > 0; --blocks, data += kBlockSize) {
        __m128i b = _mm_xor_si128(load(data), k[0]);
        for (int r = 1; r < rounds; ++r) b = kEncrypt ? _mm_aesenc_si128(b, k[r]) : _mm_aesdec_si128(b, k[r]);
        store(data, kEncrypt ? _mm_aesenclast_si128(b, k[rounds]) : _mm_aesdeclast_si128(b, k[rounds]));
    }
    // The round keys in registers and on the stack are as secret as the key.
    for (__m128i& key : k) key = _mm_setzero_si128();
    asm volatile("" : : "m"(k) : "memory");
}

}  // namespace

bool hardware_supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
}

void hardware_encrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    run<true>(schedule.encrypt_bytes, schedule.rounds, data, blocks);
}

// AESDEC is the equivalent inverse cipher's round, so it takes the same
// transformed round keys as the portable decryption.
void hardware_decrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    run<false>(schedule.decrypt_bytes, schedule.rounds, data, blocks);
}

#else

bool hardware_supported() { return false; }
void hardware_encrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    portable_encrypt(schedule, data, blocks);
}
void hardware_decrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks) {
    portable_decrypt(schedule, data, blocks);
}

#endif

}  // namespace domora::aes::detail
