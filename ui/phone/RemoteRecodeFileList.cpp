#include "ui/phone/RemoteRecodeFileList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/phone/PlayRemoteRecordController.h"

namespace lumora {

namespace {

// The list: a row per recording; over the empty list, a spinner and the
// searching (or nothing found) text.
constexpr CGFloat kRowHeight = 52;
constexpr CGFloat kSpinnerSize = 20;
const UIColor kStatusTextColour = UIColor::colorWithWhite(0.25, 1);
const UIColor kDetailTextColour = UIColor::colorWithWhite(0.35, 1);

}  // namespace

// The session's query delegate. It holds the list weakly, copies what a
// callback carries and moves on to the main queue; it never waits there.
class RemoteRecodeFileList::Receiver : public queryRecordDelegate {
public:
    explicit Receiver(std::weak_ptr<RemoteRecodeFileList> list) : list_(std::move(list)) {}

    void queryRemoteRecorddidConnect(const std::string&, int deviceId) override {
        post([deviceId](RemoteRecodeFileList& l) { l.didConnect(deviceId); });
    }
    void queryRemoteRecord() override {
        post([](RemoteRecodeFileList& l) { l.didLogin(); });
    }
    void queryRemoteRecorddiddisConnect() override {}
    void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse& response, int32_t) override {
        const int count = response.count;
        post([count](RemoteRecodeFileList& l) { l.didReceiveSearchCount(count); });
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& info, int32_t) override {
        // At most the field's 260 bytes, whether or not the device ended
        // the name with a zero.
        std::string name = info.fileName.str();
        const _OWSP_DateTime start = info.startTime, end = info.endTime;
        post([name, start, end](RemoteRecodeFileList& l) { l.didReceiveFile(name, start, end); });
    }

private:
    template <class F>
    void post(F f) {
        std::weak_ptr<RemoteRecodeFileList> weak = list_;
        DispatchQueue::main()->async([weak, f] {
            if (auto l = weak.lock()) f(*l);
        });
    }
    std::weak_ptr<RemoteRecodeFileList> list_;
};

RemoteRecodeFileList::RemoteRecodeFileList() : queue_(DispatchQueue::createSerial("RecordSearchQueue")) {}

RemoteRecodeFileList::~RemoteRecodeFileList() {
    if (datacontrol) {
        auto session = datacontrol;
        session->setQueryRecordDelegate(nullptr);
        queue_->async([session] { session->stopLive(); });
    }
}

void RemoteRecodeFileList::makeSession() {
    if (datacontrol) return;
    datacontrol = DataController::create();
    receiver_ = std::make_shared<Receiver>(
        std::static_pointer_cast<RemoteRecodeFileList>(shared_from_this()));
    datacontrol->setQueryRecordDelegate(receiver_);
}

void RemoteRecodeFileList::viewDidLoad() {
    makeSession();
    setTitle(Localization::string("RECORD_LIST_TITLE"));
    tableView()->setBackgroundColor(UIColor::whiteColor());
    tableView()->rowHeight = kRowHeight;
    setViewName(tableView(), "fileTable");
    // Searching and nothing-found texts, over the empty table.
    const CGFloat w = tableView()->bounds().size.width;
    auto* spinner = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::Gray);
    spinner->setFrame(CGRect{{(w - kSpinnerSize) / 2, 40}, {kSpinnerSize, kSpinnerSize}});
    spinner->setHidesWhenStopped(true);
    spinner->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    setViewName(spinner, "searchProgress");
    tableView()->addSubview(spinner);
    auto* status = new UILabel(CGRect{{16, 70}, {w - 32, 80}});
    status->setNumberOfLines(0);
    status->setTextAlignment(UITextAlignment::Center);
    status->setFont(UIFont::systemFontOfSize(15));
    status->setTextColor(kStatusTextColour);
    status->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    setViewName(status, "searchStatus");
    tableView()->addSubview(status);
    showStatus();
}

void RemoteRecodeFileList::showStatus() {
    if (!isViewLoaded()) return;
    const std::string text = statusText();
    if (auto* status = dynamic_cast<UILabel*>(tableView()->viewWithName("searchStatus"))) {
        status->setText(text);
        status->setHidden(text.empty());
    }
    if (auto* spinner = dynamic_cast<UIActivityIndicatorView*>(tableView()->viewWithName("searchProgress"))) {
        if (!answered_ && !stopped_) spinner->startAnimating();
        else spinner->stopAnimating();
    }
}

