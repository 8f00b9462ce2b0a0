#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/link/DataController.h"
#include "base/link/queryRecordDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "ui/kit/UITableViewController.h"

namespace lumora {

class Device;

// Runs one search for the recordings kept on a device and lists what the
// device reports by start time and length (the file name under it); a
// tapped row is played on a pushed player. While the device answers the
// list says it is searching; a search that finds nothing says so, with the
// days and kinds searched.
//
// The session's answers arrive on its receiving queue: the list copies what
// it needs there and does everything else (appending, counting, stopping,
// reloading) on the main queue, asynchronously. Starting and stopping the
// session run on the list's own serial queue, never on the main thread.
class RemoteRecodeFileList : public UITableViewController {
public:
    RemoteRecodeFileList();
    ~RemoteRecodeFileList() override;

    // setDeviceItem:withSearchChannel:withSearchType:withStartTime:withEndTime:
    void setDeviceItem(const std::shared_ptr<Device>& device, uint32_t channelMask, uint32_t searchType,
                       const std::string& startTime, const std::string& endTime);

    // The search request record of the stored values.
    _TLV_V_SearchFileRequest searchRequest() const;
    // "yyyy-MM-dd-HH-mm-ss" split at "-" into the record's six time fields.
    static _OWSP_DateTime dateTimeFromText(const std::string& text);

    // The names in the order they came.
    const std::vector<std::string>& files() const { return m_pFileArray; }
    // The names in the order of the rows: by start time.
    std::vector<std::string> rowFiles() const;
    // The text over the table: searching, nothing found, or empty.
    std::string statusText() const;
    // "2026-12-10 08:00:00" and "12 min 5 s" style texts of a row.
    static std::string startText(const _OWSP_DateTime& t);
    static std::string lengthText(const _OWSP_DateTime& start, const _OWSP_DateTime& end);
    int fileCount() const { return m_nFileCount; }
    // The session was asked to stop (every file in, none announced, or the
    // list left the screen).
    bool sessionStopped() const { return stopped_; }
    std::shared_ptr<DataController> session() const { return datacontrol; }

    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    int numberOfRowsInSection(UITableView*, int) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;

    // ---- on the main queue, from the session's callbacks
    void didConnect(int deviceId);
    void didLogin();
    void didReceiveSearchCount(int count);
    void didReceiveFileName(const std::string& name);
    void didReceiveFile(const std::string& name, const _OWSP_DateTime& start, const _OWSP_DateTime& end);

private:
    class Receiver;
    void makeSession();
    void stopSession();
    void showStatus();
    struct Entry {
        std::string name;
        _OWSP_DateTime start, end;
    };

    std::shared_ptr<DataController> datacontrol;
    std::shared_ptr<Receiver> receiver_;
    DispatchQueuePtr queue_;
    std::vector<std::string> m_pFileArray;
    std::vector<Entry> rows_;  // by start time
    bool answered_ = false;
    int m_nFileCount = 0;
    uint32_t m_nChannelMask = 0;
    uint32_t m_nSearchType = 0;
    std::string m_strStartTime, m_strEndTime;
    std::shared_ptr<Device> m_objDevice;
    bool stopped_ = false;
};

}  // namespace lumora
