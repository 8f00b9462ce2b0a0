#pragma once

// Every error domain and code the system defines, in one place.
namespace lumora::errors {

// Device links (peer-to-peer client and session controller).
inline constexpr const char* kDeviceOffline = "DeviceOffline";  // 1000: the device is offline
inline constexpr const char* kDeviceOff = "DeviceOff";          // 1000: sending without a link
inline constexpr const char* kP2PErr = "P2PErr";                // 1002: peer-to-peer path failed
inline constexpr const char* kNETErr = "NETErr";                // 1003: no network / link lost
inline constexpr const char* kPingErr = "PingErr";              // 1005: heartbeat failed
inline constexpr const char* kTCPErr = "TCPErr";                // 1006: TCP link failed
inline constexpr const char* kRECORD = "RECORD";                // 1006: UDT link dropped during remote playback
inline constexpr long kCodeDeviceOffline = 1000;
inline constexpr long kCodeP2P = 1002;
inline constexpr long kCodeNet = 1003;
inline constexpr long kCodePing = 1005;
inline constexpr long kCodeTCP = 1006;

// Relay-server links.
inline constexpr const char* kNetErr = "NetErr";  // 1003

// Device login and configuration.
inline constexpr const char* kDVRClientErrorDomain = "DVRClientErrorDomain";
inline constexpr long kLoginResult2 = 2004;
inline constexpr long kLoginResult5 = 2005;
inline constexpr long kLoginResult4 = 2006;
inline constexpr long kLoginResult24 = 2009;
inline constexpr long kConfigSetRefused = 2011;
inline constexpr long kLoginOther = 2012;

// Socket classes.
inline constexpr const char* kGCDAsyncSocketErrorDomain = "GCDAsyncSocketErrorDomain";
inline constexpr const char* kGCDAsyncUdpSocketErrorDomain = "GCDAsyncUdpSocketErrorDomain";
// TLS failures of the socket streams: the TLS library's reason or, for a
// refused peer certificate, its verification result as code.
inline constexpr const char* kStreamErrorDomainSSL = "kCFStreamErrorDomainSSL";

// Status codes of the platform's audio queues and session (AudioTypes.h),
// with the status as code.
inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

// GCDAsyncSocketErrorDomain codes.
inline constexpr long kGCDAsyncSocketBadConfigError = 1;      // misuse at connect/accept
inline constexpr long kGCDAsyncSocketBadParamError = 2;       // bad argument at connect/accept
inline constexpr long kGCDAsyncSocketConnectTimeoutError = 3; // connect timed out
inline constexpr long kGCDAsyncSocketReadTimeoutError = 4;    // read timed out
inline constexpr long kGCDAsyncSocketWriteTimeoutError = 5;   // write timed out
inline constexpr long kGCDAsyncSocketReadMaxedOutError = 6;   // read reached its maximum length
inline constexpr long kGCDAsyncSocketClosedError = 7;         // closed by the peer
inline constexpr long kGCDAsyncSocketOtherError = 8;          // any other failure

// GCDAsyncUdpSocketErrorDomain codes.
inline constexpr long kGCDAsyncUdpSocketBadConfigError = 1;   // misuse in the current state
inline constexpr long kGCDAsyncUdpSocketBadParamError = 2;    // bad argument
inline constexpr long kGCDAsyncUdpSocketSendTimeoutError = 3; // a datagram waited longer than its time-out
inline constexpr long kGCDAsyncUdpSocketClosedError = 4;      // socket closed
inline constexpr long kGCDAsyncUdpSocketOtherError = 5;       // any other failure

// The run-loop UDP socket class (AsyncUdpSocket).
inline constexpr const char* kAsyncUdpSocketErrorDomain = "AsyncUdpSocketErrorDomain";
inline constexpr long kAsyncUdpSocketCFSocketError = -1;      // a socket call failed
inline constexpr long kAsyncUdpSocketNoError = 0;
inline constexpr long kAsyncUdpSocketBadParameter = 1;        // invalid address or group
inline constexpr long kAsyncUdpSocketIPv4Unavailable = 2;     // bound/connected with IPv6 only
inline constexpr long kAsyncUdpSocketIPv6Unavailable = 3;     // bound/connected with IPv4 only
inline constexpr long kAsyncUdpSocketSendTimeoutError = 4;    // a datagram waited longer than its time-out
inline constexpr long kAsyncUdpSocketReceiveTimeoutError = 5; // no datagram within the receive time-out
// Socket-option failures of AsyncUdpSocket.
inline constexpr const char* kStreamErrorDomainPOSIX = "kCFStreamErrorDomainPOSIX";

}  // namespace lumora::errors
