#include "app/core/QvApplicationPreference.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/core/FileManager.h"
#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/TextEncoding.h"
#include "support/HostileStores.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

const ConnectionRecord kEmpty{-1, -1};

class QvApplicationPreferenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Phone);
        RunLoop::main();
    }
    void TearDown() override { InterfaceIdiom::setCurrent(UserInterfaceIdiom::Unspecified); }

    std::string storePath() { return FileManager::sharedInstance().configPath() + "/configuration.plist"; }

    void writeStore(const PropertyList& root) { ASSERT_TRUE(root.writeXmlFile(storePath(), 0644)); }

    static PropertyList historyOf(const std::vector<ConnectionRecord>& records) {
        PropertyList list = PropertyList::makeArray();
        for (const auto& r : records) {
            PropertyList item = PropertyList::makeDictionary();
            item.set("DeviceId", PropertyList::makeInteger(r.deviceId));
            item.set("Channel", PropertyList::makeInteger(r.channel));
            list.append(std::move(item));
        }
        return list;
    }

    test::TempDir dir;
};

TEST_F(QvApplicationPreferenceTest, FirstStartDependsOnTheDeviceKind) {
    struct Case {
        UserInterfaceIdiom idiom;
        int32_t layout;
        unsigned views, maxViews;
    } cases[] = {
        {UserInterfaceIdiom::Phone, 1, 4, 4},
        {UserInterfaceIdiom::Pad, 2, 6, 16},
        {UserInterfaceIdiom::Unspecified, 1, 4, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.idiom));
        InterfaceIdiom::setCurrent(c.idiom);
        QvApplicationPreference prefs;
        EXPECT_EQ(prefs.layoutStyle(), 2);  // before loading
        EXPECT_TRUE(prefs.connectionHistory().empty());
        EXPECT_TRUE(prefs.showAdReminder());
        EXPECT_FALSE(prefs.ipstr().has_value());
        EXPECT_FALSE(prefs.loadApplicationPreference());
        EXPECT_EQ(prefs.layoutStyle(), c.layout);
        EXPECT_EQ(prefs.numberOfLiveViews(), c.views);
        EXPECT_EQ(prefs.maxNumberOfLiveViews(), c.maxViews);
        EXPECT_EQ(prefs.connectionHistory(), std::vector<ConnectionRecord>(c.views, kEmpty));
    }
}

TEST_F(QvApplicationPreferenceTest, LayoutChangesResizeTheHistory) {
    QvApplicationPreference prefs;
    prefs.setLayoutStyle(4);
    ASSERT_EQ(prefs.connectionHistory().size(), 16u);
    for (int i = 0; i < 16; ++i) prefs.connectionHistory()[i] = {i + 1, i};

    prefs.setLayoutStyle(1);  // keeps the first four
    EXPECT_EQ(prefs.connectionHistory(), (std::vector<ConnectionRecord>{{1, 0}, {2, 1}, {3, 2}, {4, 3}}));
    prefs.setLayoutStyle(3);  // appends five empty ones
    ASSERT_EQ(prefs.connectionHistory().size(), 9u);
    EXPECT_EQ(prefs.connectionHistory()[3], (ConnectionRecord{4, 3}));
    for (size_t i = 4; i < 9; ++i) EXPECT_EQ(prefs.connectionHistory()[i], kEmpty);

    struct Case {
        int32_t style;
        size_t history;
        unsigned views;
    } cases[] = {{0, 1, 1}, {1, 4, 4}, {2, 6, 6}, {3, 9, 9}, {4, 16, 16}, {5, 7, 6}, {9, 6, 6}, {-1, 6, 6}};
    for (const auto& c : cases) {
        prefs.setLayoutStyle(c.style);
        EXPECT_EQ(prefs.connectionHistory().size(), c.history) << c.style;
        EXPECT_EQ(prefs.numberOfLiveViews(), c.views) << c.style;
    }
}