namespace {

std::string dayOf(const std::string& text) { return text.size() >= 10 ? text.substr(0, 10) : text; }

}  // namespace

std::string RemoteRecodeFileList::statusText() const {
    if (!answered_) return stopped_ ? std::string() : Localization::string("RECORD_SEARCHING");
    if (m_nFileCount != 0) return {};
    std::string days = dayOf(m_strStartTime);
    if (dayOf(m_strEndTime) != days) days += " – " + dayOf(m_strEndTime);
    static const char* const kKinds[4] = {"VIDEO_SWITCH", "VIDEO_MOVE", "VIDEO_COMMAND", "VIDEO_HAND"};
    std::string kinds;
    if ((m_nSearchType & 0xF) == 0xF) {
        kinds = Localization::string("VIDEO_ALL");
    } else {
        for (int k = 0; k < 4; ++k)
            if (m_nSearchType & (1u << k)) kinds += (kinds.empty() ? "" : ", ") + Localization::string(kKinds[k]);
    }
    std::string text = Localization::string("RECORD_NONE_FOUND");
    for (auto [mark, value] : {std::pair<std::string, std::string>{"%1", days}, {"%2", kinds}})
        if (auto at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), value);
    return text;
}

std::string RemoteRecodeFileList::startText(const _OWSP_DateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.m_year), unsigned(t.m_month),
                  unsigned(t.m_day), unsigned(t.m_hour), unsigned(t.m_minute), unsigned(t.m_second));
    return buf;
}

namespace {

// Seconds since the epoch of a device's calendar time (as UTC: only
// differences are taken), or -1 when it is no date.
long long secondsOf(const _OWSP_DateTime& t) {
    if (t.m_year < 1970 || t.m_month < 1 || t.m_month > 12 || t.m_day < 1 || t.m_day > 31) return -1;
    std::tm tm{};
    tm.tm_year = static_cast<int>(t.m_year) - 1900;
    tm.tm_mon = static_cast<int>(t.m_month) - 1;
    tm.tm_mday = static_cast<int>(t.m_day);
    tm.tm_hour = static_cast<int>(t.m_hour);
    tm.tm_min = static_cast<int>(t.m_minute);
    tm.tm_sec = static_cast<int>(t.m_second);
    return static_cast<long long>(timegm(&tm));
}

}  // namespace

