#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/core/DevicePreConnection.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/text/SharedText.h"

namespace lumora {

class GCDAsyncSocket;
class PUConnection;

// Told the outcome of a device's background pre-connection.
class preConDelegate {
public:
    virtual ~preConDelegate() = default;
    virtual void didpreCondvid(int32_t deviceId, bool ret) = 0;
};

// One camera or recorder the user added. The device list owns devices
// (std::shared_ptr); sessions, searches and screens read and write the fields
// directly, from the main thread and from background queues: every text is a
// SharedText (a copy is read under its own lock; absent differs from "") and
// every scalar is atomic. A field that several queues update together (e.g.
// a path's address and port) is not updated atomically as a group. Not
// copyable.
//
// serverIP and serverPort start as relay/look-up server 1 and the relay TCP
// port of Config::shared().
//
// Background work. A device held by a shared_ptr (as the device list holds
// it) can pre-connect and probe itself:
// - Pre-connection (startPreConnection): on its own serial queue "prequeue"
//   the device asks its peer-to-peer client to find a path (LAN hint, or
//   identifier with LAN search first) and records what was found in the
//   path fields for the next live start. The client lives above this
//   library, so it is reached through a DevicePreConnection that the
//   application attaches (setPreConnectionFactory). Every attempt that runs
//   reports one outcome, success or failure, to preconDele on the main
//   queue; later reports of the same attempt, reports after
//   stopPreConnection, and reports for a device that is gone are dropped.
//   A queued attempt keeps the device alive until it has run.
// - Online probe (goforgetisOnline): a TCP connect to address:mediaPort
//   through the probe socket made in the constructor (callbacks on the main
//   queue) sets isOnLine.
class Device : public std::enable_shared_from_this<Device> {
public:
    // Device-information record as the device sends it (69 bytes are read).
    static constexpr size_t kDeviceInfoSize = 69;

    Device();
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // In-memory identity from the process-wide counter (1, 2, 3 ...).
    const int32_t deviceId;

    SharedText name{""};
    SharedText address{""};
    std::atomic<uint32_t> mediaPort{0};
    SharedText userName{""};
    SharedText password{""};
    std::atomic<uint8_t> streamType{1};
    std::atomic<uint8_t> encryptType{0};
    SharedText companyID{""};
    SharedText productID{""};
    SharedText deviceName{""};
    SharedText swVersion{""};
    SharedText manufactureDate{""};
    std::atomic<bool> alarmOnGuard{false};
    std::atomic<int32_t> channelNum{1};
    std::atomic<bool> useOwsp3{false};
    SharedText udid{""};
    std::atomic<int32_t> connType{0};
    std::atomic<int32_t> deviceConType{0};  // devicecon:: (app/core/ConnectModes.h): 1 by address and port, else by udid
    std::atomic<bool> isUDTConnect{false};
    std::atomic<bool> isOnLine{false};
    std::atomic<bool> isInIner{false};
    SharedText inHourseIpStr;  // absent
    SharedText serverIP;       // relay/look-up server 1 from the configuration
    std::atomic<int32_t> serverPort{28622};
    SharedText queryAddress;   // absent
    std::atomic<uint32_t> queryMediaPort{0};
    std::atomic<uint32_t> queryMode{0};
    std::atomic<bool> isInHub1{false};
    std::atomic<bool> isInhub2{false};
    std::atomic<bool> isInDeg{false};
    std::atomic<bool> isInEng{false};
    std::atomic<int32_t> connectNum{0};
    std::atomic<bool> isShan{false};
    std::atomic<bool> isStartPreCon{false};
    std::atomic<bool> isp2p{false};
    std::atomic<int32_t> preConMode{0};  // connectmode:: (app/core/ConnectModes.h)
    std::atomic<int32_t> socketfd{0};
    SharedText pretcpAddress;  // absent
    std::atomic<int32_t> pretcpport{0};
    SharedText preudpAddress;  // absent
    std::atomic<int32_t> preudpport{0};
    // Not owned; main thread only.
    std::weak_ptr<preConDelegate> preconDele;

