#pragma once

// What the normal build runs of a fuzz target: its seed corpus from
// tests/data/<corpus>, then a fixed number of seeded byte mutations of it
// (the same inputs on every run, so a failure reproduces). Under the
// sanitizer build a read or write beyond an input fails the run.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace lumora::test {

inline std::vector<std::vector<uint8_t>> fuzzSeeds(const std::string& corpus) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(std::string(LUMORA_TEST_DATA_DIR) + "/" + corpus))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());  // same order on every machine
    std::vector<std::vector<uint8_t>> seeds;
    for (const auto& p : files) {
        std::ifstream in(p, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

// Bit flips, random and boundary bytes, cuts, erased and inserted runs,
// and pieces of other seeds.
inline std::vector<uint8_t> fuzzMutate(std::vector<uint8_t> b, const std::vector<std::vector<uint8_t>>& seeds,
                                       std::mt19937& rng) {
    auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
    static const uint8_t kBoundary[] = {0, 1, 0x0F, 0x10, 0x7F, 0x80, 0xFF, '<', '>', '/', '|', '&'};
    int rounds = 1 + int(pick(6));
    for (int i = 0; i < rounds; ++i) {
        switch (pick(7)) {
            case 0:
                if (!b.empty()) b[pick(b.size())] ^= uint8_t(1u << pick(8));
                break;
            case 1:
                if (!b.empty()) b[pick(b.size())] = uint8_t(rng());
                break;
            case 2:
                if (!b.empty()) b[pick(b.size())] = kBoundary[pick(std::size(kBoundary))];
                break;
            case 3:
                b.resize(pick(b.size() + 1));
                break;
            case 4:
                if (!b.empty()) {
                    size_t at = pick(b.size());
                    b.erase(b.begin() + long(at), b.begin() + long(std::min(b.size(), at + 1 + pick(32))));
                }
                break;
            case 5: {
                std::vector<uint8_t> ins(1 + pick(16));
                for (auto& x : ins) x = uint8_t(rng());
                b.insert(b.begin() + long(pick(b.size() + 1)), ins.begin(), ins.end());
                break;
            }
            default: {
                const auto& other = seeds[pick(seeds.size())];
                if (other.empty()) break;
                size_t from = pick(other.size());
                size_t n = std::min(other.size() - from, 1 + pick(256));
                b.insert(b.begin() + long(pick(b.size() + 1)), other.begin() + long(from),
                         other.begin() + long(from + n));
                break;
            }
        }
    }
    return b;
}

// Runs `body` over every seed, then `mutations` mutated seeds. Answers the
// number of seeds.
inline size_t runFuzzSeeds(const std::string& corpus, int mutations,
                           const std::function<void(const uint8_t*, size_t)>& body, uint32_t seed = 20261210) {
    auto seeds = fuzzSeeds(corpus);
    for (const auto& s : seeds) body(s.data(), s.size());
    std::mt19937 rng(seed);
    for (int i = 0; i < mutations && !seeds.empty(); ++i) {
        std::vector<uint8_t> input = fuzzMutate(seeds[size_t(i) % seeds.size()], seeds, rng);
        body(input.data(), input.size());
    }
    return seeds.size();
}

}  // namespace lumora::test
