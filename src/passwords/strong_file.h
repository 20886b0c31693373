// The strong password file "password20.dat": the same plaintext record image
// as the standard file, sealed with XChaCha20-Poly1305 under a key that
// Argon2id stretches from the master password, so that every guess at the
// password costs the memory and time its header names.
//
// Layout (integers little-endian); the whole header is authenticated with
// the sealed image:
//
//   offset size
//        0    8  magic "DomoraPW"
//        8    2  format version (1)
//       10    2  key derivation (2: Argon2id version 1.3)
//       12    4  memory in KiB
//       16    4  passes
//       20    4  lanes (1)
//       24   16  salt, random, new with every master password
//       40   24  nonce, random, new with every save
//       64    4  length of the plaintext image (a multiple of 16, at least 256)
//       68       the sealed image: as many bytes as the image, then a 16-byte tag
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/result.h"
#include "passwords/secure_memory.h"

namespace domora {

inline constexpr char kStrongMagic[] = "DomoraPW";
inline constexpr std::size_t kStrongMagicSize = 8;
inline constexpr std::uint16_t kStrongVersion = 1;
inline constexpr std::uint16_t kKdfArgon2id = 2;
inline constexpr std::size_t kStrongHeaderSize = 68;
inline constexpr std::size_t kStrongSaltSize = 16;
inline constexpr std::size_t kStrongNonceSize = 24;
inline constexpr std::size_t kStrongKeySize = 32;
inline constexpr std::size_t kStrongTagSize = 16;
// What a reader accepts: a header asking for more is damaged, never obeyed.
inline constexpr std::uint32_t kMinKdfMemoryKib = 8 * 1024;
inline constexpr std::uint32_t kMaxKdfMemoryKib = 4 * 1024 * 1024;
inline constexpr std::uint32_t kMinKdfPasses = 1;
inline constexpr std::uint32_t kMaxKdfPasses = 64;
inline constexpr std::uint32_t kMinStrongImage = 256;
inline constexpr std::uint32_t kMaxStrongImage = 1u << 30;

struct KdfCost {
    std::uint32_t memory_kib = 0;
    std::uint32_t passes = 0;
    std::uint32_t lanes = 1;
    bool empty() const { return memory_kib == 0; }
    bool operator==(const KdfCost&) const = default;
};

using StrongSalt = std::array<unsigned char, kStrongSaltSize>;
using StrongNonce = std::array<unsigned char, kStrongNonceSize>;

struct StrongHeader {
    KdfCost cost;
    StrongSalt salt{};
    StrongNonce nonce{};
    std::uint32_t image_length = 0;
};

// True when the bytes start like a strong file (its magic).
bool looks_strong(std::string_view file);
// The header of a whole file, every field checked against its limits and
// the length against the bytes there are. The error says what is wrong.
Result<StrongHeader> read_strong_header(std::string_view file);

// Random bytes from the system's generator.
void random_bytes(unsigned char* out, std::size_t size);

// Argon2id of the password under the salt at that cost, into key
// (kStrongKeySize bytes). An error when the memory cannot be had.
Result<void> derive_strong_key(std::string_view password, const KdfCost& cost, const StrongSalt& salt, unsigned char* key);

// A whole file: the header with a fresh nonce, then the sealed image.
std::string seal_strong_file(const KdfCost& cost, const StrongSalt& salt, const unsigned char* key, const unsigned char* image,
                             std::size_t size);
// Opens a file whose header was read: the image, or false (image left
// empty) when the key does not authenticate it.
bool open_strong_file(std::string_view file, const StrongHeader& header, const unsigned char* key, SecureBytes& image);

}  // namespace domora
