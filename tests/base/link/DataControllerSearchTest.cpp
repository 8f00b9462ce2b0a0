#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DataControllerTestSupport.h"
#include "base/link/ConnetTolvServer.h"
#include "base/link/RkMessageBuilder.h"
#include "tools/relay-emulator/RelayWire.h"

using namespace lumora;
using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

using DataControllerSearchTest = DataControllerFixture;

struct RecordScreen : queryRecordDelegate {
    std::mutex m;
    std::vector<std::string> events;
    std::weak_ptr<DataController> session;
    void add(std::string e) {
        std::lock_guard<std::mutex> g(m);
        events.push_back(std::move(e));
    }
    int count(const std::string& e) {
        std::lock_guard<std::mutex> g(m);
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
    void queryRemoteRecord() override { add("logged in"); }
    void queryRemoteRecorddidConnect(const std::string&, int deviceId) override {
        add("connect " + std::to_string(deviceId));
        if (auto s = session.lock()) s->queryRemoteRequest();
    }
    void queryRemoteRecorddiddisConnect() override { add("disconnect"); }
    void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse& r, int32_t tag) override {
        add("search " + std::to_string(r.count) + " tag " + std::to_string(tag));
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& info, int32_t) override {
        add("file " + info.fileName.str());
    }
};

struct SearchScreen : lanSearchDelegate, AllSearchDelegate {
    std::mutex m;
    std::vector<std::shared_ptr<Device>> found;
    std::atomic<int> ends{0};
    void newDeviceDidFoundInLan(const std::shared_ptr<Device>& d, uint16_t type) override {
        EXPECT_EQ(type, 0);
        std::lock_guard<std::mutex> g(m);
        found.push_back(d);
    }
    void AllSearchdidEnd() override { ++ends; }
};

TEST_F(DataControllerSearchTest, APlayRequestCarriesTheFirst260BytesOfTheName) {
    _OWSP_DateTime start;
    start.m_year = 2014;
    start.m_minute = 7;
    session->setTimeAndName(start, std::string(300, 'r'));
    EXPECT_EQ(session->channelConnectMode(), 1);
    EXPECT_EQ(session->channel(), 1);
    auto p = session->buildPlayRequest();
    ASSERT_GE(p.size(), 12u + 300u);
    const size_t body = 12;  // packet header 8, record header 4
    EXPECT_EQ(std::string(p.begin() + body + 4, p.begin() + body + 264), std::string(260, 'r'));
    EXPECT_EQ(p[body + 264 + 4], 2014 & 0xFF);  // m_year after m_microsecond
    EXPECT_EQ(p[body + 292], 1);
    EXPECT_EQ(p[body + 293], 1);
    EXPECT_EQ(p[body + 294], 1);
}

TEST_F(DataControllerSearchTest, TheEndOfARecordingStopsThePlaybackWithItsText) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    session->devicedidRcvRecordend(nullptr);
    // The pictures still on their way are shown first.
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return session->deviceId() == -1; }, std::chrono::seconds(30)));
    EXPECT_EQ(pane->countPrefix("failed"), 1);
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("RECORDEND"));
    EXPECT_EQ(dev->connectNum.load(), 0);
}

TEST_F(DataControllerSearchTest, ARecordingSearchLogsInOnlyWhenTheScreenAsks) {
    startDevice();
    auto screen = std::make_shared<RecordScreen>();
    screen->session = session;
    session->setQueryRecordDelegate(screen);
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return screen->count("logged in") == 1; }));
    EXPECT_EQ(screen->count("connect " + std::to_string(dev->deviceId)), 1);
    EXPECT_EQ(device->countEvents("login kind=extended user=admin channel=1"), 1u);
    _TLV_V_SearchFileResponse r;
    r.count = 3;
    session->deviceDidReceiveSearchResp(nullptr, r, 7);
    EXPECT_EQ(screen->count("search 3 tag 0"), 1);
    _TLV_V_FileInfo info;
    info.fileName = "rec1.h264";
    session->deviceDidReceiveFileInfo(nullptr, info, 7);
    EXPECT_EQ(screen->count("file rec1.h264"), 1);
    session->tolvClientDidDisConnect("", Error(errors::kTCPErr, errors::kCodeTCP, "tcp"));
    EXPECT_EQ(screen->count("disconnect"), 1);
    session->stopLive();
}

