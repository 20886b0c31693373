#include "passwords/strong_file.h"

#include <sodium.h>

#include <cstdlib>
#include <cstring>

#include "passwords/password_record.h"

namespace domora {

namespace {

void need_sodium() {
    // Picks the fastest code for this processor and opens the random source;
    // without it nothing here may run.
    static const bool ready = sodium_init() >= 0;
    if (!ready) std::abort();
}

std::uint16_t read_u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void write_u16(unsigned char* p, std::uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

const unsigned char* bytes_of(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

bool looks_strong(std::string_view file) {
    return file.size() >= kStrongMagicSize && std::memcmp(file.data(), kStrongMagic, kStrongMagicSize) == 0;
}

Result<StrongHeader> read_strong_header(std::string_view file) {
    if (file.size() < kStrongHeaderSize) {
        return Error{"it is " + std::to_string(file.size()) + " bytes long, shorter than its header"};
    }
    if (!looks_strong(file)) return Error{"it does not start like a password file"};
    const unsigned char* p = bytes_of(file);
    const std::uint16_t version = read_u16(p + 8);
    if (version != kStrongVersion) return Error{"it is of format version " + std::to_string(version) + ", which this version cannot read"};
    const std::uint16_t kdf = read_u16(p + 10);
    if (kdf != kKdfArgon2id) return Error{"its key derivation " + std::to_string(kdf) + " is unknown"};
    StrongHeader h;
    h.cost.memory_kib = read_u32(p + 12);
    h.cost.passes = read_u32(p + 16);
    h.cost.lanes = read_u32(p + 20);
    if (h.cost.memory_kib < kMinKdfMemoryKib || h.cost.memory_kib > kMaxKdfMemoryKib) {
        return Error{"its key derivation asks for " + std::to_string(h.cost.memory_kib) + " KiB of memory"};
    }
    if (h.cost.passes < kMinKdfPasses || h.cost.passes > kMaxKdfPasses) {
        return Error{"its key derivation asks for " + std::to_string(h.cost.passes) + " passes"};
    }
    if (h.cost.lanes != 1) return Error{"its key derivation asks for " + std::to_string(h.cost.lanes) + " lanes"};
    std::memcpy(h.salt.data(), p + 24, kStrongSaltSize);
    std::memcpy(h.nonce.data(), p + 40, kStrongNonceSize);
    h.image_length = read_u32(p + 64);
    if (h.image_length < kMinStrongImage || h.image_length > kMaxStrongImage || h.image_length % 16 != 0) {
        return Error{"its image length " + std::to_string(h.image_length) + " is impossible"};
    }
    const std::size_t whole = kStrongHeaderSize + std::size_t{h.image_length} + kStrongTagSize;
    if (file.size() != whole) {
        return Error{"it is " + std::to_string(file.size()) + " bytes long where its header says " + std::to_string(whole)};
    }
    return h;
}

void random_bytes(unsigned char* out, std::size_t size) {
    need_sodium();
    randombytes_buf(out, size);
}

Result<void> derive_strong_key(std::string_view password, const KdfCost& cost, const StrongSalt& salt, unsigned char* key) {
    need_sodium();
    // An empty view may carry a null pointer; libsodium wants a real one.
    static const char kNothing = 0;
    const char* text = password.empty() ? &kNothing : password.data();
    const int rc = crypto_pwhash(key, kStrongKeySize, text, password.size(), salt.data(), cost.passes,
                                 std::size_t{cost.memory_kib} * 1024, crypto_pwhash_ALG_ARGON2ID13);
    if (rc != 0) return Error{"there is not enough memory to derive its key (" + std::to_string(cost.memory_kib / 1024) + " MiB)"};
    return {};
}

std::string seal_strong_file(const KdfCost& cost, const StrongSalt& salt, const unsigned char* key, const unsigned char* image,
                             std::size_t size) {
    need_sodium();
    std::string file(kStrongHeaderSize + size + kStrongTagSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(file.data());
    std::memcpy(p, kStrongMagic, kStrongMagicSize);
    write_u16(p + 8, kStrongVersion);
    write_u16(p + 10, kKdfArgon2id);
    write_u32(p + 12, cost.memory_kib);
    write_u32(p + 16, cost.passes);
    write_u32(p + 20, cost.lanes);
    std::memcpy(p + 24, salt.data(), kStrongSaltSize);
    randombytes_buf(p + 40, kStrongNonceSize);
    write_u32(p + 64, static_cast<std::uint32_t>(size));
    unsigned long long sealed = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(p + kStrongHeaderSize, &sealed, image, size, p, kStrongHeaderSize, nullptr,
                                               p + 40, key);
    return file;
}

bool open_strong_file(std::string_view file, const StrongHeader& header, const unsigned char* key, SecureBytes& image) {
    need_sodium();
    image.clear();
    const unsigned char* p = bytes_of(file);
    SecureBytes plain(header.image_length, 0);
    unsigned long long opened = 0;
    const int rc = crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), &opened, nullptr, p + kStrongHeaderSize,
                                                              std::size_t{header.image_length} + kStrongTagSize, p,
                                                              kStrongHeaderSize, header.nonce.data(), key);
    if (rc != 0 || opened != header.image_length) return false;
    image.swap(plain);
    return true;
}

}  // namespace domora
