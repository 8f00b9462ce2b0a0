#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tools/fuzz/ConfigFileFuzzBody.h"

using namespace lumora;

namespace {

std::vector<std::string> seedCorpus() {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(LUMORA_TEST_DATA_DIR "/config_file_corpus"))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());  // same order on every machine
    std::vector<std::string> seeds;
    for (const auto& p : files) {
        std::ifstream in(p, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

// Pieces a configuration file is made of, and values on the readers' edges.
const char* const kTokens[] = {"timeScale", "relayTcpPort", "lanLocalPort", "pushHost", "audioBackend",
                               " = ",       "=",            "\n",           "\r\n",     "#",
                               ";",         "[",            "inf",          "nan",      "1e-300",
                               "1e10",      "-1",           "0",            "65535",    "65536",
                               "0x10",      "0.001",        "100",          "100.0001", "\xEF\xBB\xBF"};

std::string mutate(std::string b, const std::vector<std::string>& seeds, std::mt19937& rng) {
    auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
    int rounds = 1 + int(pick(6));
    for (int i = 0; i < rounds; ++i) {
        switch (pick(6)) {
            case 0:  // a random byte
                if (!b.empty()) b[pick(b.size())] = char(rng());
                break;
            case 1:  // a token
                b.insert(pick(b.size() + 1), kTokens[pick(std::size(kTokens))]);
                break;
            case 2:  // cut
                b.resize(pick(b.size() + 1));
                break;
            case 3:  // erase a run
                if (!b.empty()) {
                    size_t at = pick(b.size());
                    b.erase(at, 1 + pick(16));
                }
                break;
            case 4: {  // splice in part of another seed
                const auto& other = seeds[pick(seeds.size())];
                if (other.empty()) break;
                size_t from = pick(other.size());
                b.insert(pick(b.size() + 1), other.substr(from, 1 + pick(64)));
                break;
            }
            case 5:  // a long run of one character
                b.insert(pick(b.size() + 1), std::string(pick(5000), "a=\n#"[pick(4)]));
                break;
        }
    }
    return b;
}

}  // namespace

TEST(ConfigFileFuzz, SeedCorpusRunsClean) {
    auto seeds = seedCorpus();
    ASSERT_GE(seeds.size(), 5u);
    for (const auto& s : seeds) fuzz::fuzzConfigFile(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A bounded, seeded mutation run: the same inputs every time, so a failure
// reproduces.
TEST(ConfigFileFuzz, SeededMutationsRunClean) {
    auto seeds = seedCorpus();
    ASSERT_FALSE(seeds.empty());
    std::mt19937 rng(20261210);
    for (int i = 0; i < 6000; ++i) {
        std::string input = mutate(seeds[size_t(i) % seeds.size()], seeds, rng);
        fuzz::fuzzConfigFile(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
}
