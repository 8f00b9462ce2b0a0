#include "ui/phone/RemoteRecodeFileList.h"

#include <cmath>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/phone/PlayRemoteRecordController.h"

namespace lumora {

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
        post([name](RemoteRecodeFileList& l) { l.didReceiveFileName(name); });
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
    tableView()->setBackgroundColor(UIColor::whiteColor());
    setViewName(tableView(), "fileTable");
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
    if (count == 0) stopSession();
    if (isViewLoaded()) tableView()->reloadData();
}

void RemoteRecodeFileList::didReceiveFileName(const std::string& name) {
    m_pFileArray.push_back(name);
    if (static_cast<int>(m_pFileArray.size()) >= m_nFileCount) stopSession();
    if (isViewLoaded()) tableView()->reloadData();
}

void RemoteRecodeFileList::stopSession() {
    stopped_ = true;
    if (!datacontrol) return;
    auto session = datacontrol;
    queue_->async([session] { session->stopLive(); });
}

void RemoteRecodeFileList::viewWillDisappear(bool animated) {
    UITableViewController::viewWillDisappear(animated);
    stopSession();
}

int RemoteRecodeFileList::numberOfRowsInSection(UITableView*, int) {
    return m_nFileCount == 0 ? 0 : static_cast<int>(m_pFileArray.size());
}

UITableViewCell* RemoteRecodeFileList::cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Default, "Cell");
    cell->textLabel()->setText(m_pFileArray[static_cast<size_t>(indexPath.row)]);
    cell->textLabel()->setAdjustsFontSizeToFitWidth(true);
    return cell;
}

void RemoteRecodeFileList::didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    if (indexPath.row < 0 || indexPath.row >= static_cast<int>(m_pFileArray.size())) return;
    auto player = std::make_shared<PlayRemoteRecordController>();
    if (auto* nav = navigationController()) nav->pushViewController(player, true);
    player->PlayRemoteRecord(m_objDevice, 0, m_pFileArray[static_cast<size_t>(indexPath.row)]);
}

}  // namespace lumora
