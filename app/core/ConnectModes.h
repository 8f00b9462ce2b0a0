#pragma once

#include <cstdint>

// The numbers that say how a device is reached, in one place. They are
// stored (the device list's "deviceConType", Device::preConMode) and some
// travel on the wire (a server's open answer carries a connect mode), so the
// values never change; they are plain enums, read and written as the int
// fields that hold them.
namespace lumora {

// How a device record is reached (Device::deviceConType).
namespace devicecon {
enum Type : int32_t {
    kByUid = 0,      // by its UID: LAN search and the relay/look-up servers (so is every value but 1)
    kByAddress = 1,  // by its address and media port (direct TCP)
};
}  // namespace devicecon

// The peer-to-peer client's connect modes (TolvClient::getConnectMode,
// Device::preConMode, DevicePreConnection::Path::mode). 0, 1 and 2 are also
// the connect mode of a server's open answer.
namespace connectmode {
enum Mode : int {
    kStopped = -2,
    kLanSearching = -1,
    kServerTcp = 0,   // TCP to the address a server gave; 5 s reads
    kRelay = 1,       // TCP to the relay a server gave
    kServerUdt = 2,   // UDT to the address a server gave
    kLanFound = 3,
    kLanFailed = 4,
    kInnerUdt = 5,    // UDT to the device's LAN address
    kHoleUdt = 6,     // UDT through a punched hole
    kDirectTcp = 7,   // TCP to a configured address; 10 s reads
    kLanTcp = 8,      // TCP to an address found in the LAN
};
}  // namespace connectmode

// What a session's link carries (DataController::channelConnectMode,
// TolvClient::channelMode): a playback link is never reopened.
namespace channelmode {
enum Mode : int {
    kLive = 0,
    kPlayback = 1,
};
}  // namespace channelmode

}  // namespace lumora
