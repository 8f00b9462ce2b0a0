#include <gtest/gtest.h>

#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"
#include "support/TempDir.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

PropertyList sample() {
    using P = PropertyList;
    P inner = P::makeDictionary();
    inner.set("zeta", P::makeInteger(-1));
    inner.set("alpha", P::makeInteger(INT64_MIN));
    inner.set("mid", P::makeInteger(INT64_MAX));
    P root = P::makeArray();
    root.append(inner);
    root.append(P::makeString("a & b <c> \"q\" caf\xc3\xa9 \xe6\x97\xa5\ttab\nline"));
    root.append(P::makeString(""));
    root.append(P::makeReal(0.1));
    root.append(P::makeReal(-2.5e300));
    root.append(P::makeBoolean(true));
    root.append(P::makeBoolean(false));
    root.append(P::makeDate(P::Date(std::chrono::seconds(1404518705))));
    root.append(P::makeDate(P::Date(std::chrono::seconds(0))));
    root.append(P::makeData({0, 1, 2, 0xFF, 0}));
    root.append(P::makeData({}));
    root.append(P::makeArray());
    root.append(P::makeDictionary());
    return root;
}

std::vector<std::string> strays(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".", 0) == 0) out.push_back(e.path().filename());
    return out;
}

}  // namespace

TEST(PropertyList, ValueAccessAndOrderedKeys) {
    using P = PropertyList;
    P d;
    EXPECT_TRUE(d.isDictionary());
    d.set("b", P::makeInteger(1));
    d.set("a", P::makeString("x"));
    d.set("b", P::makeInteger(2));  // replaced in place
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(d.find("b")->asInteger(), 2);
    EXPECT_EQ(d.find("missing"), nullptr);
    EXPECT_TRUE(d.remove("b"));
    EXPECT_FALSE(d.remove("b"));
    EXPECT_EQ(d.size(), 1u);

    // Scalar reads answer by meaning, like number objects.
    EXPECT_EQ(P::makeBoolean(true).asInteger(), 1);
    EXPECT_EQ(P::makeReal(-3.9).asInteger(), -3);
    EXPECT_EQ(P::makeReal(1e30).asInteger(), INT64_MAX);
    EXPECT_EQ(P::makeInteger(0).asBoolean(), false);
    EXPECT_EQ(P::makeInteger(7).asReal(), 7.0);
    EXPECT_FALSE(P::makeString("1").asInteger());
    EXPECT_FALSE(P::makeInteger(1).asString());
    EXPECT_EQ(P::makeInteger(1).at(0), nullptr);
    EXPECT_EQ(P::makeInteger(1).find("x"), nullptr);
}

TEST(PropertyList, XmlRoundTripKeepsEveryTypeAndKeyOrder) {
    PropertyList root = sample();
    std::string xml = root.toXml();
    EXPECT_NE(xml.find("<integer>-1</integer>"), std::string::npos);
    EXPECT_LT(xml.find("<key>zeta</key>"), xml.find("<key>alpha</key>"));
    auto back = PropertyList::parse(xml.data(), xml.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, root);
    EXPECT_EQ(back->at(0)->find("alpha")->asInteger(), INT64_MIN);
}

TEST(PropertyList, ReadsBinaryPropertyLists) {
    plist_t d = plist_new_dict();
    plist_dict_set_item(d, "name", plist_new_string("Cam"));
    plist_dict_set_item(d, "port", plist_new_uint(5008));
    plist_dict_set_item(d, "on", plist_new_bool(1));
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(d, &bin, &len);
    auto v = PropertyList::parse(bin, len);
    plist_to_bin_free(bin);
    plist_free(d);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->find("name")->asString(), "Cam");
    EXPECT_EQ(v->find("port")->asInteger(), 5008);
    EXPECT_EQ(v->find("on")->asBoolean(), true);
}

TEST(PropertyList, MalformedInputIsRefusedNotCrashedOn) {
    const std::string xml = sample().toXml();
    const std::string closing = "</plist>";
    // Cut anywhere before the last element closes: never a value that was
    // not there, never a crash (the sanitizer build reads exactly `cut`).
    size_t lastElement = xml.rfind("</array>");
    for (size_t cut = 0; cut < lastElement; cut += 3) {
        std::vector<char> exact(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(cut));
        auto v = PropertyList::parse(exact.data(), exact.size());
        EXPECT_FALSE(v && *v == sample()) << cut;
    }
    for (const std::string& junk : {std::string(), std::string("hello"), std::string("<a/>"),
                                   std::string("bplist00garbage"), std::string("\0\0\0", 3)}) {
        EXPECT_FALSE(PropertyList::parse(junk.data(), junk.size())) << junk;
    }
}

TEST(PropertyList, ReadFileStatuses) {
    test::TempDir dir;
    EXPECT_EQ(PropertyList::readFile(dir.file("none.plist")).status, PropertyList::ReadStatus::Missing);
    std::ofstream(dir.file("bad.plist")) << "<plist><array><dict><key>a</key>";
    EXPECT_EQ(PropertyList::readFile(dir.file("bad.plist")).status, PropertyList::ReadStatus::Malformed);
    fs::create_directory(dir.file("folder.plist"));
    EXPECT_EQ(PropertyList::readFile(dir.file("folder.plist")).status, PropertyList::ReadStatus::Unreadable);
    ASSERT_TRUE(sample().writeXmlFile(dir.file("good.plist"), 0600));
    auto r = PropertyList::readFile(dir.file("good.plist"));
    ASSERT_EQ(r.status, PropertyList::ReadStatus::Ok);
    EXPECT_EQ(*r.value, sample());
}