// The recording list as a screen keeps it: logs in when the link stands,
// sends the search once logged in, then gathers the answers and files.
struct RecordingList : queryRecordDelegate {
    std::mutex m;
    std::weak_ptr<DataController> session;
    _TLV_V_SearchFileRequest request;
    std::vector<int> answerCounts;
    std::vector<std::string> names;
    std::vector<std::string> starts;
    std::atomic<bool> lastAnswer{false};
    std::atomic<int> loggedIn{0};

    void queryRemoteRecorddidConnect(const std::string&, int) override {
        if (auto s = session.lock()) s->queryRemoteRequest();
    }
    void queryRemoteRecord() override {
        ++loggedIn;
        if (auto s = session.lock()) s->sendRemoteFileSearchRequest(request);
    }
    void queryRemoteRecorddiddisConnect() override {}
    void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse& r, int32_t) override {
        std::lock_guard<std::mutex> g(m);
        answerCounts.push_back(r.count);
        if (r.reserve == 0) lastAnswer = true;
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& info, int32_t) override {
        std::lock_guard<std::mutex> g(m);
        names.push_back(info.fileName.str());
        char t[32];
        std::snprintf(t, sizeof t, "%04u-%02u-%02u %02u:%02u:%02u", info.startTime.m_year, info.startTime.m_month,
                      info.startTime.m_day, info.startTime.m_hour, info.startTime.m_minute, info.startTime.m_second);
        starts.push_back(t);
    }
    size_t fileCount() {
        std::lock_guard<std::mutex> g(m);
        return names.size();
    }
};

TEST_F(DataControllerSearchTest, ARecordingSearchListsWhatTheDeviceKeeps) {
    struct Case {
        int recordings;
        std::vector<int> answers;
    } cases[] = {{0, {0}}, {1, {1}}, {300, {100, 100, 100}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recordings);
        startDeviceWith([&](devemu::EmulatorOptions& o) { o.recordingCount = c.recordings; });
        auto list = std::make_shared<RecordingList>();
        list->session = session;
        list->request.channelMask = 0xF;
        list->request.startTime.m_year = 2026, list->request.startTime.m_month = 1, list->request.startTime.m_day = 1;
        list->request.endTime.m_year = 2026, list->request.endTime.m_month = 12, list->request.endTime.m_day = 31;
        list->request.count = 100;
        list->request.step = 10;
        session->setQueryRecordDelegate(list);
        auto dev = addressDevice("Porch" + std::to_string(c.recordings));
        startLiveFromGlobal(dev, 0);
        ASSERT_TRUE(waitFor([&] { return list->lastAnswer.load() && list->fileCount() == size_t(c.recordings); }))
            << list->fileCount();
        // The session ends its link once the last answer's files are in,
        // not after the first answer's.
        EXPECT_TRUE(waitFor([&] { return session->client()->deviceConnection() == nullptr; }));
        EXPECT_EQ(list->fileCount(), size_t(c.recordings));
        session->stopLive();
        EXPECT_EQ(list->loggedIn.load(), 1);
        EXPECT_EQ(list->answerCounts, c.answers);
        const auto& kept = device->recordings();
        ASSERT_EQ(list->names.size(), kept.size());
        for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(list->names[i], kept[i].name);
        if (c.recordings == 300) {
            EXPECT_EQ(list->starts[0], "2026-01-01 23:50:00");
            EXPECT_EQ(list->starts[1], "2026-01-01 23:58:00");
            EXPECT_EQ(list->starts[299], "2026-01-03 15:42:00");
        }
        EXPECT_EQ(device->countEvents("search answered: mask=15 found=" + std::to_string(c.recordings)), 1u);
        session->setQueryRecordDelegate(nullptr);
        QvDeviceManager::sharedInstance().removeDevice(dev);
        device->stop();
    }
}

