// AES block cipher (FIPS-197) for 128-, 192- and 256-bit keys, applied block
// by block in place (ECB). Two engines give the same bytes: a portable one
// and one on the processor's AES instructions, chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace domora::aes {

inline constexpr std::size_t kBlockSize = 16;
inline constexpr int kMaxRounds = 14;

// The expanded key for both directions. Wiped when it goes out of scope,
// since it reveals the key.
struct KeySchedule {
    KeySchedule() = default;
    KeySchedule(const KeySchedule&) = delete;
    KeySchedule& operator=(const KeySchedule&) = delete;
    ~KeySchedule();

    int rounds = 0;  // 10, 12 or 14; 0 until a key is set
    // Round keys as big-endian words, encryption order.
    std::uint32_t encrypt_words[4 * (kMaxRounds + 1)] = {};
    // Round keys of the equivalent inverse cipher, in the order decryption uses them.
    std::uint32_t decrypt_words[4 * (kMaxRounds + 1)] = {};
    // The same round keys as the bytes the AES instructions load.
    alignas(16) unsigned char encrypt_bytes[16 * (kMaxRounds + 1)] = {};
    alignas(16) unsigned char decrypt_bytes[16 * (kMaxRounds + 1)] = {};
};

// Expands a key of 16, 24 or 32 bytes (10, 12 or 14 rounds). Any other
// length returns false and leaves the schedule without a key.
bool set_key(KeySchedule& schedule, const unsigned char* key, std::size_t length);

enum class Engine {
    kBest,      // the hardware engine where the processor has it
    kPortable,  // plain C++ on lookup tables
    kHardware,  // AES instructions; only where hardware_available()
};

bool hardware_available();

// Encrypt or decrypt floor(size / 16) blocks of data in place; a shorter
// tail is left as it is. Nothing happens for a schedule without a key.
void encrypt_ecb(const KeySchedule& schedule, unsigned char* data, std::size_t size, Engine engine = Engine::kBest);
void decrypt_ecb(const KeySchedule& schedule, unsigned char* data, std::size_t size, Engine engine = Engine::kBest);

}  // namespace domora::aes
