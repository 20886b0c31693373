// The password file's cipher against OpenSSL's AES-256-ECB on the same
// buffer in the same run: our engine of choice, our portable engine, and
// OpenSSL, encrypting and decrypting. The goal is at least half of
// OpenSSL's throughput; the ratio is what to read, not the raw figures.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "passwords/aes/aes.h"

namespace {

using namespace domora;

constexpr std::size_t kBytes = 256 * 1024;  // a large password file

std::vector<unsigned char> key() { return std::vector<unsigned char>(32, 0x20); }

void run_ours(benchmark::State& state, bool encrypt, aes::Engine engine) {
    if (engine == aes::Engine::kHardware && !aes::hardware_available()) {
        state.SkipWithError("no AES instructions on this processor");
        return;
    }
    const std::vector<unsigned char> k = key();
    aes::KeySchedule schedule;
    aes::set_key(schedule, k.data(), k.size());
    std::vector<unsigned char> data(kBytes, 0x41);
    for (auto _ : state) {
        if (encrypt) {
            aes::encrypt_ecb(schedule, data.data(), data.size(), engine);
        } else {
            aes::decrypt_ecb(schedule, data.data(), data.size(), engine);
        }
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBytes));
}

void run_openssl(benchmark::State& state, bool encrypt) {
    const std::vector<unsigned char> k = key();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_aes_256_ecb(), nullptr, k.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<unsigned char> data(kBytes, 0x41);
    int written = 0;
    for (auto _ : state) {
        // In place, as ours works.
        EVP_CipherUpdate(ctx, data.data(), &written, data.data(), static_cast<int>(data.size()));
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBytes));
}

void BM_Encrypt_Ours(benchmark::State& state) { run_ours(state, true, aes::Engine::kBest); }
void BM_Encrypt_OpenSsl(benchmark::State& state) { run_openssl(state, true); }
void BM_Encrypt_OursPortable(benchmark::State& state) { run_ours(state, true, aes::Engine::kPortable); }
void BM_Decrypt_Ours(benchmark::State& state) { run_ours(state, false, aes::Engine::kBest); }
void BM_Decrypt_OpenSsl(benchmark::State& state) { run_openssl(state, false); }
void BM_Decrypt_OursPortable(benchmark::State& state) { run_ours(state, false, aes::Engine::kPortable); }

BENCHMARK(BM_Encrypt_Ours);
BENCHMARK(BM_Encrypt_OpenSsl);
BENCHMARK(BM_Encrypt_OursPortable);
BENCHMARK(BM_Decrypt_Ours);
BENCHMARK(BM_Decrypt_OpenSsl);
BENCHMARK(BM_Decrypt_OursPortable);

}  // namespace

BENCHMARK_MAIN();
