#include <gtest/gtest.h>

#include <atomic>

#include "app/core/PushKeyCipher.h"
#include "platform/storage/UserDefaults.h"
#include "support/LoopbackHttpServer.h"
#include "ui/common/DeviceScreensFixture.h"
#include "ui/common/MBProgressHUD.h"

using namespace lumora;
using namespace lumora::test;

namespace {

int hudsOn(UIView* v) {
    int n = 0;
    if (!v) return 0;
    for (UIView* s : v->subviews())
        if (auto* hud = dynamic_cast<MBProgressHUD*>(s)) n += hud->isHidden() ? 0 : 1;
    return n;
}

// The service's answer: a first line, then the enciphered "result=" text.
std::string answer(const std::string& plain) {
    return "ok\r\n" + PushKeyCipher::base64_rc4_encode(plain);
}

class AlarmRegistrationTest : public DeviceScreensFixture {
protected:
    void SetUp() override {
        DeviceScreensFixture::SetUp();
        DeviceDetailViewController::pushTokenProvider() = [] { return std::optional<std::string>("TOKEN42"); };
        UserDefaults::standardUserDefaults().setStringArray(UserDefaults::kAppleLanguages, {"fr"});
    }
    void TearDown() override {
        DeviceDetailViewController::pushTokenProvider() = nullptr;
        server.reset();
        DeviceScreensFixture::TearDown();
    }
    void serve(LoopbackHttpServer::Handler handler) {
        server = std::make_unique<LoopbackHttpServer>(std::move(handler));
        Config::shared().pushAlarmUidHost = server->hostAndPort();
    }
    void serveParts(std::vector<std::string> parts, int status = 200) {
        serve([parts, status](const LoopbackHttpServer::Request&) {
            LoopbackHttpServer::Reply r;
            r.status = status;
            r.parts = parts;
            return r;
        });
    }
    // The editor on a stored UID device (alarm flag as given).
    DeviceDetailViewController& openDevice(bool alarm) {
        device = storeUidDevice("Porch", "UID-ALARM");
        device->alarmOnGuard = alarm;
        openOpener();
        opener->openEditor("");
        driver.advance(0.5);
        opener->editor->setOperation(DeviceDetailViewController::kView);
        opener->editor->setDeviceId(device->deviceId);
        return *opener->editor;
    }
    // Switches the alarm and waits until the registration has ended.
    void switchTo(bool on) {
        auto& editor = *opener->editor;
        editor.switchAction(on);
        EXPECT_EQ(hudsOn(editor.view()), 1);
        EXPECT_TRUE(driver.waitUntil([&] { return !editor.registering(); }, 10));
        driver.advance(0.5);
    }

    std::unique_ptr<LoopbackHttpServer> server;
    std::shared_ptr<Device> device;
};

TEST_F(AlarmRegistrationTest, TheRequestTextsAreSentAsTheServiceReadsThem) {
    EXPECT_EQ(DeviceDetailViewController::registerText("U1", "Cam", "T", 2), "Tolvex|U1|Cam|T|1|2|1");
    EXPECT_EQ(DeviceDetailViewController::unregisterText("U1", "T"), "Tolvex|U1|T|0");
    serveParts({answer("result=1|")});
    openDevice(false);
    switchTo(true);
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].target,
              "/pd.php?c=" + PushKeyCipher::base64_rc4_encode("Tolvex|UID-ALARM|Porch|TOKEN42|1|2|1"))
        << "the Base64 text goes unescaped";
}