std::vector<uint8_t> statusAnswer(uint32_t result, const std::string& uid, const std::string& addr, uint16_t port) {
    std::vector<uint8_t> m(84, 0);
    m[0] = 0x02, m[1] = 0xA0, m[2] = 80, m[3] = 0;
    m[4] = static_cast<uint8_t>(result);
    m[8] = 2;  // connect mode
    std::copy(uid.begin(), uid.end(), m.begin() + 12);
    std::copy(addr.begin(), addr.end(), m.begin() + 44);
    m[80] = static_cast<uint8_t>(port & 0xFF);
    m[81] = static_cast<uint8_t>(port >> 8);
    return m;
}

TEST_F(DataControllerSearchTest, RelayAnswersUpdateTheDevicesAndEndTheSearch) {
    auto screen = std::make_shared<SearchScreen>();
    session->setAllSearchDelegate(screen);
    auto a = uidDevice("A");
    auto b = std::make_shared<Device>();
    b->udid = "LUMORA-OTHER";
    b->name = "B";
    add(b);
    auto c = std::make_shared<Device>();
    c->udid = "LUMORA-THIRD";
    c->name = "C";
    add(c);
    size_t listed = QvDeviceManager::sharedInstance().devices().size();
    auto server2 = ConnetTolvServer::create(nullptr, RelayServers::host(1), servers.port);
    auto server4 = ConnetTolvServer::create();  // no host: counts as server 4

    // Server 2 knows A: online. Answers may arrive split.
    auto m = statusAnswer(0, kP2PUid, "10.1.2.3", 6000);
    session->connectTolvServerDidReadData(*server2, std::vector<uint8_t>(m.begin(), m.begin() + 30), 1);
    EXPECT_FALSE(a->isOnLine.load());
    session->connectTolvServerDidReadData(*server2, std::vector<uint8_t>(m.begin() + 30, m.end()), 1);
    EXPECT_TRUE(a->isInhub2.load());
    EXPECT_TRUE(a->isOnLine.load());
    EXPECT_EQ(a->queryAddress.value(), "10.1.2.3");
    EXPECT_EQ(a->queryMediaPort.load(), 6000u);
    EXPECT_EQ(a->queryMode.load(), 2u);
    EXPECT_EQ(a->serverIP.value(), RelayServers::host(1));

    // Server 2 no longer knows A: offline again.
    auto gone = statusAnswer(1, kP2PUid, "", 0);
    session->connectTolvServerDidReadData(*server2, gone, 1);
    EXPECT_FALSE(a->isInhub2.load());
    EXPECT_FALSE(a->isOnLine.load());

    // Found only by server 4: still offline.
    session->connectTolvServerDidReadData(*server4, statusAnswer(0, "LUMORA-OTHER", "10.9.9.9", 1), 1);
    EXPECT_TRUE(b->isInEng.load());
    EXPECT_FALSE(b->isOnLine.load());
    EXPECT_EQ(session->searchtimes() + screen->ends * static_cast<int>(listed - 1), 3);

    // Another message type empties the buffer.
    std::vector<uint8_t> other = {0x08, 0xA0, 4, 0, 1, 2, 3, 4};
    auto tail = statusAnswer(0, "LUMORA-THIRD", "10.0.0.1", 1);
    other.insert(other.end(), tail.begin(), tail.end());
    session->connectTolvServerDidReadData(*server4, other, 1);
    EXPECT_FALSE(c->isInEng.load());
    // An unknown id changes nothing but is counted.
    int before = session->searchtimes() + screen->ends * static_cast<int>(listed - 1);
    session->connectTolvServerDidReadData(*server4, statusAnswer(0, "NOBODY", "1.1.1.1", 1), 1);
    EXPECT_EQ(session->searchtimes() + screen->ends * static_cast<int>(listed - 1), before + 1);
    EXPECT_EQ(QvDeviceManager::sharedInstance().devices().size(), listed);
}

TEST_F(DataControllerSearchTest, AHostSharedByTwoServersCountsAsTheFirst) {
    auto a = uidDevice("A");
    auto& hosts = Config::shared().relayHosts;
    const std::string saved = hosts[1];
    hosts[1] = hosts[0];
    auto server1 = ConnetTolvServer::create(nullptr, hosts[0], servers.port);
    session->connectTolvServerDidReadData(*server1, statusAnswer(0, kP2PUid, "10.1.2.3", 6000), 1);
    hosts[1] = saved;
    EXPECT_TRUE(a->isInHub1.load());
    EXPECT_FALSE(a->isInhub2.load());
    EXPECT_TRUE(a->isOnLine.load());
}