TEST_F(QvApplicationPreferenceTest, SaveAndLoadRoundTrip) {
    InterfaceIdiom::setCurrent(UserInterfaceIdiom::Pad);
    QvApplicationPreference a;
    a.setLayoutStyle(3);
    a.connectionHistory()[0] = {7, 0};
    a.connectionHistory()[4] = {-1, -1};
    a.connectionHistory()[8] = {2, 15};
    a.setLivePreference(1);
    a.setModePreference(1);
    a.setAutoPlay(true);
    a.setSkipHomePage(true);
    a.setShowAdReminder(false);
    a.setHideAd(true);
    a.setIsFullScreen(true);
    a.setIsInnerGetMain(true);
    a.setDevicecount(12);
    a.setCamcount(-3);
    a.setIpstr(std::string("198.51.100.4"));
    ASSERT_TRUE(a.saveApplicationPreference());

    QvApplicationPreference b;
    ASSERT_TRUE(b.loadApplicationPreference());
    EXPECT_EQ(b.layoutStyle(), 3);
    EXPECT_EQ(b.connectionHistory(), a.connectionHistory());
    EXPECT_EQ(b.livePreference(), 1);
    EXPECT_EQ(b.modePreference(), 1);
    EXPECT_TRUE(b.autoPlay());
    EXPECT_TRUE(b.skipHomePage());
    EXPECT_FALSE(b.showAdReminder());
    EXPECT_TRUE(b.hideAd());
    EXPECT_TRUE(b.isFullScreen());
    EXPECT_TRUE(b.isInnerGetMain());
    EXPECT_EQ(b.devicecount(), 12);
    EXPECT_EQ(b.camcount(), -3);
    EXPECT_FALSE(b.ipstr().has_value());  // never stored

    // The file holds exactly the twelve keys, the history as dictionaries.
    auto stored = PropertyList::readFile(storePath());
    ASSERT_EQ(stored.status, PropertyList::ReadStatus::Ok);
    EXPECT_EQ(stored.value->keys().size(), 12u);
    const PropertyList* history = stored.value->find("History");
    ASSERT_TRUE(history && history->isArray());
    EXPECT_EQ(history->at(4)->find("DeviceId")->asInteger(), -1);
    EXPECT_EQ(history->at(8)->find("Channel")->asInteger(), 15);
    EXPECT_EQ(stored.value->find("isFull")->type(), PropertyList::Type::Boolean);
}

TEST_F(QvApplicationPreferenceTest, StoredHistoryIsKeptWholeAndPadded) {
    std::vector<ConnectionRecord> sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back({i % 3 == 0 ? -1 : i, i % 3 == 0 ? -1 : i % 4});
    struct Case {
        const char* what;
        UserInterfaceIdiom idiom;
        int32_t storedLayout;
        std::vector<ConnectionRecord> stored;
        int32_t layout;
        size_t history;
    } cases[] = {
        {"16 records under layout 1 stay 16", UserInterfaceIdiom::Phone, 1, sixteen, 1, 16},
        {"2 records under layout 2 are padded to 6", UserInterfaceIdiom::Pad, 2, {{3, 1}, {4, 0}}, 2, 6},
        {"a tablet layout on a phone falls back", UserInterfaceIdiom::Phone, 4, sixteen, 1, 16},
        {"an unknown layout on a phone falls back", UserInterfaceIdiom::Phone, 9, {{1, 1}}, 1, 4},
        {"style 5 on a tablet pads to 6 views", UserInterfaceIdiom::Pad, 5, {}, 5, 6},
        {"no history at all", UserInterfaceIdiom::Phone, 0, {}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InterfaceIdiom::setCurrent(c.idiom);
        PropertyList root = PropertyList::makeDictionary();
        root.set("LayoutStyle", PropertyList::makeInteger(c.storedLayout));
        root.set("History", historyOf(c.stored));
        writeStore(root);
        QvApplicationPreference prefs;
        ASSERT_TRUE(prefs.loadApplicationPreference());
        EXPECT_EQ(prefs.layoutStyle(), c.layout);
        ASSERT_EQ(prefs.connectionHistory().size(), c.history);
        for (size_t i = 0; i < c.history; ++i)
            EXPECT_EQ(prefs.connectionHistory()[i], i < c.stored.size() ? c.stored[i] : kEmpty) << i;
        // Missing keys read as 0 / NO, also the one whose value at creation is YES.
        EXPECT_FALSE(prefs.showAdReminder());
        EXPECT_EQ(prefs.devicecount(), 0);
    }
}

TEST_F(QvApplicationPreferenceTest, UnreadableStoreCountsAsMissing) {
    const char* bodies[] = {"not a property list", "<?xml version=\"1.0\"?><plist><dict><key>La",
                            "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"};
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        std::ofstream(storePath()) << body;
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Pad);
        QvApplicationPreference prefs;
        EXPECT_FALSE(prefs.loadApplicationPreference());
        EXPECT_EQ(prefs.layoutStyle(), 2);
        EXPECT_EQ(prefs.connectionHistory(), std::vector<ConnectionRecord>(6, kEmpty));
        EXPECT_TRUE(prefs.showAdReminder());
    }
}

