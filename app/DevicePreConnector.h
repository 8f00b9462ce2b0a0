#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/DevicePreConnection.h"
#include "base/link/TolvClientDelegate.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class TolvClient;

// The peer-to-peer side of one Device's pre-connection.
//
// Device (core library) cannot reach the peer-to-peer client (base
// library), so each Device gets one of these attached through the
// DevicePreConnection interface: install() registers the factory once at
// start-up, and the Device makes its own on first need and keeps it for its
// life. The Device keeps the queue "prequeue", decides what to connect to
// and records the outcome; this object owns the TolvClient, is its delegate,
// runs its blocking entry points on "prequeue", and turns its reports into
// Device::preConnectionDidConnect / preConnectionDidFail /
// preConnectionDidQueryStatus.
//
// Lifetime: owned by the Device (shared_ptr); it holds the Device weakly, so
// reports for a device that is gone are dropped. The client holds this
// delegate weakly. Releasing this object releases the client, which closes
// its link and its server sockets.
//
// A pre-connection only finds a path: once the link is up it is closed
// again (on "prequeue") and the live start opens its own link along the
// recorded path. Because that close also closes a punched UDP socket, the
// recorded socketfd is 0 (no socket), never a descriptor that is closed.
class DevicePreConnector : public DevicePreConnection,
                           public TolvClientDelegate,
                           public std::enable_shared_from_this<DevicePreConnector> {
public:
    // Makes every Device pre-connect through a DevicePreConnector.
    static void install();
    static std::shared_ptr<DevicePreConnector> create(const std::shared_ptr<Device>& device);

    // ---- DevicePreConnection
    void prepare() override;
    void connectJustForLan(const std::string& address, uint16_t port) override;
    void connectByUid(const std::string& udid, const std::string& host, int port) override;
    void stop() override;
    void searchState() override;

    // The client (null before the first need).
    std::shared_ptr<TolvClient> client() const;

    // ---- TolvClientDelegate
    void tolvClientDidConnect(const std::string& udid, const std::string& timestr) override;
    void tolvClientDidDisConnect(const std::string& timestr, const Error& error) override;
    void tolvClientShouldRecon(const std::string& timestr, const std::string& udid) override;
    int tolvClientDidRecData(const std::vector<uint8_t>& data, const std::string& udid,
                             const std::string& timestr) override;
    void tolvClientDidRecDataLength(int length, const std::string& udid, const std::string& timestr) override;
    void tolvClientDidQueryStatus(const std::string& udid, bool isOnLine) override;

private:
    struct Private {};

public:
    DevicePreConnector(Private, const std::shared_ptr<Device>& device);

private:
    std::shared_ptr<TolvClient> ensureClient();

    std::weak_ptr<Device> device_;  // Not owned.
    mutable std::mutex mutex_;
    std::shared_ptr<TolvClient> client_;
};

}  // namespace lumora