TEST_F(DataControllerSearchTest, TheCountedRepliesEndTheSearchForTheScreen) {
    auto screen = std::make_shared<SearchScreen>();
    session->setAllSearchDelegate(screen);
    ASSERT_EQ(QvDeviceManager::sharedInstance().devices().size(), 0u);
    auto a = uidDevice("A");
    for (auto uid : {"X2", "X3"}) {
        auto d = std::make_shared<Device>();
        d->udid = uid;
        d->name = uid;
        add(d);
    }
    auto server4 = ConnetTolvServer::create();
    session->connectTolvServerDidReadData(*server4, statusAnswer(1, kP2PUid, "", 0), 1);
    EXPECT_EQ(screen->ends.load(), 0);
    session->connectTolvServerDidReadData(*server4, statusAnswer(1, kP2PUid, "", 0), 1);
    EXPECT_EQ(screen->ends.load(), 1);
    EXPECT_EQ(session->searchtimes(), 0);
    // A short answer counts too.
    session->connectTolvServerDidReadData(*server4, {0x02, 0xA0, 4, 0, 0, 0, 0, 0}, 1);
    EXPECT_EQ(session->searchtimes(), 1);
    EXPECT_EQ(screen->ends.load(), 1);
}

// A screen may start a search and let go of its controller at once; a
// search queued behind a running one still runs, reports to the delegate,
// and only then lets the controller go.
TEST_F(DataControllerSearchTest, AQueuedLanSearchKeepsItsControllerUntilItHasRun) {
    relayemu::LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({"LUMORA-LAN", 7000, 8001, "192.168.1.30"});
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    auto screen = std::make_shared<SearchScreen>();
    auto controller = DataController::create();
    controller->setLanSearchDelegate(screen);
    controller->startLanSearch();
    controller->startLanSearch();  // waits behind the first on "lansearch"
    std::weak_ptr<DataController> weak = controller;
    controller.reset();
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(waitFor([&] { return weak.expired(); }, 30s));
    EXPECT_EQ(lan.queries(), 2);
    std::lock_guard<std::mutex> g(screen->m);
    ASSERT_EQ(screen->found.size(), 2u);
    EXPECT_EQ(screen->found[1]->udid.value(), "LUMORA-LAN");
}

// Whoever changes the configuration waits for the searches that read it:
// they count from being queued to their end, also when their controller
// was let go.
TEST_F(DataControllerSearchTest, SearchesUnderWayCountFromQueueingToTheirEnd) {
    relayemu::LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    ASSERT_EQ(DataController::searchesUnderWay(), 0);
    auto controller = DataController::create();
    controller->startLanSearch();
    controller->startLanSearch();
    controller->searchAllDevice();
    EXPECT_GE(DataController::searchesUnderWay(), 2);  // the LAN searches wait on one queue
    controller.reset();
    ASSERT_TRUE(waitFor([] { return DataController::searchesUnderWay() == 0; }, 60s));
    EXPECT_EQ(lan.queries(), 3);  // the all-device search starts with one of its own
}

TEST_F(DataControllerSearchTest, TheLanSearchMarksListedDevicesAndReportsNewOnes) {
    relayemu::LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({kP2PUid, 0xFFFF, 8000, "192.168.1.20"});
    lan.addDevice({"LUMORA-NEW", 7000, 8001, "192.168.1.21"});
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    auto screen = std::make_shared<SearchScreen>();
    session->setLanSearchDelegate(screen);
    auto a = uidDevice("A");
    EXPECT_EQ(session->localSearch(), 0);
    std::lock_guard<std::mutex> g(screen->m);
    ASSERT_EQ(screen->found.size(), 2u);
    EXPECT_EQ(screen->found[0], a);
    EXPECT_TRUE(a->isInIner.load());
    EXPECT_TRUE(a->isOnLine.load());
    EXPECT_FALSE(a->isUDTConnect.load());
    EXPECT_EQ(a->mediaPort.load(), lan.port());  // TCP only: the answer's source port
    EXPECT_EQ(a->address.value(), "192.168.1.20");
    auto fresh = screen->found[1];
    EXPECT_EQ(fresh->udid.value(), "LUMORA-NEW");
    EXPECT_TRUE(fresh->isUDTConnect.load());
    EXPECT_EQ(fresh->mediaPort.load(), 7000u);
    EXPECT_EQ(QvDeviceManager::sharedInstance().deviceWithUID(std::string("LUMORA-NEW")), nullptr);
}

}  // namespace

