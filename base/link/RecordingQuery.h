#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/link/OWSPRecords.h"
#include "base/link/queryRecordDelegate.h"

namespace lumora {

class Device;
class PUConnection;

// The recordings kept on the device as one session asks for them: the
// recording search (its screen, and the count of announced and received
// files that tells when the search is over) and the recording to play (its
// file name and start time, and the play request for them).
//
// Threads: any queue; the search's answers arrive on the link's queues and
// are handed to the screen on the same queue. The screen is held weakly.
class RecordingQuery {
public:
    std::shared_ptr<queryRecordDelegate> queryRecorddelegate() const;
    void setQueryRecordDelegate(const std::shared_ptr<queryRecordDelegate>& d);

    // The recording to play.
    void setTimeAndName(const _OWSP_DateTime& start, const std::string& fileName);
    std::string strPlayFileName() const;
    void setStrPlayFileName(const std::string& name);
    _OWSP_DateTime startTime() const;
    // The play request for the recording to play, over that link.
    std::vector<uint8_t> buildPlayRequest(PUConnection* link) const;

    // A new link for a search: no answer is counted yet.
    void searchStarted() { searchFilesAnnounced_ = -1; }
    // A search answer and a file record, handed to the screen (nothing
    // happens without one). True once every announced file is in and no
    // further answer follows: the search is over, and counts no more.
    bool searchAnswered(Device* device, const _TLV_V_SearchFileResponse& response);
    bool fileReceived(Device* device, const _TLV_V_FileInfo& info, int32_t tag);

private:
    bool takeEndOfSearch();

    // The recording search under way: files the device announced (-1: no
    // answer yet) and file records received since.
    std::atomic<int> searchFilesAnnounced_{-1};
    std::atomic<int> searchFilesReceived_{0};
    // The last search answer said another answer follows (its third byte
    // is 1): a device with more files than one answer can count sends them
    // in several answers, each followed by its files.
    std::atomic<bool> searchMoreAnswers_{false};

    mutable std::mutex mutex_;  // the fields below
    std::weak_ptr<queryRecordDelegate> queryRecordDelegate_;  // Not owned.
    std::string strPlayFileName_;
    _OWSP_DateTime startTime_;
};

}  // namespace lumora
