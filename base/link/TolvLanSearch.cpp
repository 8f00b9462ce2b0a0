#include "base/link/TolvLanSearch.h"

#include <span>
#include <vector>

#include "base/link/RkMessageParser.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"

namespace lumora {

namespace {

constexpr size_t kAnswerBufferSize = 1024;
constexpr int kLanReceiveMs = 1000;
constexpr int kLanReceives = 12;
constexpr int kLanSendRetries = 4;

}  // namespace

bool TolvLanSearch::isWanted(const RkDeviceId& id, const RkDeviceId& wanted) {
    return id == wanted && id != RkDeviceId{};
}

TolvLanSearch::Result TolvLanSearch::search(const std::string& uid) {
    const Config& cfg = Config::shared();
    Result result;
    int fd = udpSocketCreateBind(cfg.lanLocalPort);
    if (fd == 0) fd = udpSocketCreateBind(randomLocalPort());
    if (fd == 0) return result;
    std::vector<uint8_t> query = RkMessageBuilder::buildMsgForSearchDeviceRequest(RkDeviceId{});
    int sent = udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    for (int i = 0; i < kLanSendRetries && sent <= 0; ++i)
        sent = udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    if (sent <= 0) {
        socketClose(fd);
        return result;
    }
    result.outcome = Outcome::kSilent;
    const RkDeviceId wanted = RkMessageBuilder::deviceIdForUid(uid);
    std::vector<uint8_t> buf(kAnswerBufferSize);
    for (int i = 0; i < kLanReceives; ++i) {
        std::string from;
        uint16_t fromPort = 0;
        int n = udpSocketRecvFrom(fd, from, fromPort, buf.data(), buf.size(), cfg.scaledMs(kLanReceiveMs));
        if (n < static_cast<int>(rk::kHeaderSize)) continue;
        uint16_t type = static_cast<uint16_t>(buf[0] | (buf[1] << 8));
        if (type != rk::kSearchDeviceResponse) continue;
        RkDeviceId id{};
        Answer answer;
        // Only the bytes received are read: a short answer is skipped.
        if (!RkMessageParser::parseSearchDeviceResponse(
                std::span<const uint8_t>(buf.data() + rk::kHeaderSize, static_cast<size_t>(n) - rk::kHeaderSize), id,
                answer.udtPort, answer.address, answer.tcpPort))
            continue;
        if (!isWanted(id, wanted)) continue;
        result.outcome = Outcome::kFound;
        result.answer = std::move(answer);
        break;
    }
    socketClose(fd);
    return result;
}

}  // namespace lumora