TEST(PropertyList, WritesWithTheGivenModeWhateverTheUmask) {
    test::TempDir dir;
    mode_t old = ::umask(0);
    ASSERT_TRUE(sample().writeXmlFile(dir.file("a.plist"), 0600));
    ::umask(0077);
    ASSERT_TRUE(sample().writeXmlFile(dir.file("b.plist"), 0644));
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("a.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.file("b.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    // Replacing an existing file takes the new mode too.
    ASSERT_TRUE(PropertyList::makeArray().writeXmlFile(dir.file("b.plist"), 0600));
    ASSERT_EQ(::stat(dir.file("b.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(strays(dir.path()).empty());

    Error err;
    EXPECT_FALSE(sample().writeXmlFile(dir.file("no/such/folder.plist"), 0600, &err));
    EXPECT_EQ(err.code, ENOENT);
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileWhole) {
    test::TempDir dir;
    const std::string path = dir.file("data.plist");
    ASSERT_TRUE(AtomicFile::write(path, "old", 3, 0600));
    AtomicFile::setBeforeRenameHookForTesting([](const std::string& temp) {
        EXPECT_EQ(readAll(temp), "new content");
        return false;
    });
    Error err;
    EXPECT_FALSE(AtomicFile::write(path, "new content", 11, 0600, &err));
    AtomicFile::setBeforeRenameHookForTesting(nullptr);
    EXPECT_EQ(err.code, ECANCELED);
    EXPECT_EQ(readAll(path), "old");
    EXPECT_TRUE(strays(dir.path()).empty());
}

TEST(AtomicFile, ACrashBeforeTheRenameLeavesTheOldFileWhole) {
    // "fast" style: the child is a fork working on this very folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    test::TempDir dir;
    const std::string path = dir.file("data.plist");
    ASSERT_TRUE(AtomicFile::write(path, "old", 3, 0600));
    EXPECT_EXIT(
        {
            AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(7); });
            AtomicFile::write(path, "new content", 11, 0600);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(readAll(path), "old");
    EXPECT_EQ(strays(dir.path()).size(), 1u) << "the crash leaves its temporary file beside";
    ASSERT_TRUE(AtomicFile::write(path, "newer", 5, 0600));
    EXPECT_EQ(readAll(path), "newer");
}

// Copies left by writes that died before their rename are removed; the copy
// of a write still running (its writer holds it) and names that are not
// this file's copies stay.
TEST(AtomicFile, StaleTemporariesAreRemovedAndLiveOnesKept) {
    GTEST_FLAG_SET(death_test_style, "fast");
    test::TempDir dir;
    const std::string path = dir.file("data.plist");
    ASSERT_TRUE(AtomicFile::write(path, "old", 3, 0600));
    for (int crash = 0; crash < 2; ++crash) {
        EXPECT_EXIT(
            {
                AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(7); });
                AtomicFile::write(path, "secret", 6, 0600);
            },
            ::testing::ExitedWithCode(7), "");
    }
    ASSERT_EQ(strays(dir.path()).size(), 2u);
    const std::vector<std::string> others = {".data.plist.bad", ".data.plist.ABCDEFG", ".data.plist.AB-DEF",
                                             ".other.plist.ABCDEF", "data.plist.ABCDEF", "..data.plist.ABCDEF"};
    for (const auto& name : others) std::ofstream(dir.file(name)) << "keep";
    fs::create_directory(dir.file(".data.plist.FOLDER"));

    // A live writer, stopped just before its rename.
    std::promise<std::string> atRename;
    std::promise<void> goOn;
    AtomicFile::setBeforeRenameHookForTesting([&](const std::string& temp) {
        atRename.set_value(temp);
        goOn.get_future().wait();
        return true;
    });
    std::thread writer([&] { EXPECT_TRUE(AtomicFile::write(path, "newest", 6, 0600)); });
    const std::string live = atRename.get_future().get();

    EXPECT_EQ(AtomicFile::removeStaleTemporaries(path), 2);
    EXPECT_TRUE(fs::exists(live));
    for (const auto& name : others) EXPECT_TRUE(fs::exists(dir.file(name))) << name;
    EXPECT_TRUE(fs::is_directory(dir.file(".data.plist.FOLDER")));
    EXPECT_EQ(AtomicFile::removeStaleTemporaries(path), 0);

    goOn.set_value();
    writer.join();
    AtomicFile::setBeforeRenameHookForTesting(nullptr);
    EXPECT_EQ(readAll(path), "newest");
    EXPECT_FALSE(fs::exists(live));
    EXPECT_EQ(AtomicFile::removeStaleTemporaries(path), 0);
}

// A FIFO at a store's path has no writer: opening it for reading used to
// wait for one for ever. It reads as a file that cannot be read. Run in a
// child whose alarm ends a wait that would otherwise hold the whole suite;
// the read itself takes no time.
TEST(PropertyList, AFifoOrDeviceInTheFilesPlaceIsUnreadableWithoutWaiting) {
    GTEST_FLAG_SET(death_test_style, "fast");
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.plist").c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(120);
            auto fifo = PropertyList::readFile(dir.file("fifo.plist"));
            auto device = PropertyList::readFile("/dev/zero");
            _exit(fifo.status == PropertyList::ReadStatus::Unreadable &&
                          device.status == PropertyList::ReadStatus::Unreadable
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
