#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <netdb.h>

#include "platform/Config.h"
#include "platform/Error.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"

using namespace lumora;

TEST(Config, FileSetsKnownKeysAndRejectsBadLines) {
    test::TempDir dir;
    {
        std::ofstream f(dir.file("c.conf"));
        f << "# test\nrelayHost2 = 127.0.0.2\nrelayTcpPort=40000\ntimeScale = 0.01\n"
             "webSite = http://127.0.0.1:8080/pages/\nproductName = viewer\nstoreUrl = http://127.0.0.1/app\n";
    }
    Config cfg;
    EXPECT_TRUE(cfg.loadFile(dir.file("c.conf")));
    EXPECT_EQ(cfg.relayHosts[1], "127.0.0.2");
    EXPECT_EQ(cfg.relayTcpPort, 40000);
    EXPECT_EQ(cfg.scaledMs(2000), 20);
    EXPECT_EQ(cfg.webSite, "http://127.0.0.1:8080/pages/");
    EXPECT_EQ(cfg.productName, "viewer");
    EXPECT_EQ(cfg.storeUrl, "http://127.0.0.1/app");
    EXPECT_EQ(cfg.scaledMs(10), 1);
    {
        std::ofstream f(dir.file("bad.conf"));
        f << "relayTcpPort = 70000\nnoSuchKey = 1\nnoequals\n";
    }
    Config bad;
    EXPECT_FALSE(bad.loadFile(dir.file("bad.conf")));
    EXPECT_EQ(bad.relayTcpPort, 28622);
}

TEST(Error, ClassifiesByMeaningNotByNumber) {
    EXPECT_EQ(Error::posix(ECONNREFUSED).meaning(), ErrorMeaning::Refused);
    EXPECT_EQ(Error::posix(EAGAIN).meaning(), ErrorMeaning::WouldBlock);
    EXPECT_EQ(Error::posix(EINPROGRESS).meaning(), ErrorMeaning::WouldBlock);
    EXPECT_EQ(Error::resolver(EAI_NONAME).meaning(), ErrorMeaning::HostNotFound);
    EXPECT_EQ(Error::resolver(EAI_NONAME).domain, "kCFStreamErrorDomainNetDB");
    EXPECT_EQ(Error("GCDAsyncSocketErrorDomain", 3).meaning(), ErrorMeaning::Other);
    EXPECT_FALSE(Error::posix(ECONNREFUSED).description.empty());
}

TEST(Localization, ShippedTableAndUnknownKeys) {
    Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
    Localization::reload();
    EXPECT_EQ(Localization::string("OK_BUTTON"), "OK");
    EXPECT_EQ(Localization::string("NO_SUCH_KEY"), "NO_SUCH_KEY");
}
