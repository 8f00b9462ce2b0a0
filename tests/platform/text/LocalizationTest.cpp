#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/Config.h"
#include "platform/text/Localization.h"

using namespace lumora;

namespace {

// Every key the screens look up in the strings table "Localization". Kept by
// hand: a screen that starts using a new key adds it here and to the table.
const std::vector<std::string> kScreenKeys = {
    // adding devices
    "PLS_CHOOSE", "TWOD_ADD", "QR_IMAGE_FILE", "QR_READ_FILE", "MANNUAL_ADD", "LocalSearch_ADD", "CANCEL_BUTTON", "SearChing",
    "stopSearch", "NoDevice", "PLS_CHOOSEDEVICE", "选择添加的设备", "完成", "搜索并添加设备成功!",
    "未找到以下设备!", "UID",
    // help and about
    "helptitle", "help", "feedback", "version",
    // live panes and tiles
    "MSG_Con", "CONNECTING_STATUS", "NOTSUPPORTTALK", "OK_BUTTON", "IDS_UP", "IDS_DOWN", "IDS_LEFT",
    "IDS_RIGHT", "IDS_ZOOMIN", "IDS_ZOOMOUT", "IDS_FOCUSIN", "IDS_FOCUSOUT", "IDS_OPTICALIN",
    "IDS_OPTICALOUT",
    // failures the session hands to a pane
    "MSG_DVOFF", "MSG_NONET", "MSG_NETERR", "RECORDEND", "LOGINERROR_MSG", "ERROR_OVERMAXUSER",
    "NOVIDEO_STATUS", "LOGINFAILED_STATUS", "MSG_RECONNECTING", "MSG_UNREACHABLE",
    // settings
    "SysSetting", "Video_views", "Live_preference", "Real_TIME", "Quality", "VIEW", "RESIZE", "FULL",
    "INNERGETMAIN", "INNERGETSub", "Skip", "AUTOPLAY",
    // buttons and bars
    "Cancel_Button", "CANCEL", "CLose_BTN", "Edit_Button", "DONE_BUTTON", "Done", "COMP", "Save",
    "NAV_BAR_TITLE",
    // local media
    "Photos", "Records", "SavetoPhoto", "Saved", "playerror", "playerrordetail",
    // device list and editors
    "Device", "ADD_DEVICE", "UIDTYPE", "IPTYPE", "Name", "Address", "Port", "User", "Password", "Alarm",
    "ChannelNum", "1 channels", "4 channels", "8 channels", "16 channels", "32 channels", "Auto",
    "MSG_TITLE", "NAME_NULL", "ADDR_NULL", "ERROR_PORT", "UID_NULL", "CLOSE_DEVICE_FIRST",
    "CLOSE_DEVICE_Alarm", "Device_ADD_ERROR", "Device_EDIT_ERROR", "DEVICE_Name_Duplicate",
    "DEVICE_EDIT_NAMEERR", "MKSU_Delete",
    // alarm push registration
    "AlarmRegisting", "Alarmclosing", "AlarmRegistion_Success", "LOGOUT_Success", "Failed_AddAlarm",
    "LOGOUT_Failed", "Err_communication",
    // recordings kept on the device
    "QueryRemoteVideo", "CHANNEI_ID", "CHANNELS", "DEVICE_CHANNEL", "All", "START_TIME", "END_TIME",
    "TODAY", "Date_Time", "DATEERROR", "VIDEO_SWITCH", "VIDEO_MOVE", "VIDEO_COMMAND", "VIDEO_HAND",
    "VIDEO_ALL",
    // tablet home
    "Live", "Local", "HelpFeedBack", "Remote",
};

// A key that reads like an identifier (an underscore, a non-ASCII character,
// or four or more capitals in a row) must never be shown as it is.
bool looksLikeIdentifier(const std::string& key) {
    int capitals = 0;
    for (unsigned char c : key) {
        if (c == '_' || c >= 0x80) return true;
        capitals = std::isupper(c) ? capitals + 1 : 0;
        if (capitals >= 4) return true;
    }
    return false;
}

class LocalizationTable : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
        Localization::reload();
    }
};

}  // namespace

TEST_F(LocalizationTable, EveryScreenKeyHasAReadableEnglishText) {
    for (const std::string& key : kScreenKeys) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(Localization::contains(key));
        const std::string text = Localization::string(key);
        EXPECT_FALSE(text.empty());
        if (looksLikeIdentifier(key)) {
            EXPECT_NE(text, key);
        }
    }
}

TEST_F(LocalizationTable, SpotChecksOfTexts) {
    EXPECT_EQ(Localization::string("NOTSUPPORTTALK"), "This device does not support two-way talk.");
    EXPECT_EQ(Localization::string("完成"), "Done");
    EXPECT_EQ(Localization::string("1 channels"), "1 channel");
    // The empty key stays empty: the image segment control's titles rely on it.
    EXPECT_FALSE(Localization::contains(""));
    EXPECT_EQ(Localization::string(""), "");
    EXPECT_FALSE(Localization::contains("NO_SUCH_KEY"));
}
