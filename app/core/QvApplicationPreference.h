#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/core/ConnectionRecord.h"
#include "platform/text/SharedText.h"

namespace lumora {

class HttpRequest;

// The user's settings and what each live-view slot showed last, stored in
// "configuration.plist" in the Configuration folder of the media folder
// store; plus the external IPv4 address text from the last look-up (ipstr),
// which is never stored.
//
// Threads: everything runs on the main thread, except ipstr, which the LAN
// search reads from its own queue (it is guarded). The look-up's callbacks
// arrive on the main run loop.
class QvApplicationPreference {
public:
    static QvApplicationPreference& sharedInstance();

    QvApplicationPreference();
    ~QvApplicationPreference();
    QvApplicationPreference(const QvApplicationPreference&) = delete;
    QvApplicationPreference& operator=(const QvApplicationPreference&) = delete;

    // Reads the store. A store that is missing or cannot be read leaves the
    // settings as they are and sets the layout for the device kind (1 on a
    // phone, 2 on a tablet), filling the history with empty records; a
    // stored layout wider than the device kind allows is replaced the same
    // way. The loaded history replaces the one in memory and is padded with
    // empty records up to numberOfLiveViews (never cut). True when the store
    // was read.
    bool loadApplicationPreference();
    // Writes the whole store atomically; false (old file kept) on failure.
    bool saveApplicationPreference();
    // "<configPath>/configuration.plist"; "" when the media folder store has
    // no Configuration folder.
    std::string storePath() const;

    // Sets the layout and resizes the history to the layout's size: records
    // that stay keep their device and channel; new ones are empty.
    void setLayoutStyle(int32_t style);
    int32_t layoutStyle() const { return layoutStyle_; }
    unsigned numberOfLiveViews() const { return numberOfLiveViewsForStyle(layoutStyle_); }
    // 16 on a tablet, 4 otherwise.
    unsigned maxNumberOfLiveViews() const;

    // Layout tables: styles 0..4 give 1, 4, 6, 9, 16 views; style 5 gives 6
    // views but a history of 7; any other style (negative ones included)
    // gives 6 and 6.
    static unsigned numberOfLiveViewsForStyle(int32_t style);
    static size_t historySizeForStyle(int32_t style);
    // The layout a first start uses on this device kind.
    static int32_t defaultLayoutStyle();

    // Starts the external-address look-up and returns at once; a look-up
    // still running is dropped. A completed look-up sets ipstr to the
    // address found, or "" when the reply holds none; a failed one leaves
    // ipstr as it was.
    void getNetIP();
    bool isLookingUpNetIP() const { return lookup_ != nullptr; }
    // The address in a look-up reply body (GB 18030 text): the text between
    // the only "[" and the next "]" (or the end), when it is a dotted IPv4
    // address; "" otherwise.
    static std::string addressFromReply(const std::string& body);
    // Largest reply body the look-up accepts.
    static constexpr size_t kMaxReplyBytes = 64 * 1024;

    // Stored settings. Setters only change memory; nothing is saved until
    // saveApplicationPreference.
    int32_t livePreference() const { return livePreference_; }
    void setLivePreference(int32_t v) { livePreference_ = v; }
    int32_t modePreference() const { return modePreference_; }
    void setModePreference(int32_t v) { modePreference_ = v; }
    // Callers change the records and the list in place.
    std::vector<ConnectionRecord>& connectionHistory() { return connectionHistory_; }
    const std::vector<ConnectionRecord>& connectionHistory() const { return connectionHistory_; }
    bool autoPlay() const { return autoPlay_; }
    void setAutoPlay(bool v) { autoPlay_ = v; }
    bool skipHomePage() const { return skipHomePage_; }
    void setSkipHomePage(bool v) { skipHomePage_ = v; }
    bool showAdReminder() const { return showAdReminder_; }
    void setShowAdReminder(bool v) { showAdReminder_ = v; }
    bool hideAd() const { return hideAd_; }
    void setHideAd(bool v) { hideAd_ = v; }
    bool isFullScreen() const { return isFullScreen_; }
    void setIsFullScreen(bool v) { isFullScreen_ = v; }
    bool isInnerGetMain() const { return isInnerGetMain_; }
    void setIsInnerGetMain(bool v) { isInnerGetMain_ = v; }
    int32_t devicecount() const { return devicecount_; }
    void setDevicecount(int32_t v) { devicecount_ = v; }
    int32_t camcount() const { return camcount_; }
    void setCamcount(int32_t v) { camcount_ = v; }

    // Not stored. Absent until the delegates first clear it; any thread.
    std::optional<std::string> ipstr() const { return ipstr_.get(); }
    void setIpstr(std::optional<std::string> v) { ipstr_.set(std::move(v)); }

private:
    void padHistory(size_t size);

    int32_t layoutStyle_ = 2;
    int32_t livePreference_ = 0;
    int32_t modePreference_ = 0;
    std::vector<ConnectionRecord> connectionHistory_;
    bool autoPlay_ = false;
    bool skipHomePage_ = false;
    bool showAdReminder_ = true;
    bool hideAd_ = false;
    SharedText ipstr_;
    bool isFullScreen_ = false;
    bool isInnerGetMain_ = false;
    int32_t devicecount_ = 0;
    int32_t camcount_ = 0;

    std::shared_ptr<HttpRequest> lookup_;  // the running look-up, if any
};

}  // namespace lumora