TEST_F(QvApplicationPreferenceTest, HostileStoreIsKeptAsideAndDefaultsApply) {
    for (const char* name : {"deep.plist", "nul-key.plist"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + name, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(bytes.empty());
        std::filesystem::create_directories(std::filesystem::path(storePath()).parent_path());
        std::ofstream(storePath(), std::ios::binary) << bytes;
        QvApplicationPreference prefs;
        EXPECT_FALSE(prefs.loadApplicationPreference());
        EXPECT_EQ(prefs.connectionHistory(), std::vector<ConnectionRecord>(prefs.numberOfLiveViews(), kEmpty));
        std::ifstream aside(storePath() + ".bad", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), bytes);
        EXPECT_TRUE(prefs.saveApplicationPreference());
        QvApplicationPreference again;
        EXPECT_TRUE(again.loadApplicationPreference());
    }
}

// Run in a child: the file crashed every start inside libplist.
TEST_F(QvApplicationPreferenceTest, NestingHiddenInAttributesIsKeptAsideWithoutACrash) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::string bytes = test::quotedAttributeNesting();
    std::filesystem::create_directories(std::filesystem::path(storePath()).parent_path());
    std::ofstream(storePath(), std::ios::binary) << bytes;
    EXPECT_EXIT(
        {
            QvApplicationPreference prefs;
            _exit(prefs.loadApplicationPreference() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(std::filesystem::exists(storePath()));
    std::ifstream aside(storePath() + ".bad", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), bytes);
}

// A FIFO at the store's path reads as a store that cannot be read, at once
// (run in a child whose alarm ends a blocking open); copies left by
// interrupted saves are removed when the store loads.
TEST_F(QvApplicationPreferenceTest, AFifoOrLeftoverCopiesBesideTheStore) {
    GTEST_FLAG_SET(death_test_style, "fast");
    std::filesystem::create_directories(std::filesystem::path(storePath()).parent_path());
    ASSERT_EQ(::mkfifo(storePath().c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(120);
            QvApplicationPreference prefs;
            _exit(prefs.loadApplicationPreference() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    std::filesystem::remove(storePath());

    QvApplicationPreference prefs;
    ASSERT_TRUE(prefs.saveApplicationPreference());
    EXPECT_EXIT(
        {
            AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(9); });
            prefs.saveApplicationPreference();
        },
        ::testing::ExitedWithCode(9), "");
    const std::string folder = std::filesystem::path(storePath()).parent_path();
    auto copies = [&] {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            n += e.path().filename().string().rfind(".configuration.plist.", 0) == 0;
        return n;
    };
    ASSERT_EQ(copies(), 1);
    QvApplicationPreference again;
    EXPECT_TRUE(again.loadApplicationPreference());
    EXPECT_EQ(copies(), 0);
}

TEST(QvApplicationPreferenceReply, AddressBetweenTheOnlyBrackets) {
    struct Case {
        std::string body;
        std::string address;
    } cases[] = {
        {"Your address: [203.0.113.7] from somewhere", "203.0.113.7"},
        {"[203.0.113.7", "203.0.113.7"},  // no "]": the rest
        {"[ 10.0.0.1 ]", "10.0.0.1"},
        {"two [1.2.3.4] and [5.6.7.8]", ""},
        {"no brackets 1.2.3.4", ""},
        {"[1.2.3.4,evil]", ""},  // would break the comma-separated LAN hint
        {"[999.1.1.1]", ""},
        {"[]", ""},
        {std::string("[1.2.3.4] \x81", 11), ""},  // not GB 18030
        {std::string("[1.2.3.4\0,evil]", 15), ""},  // the parser would stop at the zero
    };
    for (const auto& c : cases) EXPECT_EQ(QvApplicationPreference::addressFromReply(c.body), c.address) << c.body;
}

TEST_F(QvApplicationPreferenceTest, GetNetIPGathersAGB18030ReplyWrittenInPieces) {
    // "您的IP是：[203.0.113.7] 来自：某地", cut in the middle of the address and
    // in the middle of a two-byte character.
    auto gb = TextEncoding::gb18030FromUtf8(
        "\xE6\x82\xA8\xE7\x9A\x84IP\xE6\x98\xAF\xEF\xBC\x9A[203.0.113.7] \xE6\x9D\xA5\xE8\x87\xAA\xEF\xBC\x9A"
        "\xE6\x9F\x90\xE5\x9C\xB0");
    ASSERT_TRUE(gb.has_value());
    size_t cut = gb->find("113");
    std::string first = gb->substr(0, cut + 1);
    std::string second = gb->substr(cut + 1);
    std::string third = second.substr(second.size() - 1);
    second.pop_back();
    LoopbackHttpServer server([&](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply r;
        r.parts = {first, second, third};
        return r;
    });
    Config::shared().externalAddressUrl = server.url("/ic.asp");
    QvApplicationPreference prefs;
    prefs.setIpstr(std::string());
    prefs.getNetIP();
    EXPECT_TRUE(prefs.isLookingUpNetIP());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !prefs.isLookingUpNetIP(); }, 20s));
    EXPECT_EQ(prefs.ipstr(), std::optional<std::string>("203.0.113.7"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/ic.asp");
}

TEST_F(QvApplicationPreferenceTest, FailedLookUpLeavesTheAddress) {
    LoopbackHttpServer server([](const LoopbackHttpServer::Request& req) {
        LoopbackHttpServer::Reply r;
        if (req.target == "/missing") {
            r.status = 404;
            r.parts = {"[192.0.2.1]"};
        } else if (req.target == "/huge") {
            r.parts = {"[192.0.2.1]", std::string(QvApplicationPreference::kMaxReplyBytes, 'x')};
        } else {
            r.parts = {"nothing here"};
        }
        return r;
    });
    struct Case {
        const char* path;
        std::string before, after;
    } cases[] = {
        {"/missing", "198.51.100.1", "198.51.100.1"},
        {"/huge", "198.51.100.1", "198.51.100.1"},
        {"/plain", "198.51.100.1", ""},  // a reply without the address sets ""
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Config::shared().externalAddressUrl = server.url(c.path);
        QvApplicationPreference prefs;
        prefs.setIpstr(c.before);
        prefs.getNetIP();
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return !prefs.isLookingUpNetIP(); }, 20s));
        EXPECT_EQ(prefs.ipstr(), std::optional<std::string>(c.after));
    }
}

