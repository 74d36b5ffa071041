// Engine throughput for both implementations and both directions, over a
// buffer that stays in the core's cache so the figure is the cipher's alone.
#include "cipher/AesNi.h"
#include "cipher/CipherContext.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#ifdef KEYSTREL_HAVE_AESNI
#include <immintrin.h>

using namespace vaultine;
#endif

namespace {

using CbcFunction = void (*)(CipherContext *, std::uint8_t *, std::uint32_t);

constexpr std::uint32_t kBufferSize = 256 * 1024;

void runCbc(benchmark::State &state, CbcFunction function)
{
    std::vector<std::uint8_t> buffer(kBufferSize);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = std::uint8_t(i * 131 + 7);
    const std::uint8_t key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                  0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    const std::uint8_t iv[16] = {};
    CipherContext ctx;
    initCipherContext(&ctx, key, iv);
    for (auto _ : state) {
        function(&ctx, buffer.data(), kBufferSize);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kBufferSize);
}

void registerEngine(const char *name, CbcFunction encrypt, CbcFunction decrypt)
{
    benchmark::RegisterBenchmark((std::string(name) + "/encrypt").c_str(), runCbc, encrypt);
    benchmark::RegisterBenchmark((std::string(name) + "/decrypt").c_str(), runCbc, decrypt);
}

#ifdef KEYSTREL_HAVE_AESNI
// What single-stream CBC encryption can reach at best on this processor: ten
// dependent AES rounds per 16 bytes, with no loads, stores or XORs.
__attribute__((target("aes"))) void dependentRoundsCeiling(benchmark::State &state)
{
    __m128i x = _mm_set1_epi32(0x01234567);
    const __m128i key = _mm_set1_epi32(0x76543210);
    for (auto _ : state) {
        for (std::uint32_t b = 0; b < kBufferSize / 16; ++b) {
            for (int r = 0; r < 9; ++r)
                x = _mm_aesenc_si128(x, key);
            x = _mm_aesenclast_si128(x, key);
        }
        benchmark::DoNotOptimize(x);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kBufferSize);
}
#endif

} // namespace

int main(int argc, char **argv)
{
    registerEngine("portable", aes_portable::cbcEncrypt, aes_portable::cbcDecrypt);
#ifdef KEYSTREL_HAVE_AESNI
    if (aes_ni::supported()) {
        registerEngine("aes-ni", aes_ni::cbcEncrypt, aes_ni::cbcDecrypt);
        benchmark::RegisterBenchmark("ceiling/encrypt", dependentRoundsCeiling);
    } else
        std::fprintf(stderr, "AES-NI not offered by this processor: portable engine only\n");
#endif
    std::fprintf(stderr, "public entry points use: %s\n", activeAesEngine());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