    // Members that carry no behaviour, kept for the screens that write them.
    std::atomic<bool> autoIP{false};
    std::atomic<bool> isUIDType{false};
    std::atomic<bool> isUPNP{false};
    std::atomic<bool> trySmallPacket{false};
    std::atomic<int32_t> connId{0};
    std::atomic<bool> isConnectSuc{false};
    std::atomic<bool> aliveConnection{false};
    std::atomic<int32_t> currentConnMode{0};
    SharedText lastAddress;
    std::atomic<int32_t> lastport{0};
    SharedText dstAddress;
    std::atomic<int32_t> dstPort{0};
    SharedText srcAddress;
    std::atomic<int32_t> srcPort{0};
    std::atomic<bool> recvPunch{false};
    std::atomic<int32_t> tempudpSocket{0};
    std::atomic<bool> getMedia{false};
    std::atomic<bool> shouldFailedUDT{false};

    // Live-view starts not yet stopped (connectNum).
    int32_t numberOfConnections() const { return connectNum.load(); }
    // "address:mediaPort" ("" for an absent address).
    std::string description() const;
    // Copies a device-information record into the descriptive fields:
    // companyID, productID, deviceName and swVersion from the 16-byte texts
    // at 0, 16, 32, 48 (up to the first zero byte, never beyond 16 bytes; a
    // text that is not well-formed UTF-8 becomes absent), manufactureDate
    // from the date word at 64 ("2014-7-5"), and channelNum from the byte at
    // 68 only while channelNum is below 1. At most `size` bytes are read: a
    // short record sets only the fields it holds in full. The connection is
    // not used.
    void populateDeviceInfo(const uint8_t* record, size_t size, PUConnection* connection = nullptr);

    // The next id the counter will hand out (tests).
    static int32_t peekNextDeviceId();

    // ---- pre-connection and online probe
    using PreConnectionFactory = std::function<std::shared_ptr<DevicePreConnection>(const std::shared_ptr<Device>&)>;
    // Installed once by the application; without one, pre-connections do
    // nothing (a diagnostic line).
    static void setPreConnectionFactory(PreConnectionFactory factory);

    // Starts a pre-connection on "prequeue"; returns at once.
    void startPreConnection();
    // Stops the client if it exists; attempts queued before are dropped and
    // the running one reports nothing.
    void stopPreConnection();
    // Creates the peer-to-peer client if it does not exist yet.
    void searchState();
    // Starts the online probe (devices reached by address only); returns at
    // once. A probe already under way makes this do nothing.
    void goforgetisOnline();

    // Reports of the attached pre-connection (any queue).
    void preConnectionDidConnect(const DevicePreConnection::Path& path);
    void preConnectionDidFail();
    void preConnectionDidQueryStatus(bool online);
    // How many pre-connections were started so far (startPreConnection).
    uint64_t preConnectionStarts() const { return preConStarts_.load(); }
    // Sets isOnLine; a change is logged (info) with the device's name.
    void setOnLine(bool online);

    // "prequeue" (null before the first startPreConnection), the attached
    // pre-connection (null before the first need) and the probe socket.
    DispatchQueuePtr prequeue() const;
    std::shared_ptr<DevicePreConnection> preConnection() const;
    std::shared_ptr<GCDAsyncSocket> probeSocket() const { return probeSocket_; }

private:
    struct ProbeDelegate;

    std::shared_ptr<DevicePreConnection> attachPreConnection();
    void runPreConnection(DevicePreConnection& connection, uint64_t attempt);
    void tellPreConDelegate(bool success);

    mutable std::mutex preMutex_;
    DispatchQueuePtr prequeue_;
    std::shared_ptr<DevicePreConnection> preConnection_;
    std::atomic<uint64_t> preConStarts_{0};
    std::atomic<uint64_t> preConStopped_{0};
    std::atomic<bool> preConPending_{false};  // the running attempt has not reported yet
    std::shared_ptr<ProbeDelegate> probeDelegate_;
    std::shared_ptr<GCDAsyncSocket> probeSocket_;
};

}  // namespace lumora