// A host of the reserved ".invalid" domain (the default configuration's
// stand-in for a service a deployment has not set) is never asked: it cannot
// resolve, and asking only fills the log with a failed look-up. A path that
// merely contains the word is asked as usual.
TEST_F(QvApplicationPreferenceTest, AnUnconfiguredLookUpServiceIsNotAsked) {
    for (const char* url : {"http://ip.lumora.invalid/", "https://IP.Lumora.Invalid:8080/ic.asp", "http://invalid/",
                            "http://a.invalid./x", "ip.lumora.invalid"}) {
        SCOPED_TRACE(url);
        Config::shared().externalAddressUrl = url;
        QvApplicationPreference prefs;
        prefs.setIpstr("198.51.100.1");
        prefs.getNetIP();
        EXPECT_FALSE(prefs.isLookingUpNetIP());
        EXPECT_EQ(prefs.ipstr(), std::optional<std::string>("198.51.100.1"));
    }
    LoopbackHttpServer server([](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply r;
        r.parts = {"[192.0.2.9]"};
        return r;
    });
    Config::shared().externalAddressUrl = server.url("/lookup.invalid");
    QvApplicationPreference prefs;
    prefs.getNetIP();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !prefs.isLookingUpNetIP(); }, 20s));
    EXPECT_EQ(prefs.ipstr(), std::optional<std::string>("192.0.2.9"));
}

}  // namespace
}  // namespace lumora
