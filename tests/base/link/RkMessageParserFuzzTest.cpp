// A deterministic mutation fuzzer over RkMessageParser. It starts from one
// well-formed sample of every reply (and a few odd shapes), mutates them with
// a seeded generator and checks the parser's contract on each input. Every
// input lives in a heap buffer of exactly its own size, so under ASan a read
// past the received bytes fails the run. It stops after a fixed number of
// iterations or a few seconds, whichever comes first, so it fits in CI.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "base/link/RkMessageParser.h"

using namespace lumora;

namespace {

// Touches every field it is given, so field copies are exercised too.
struct Sink : RkMessgeParserDelegate {
    size_t calls = 0;
    size_t bytes = 0;
    void tolvOpenVSConnResponseFromParser3(RkMessageParser&, int, const std::string& a, uint16_t, uint32_t,
                                           const RkDeviceId& d, int, const std::string& ia, uint16_t,
                                           const std::string&, uint16_t) override {
        ++calls, bytes += a.size() + ia.size() + d[31];
        EXPECT_LE(a.size(), 32u);
        EXPECT_LE(ia.size(), 32u);
    }
    void tolvOpenVSConnResponseFromParser(RkMessageParser&, int, const std::string& a, uint16_t, uint32_t,
                                          const RkDeviceId& d, int) override {
        ++calls, bytes += a.size() + d[0];
        EXPECT_LE(a.size(), 32u);
    }
    void tolvQueryVSStatusResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint8_t s,
                                             const std::array<uint8_t, 3>& r) override {
        ++calls, bytes += d[5] + s + r[2];
    }
    void tolvCloseVSConnResponseFromParser(RkMessageParser&, uint32_t c, const RkDeviceId& d) override {
        ++calls, bytes += c + d[9];
    }
    void tolvSearchDeviceResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint16_t, const std::string& a,
                                            uint16_t) override {
        ++calls, bytes += a.size() + d[1];
        EXPECT_LE(a.size(), 32u);
    }
    void tolvGetUDTResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& a, uint16_t,
                                      uint32_t) override {
        ++calls, bytes += a.size() + d[2];
        EXPECT_LE(a.size(), 32u);
    }
    void tolvGetTAddrResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& e, uint16_t,
                                        const std::string& i, uint16_t, const std::string& s, uint16_t) override {
        ++calls, bytes += e.size() + i.size() + s.size() + d[3];
        EXPECT_LE(e.size(), 16u);
        EXPECT_LE(i.size(), 16u);
        EXPECT_LE(s.size(), 16u);
    }
    void tolvGetUDPHoleRes(bool ok, const std::string& ip, int port) override {
        ++calls;
        EXPECT_TRUE(ok);
        EXPECT_EQ(ip, "127.0.0.9");
        EXPECT_EQ(port, 999);
    }
};

std::vector<std::vector<uint8_t>> seeds() {
    struct Shape {
        uint16_t type;
        size_t size;
    };
    const Shape shapes[] = {{0xA002, 84},  {0xA01E, 152}, {0xA004, 40}, {0xA006, 40}, {0xA008, 72},
                            {0x2003, 76},  {0x2011, 92},  {0x1008, 36}, {0x3002, 4},  {0x1008, 4},
                            {0xA017, 36},  {0x0000, 4},   {0xFFFF, 9}};
    std::vector<std::vector<uint8_t>> out;
    for (const auto& s : shapes) {
        std::vector<uint8_t> m(s.size, 0);
        m[0] = s.type & 0xFF;
        m[1] = s.type >> 8;
        m[2] = (s.size - 4) & 0xFF;
        m[3] = (s.size - 4) >> 8;
        for (size_t i = 4; i < m.size(); ++i) m[i] = static_cast<uint8_t>('0' + i % 10);
        out.push_back(m);
    }
    return out;
}

}  // namespace

TEST(RkMessageParserFuzz, BoundedSeededMutations) {
    const uint32_t seed = std::getenv("LUMORA_FUZZ_SEED") ? std::strtoul(std::getenv("LUMORA_FUZZ_SEED"), nullptr, 0)
                                                          : 0x5EED1234u;
    const long iterations = 2000000;
    const auto budget = std::chrono::seconds(4);
    std::mt19937 rng(seed);
    auto pool = seeds();
    const auto start = std::chrono::steady_clock::now();

    Sink sink;
    RkMessageParser parser;
    parser.setDelegate(&sink);
    long done = 0;
    for (; done < iterations; ++done) {
        if ((done & 1023) == 0 && std::chrono::steady_clock::now() - start > budget) break;
        std::vector<uint8_t> in = pool[rng() % pool.size()];
        int mutations = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < mutations; ++k) {
            switch (rng() % 6) {
            case 0:  // flip a byte
                if (!in.empty()) in[rng() % in.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // cut
                in.resize(rng() % (in.size() + 1));
                break;
            case 2:  // grow with random bytes
                for (int n = static_cast<int>(rng() % 64); n > 0; --n) in.push_back(static_cast<uint8_t>(rng()));
                break;
            case 3:  // fill a text field region with non-zero bytes (no terminator)
                if (in.size() > 8) {
                    size_t at = 4 + rng() % (in.size() - 4);
                    for (size_t i = at; i < in.size() && i < at + 40; ++i) in[i] = 'x';
                }
                break;
            case 4:  // another known type on this body
                if (in.size() >= 2) {
                    const auto& other = pool[rng() % pool.size()];
                    in[0] = other[0];
                    in[1] = other[1];
                }
                break;
            default:  // append another message
                {
                    const auto& other = pool[rng() % pool.size()];
                    in.insert(in.end(), other.begin(), other.end());
                }
                break;
            }
        }
        if (in.size() > 1500) in.resize(1500);

        // Exactly the input's size on the heap: no slack to read into.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[in.size() ? in.size() : 1]);
        std::copy(in.begin(), in.end(), exact.get());
        size_t before = sink.calls;
        int used = parser.parseMsgData(std::span<const uint8_t>(exact.get(), in.size()), "127.0.0.9", 999);

        ASSERT_GE(used, 0);
        if (used == RkMessageParser::kUnknownType) {
            ASSERT_GE(in.size(), 4u);
            ASSERT_EQ(sink.calls, before);
        } else if (used > 0) {
            ASSERT_LE(static_cast<size_t>(used), in.size()) << "consumed more than was given";
            ASSERT_LE(sink.calls, before + 1);
        } else {
            ASSERT_EQ(sink.calls, before) << "a callback for an incomplete message";
        }
        if (::testing::Test::HasFailure()) break;
    }
    std::printf("fuzz: seed 0x%x, %ld inputs, %zu callbacks\n", seed, done, sink.calls);
    EXPECT_GT(done, 1000);
}
