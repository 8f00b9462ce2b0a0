#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tools/fuzz/OWSPParserFuzzBody.h"

using namespace lumora;

namespace {

std::vector<std::vector<uint8_t>> seedCorpus() {
    std::vector<std::vector<uint8_t>> seeds;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(LUMORA_TEST_DATA_DIR "/owsp_parser_corpus"))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());  // same order on every machine
    for (const auto& p : files) {
        std::ifstream in(p, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

// Values that sit on the parser's boundaries.
constexpr uint32_t kInteresting[] = {0,     1,     3,      4,      7,      8,          12,        0x7F,
                                     0x80,  0xFF,  0x100,  0xFFFF, 0x10000, 204800,    204801,    0x7FFFFFFF,
                                     0x80000000u, 0xFFFFFFFFu, 39, 40, 42, 97, 98, 99, 100, 101, 102, 312, 335};

std::vector<uint8_t> mutate(std::vector<uint8_t> b, const std::vector<std::vector<uint8_t>>& seeds,
                            std::mt19937& rng) {
    auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
    int rounds = 1 + int(pick(8));
    for (int i = 0; i < rounds; ++i) {
        switch (pick(8)) {
            case 0:  // flip a bit
                if (!b.empty()) b[pick(b.size())] ^= uint8_t(1u << pick(8));
                break;
            case 1:  // a random byte
                if (!b.empty()) b[pick(b.size())] = uint8_t(rng());
                break;
            case 2:  // an interesting 16-bit little-endian value (type or record length)
                if (b.size() >= 2) {
                    size_t at = pick(b.size() - 1);
                    uint32_t v = kInteresting[pick(std::size(kInteresting))];
                    b[at] = uint8_t(v);
                    b[at + 1] = uint8_t(v >> 8);
                }
                break;
            case 3:  // an interesting 32-bit big-endian value (packet length)
                if (b.size() >= 4) {
                    size_t at = pick(b.size() - 3);
                    uint32_t v = kInteresting[pick(std::size(kInteresting))];
                    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * (3 - k)));
                }
                break;
            case 4:  // cut
                b.resize(pick(b.size() + 1));
                break;
            case 5:  // erase a run
                if (!b.empty()) {
                    size_t at = pick(b.size());
                    b.erase(b.begin() + at, b.begin() + std::min(b.size(), at + 1 + pick(64)));
                }
                break;
            case 6: {  // insert random bytes
                size_t at = pick(b.size() + 1);
                std::vector<uint8_t> ins(1 + pick(32));
                for (auto& x : ins) x = uint8_t(rng());
                b.insert(b.begin() + at, ins.begin(), ins.end());
                break;
            }
            case 7: {  // splice in part of another seed
                const auto& other = seeds[pick(seeds.size())];
                if (other.empty()) break;
                size_t from = pick(other.size());
                size_t n = std::min(other.size() - from, 1 + pick(512));
                b.insert(b.begin() + pick(b.size() + 1), other.begin() + from, other.begin() + from + n);
                break;
            }
        }
    }
    if (b.size() > 300000) b.resize(300000);
    return b;
}

}  // namespace

TEST(OWSPMessageParserFuzz, SeedCorpusRunsClean) {
    auto seeds = seedCorpus();
    ASSERT_GE(seeds.size(), 5u);
    for (const auto& s : seeds) fuzz::fuzzOwspParser(s.data(), s.size());
}

// A bounded, seeded mutation run: the same inputs on every run, so a
// failure reproduces; AddressSanitizer and UBSan builds turn any read past
// the data into a failure.
TEST(OWSPMessageParserFuzz, SeededMutationsRunClean) {
    auto seeds = seedCorpus();
    ASSERT_FALSE(seeds.empty());
    std::mt19937 rng(20240611);
    constexpr int kIterations = 12000;
    for (int i = 0; i < kIterations; ++i) {
        const auto& base = seeds[size_t(i) % seeds.size()];
        std::vector<uint8_t> input = mutate(base, seeds, rng);
        fuzz::fuzzOwspParser(input.data(), input.size());
    }
    // Pure noise as well.
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> noise(size_t(rng() % 2048));
        for (auto& x : noise) x = uint8_t(rng());
        fuzz::fuzzOwspParser(noise.data(), noise.size());
    }
}
