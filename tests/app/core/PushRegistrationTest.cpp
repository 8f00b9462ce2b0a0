#include "app/core/PushRegistration.h"

#include <gtest/gtest.h>

#include "app/core/PushKeyCipher.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/UserDefaults.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

std::string percentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i] == '+' ? ' ' : s[i]);  // as a web service reads a query
        }
    }
    return out;
}

// The page and the deciphered parameter of a request target "/pi.php?c=...".
std::pair<std::string, std::string> decodeTarget(const std::string& target) {
    size_t q = target.find("?c=");
    if (q == std::string::npos) return {target, ""};
    auto text = PushKeyCipher::base64_rc4_decode(percentDecode(target.substr(q + 3)));
    return {target.substr(0, q), text.value_or("<undecodable>")};
}

std::vector<uint8_t> sampleToken(uint8_t seed = 0) {
    std::vector<uint8_t> token(32);
    for (size_t i = 0; i < token.size(); ++i) token[i] = static_cast<uint8_t>(i * 37 + 0xA5 + seed);
    return token;
}

TEST(PushRegistrationText, TokenStringGroupsFourBytes) {
    auto text = PushRegistration::tokenStringForToken(sampleToken());
    EXPECT_EQ(text.size(), 71u);
    EXPECT_EQ(text.substr(0, 17), "a5caef14 395e83a8");
    EXPECT_EQ(PushRegistration::tokenStringForToken({0x01, 0xAB, 0x00, 0xFF, 0x10}), "01ab00ff 10");
    EXPECT_EQ(PushRegistration::tokenStringForToken({}), "");
}

TEST(PushRegistrationText, LanguageCodes) {
    struct Case {
        const char* language;
        int code;
    } cases[] = {{"zh-Hans", 1}, {"zh-TW", 3}, {"zh-Hant", 2}, {"zh-HK", 2}, {"zh", 2}, {"en", 2}, {"", 2}};
    for (const auto& c : cases) EXPECT_EQ(PushRegistration::languageCodeForLanguage(c.language), c.code) << c.language;
}

class PushRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();
        // The unregistration answers slowly: a registration sent alongside
        // it would arrive before it is done.
        server = std::make_unique<LoopbackHttpServer>([](const LoopbackHttpServer::Request& req) {
            LoopbackHttpServer::Reply r;
            r.parts = {"ok"};
            if (req.target.rfind("/pa.php", 0) == 0) r.delay = 300ms;
            return r;
        });
        Config::shared().pushHost = server->hostAndPort();
        defaults = std::make_unique<UserDefaults>(dir.file("defaults.plist"));
        defaults->setStringArray(UserDefaults::kAppleLanguages, {"zh-TW", "en"});
    }

    // Runs one start of the application with the given version and answers
    // the service's event log once `requests` requests are finished.
    std::vector<std::string> start(const std::string& version, size_t requests) {
        size_t before = server->events().size();
        PushRegistration push(*defaults, version);
        push.applicationDidRegisterForRemoteNotificationsWithDeviceToken(token);
        EXPECT_EQ(push.tokenString(), PushRegistration::tokenStringForToken(token));
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return server->events().size() >= before + 2 * requests; }, 20s));
        RunLoop::main().runFor(400ms);  // nothing more comes
        auto all = server->events();
        return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    }

    test::TempDir dir;
    std::unique_ptr<LoopbackHttpServer> server;
    std::unique_ptr<UserDefaults> defaults;
    std::vector<uint8_t> token = sampleToken();
};

TEST_F(PushRegistrationTest, FirstStartUnregistersThenRegisters) {
    auto events = start("2.1", 2);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].substr(0, 12), "recv /pa.php");
    EXPECT_EQ(events[1].substr(0, 12), "done /pa.php");  // finished before the next one is sent
    EXPECT_EQ(events[2].substr(0, 12), "recv /pi.php");
    EXPECT_EQ(events[3].substr(0, 12), "done /pi.php");

    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 2u);
    std::string tokenText = PushRegistration::tokenStringForToken(token);
    EXPECT_EQ(decodeTarget(requests[0].target), std::make_pair(std::string("/pa.php"), tokenText + "|1"));
    EXPECT_EQ(decodeTarget(requests[1].target), std::make_pair(std::string("/pi.php"), tokenText + "|1|3"));
    EXPECT_TRUE(defaults->boolForKey("firstStart1"));
    EXPECT_EQ(defaults->stringForKey("appversion"), "2.1");
    // The markers are on disk.
    UserDefaults reread(dir.file("defaults.plist"));
    EXPECT_TRUE(reread.boolForKey("firstStart1"));
}

TEST_F(PushRegistrationTest, SameVersionRegistersOnlyAndUpdatesRegisterAfresh) {
    start("2.1", 2);
    auto again = start("2.1", 1);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].substr(0, 12), "recv /pi.php");

    // An update: unregister and register, on this and every later start,
    // because "appversion" keeps the first version.
    for (int i = 0; i < 2; ++i) {
        auto updated = start("2.2", 2);
        ASSERT_EQ(updated.size(), 4u);
        EXPECT_EQ(updated[0].substr(0, 12), "recv /pa.php");
        EXPECT_EQ(updated[2].substr(0, 12), "recv /pi.php");
    }
    EXPECT_EQ(defaults->stringForKey("appversion"), "2.1");
}

TEST_F(PushRegistrationTest, ParameterSurvivesTheQueryWithPlusSlashAndEquals) {
    // Find a token whose enciphered parameter holds "+" and "/".
    std::vector<uint8_t> chosen;
    for (int seed = 0; seed < 256 && chosen.empty(); ++seed) {
        auto t = sampleToken(static_cast<uint8_t>(seed));
        auto b64 = PushKeyCipher::base64_rc4_encode(PushRegistration::tokenStringForToken(t) + "|1|3");
        if (b64.find('+') != std::string::npos && b64.find('/') != std::string::npos) chosen = t;
    }
    ASSERT_FALSE(chosen.empty());
    token = chosen;
    PushRegistration push(*defaults, "2.1");
    push.applicationDidRegisterForRemoteNotificationsWithDeviceToken(token);
    std::string url = PushRegistration::requestURL("pi.php", *push.tokenString() + "|1|3");
    EXPECT_EQ(url.find('+'), std::string::npos);
    EXPECT_EQ(url.rfind("http://" + server->hostAndPort() + "/pi.php?c=", 0), 0u);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server->events().size() >= 4; }, 20s));
    EXPECT_EQ(decodeTarget(server->requests()[1].target).second, *push.tokenString() + "|1|3");
}

}  // namespace
}  // namespace lumora
