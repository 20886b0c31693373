// The cipher against the FIPS-197 examples, NIST's known answers for 256-bit
// keys, and OpenSSL's AES on random keys and images, through both engines.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "passwords/aes/aes.h"

namespace domora {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::string to_hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::vector<aes::Engine> engines() {
    std::vector<aes::Engine> out = {aes::Engine::kPortable};
    if (aes::hardware_available()) out.push_back(aes::Engine::kHardware);
    return out;
}

const char* name(aes::Engine engine) { return engine == aes::Engine::kPortable ? "portable" : "hardware"; }

// Encrypts the plaintext, checks the ciphertext, and decrypts it back, with every engine.
void expect_answer(const std::string& key, const std::string& plain, const std::string& cipher) {
    aes::KeySchedule schedule;
    const Bytes k = hex(key);
    ASSERT_TRUE(aes::set_key(schedule, k.data(), k.size())) << key;
    for (aes::Engine engine : engines()) {
        Bytes block = hex(plain);
        aes::encrypt_ecb(schedule, block.data(), block.size(), engine);
        EXPECT_EQ(to_hex(block), cipher) << name(engine) << " key " << key;
        aes::decrypt_ecb(schedule, block.data(), block.size(), engine);
        EXPECT_EQ(to_hex(block), plain) << name(engine) << " key " << key;
    }
}

// ---- FIPS-197 -------------------------------------------------------------------------------------

TEST(Aes, KeyExpansionMatchesTheStandardsAppendixA) {
    struct Case {
        std::string key;
        int first_derived;
        std::uint32_t first_word, last_word;
    };
    const Case cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", 4, 0xa0fafe17, 0xb6630ca6},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 6, 0xfe0c91f7, 0x01002202},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 8, 0x9ba35411, 0x706c631e},
    };
    for (const Case& c : cases) {
        aes::KeySchedule schedule;
        const Bytes k = hex(c.key);
        ASSERT_TRUE(aes::set_key(schedule, k.data(), k.size()));
        EXPECT_EQ(schedule.rounds, static_cast<int>(k.size() / 4) + 6);
        EXPECT_EQ(schedule.encrypt_words[c.first_derived], c.first_word) << c.key;
        EXPECT_EQ(schedule.encrypt_words[4 * schedule.rounds + 3], c.last_word) << c.key;
    }
}

TEST(Aes, TheStandardsWorkedExamplesEncryptAndDecrypt) {
    // Appendix B, then the three examples of Appendix C.
    expect_answer("2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32");
    expect_answer("000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a");
    expect_answer("000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
                  "dda97ca4864cdfe06eaf70a0ec0d7191");
    expect_answer("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
                  "8ea2b7ca516745bfeafc49904b496089");
}

TEST(Aes, NistKnownAnswersForTwoHundredFiftySixBitKeys) {
    const std::string zero_key(64, '0');
    const std::string zero_block(32, '0');
    // GFSbox
    expect_answer(zero_key, "014730f80ac625fe84f026c60bfd547d", "5c9d844ed46f9885085e5d6a4f94c7d7");
    expect_answer(zero_key, "0b24af36193ce4665f2825d7b4749c98", "a9ff75bd7cf6613d3731c77c3b6d0c04");
    // KeySbox
    expect_answer("c47b0294dbbbee0fec4757f22ffeee3587ca4730c3d33b691df38bab076bc558", zero_block,
                  "46f2fb342d6f0ab477476fc501242c5f");
    // VarTxt and VarKey, first entries
    expect_answer(zero_key, "80000000000000000000000000000000", "ddc6bf790c15760d8d9aeb6f9a75fd4e");
    expect_answer("8" + std::string(63, '0'), zero_block, "e35a6dcb19b201a01ebcfa8aa22b5759");
}

// ---- whole images ---------------------------------------------------------------------------------

TEST(Aes, OnlyKeysOfSixteenTwentyFourOrThirtyTwoBytesAreTaken) {
    const Bytes key(40, 0x20);
    for (std::size_t length : {0u, 1u, 15u, 17u, 23u, 25u, 31u, 33u, 40u}) {
        aes::KeySchedule schedule;
        EXPECT_FALSE(aes::set_key(schedule, key.data(), length)) << length;
        Bytes data(32, 0x41);
        aes::encrypt_ecb(schedule, data.data(), data.size());
        EXPECT_EQ(data, Bytes(32, 0x41)) << "a schedule without a key changes nothing";
    }
}

TEST(Aes, OnlyWholeBlocksAreProcessedAndTheTailIsLeft) {
    aes::KeySchedule schedule;
    const Bytes key(32, 0x20);
    ASSERT_TRUE(aes::set_key(schedule, key.data(), key.size()));
    for (aes::Engine engine : engines()) {
        for (std::size_t size : {0u, 15u, 17u, 16u * 9 + 5}) {
            Bytes data(size, 0x5a);
            aes::encrypt_ecb(schedule, data.data(), data.size(), engine);
            const std::size_t whole = size / 16 * 16;
            EXPECT_EQ(Bytes(data.begin() + static_cast<long>(whole), data.end()), Bytes(size - whole, 0x5a)) << name(engine) << size;
            if (whole > 0) {
                EXPECT_NE(data[0], 0x5a);
            }
            // Identical blocks give identical ciphertext: no chaining.
            for (std::size_t b = 16; b < whole; b += 16) {
                EXPECT_TRUE(std::equal(data.begin(), data.begin() + 16, data.begin() + static_cast<long>(b)));
            }
        }
    }
}

TEST(Aes, BothEnginesAgreeWithOpenSslOnRandomKeysAndImages) {
    std::mt19937 random(20240607);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ASSERT_NE(ctx, nullptr);
    for (int round = 0; round < 3000; ++round) {
        Bytes key(32);
        for (unsigned char& b : key) b = static_cast<unsigned char>(random());
        // Up to 40 blocks, so that the hardware engine's groups of eight
        // and its single-block tail are both exercised.
        Bytes plain(16 * (1 + random() % 40));
        for (unsigned char& b : plain) b = static_cast<unsigned char>(random());

        Bytes expected(plain.size());
        int written = 0;
        ASSERT_EQ(EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key.data(), nullptr), 1);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        ASSERT_EQ(EVP_EncryptUpdate(ctx, expected.data(), &written, plain.data(), static_cast<int>(plain.size())), 1);
        ASSERT_EQ(static_cast<std::size_t>(written), plain.size());

        aes::KeySchedule schedule;
        ASSERT_TRUE(aes::set_key(schedule, key.data(), key.size()));
        for (aes::Engine engine : engines()) {
            Bytes data = plain;
            aes::encrypt_ecb(schedule, data.data(), data.size(), engine);
            ASSERT_EQ(data, expected) << name(engine) << " round " << round;
            aes::decrypt_ecb(schedule, data.data(), data.size(), engine);
            ASSERT_EQ(data, plain) << name(engine) << " round " << round;
        }
    }
    EVP_CIPHER_CTX_free(ctx);
}

}  // namespace
}  // namespace domora
