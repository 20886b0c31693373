// The key schedule (FIPS-197 section 5.2 and the equivalent inverse cipher
// of 5.3.5) and the choice of engine.
#include "passwords/aes/aes.h"

#include <string.h>

#include "passwords/aes/aes_engines.h"

namespace domora::aes {

namespace {

void to_bytes(const std::uint32_t* words, int count, unsigned char* out) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t w = words[i];
        out[4 * i] = static_cast<unsigned char>(w >> 24);
        out[4 * i + 1] = static_cast<unsigned char>(w >> 16);
        out[4 * i + 2] = static_cast<unsigned char>(w >> 8);
        out[4 * i + 3] = static_cast<unsigned char>(w);
    }
}

bool use_hardware(Engine engine) {
    static const bool available = detail::hardware_supported();
    return engine != Engine::kPortable && available;
}

}  // namespace

KeySchedule::~KeySchedule() { explicit_bzero(this, sizeof *this); }

bool hardware_available() { return use_hardware(Engine::kHardware); }

bool set_key(KeySchedule& schedule, const unsigned char* key, std::size_t length) {
    explicit_bzero(&schedule, sizeof schedule);
    if (length != 16 && length != 24 && length != 32) return false;
    const int nk = static_cast<int>(length / 4);
    const int rounds = nk + 6;
    const int total = 4 * (rounds + 1);
    std::uint32_t* w = schedule.encrypt_words;
    for (int i = 0; i < nk; ++i) {
        w[i] = (static_cast<std::uint32_t>(key[4 * i]) << 24) | (static_cast<std::uint32_t>(key[4 * i + 1]) << 16) |
               (static_cast<std::uint32_t>(key[4 * i + 2]) << 8) | key[4 * i + 3];
    }
    std::uint32_t rcon = 0x01;
    for (int i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = detail::substitute_word((temp << 8) | (temp >> 24)) ^ (rcon << 24);
            rcon = (rcon << 1) ^ ((rcon & 0x80) ? 0x11b : 0);
        } else if (nk > 6 && i % nk == 4) {
            temp = detail::substitute_word(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    // Decryption runs the round keys backwards, the inner ones through
    // InvMixColumns so that the rounds keep the encryption's shape.
    std::uint32_t* d = schedule.decrypt_words;
    for (int round = 0; round <= rounds; ++round) {
        const std::uint32_t* from = w + 4 * (rounds - round);
        for (int c = 0; c < 4; ++c) {
            d[4 * round + c] = (round == 0 || round == rounds) ? from[c] : detail::inverse_mix_column(from[c]);
        }
    }
    to_bytes(schedule.encrypt_words, total, schedule.encrypt_bytes);
    to_bytes(schedule.decrypt_words, total, schedule.decrypt_bytes);
    schedule.rounds = rounds;
    return true;
}

void encrypt_ecb(const KeySchedule& schedule, unsigned char* data, std::size_t size, Engine engine) {
    if (schedule.rounds == 0 || data == nullptr) return;
    const std::size_t blocks = size / kBlockSize;
    if (use_hardware(engine)) {
        detail::hardware_encrypt(schedule, data, blocks);
    } else {
        detail::portable_encrypt(schedule, data, blocks);
    }
}

void decrypt_ecb(const KeySchedule& schedule, unsigned char* data, std::size_t size, Engine engine) {
    if (schedule.rounds == 0 || data == nullptr) return;
    const std::size_t blocks = size / kBlockSize;
    if (use_hardware(engine)) {
        detail::hardware_decrypt(schedule, data, blocks);
    } else {
        detail::portable_decrypt(schedule, data, blocks);
    }
}

}  // namespace domora::aes