std::string RemoteRecodeFileList::lengthText(const _OWSP_DateTime& start, const _OWSP_DateTime& end) {
    const long long a = secondsOf(start), b = secondsOf(end);
    if (a < 0 || b < a) return {};
    const long long d = b - a;
    char buf[48];
    if (d >= 3600)
        std::snprintf(buf, sizeof buf, "%lld h %lld min", d / 3600, d % 3600 / 60);
    else if (d >= 60)
        std::snprintf(buf, sizeof buf, "%lld min %lld s", d / 60, d % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld s", d);
    return buf;
}

std::vector<std::string> RemoteRecodeFileList::rowFiles() const {
    std::vector<std::string> names;
    for (const Entry& e : rows_) names.push_back(e.name);
    return names;
}

void RemoteRecodeFileList::setDeviceItem(const std::shared_ptr<Device>& device, uint32_t channelMask,
                                         uint32_t searchType, const std::string& startTime,
                                         const std::string& endTime) {
    m_nChannelMask = channelMask;
    m_nSearchType = searchType;
    m_strStartTime = startTime;
    m_strEndTime = endTime;
    makeSession();
    if (!device) return;
    stopped_ = false;
    auto session = datacontrol;
    queue_->async([session, device] { session->startLive(device, 0); });
}

_OWSP_DateTime RemoteRecodeFileList::dateTimeFromText(const std::string& text) {
    uint32_t parts[6] = {0, 0, 0, 0, 0, 0};
    size_t start = 0;
    for (int i = 0; i < 6 && start <= text.size(); ++i) {
        size_t end = text.find('-', start);
        std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        char* stop = nullptr;
        double v = std::strtod(part.c_str(), &stop);
        parts[i] = (std::isfinite(v) && v > 0 && v < 4294967296.0) ? static_cast<uint32_t>(v) : 0;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    _OWSP_DateTime t;
    t.m_microsecond = 0;
    t.m_year = parts[0];
    t.m_month = parts[1];
    t.m_day = parts[2];
    t.m_hour = parts[3];
    t.m_minute = parts[4];
    t.m_second = parts[5];
    return t;
}

_TLV_V_SearchFileRequest RemoteRecodeFileList::searchRequest() const {
    _TLV_V_SearchFileRequest r;
    r.reserve = 0;
    r.channelMask = m_nChannelMask;
    r.startTime = dateTimeFromText(m_strStartTime);
    r.endTime = dateTimeFromText(m_strEndTime);
    r.fileType = m_nSearchType;
    r.count = 100;
    r.step = 10;
    r.reserve2 = 0;
    return r;
}

void RemoteRecodeFileList::didConnect(int deviceId) {
    m_objDevice = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
    if (stopped_ || !datacontrol) return;
    auto session = datacontrol;
    queue_->async([session] { session->queryRemoteRequest(); });
}

void RemoteRecodeFileList::didLogin() {
    if (stopped_ || !datacontrol) return;
    auto session = datacontrol;
    auto request = searchRequest();
    queue_->async([session, request] { session->sendRemoteFileSearchRequest(request); });
}

void RemoteRecodeFileList::didReceiveSearchCount(int count) {
    m_nFileCount = count;
    answered_ = true;
    if (count == 0) stopSession();
    if (isViewLoaded()) tableView()->reloadData();
    showStatus();
}

void RemoteRecodeFileList::didReceiveFileName(const std::string& name) { didReceiveFile(name, {}, {}); }

void RemoteRecodeFileList::didReceiveFile(const std::string& name, const _OWSP_DateTime& start,
                                          const _OWSP_DateTime& end) {
    m_pFileArray.push_back(name);
    // Rows by start time; records without one keep their place at the end.
    Entry entry{name, start, end};
    const long long at = secondsOf(start);
    auto pos = std::find_if(rows_.begin(), rows_.end(), [&](const Entry& e) {
        const long long other = secondsOf(e.start);
        return at >= 0 && (other < 0 || other > at);
    });
    rows_.insert(pos, entry);
    if (static_cast<int>(m_pFileArray.size()) >= m_nFileCount) stopSession();
    if (isViewLoaded()) tableView()->reloadData();
    showStatus();
}

void RemoteRecodeFileList::stopSession() {
    stopped_ = true;
    showStatus();
    if (!datacontrol) return;
    auto session = datacontrol;
    queue_->async([session] { session->stopLive(); });
}

void RemoteRecodeFileList::viewWillDisappear(bool animated) {
    UITableViewController::viewWillDisappear(animated);
    stopSession();
}

int RemoteRecodeFileList::numberOfRowsInSection(UITableView*, int) {
    return m_nFileCount == 0 ? 0 : static_cast<int>(rows_.size());
}

UITableViewCell* RemoteRecodeFileList::cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "Cell");
    const Entry& e = rows_[static_cast<size_t>(indexPath.row)];
    const std::string length = lengthText(e.start, e.end);
    if (secondsOf(e.start) >= 0) {
        cell->textLabel()->setText(startText(e.start) + (length.empty() ? "" : "  ·  " + length));
        cell->detailTextLabel()->setText(e.name);
    } else {
        cell->textLabel()->setText(e.name);
    }
    cell->textLabel()->setAdjustsFontSizeToFitWidth(true);
    cell->detailTextLabel()->setTextColor(kDetailTextColour);
    return cell;
}

void RemoteRecodeFileList::didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    if (indexPath.row < 0 || indexPath.row >= static_cast<int>(rows_.size())) return;
    auto player = std::make_shared<PlayRemoteRecordController>();
    if (auto* nav = navigationController()) nav->pushViewController(player, true);
    player->PlayRemoteRecord(m_objDevice, 0, rows_[static_cast<size_t>(indexPath.row)].name);
}

}  // namespace lumora