TEST_F(AlarmRegistrationTest, AnswerCodesReadTheTwoCharactersAfterResult) {
    struct Case {
        const char* text;
        std::optional<int> code;
    } cases[] = {{"result=1|x", 1}, {"a|result=-1", -1}, {"result=12", 12}, {"result=", std::nullopt},
                 {"nothing", std::nullopt}, {"result=x1", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(DeviceDetailViewController::answerCode(c.text), c.code) << c.text;
}

TEST_F(AlarmRegistrationTest, SuccessSetsTheFlagAndUnregistrationClearsIt) {
    serveParts({answer("result=1|")});
    auto& editor = openDevice(false);
    switchTo(true);
    EXPECT_TRUE(device->alarmOnGuard.load());
    EXPECT_EQ(alertText(), " / " + L("AlarmRegistion_Success"));
    EXPECT_EQ(hudsOn(editor.view()), 0);
    shot("alarm_registered.png");
    driver.tapAlertButton(0);
    switchTo(false);
    EXPECT_FALSE(device->alarmOnGuard.load());
    EXPECT_EQ(alertText(), " / " + L("LOGOUT_Success"));
}

TEST_F(AlarmRegistrationTest, AReplySplitAcrossDeliveriesIsReadWhole) {
    const std::string whole = answer("result=2|");
    serveParts({whole.substr(0, 3), whole.substr(3, 5), whole.substr(8)});
    openDevice(false);
    switchTo(true);
    EXPECT_TRUE(device->alarmOnGuard.load());
    EXPECT_EQ(alertText(), " / " + L("AlarmRegistion_Success"));
}

TEST_F(AlarmRegistrationTest, FailuresKeepTheFlagAndHideTheOverlay) {
    struct Case {
        const char* what;
        std::vector<std::string> parts;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"LOGOUT_Failed", {answer("result=5|")}, 200, L("LOGOUT_Failed")},
        {"Failed_AddAlarm", {answer("result=3|")}, 200, L("Failed_AddAlarm")},
        {"code -1", {answer("result=-1")}, 200, L("Err_communication")},
        {"unknown code", {answer("result=9|")}, 200, ""},
        {"no result", {answer("garbage")}, 200, L("Err_communication")},
        {"server error", {"oops"}, 500, L("Err_communication")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serveParts(c.parts, c.status);
        auto& editor = openDevice(true);
        switchTo(false);  // unregistering a registered device
        EXPECT_TRUE(device->alarmOnGuard.load()) << "still registered as far as we know";
        EXPECT_EQ(alertText(), c.message.empty() ? "" : " / " + c.message);
        EXPECT_EQ(hudsOn(editor.view()), 0);
        if (alert()) driver.tapAlertButton(0);
        QvDeviceManager::sharedInstance().removeDevice(device);
    }
}

TEST_F(AlarmRegistrationTest, ASilentServiceTimesOut) {
    serve([](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply r;
        r.hang = true;
        return r;
    });
    auto& editor = openDevice(true);
    editor.switchAction(false);
    ASSERT_TRUE(server->waitForEvents(1, std::chrono::seconds(5)));
    driver.advance(DeviceDetailViewController::kRegisterTimeoutSeconds - 1);
    EXPECT_TRUE(editor.registering());
    EXPECT_EQ(hudsOn(editor.view()), 1);
    shot("alarm_waiting.png");
    driver.advance(1.5);
    EXPECT_FALSE(editor.registering());
    EXPECT_EQ(hudsOn(editor.view()), 0);
    EXPECT_EQ(alertText(), " / " + L("Err_communication"));
    EXPECT_TRUE(device->alarmOnGuard.load());
}

TEST_F(AlarmRegistrationTest, AMissingUidOrNameSendsNothingAndHidesTheOverlay) {
    serveParts({answer("result=1|")});
    openOpener();
    opener->openEditor("");
    driver.advance(0.5);
    auto& editor = *opener->editor;
    editor.switchAction(true);
    driver.advance(0.5);
    EXPECT_EQ(alertText(), L("MSG_TITLE") + " / " + L("UID_NULL"));
    EXPECT_EQ(hudsOn(editor.view()), 0);
    EXPECT_FALSE(editor.isAlarm());
    EXPECT_TRUE(server->requests().empty());
}

}  // namespace
