#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CoreFixture.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/storage/AtomicFile.h"
#include "platform/bytes/ByteWriter.h"
#include "platform/storage/PropertyList.h"
#include "support/HostileStores.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

using Text = std::optional<std::string>;

std::shared_ptr<Device> makeDevice(Text name, int32_t conType, Text address, uint32_t port, Text udid) {
    auto d = std::make_shared<Device>();
    d->name = name;
    d->deviceConType = conType;
    d->address = address;
    d->mediaPort = port;
    d->udid = udid;
    return d;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeAll(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class DeviceManagerTest : public test::CoreTest {
protected:
    void SetUp() override {
        test::CoreTest::SetUp();
        Config::shared().relayHosts[0] = "hub1.test";
        Config::shared().relayTcpPort = 28622;
        files = std::make_unique<FileManager>();
    }
    // Lists E1 (by address), E2 (by udid), E3 (no name, no udid).
    void addThree(QvDeviceManager& m) {
        ASSERT_TRUE(m.addDevice(makeDevice("A", 1, "10.0.0.1", 5000, "")));
        ASSERT_TRUE(m.addDevice(makeDevice("B", 0, "", 0, "UID-B")));
        ASSERT_TRUE(m.addDevice(makeDevice(std::nullopt, 0, std::nullopt, 0, std::nullopt)));
    }
    std::unique_ptr<FileManager> files;
};

}  // namespace

TEST_F(DeviceManagerTest, DuplicateRules) {
    struct Case {
        const char* what;
        Text name;
        int32_t conType;
        Text address;
        uint32_t port;
        Text udid;
        bool added;
    } cases[] = {
        {"by address, address and port of a by-address device", "N", 1, "10.0.0.1", 5000, "x", false},
        {"by address, other port", "N", 1, "10.0.0.1", 5001, "x", true},
        {"by address, empty address and port 0 of a by-udid device", "N", 1, "", 0, "x", false},
        {"by udid, same udid", "N", 0, "10.0.0.1", 5000, "UID-B", false},
        {"by udid, empty udid like the by-address device", "N", 0, "", 0, "", false},
        {"by udid, absent udid never equals", "N", 0, "", 0, std::nullopt, true},
        {"by udid, address clash does not count", "N", 0, "10.0.0.1", 5000, "UID-N", true},
        {"same name", "A", 0, "", 0, "UID-N", false},
        {"name differs only in case", "a", 0, "", 0, "UID-N", true},
        {"absent name never equals", std::nullopt, 0, "", 0, "UID-N", true},
        {"other kind value counts as by udid", "N", 2, "10.0.0.1", 5000, "UID-B", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QvDeviceManager m(*files);
        addThree(m);
        auto d = makeDevice(c.name, c.conType, c.address, c.port, c.udid);
        EXPECT_EQ(m.doesDeviceHaveDuplicateAttribute(d), !c.added);
        EXPECT_EQ(m.addDevice(d), c.added);
        EXPECT_EQ(m.countOfDevices(), c.added ? 4u : 3u);
        // Once listed, a device never clashes with itself.
        if (c.added) {
            EXPECT_FALSE(m.doesDeviceHaveDuplicateAttribute(d));
        }
    }
    QvDeviceManager m(*files);
    addThree(m);
    auto listed = m.objectInDevicesAtIndex(0);
    EXPECT_FALSE(m.addDevice(listed)) << "already listed";
    EXPECT_EQ(m.countOfDevices(), 3u);
    listed->name = "B";  // an edit that clashes
    EXPECT_TRUE(m.doesDeviceHaveDuplicateAttribute(listed));
}

TEST_F(DeviceManagerTest, LookupsInsertionsAndRemovals) {
    QvDeviceManager m(*files);
    addThree(m);
    auto a = m.deviceWithName("A");
    ASSERT_TRUE(a);
    EXPECT_EQ(m.indexOfDevice(a), 0u);
    EXPECT_EQ(m.indexOfDevice(std::make_shared<Device>()), 2147483647u);
    EXPECT_EQ(m.indexOfDevice(nullptr), QvDeviceManager::kNotFound);
    EXPECT_EQ(m.deviceWithName(""), nullptr) << "a device without a name is passed over";
    EXPECT_EQ(m.deviceWithUID(std::nullopt), nullptr);
    EXPECT_EQ(m.deviceWithUID(std::string()), nullptr) << "an empty id is no id";
    EXPECT_EQ(m.deviceWithUID(std::string("UID-B")), m.objectInDevicesAtIndex(1));
    EXPECT_EQ(m.deviceWithAddress("10.0.0.1", 5000), a);
    EXPECT_EQ(m.deviceWithAddress("10.0.0.1", -1), nullptr);
    EXPECT_EQ(m.deviceWithId(a->deviceId), a);
    EXPECT_EQ(m.objectInDevicesAtIndex(3), nullptr);

    // Insertion tests the address and port only.
    EXPECT_FALSE(m.insertObject(makeDevice("Z", 0, "10.0.0.1", 5000, "u"), 0));
    EXPECT_FALSE(m.insertObject(makeDevice("Z", 0, "10.0.0.9", 1, "u"), 4)) << "index above the count";
    auto z = makeDevice("A", 0, "10.0.0.9", 1, "UID-B");
    EXPECT_TRUE(m.insertObject(z, 1));
    EXPECT_EQ(m.indexOfDevice(z), 1u);
    EXPECT_FALSE(m.insertObject(z, 0)) << "same object";

    // Removals report what they did.
    EXPECT_TRUE(m.removeDevice(z));
    EXPECT_FALSE(m.removeDevice(z));
    EXPECT_TRUE(m.removeDeviceWithId(a->deviceId));
    EXPECT_FALSE(m.removeDeviceWithId(a->deviceId));
    EXPECT_FALSE(m.removeObjectFromDevicesAtIndex(2));
    EXPECT_TRUE(m.removeObjectFromDevicesAtIndex(1));
    EXPECT_EQ(m.countOfDevices(), 1u);
    EXPECT_EQ(a->name.value(), "A") << "a removed device stays valid for its holders";
}

TEST_F(DeviceManagerTest, StoreRoundTrip) {
    QvDeviceManager m(*files);
    auto full = makeDevice("Cam 1", 1, "10.0.0.5", 5008, "");
    full->userName = "admin";
    full->password = "p&ss<word>";
    full->encryptType = 3;
    full->channelNum = 16;
    full->alarmOnGuard = true;
    full->useOwsp3 = true;
    full->serverIP = "relay.example";
    full->serverPort = 1234;
    full->deviceName = "DVR-16";
    full->inHourseIpStr = "1.2.3.4,192.168.1.5,5008,0";
    auto sparse = makeDevice("caf\xc3\xa9", 0, std::nullopt, 0, "UID-9");
    sparse->serverIP = std::nullopt;
    sparse->deviceName = std::nullopt;
    ASSERT_TRUE(m.addDevice(full));
    ASSERT_TRUE(m.addDevice(sparse));
    ASSERT_TRUE(m.saveDeviceList());
    EXPECT_EQ(sparse->serverIP.get(), Text("")) << "absent server text becomes empty on save";
    EXPECT_EQ(sparse->inHourseIpStr.get(), Text(""));

    struct stat st {};
    ASSERT_EQ(::stat(m.storePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    auto raw = PropertyList::readFile(m.storePath());
    ASSERT_EQ(raw.status, PropertyList::ReadStatus::Ok);
    EXPECT_EQ(raw.value->at(1)->find("deviceName"), nullptr) << "written only when the device has one";
    EXPECT_EQ(raw.value->at(1)->find("address")->asString(), "");

    int32_t firstId = Device::peekNextDeviceId();
    QvDeviceManager back(*files);
    back.readDeviceList();
    ASSERT_EQ(back.countOfDevices(), 2u);
    auto f = back.objectInDevicesAtIndex(0);
    EXPECT_EQ(f->deviceId, firstId);
    EXPECT_EQ(back.objectInDevicesAtIndex(1)->deviceId, firstId + 1);
    EXPECT_EQ(f->name.value(), "Cam 1");
    EXPECT_EQ(f->address.value(), "10.0.0.5");
    EXPECT_EQ(f->mediaPort.load(), 5008u);
    EXPECT_EQ(f->userName.value(), "admin");
    EXPECT_EQ(f->password.value(), "p&ss<word>");
    EXPECT_EQ(f->encryptType.load(), 3);
    EXPECT_EQ(f->channelNum.load(), 16);
    EXPECT_EQ(f->deviceConType.load(), 1);
    EXPECT_TRUE(f->alarmOnGuard.load()) << "the alarm switch survives a restart";
    EXPECT_TRUE(f->useOwsp3.load());
    EXPECT_EQ(f->serverIP.value(), "relay.example");
    EXPECT_EQ(f->serverPort.load(), 28622) << "the stored port is not used";
    EXPECT_EQ(f->inHourseIpStr.value(), "1.2.3.4,192.168.1.5,5008,0");
    EXPECT_EQ(f->deviceName.value(), "") << "the device's own name is learnt again";
    auto s = back.objectInDevicesAtIndex(1);
    EXPECT_EQ(s->name.value(), "caf\xc3\xa9");
    EXPECT_EQ(s->udid.value(), "UID-9");
    EXPECT_EQ(s->serverIP.get(), Text("")) << "a stored empty server stays empty";
}

TEST_F(DeviceManagerTest, StoreReadsMissingKeysAndOddValuesSafely) {
    QvDeviceManager m(*files);
    writeAll(m.storePath(),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
             "<dict><key>name</key><string>Bare</string></dict>"
             "<string>not a device</string>"
             "<dict><key>name</key><integer>7</integer><key>mediaPort</key><string>80</string>"
             "<key>videoChannelNum</key><integer>4294967300</integer><key>alarmOnGuard</key><integer>1</integer>"
             "<key>encryptType</key><integer>257</integer><key>serverPort</key><integer>1234</integer></dict>"
             "</array></plist>");
    m.readDeviceList();
    ASSERT_EQ(m.countOfDevices(), 2u);
    auto bare = m.objectInDevicesAtIndex(0);
    EXPECT_EQ(bare->name.value(), "Bare");
    EXPECT_TRUE(bare->address.isAbsent());
    EXPECT_TRUE(bare->udid.isAbsent());
    EXPECT_TRUE(bare->inHourseIpStr.isAbsent());
    EXPECT_EQ(bare->mediaPort.load(), 0u);
    EXPECT_EQ(bare->channelNum.load(), 0) << "a missing number reads as 0";
    EXPECT_EQ(bare->serverIP.value(), "hub1.test") << "no stored server: relay server 1";
    EXPECT_EQ(bare->serverPort.load(), 28622);
    EXPECT_FALSE(bare->alarmOnGuard.load());
    auto odd = m.objectInDevicesAtIndex(1);
    EXPECT_TRUE(odd->name.isAbsent()) << "a number where a text belongs";
    EXPECT_EQ(odd->mediaPort.load(), 0u);
    EXPECT_EQ(odd->channelNum.load(), 4);
    EXPECT_EQ(odd->encryptType.load(), 1);
    EXPECT_TRUE(odd->alarmOnGuard.load());
    EXPECT_EQ(odd->serverPort.load(), 28622);
}

TEST_F(DeviceManagerTest, MalformedStoreIsKeptAsideAndNotOverwrittenUntilSaved) {
    const std::string good = [&] {
        QvDeviceManager m(*files);
        m.addDevice(makeDevice("A", 1, "10.0.0.1", 1, ""));
        m.saveDeviceList();
        return readAll(m.storePath());
    }();
    const std::string variants[] = {
        good.substr(0, good.size() / 2),                                        // truncated
        "garbage",                                                              // not a property list
        "<plist version=\"1.0\"><dict><key>a</key><string>b</string></dict></plist>",  // root not an array
        "",
    };
    for (const auto& bytes : variants) {
        SCOPED_TRACE(bytes);
        QvDeviceManager m(*files);
        writeAll(m.storePath(), bytes);
        fs::remove(m.storePath() + ".bad");
        m.readDeviceList();
        EXPECT_EQ(m.countOfDevices(), 0u);
        EXPECT_EQ(readAll(m.storePath() + ".bad"), bytes) << "the user's data is kept for recovery";
        ASSERT_TRUE(m.addDevice(makeDevice("New", 1, "10.0.0.2", 1, "")));
        ASSERT_TRUE(m.saveDeviceList());
        EXPECT_EQ(readAll(m.storePath() + ".bad"), bytes);
        QvDeviceManager again(*files);
        again.readDeviceList();
        EXPECT_EQ(again.countOfDevices(), 1u);
    }
}

TEST_F(DeviceManagerTest, ASecondMalformedStoreDoesNotReplaceTheFirstKeptAside) {
    QvDeviceManager m(*files);
    const std::string path = m.storePath();
    const std::string firsts[] = {"first broken list", "second broken list", "third broken list"};
    for (const auto& bytes : firsts) {
        writeAll(path, bytes);
        QvDeviceManager reader(*files);
        reader.readDeviceList();
        EXPECT_EQ(reader.countOfDevices(), 0u);
    }
    EXPECT_EQ(readAll(path + ".bad"), firsts[0]);
    EXPECT_EQ(readAll(path + ".bad.1"), firsts[1]);
    EXPECT_EQ(readAll(path + ".bad.2"), firsts[2]);
}

TEST_F(DeviceManagerTest, AStoreThatCannotBeReadIsNotReplacedBySaving) {
    QvDeviceManager m(*files);
    const std::string path = m.storePath();
    fs::create_directories(path);  // a folder in the file's place reads as an error
    QvDeviceManager reader(*files);
    reader.readDeviceList();
    ASSERT_TRUE(reader.addDevice(makeDevice("New", 1, "10.0.0.2", 1, "")));
    EXPECT_FALSE(reader.saveDeviceList());
    EXPECT_TRUE(fs::is_directory(path));
}

// Files that crashed the reader (nesting that overflowed the stack, a zero
// byte inside a key) start the list empty with the file kept as it was.
TEST_F(DeviceManagerTest, HostileStoresAreKeptAsideAndTheListStartsEmpty) {
    for (const char* name : {"deep.plist", "nul-key.plist"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readAll(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + name);
        ASSERT_FALSE(bytes.empty());
        QvDeviceManager m(*files);
        writeAll(m.storePath(), bytes);
        fs::remove(m.storePath() + ".bad");
        m.readDeviceList();
        EXPECT_EQ(m.countOfDevices(), 0u);
        EXPECT_FALSE(fs::exists(m.storePath()));
        EXPECT_EQ(readAll(m.storePath() + ".bad"), bytes);
        ASSERT_TRUE(m.addDevice(makeDevice("New", 1, "10.0.0.2", 1, "")));
        ASSERT_TRUE(m.saveDeviceList());
        QvDeviceManager again(*files);
        again.readDeviceList();
        EXPECT_EQ(again.countOfDevices(), 1u);
        EXPECT_EQ(readAll(m.storePath() + ".bad"), bytes);
    }
}

// Nesting hidden behind quoted attribute values crashed every start inside
// libplist; run in a child so that a crash fails the test, not the suite.
TEST_F(DeviceManagerTest, NestingHiddenInAttributesIsKeptAsideWithoutACrash) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::string bytes = test::quotedAttributeNesting();
    QvDeviceManager m(*files);
    writeAll(m.storePath(), bytes);
    EXPECT_EXIT(
        {
            QvDeviceManager reader(*files);
            reader.readDeviceList();
            _exit(reader.countOfDevices() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(m.storePath()));
    EXPECT_EQ(readAll(m.storePath() + ".bad"), bytes);
}

// FIFOs in place of the store and of the old list: the list starts empty
// at once and the store is not replaced by a save. Run in a child whose
// alarm ends the wait that a blocking open would begin.
TEST_F(DeviceManagerTest, AFifoInPlaceOfAStoreDoesNotHoldUpTheStart) {
    GTEST_FLAG_SET(death_test_style, "fast");
    QvDeviceManager m(*files);
    fs::create_directories(fs::path(m.storePath()).parent_path());
    fs::create_directories(fs::path(m.oldListPath()).parent_path());
    ASSERT_EQ(::mkfifo(m.storePath().c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(m.oldListPath().c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(120);
            QvDeviceManager reader(*files);
            reader.readDeviceList();
            reader.addDevice(makeDevice("New", 1, "10.0.0.2", 1, ""));
            _exit(reader.countOfDevices() == 1 && !reader.saveDeviceList() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_fifo(m.storePath()));
}

// Each interrupted save left a full copy of the list (passwords in plain
// text) beside the store; the next start removes them.
TEST_F(DeviceManagerTest, CopiesLeftByInterruptedSavesAreRemovedOnLoading) {
    GTEST_FLAG_SET(death_test_style, "fast");
    QvDeviceManager m(*files);
    auto secret = makeDevice("Old", 1, "10.0.0.1", 1, "");
    secret->password = "hunter2";
    m.addDevice(secret);
    ASSERT_TRUE(m.saveDeviceList());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EXIT(
            {
                AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(9); });
                m.saveDeviceList();
            },
            ::testing::ExitedWithCode(9), "");
    }
    const fs::path folder = fs::path(m.storePath()).parent_path();
    auto copies = [&] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(folder))
            n += e.path().filename().string().rfind(".devices.plist.", 0) == 0;
        return n;
    };
    ASSERT_EQ(copies(), 3);
    QvDeviceManager back(*files);
    back.readDeviceList();
    EXPECT_EQ(copies(), 0);
    ASSERT_EQ(back.countOfDevices(), 1u);
    EXPECT_EQ(back.objectInDevicesAtIndex(0)->password.value(), "hunter2");
}

TEST_F(DeviceManagerTest, ASaveInterruptedBeforeTheRenameLeavesTheOldStore) {
    GTEST_FLAG_SET(death_test_style, "fast");
    QvDeviceManager m(*files);
    m.addDevice(makeDevice("Old", 1, "10.0.0.1", 1, ""));
    ASSERT_TRUE(m.saveDeviceList());
    const std::string before = readAll(m.storePath());
    m.addDevice(makeDevice("New", 1, "10.0.0.2", 1, ""));
    EXPECT_EXIT(
        {
            AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(9); });
            m.saveDeviceList();
        },
        ::testing::ExitedWithCode(9), "");
    EXPECT_EQ(readAll(m.storePath()), before);
    QvDeviceManager back(*files);
    back.readDeviceList();
    ASSERT_EQ(back.countOfDevices(), 1u);
    EXPECT_EQ(back.objectInDevicesAtIndex(0)->name.value(), "Old");

    // A save that fails outright says so and also keeps the old store.
    AtomicFile::setBeforeRenameHookForTesting([](const std::string&) { return false; });
    EXPECT_FALSE(m.saveDeviceList());
    AtomicFile::setBeforeRenameHookForTesting(nullptr);
    EXPECT_EQ(readAll(m.storePath()), before);
    EXPECT_TRUE(m.saveDeviceList());
}

namespace {

// One record of the old binary list.
void oldRecord(ByteWriter& w, const std::string& name, const std::string& address, uint32_t port,
               const std::string& user, const std::string& password, uint32_t channels, const std::string& photoFolder,
               const std::string& recordFolder) {
    size_t start = w.size();
    w.fixedText(name, 128).fixedText(address, 128).u32le(port).fixedText(user, 128).fixedText(password, 128);
    w.u32le(channels).fixedText(photoFolder, 260).fixedText(recordFolder, 264);
    ASSERT_EQ(w.size() - start, QvDeviceManager::kOldRecordSize);
}

}  // namespace

TEST_F(DeviceManagerTest, OldBinaryListMigratesWithItsMediaFolders) {
    QvDeviceManager m(*files);
    const std::string docs = files->documentationPath();
    writeAll(docs + "/image/oldphotos1/1/a.png", "png");
    writeAll(docs + "/Records/oldrecords1/2/b.mp4", "mp4");
    ByteWriter w;
    w.u8(0x5A);
    oldRecord(w, "Front door", "192.0.2.10", 5008, "admin", "secret", 4, "oldphotos1", "oldrecords1");
    oldRecord(w, "Garage", "192.0.2.11", 5009, "user", "pw", 1, "missing", "missing");
    w.zeros(100);  // a trailing piece shorter than a record is ignored
    writeAll(m.oldListPath(), std::string(reinterpret_cast<const char*>(w.data()), w.size()));

    m.readDeviceList();
    ASSERT_EQ(m.countOfDevices(), 2u);
    auto d = m.objectInDevicesAtIndex(0);
    EXPECT_EQ(d->name.value(), "Front door");
    EXPECT_EQ(d->address.value(), "192.0.2.10");
    EXPECT_EQ(d->mediaPort.load(), 5008u);
    EXPECT_EQ(d->userName.value(), "admin");
    EXPECT_EQ(d->password.value(), "secret");
    EXPECT_EQ(d->channelNum.load(), 4);
    EXPECT_EQ(d->deviceConType.load(), 1) << "old devices are reached by address";
    EXPECT_EQ(readAll(files->photoPath() + "/Front door/1/a.png"), "png");
    EXPECT_EQ(readAll(files->recordPath() + "/Front door/2/b.mp4"), "mp4");
    EXPECT_FALSE(fs::exists(docs + "/image/oldphotos1"));
    EXPECT_FALSE(fs::exists(m.oldListPath())) << "deleted once saved";

    // The migrated list is already in the store.
    QvDeviceManager back(*files);
    back.readDeviceList();
    ASSERT_EQ(back.countOfDevices(), 2u);
    EXPECT_EQ(back.objectInDevicesAtIndex(1)->name.value(), "Garage");
}

TEST_F(DeviceManagerTest, MigrationKeepsTheCurrentStoreAndSkipsDuplicates) {
    {
        QvDeviceManager current(*files);
        current.addDevice(makeDevice("Front door", 0, "", 0, "UID-1"));
        current.addDevice(makeDevice("Kitchen", 1, "192.0.2.20", 80, ""));
        ASSERT_TRUE(current.saveDeviceList());
    }
    QvDeviceManager m(*files);
    ByteWriter w;
    w.u8(0);
    oldRecord(w, "Front door", "192.0.2.10", 5008, "a", "b", 1, "", "");  // same name
    oldRecord(w, "Porch", "192.0.2.20", 80, "a", "b", 1, "", "");         // same address and port
    oldRecord(w, "Shed", "192.0.2.30", 80, "a", "b", 1, "", "");
    writeAll(m.oldListPath(), std::string(reinterpret_cast<const char*>(w.data()), w.size()));
    m.readDeviceList();
    std::vector<std::string> names;
    for (const auto& d : m.devices()) names.push_back(d->name.value());
    EXPECT_EQ(names, (std::vector<std::string>{"Front door", "Kitchen", "Shed"}));
    EXPECT_EQ(m.objectInDevicesAtIndex(0)->udid.value(), "UID-1");
    EXPECT_FALSE(fs::exists(m.oldListPath()));
}

TEST_F(DeviceManagerTest, MigrationEdgeCases) {
    // Only the leading byte: nothing to add, the file goes, the store is not read.
    {
        QvDeviceManager m(*files);
        writeAll(m.oldListPath(), std::string(1, '\0'));
        m.readDeviceList();
        EXPECT_EQ(m.countOfDevices(), 0u);
        EXPECT_FALSE(fs::exists(m.oldListPath()));
        EXPECT_TRUE(fs::exists(m.storePath()));
    }
    // A store that cannot be written: the old list is kept for the next start.
    {
        fs::remove(files->configPath() + "/devices.plist");
        fs::create_directories(files->configPath() + "/devices.plist/blocker");
        QvDeviceManager m(*files);
        ByteWriter w;
        w.u8(0);
        oldRecord(w, "Cam", "192.0.2.1", 1, "", "", 1, "", "");
        writeAll(m.oldListPath(), std::string(reinterpret_cast<const char*>(w.data()), w.size()));
        m.readDeviceList();
        EXPECT_EQ(m.countOfDevices(), 1u);
        EXPECT_TRUE(fs::exists(m.oldListPath())) << "not deleted: the save failed";
        fs::remove_all(files->configPath() + "/devices.plist");
    }
    // Names from the old file never move folders outside the media roots.
    {
        writeAll(dir.path() + "/outside/keep.txt", "keep");
        writeAll(files->documentationPath() + "/image/ok/1/p.png", "p");
        QvDeviceManager m(*files);
        ByteWriter w;
        w.u8(0);
        oldRecord(w, "..", "192.0.2.1", 1, "", "", 1, "ok", "ok");
        oldRecord(w, "Evil", "192.0.2.2", 1, "", "", 1, "../../outside", "../../outside");
        oldRecord(w, "bad\xff", "192.0.2.3", 1, "", "", 1, "", "");
        writeAll(m.oldListPath(), std::string(reinterpret_cast<const char*>(w.data()), w.size()));
        m.readDeviceList();
        EXPECT_EQ(m.countOfDevices(), 3u);
        EXPECT_EQ(m.objectInDevicesAtIndex(2)->name.value(), "bad\xef\xbf\xbd") << "stored as well-formed UTF-8";
        EXPECT_TRUE(fs::exists(dir.path() + "/outside/keep.txt"));
        EXPECT_TRUE(fs::exists(files->documentationPath() + "/image/ok/1/p.png"));
        EXPECT_FALSE(fs::exists(files->photoPath() + "/Evil"));
    }
}

TEST_F(DeviceManagerTest, DemoDevice) {
    Config::shared().demoDeviceAddress = "demo.test";
    QvDeviceManager m(*files);
    m.setDefaultDevice();
    m.setDefaultDevice();  // no duplicate test
    ASSERT_EQ(m.countOfDevices(), 2u);
    auto d = m.objectInDevicesAtIndex(0);
    EXPECT_EQ(d->name.value(), "Demo");
    EXPECT_EQ(d->address.value(), "demo.test");
    EXPECT_EQ(d->mediaPort.load(), 5008u);
    EXPECT_EQ(d->userName.value(), "admin");
    EXPECT_EQ(d->password.value(), "470285");
    EXPECT_EQ(d->channelNum.load(), 4);
    EXPECT_EQ(d->encryptType.load(), 0);
}

TEST_F(DeviceManagerTest, ListIsSafeToUseFromSeveralThreads) {
    QvDeviceManager m(*files);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&m, t] {
            for (int i = 0; i < 100; ++i) {
                auto d = makeDevice("d" + std::to_string(t) + "-" + std::to_string(i), 0, "", 0,
                                    "u" + std::to_string(t) + "-" + std::to_string(i));
                EXPECT_TRUE(m.addDevice(d));
                if (i % 3 == 0) {
                    EXPECT_TRUE(m.removeDevice(d));
                }
            }
        });
    }
    threads.emplace_back([&m] {
        for (int i = 0; i < 200; ++i) {
            for (const auto& d : m.devices()) d->isOnLine = !d->isOnLine;
            m.deviceWithName("d0-5");
            m.saveDeviceList();
        }
    });
    for (auto& th : threads) th.join();
    EXPECT_EQ(m.countOfDevices(), 4u * 66u);
    ASSERT_TRUE(m.saveDeviceList());
    QvDeviceManager back(*files);
    back.readDeviceList();
    EXPECT_EQ(back.countOfDevices(), 4u * 66u);
}

TEST_F(DeviceManagerTest, AnOldListThatCannotBeReadLeavesTheStoreInCharge) {
    {
        QvDeviceManager current(*files);
        current.addDevice(makeDevice("Kept", 1, "192.0.2.20", 80, ""));
        ASSERT_TRUE(current.saveDeviceList());
    }
    QvDeviceManager m(*files);
    // Something named like the old list that cannot be read as a file.
    fs::create_directories(m.oldListPath() + "/inside");
    EXPECT_FALSE(m.loadOldList());
    m.readDeviceList();
    ASSERT_EQ(m.countOfDevices(), 1u);
    EXPECT_EQ(m.objectInDevicesAtIndex(0)->name.value(), "Kept");
    EXPECT_TRUE(fs::exists(m.oldListPath() + "/inside"));
}