namespace {

TEST_F(DataControllerSearchTest, TheAllDeviceSearchProbesDevicesReachedByAddress) {
    // A device without a udid but with an address tests itself: the online
    // probe connects to its media port.
    NETStatusObj::sharedInstance().setIsHaveNet(true);
    startDevice();
    auto d = addressDevice("byAddress");
    d->isOnLine = false;
    auto screen = std::make_shared<SearchScreen>();
    session->setAllSearchDelegate(screen);
    session->searchAllDevice();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return d->isOnLine.load(); }, std::chrono::seconds(30)));
}

}  // namespace

namespace {

TEST_F(DataControllerSearchTest, SingleServerQueriesAskForTheDevicesNotFoundYet) {
    NETStatusObj::sharedInstance().setIsHaveNet(true);
    knownOn(0, 2, 6000);
    auto a = uidDevice("A");
    auto b = std::make_shared<Device>();
    b->udid = "LUMORA-OTHER";
    b->name = "B";
    add(b);
    auto c = std::make_shared<Device>();
    c->udid = "LUMORA-ONLINE";
    c->name = "C";
    c->isOnLine = true;
    add(c);
    auto byAddress = addressDevice("byAddress");
    byAddress->udid = "LUMORA-ADDRESS";

    // Over a connection of its own: the answers update the devices at once.
    b->isOnLine = false;
    session->netSearch(RelayServers::host(0), false);
    EXPECT_TRUE(a->isOnLine.load());
    EXPECT_EQ(a->queryAddress.value(), kDeviceAddr);
    EXPECT_EQ(a->queryMediaPort.load(), 6000u);
    EXPECT_EQ(a->queryMode.load(), 2u);
    EXPECT_EQ(a->serverIP.value(), RelayServers::host(0));
    EXPECT_FALSE(b->isOnLine.load());
    std::vector<std::string> asked;
    for (const auto& r : servers[0].requestLog()) asked.push_back(r.uid);
    EXPECT_EQ(asked, (std::vector<std::string>{kP2PUid, "LUMORA-OTHER"}));

    // Over the kept connection, for every device not found in the LAN.
    session->netSearch2(RelayServers::host(1), true);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return servers[1].requestLog().size() >= 3; }, 30s));
    asked.clear();
    for (const auto& r : servers[1].requestLog()) asked.push_back(r.uid);
    EXPECT_EQ(asked, (std::vector<std::string>{kP2PUid, "LUMORA-OTHER", "LUMORA-ONLINE"}));
}

}  // namespace

