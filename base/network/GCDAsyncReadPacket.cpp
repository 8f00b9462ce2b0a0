#include "base/network/GCDAsyncReadPacket.h"

#include <algorithm>
#include <cstring>

namespace lumora {

GCDAsyncReadPacket::GCDAsyncReadPacket(std::shared_ptr<std::vector<uint8_t>> buf, size_t offset, size_t maxLen,
                                       double to, size_t readLen, std::vector<uint8_t> terminator, long t)
    : maxLength(maxLen), timeout(to), readLength(readLen), term(std::move(terminator)), tag(t) {
    if (buf) {
        buffer = std::move(buf);
        startOffset = offset;
        bufferOwner = false;
        originalBufferLength = buffer->size();
    } else {
        buffer = std::make_shared<std::vector<uint8_t>>(readLength, 0);
        startOffset = 0;
        bufferOwner = true;
        originalBufferLength = 0;
    }
}

void GCDAsyncReadPacket::ensureCapacityForAdditionalDataOfLength(size_t n) {
    size_t used = startOffset + bytesDone;
    size_t room = buffer->size() > used ? buffer->size() - used : 0;
    if (room < n) buffer->resize(buffer->size() + (n - room));
}

size_t GCDAsyncReadPacket::readLengthForNonTermWithHint(size_t hint) const {
    if (readLength > 0) return std::min(hint, readLength - bytesDone);
    if (maxLength > 0) return std::min(hint, maxLength - bytesDone);
    return hint;
}

size_t GCDAsyncReadPacket::readLengthForTermWithHint(size_t hint, bool* shouldPreBuffer) const {
    size_t result = hint;
    if (maxLength > 0) result = std::min(result, maxLength - bytesDone);
    size_t used = startOffset + bytesDone;
    size_t room = buffer->size() > used ? buffer->size() - used : 0;
    *shouldPreBuffer = room < result;
    return result;
}

size_t GCDAsyncReadPacket::optimalReadLengthWithDefault(size_t defaultLength, bool* shouldPreBuffer) const {
    *shouldPreBuffer = false;
    if (readLength > 0) return std::min(defaultLength, readLength - bytesDone);
    size_t result = defaultLength;
    if (maxLength > 0) result = std::min(result, maxLength - bytesDone);
    size_t used = startOffset + bytesDone;
    size_t room = buffer->size() > used ? buffer->size() - used : 0;
    *shouldPreBuffer = room < result;
    return result;
}

size_t GCDAsyncReadPacket::readLengthForTermWithPreBuffer(const std::vector<uint8_t>& pre, bool* found) const {
    const size_t P = pre.size();
    const size_t T = term.size();
    *found = false;
    if (bytesDone + P < T) return P;

    size_t maxPre = P;
    if (maxLength > 0) maxPre = std::min(maxPre, maxLength - bytesDone);

    // The last T-1 stored bytes, then the pre-buffered ones.
    const size_t tail = std::min(bytesDone, T - 1);
    const uint8_t* stored = buffer->data() + startOffset + bytesDone - tail;
    auto byteAt = [&](size_t i) { return i < tail ? stored[i] : pre[i - tail]; };

    const size_t seqLen = tail + maxPre;
    for (size_t start = 0; start + T <= seqLen; ++start) {
        bool match = true;
        for (size_t k = 0; k < T && match; ++k) match = byteAt(start + k) == term[k];
        if (match) {
            *found = true;
            return start + T - tail;  // pre-buffered bytes up to the terminator's end
        }
    }
    return maxPre;
}

long GCDAsyncReadPacket::searchForTermAfterPreBuffering(size_t n) const {
    const size_t T = term.size();
    const uint8_t* base = buffer->data() + startOffset;
    const size_t end = bytesDone + n;
    size_t i = bytesDone >= T - 1 ? bytesDone - (T - 1) : 0;
    for (; i + T <= end; ++i) {
        if (std::memcmp(base + i, term.data(), T) == 0) return static_cast<long>(end - (i + T));
    }
    return -1;
}

}  // namespace lumora
