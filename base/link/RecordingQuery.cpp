#include "base/link/RecordingQuery.h"

#include "base/link/OWSPMessageBuilder.h"

namespace lumora {

std::shared_ptr<queryRecordDelegate> RecordingQuery::queryRecorddelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return queryRecordDelegate_.lock();
}

void RecordingQuery::setQueryRecordDelegate(const std::shared_ptr<queryRecordDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    queryRecordDelegate_ = d;
}

void RecordingQuery::setTimeAndName(const _OWSP_DateTime& start, const std::string& fileName) {
    std::lock_guard<std::mutex> g(mutex_);
    strPlayFileName_ = fileName;
    startTime_ = start;
}

std::string RecordingQuery::strPlayFileName() const {
    std::lock_guard<std::mutex> g(mutex_);
    return strPlayFileName_;
}

void RecordingQuery::setStrPlayFileName(const std::string& name) {
    std::lock_guard<std::mutex> g(mutex_);
    strPlayFileName_ = name;
}

_OWSP_DateTime RecordingQuery::startTime() const {
    std::lock_guard<std::mutex> g(mutex_);
    return startTime_;
}

std::vector<uint8_t> RecordingQuery::buildPlayRequest(PUConnection* link) const {
    _TLV_V_PlayRecordRequest request;
    {
        std::lock_guard<std::mutex> g(mutex_);
        request.fileName = strPlayFileName_;  // cut at 260 bytes
        request.startTime = startTime_;
    }
    request.flags = {1, 1, 1};
    return OWSPMessageBuilder::buildPlayRecordRequest(&request, link);
}

bool RecordingQuery::searchAnswered(Device* device, const _TLV_V_SearchFileResponse& response) {
    auto q = queryRecorddelegate();
    if (!q) return false;
    searchFilesAnnounced_ = response.count;
    searchFilesReceived_ = 0;
    searchMoreAnswers_ = response.reserve == 1;
    q->deviceDidReceiveSearchResp(device, response, 0);
    return takeEndOfSearch();
}

bool RecordingQuery::fileReceived(Device* device, const _TLV_V_FileInfo& info, int32_t tag) {
    auto q = queryRecorddelegate();
    if (!q) return false;
    ++searchFilesReceived_;
    q->deviceDidReceiveFileInfo(device, info, tag);
    return takeEndOfSearch();
}

bool RecordingQuery::takeEndOfSearch() {
    const int announced = searchFilesAnnounced_;
    if (announced < 0 || searchFilesReceived_ < announced || searchMoreAnswers_) return false;
    searchFilesAnnounced_ = -1;
    return true;
}

}  // namespace lumora