namespace {

// A LAN answer or a relay reply whose device id is empty names no device: it
// must not land on a device reached by address (which has no udid).
TEST_F(DataControllerSearchTest, AnswersWithAnEmptyIdChangeNoDevice) {
    startDevice();
    auto byAddress = addressDevice("byAddress");
    const std::string address = byAddress->address.value();
    const uint32_t port = byAddress->mediaPort.load();
    byAddress->isOnLine = false;

    relayemu::LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({"", 7000, 8000, "192.168.1.66"});
    lan.addDevice({"LUMORA-NEW", 7001, 8001, "192.168.1.21"});
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    auto screen = std::make_shared<SearchScreen>();
    session->setLanSearchDelegate(screen);
    session->setAllSearchDelegate(screen);
    session->localSearch();
    {
        std::lock_guard<std::mutex> g(screen->m);
        ASSERT_EQ(screen->found.size(), 1u);
        EXPECT_EQ(screen->found[0]->udid.value(), "LUMORA-NEW");
    }
    EXPECT_EQ(byAddress->address.value(), address);
    EXPECT_EQ(byAddress->mediaPort.load(), port);
    EXPECT_FALSE(byAddress->isInIner.load());
    EXPECT_FALSE(byAddress->isOnLine.load());

    auto server1 = ConnetTolvServer::create(nullptr, RelayServers::host(0), servers.port);
    session->connectTolvServerDidReadData(*server1, statusAnswer(0, "", "10.6.6.6", 6666), 1);
    EXPECT_TRUE(byAddress->queryAddress.value().empty());
    EXPECT_FALSE(byAddress->isInHub1.load());
    EXPECT_FALSE(byAddress->isOnLine.load());
}

// The status query carries the UID's own UTF-8 bytes, so the servers know a
// device whose UID has non-ASCII characters and its answers find it again.
TEST_F(DataControllerSearchTest, TheStatusQueryCarriesTheUidsOwnBytes) {
    const std::string uid = "Cámara-Jardín-7";
    std::vector<uint8_t> q = DataController::buildNetSearch(uid);
    ASSERT_EQ(q.size(), 36u);
    EXPECT_EQ(std::string(q.begin() + 4, q.begin() + 4 + static_cast<long>(uid.size())), uid);
    EXPECT_TRUE(std::all_of(q.begin() + 4 + static_cast<long>(uid.size()), q.end(), [](uint8_t b) { return b == 0; }));
    // Cut at 32 bytes.
    std::vector<uint8_t> longer = DataController::buildNetSearch(std::string(40, 'x'));
    EXPECT_EQ(std::string(longer.begin() + 4, longer.end()), std::string(32, 'x'));
    // The look-up requests keep their own form of the id.
    EXPECT_EQ(RkMessageBuilder::deviceIdForUid(uid)[1], '?');

    NETStatusObj::sharedInstance().setIsHaveNet(true);
    relayemu::RelayTcpEmulator::Device known;
    known.open.mode = 2;
    known.open.addr = kDeviceAddr;
    known.open.port = 6000;
    servers[0].registerDevice(uid, known);
    auto d = std::make_shared<Device>();
    d->udid = uid;
    d->name = "Jardín";
    add(d);
    auto other = uidDevice("Other");  // two devices: the search ends after one reply
    (void)other;
    Config::shared().lanGroup = kLanAddr;
    session->searchAllDevice();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return d->isOnLine.load(); }, 30s));
    EXPECT_EQ(d->queryAddress.value(), kDeviceAddr);
    EXPECT_EQ(d->queryMediaPort.load(), 6000u);
}

}  // namespace

namespace {

// The recording-search screen as it runs: logs in when the link stands and
// searches once logged in.
struct SearchingRecordScreen : RecordScreen {
    void queryRemoteRecord() override {
        RecordScreen::queryRemoteRecord();
        _TLV_V_SearchFileRequest request;
        request.channelMask = 1;
        request.count = 100;
        request.step = 10;
        if (auto s = session.lock()) s->sendRemoteFileSearchRequest(request);
    }
};

// Once every announced file is in, the search ends its link: it does not sit
// idle until its read time-out, get reopened, log in and search again.
TEST_F(DataControllerSearchTest, ACompleteRecordingSearchEndsItsLink) {
    startDeviceWith([](devemu::EmulatorOptions& o) {
        o.audio = false;
        o.recordings = {"rec1.h264", "rec2.h264"};
    });
    auto screen = std::make_shared<SearchingRecordScreen>();
    screen->session = session;
    session->setQueryRecordDelegate(screen);
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return screen->count("file rec2.h264") >= 1; }));
    EXPECT_TRUE(waitFor([&] { return session->client()->deviceConnection() == nullptr; }));
    // Several of the link's read time-outs.
    std::this_thread::sleep_for(Config::shared().scaled(30s));
    EXPECT_EQ(screen->count("connect " + std::to_string(dev->deviceId)), 1);
    EXPECT_EQ(screen->count("logged in"), 1);
    EXPECT_EQ(screen->count("search 2 tag 0"), 1);
    EXPECT_EQ(screen->count("file rec1.h264"), 1);
    EXPECT_EQ(screen->count("file rec2.h264"), 1);
    EXPECT_EQ(device->countEvents("search answered"), 1u);
    EXPECT_EQ(device->stats().sessions, 1);
    EXPECT_EQ(dev->connectNum.load(), 0);
}

}  // namespace
