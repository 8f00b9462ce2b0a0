#pragma once

#include <atomic>
#include <cstdint>

namespace lumora {

// One choice of a tick list: a number (a 0-based channel, or a row of kinds
// of recording) and whether it is ticked. Both values may be read and set
// from any thread.
class ChannelSelectionGroup {
public:
    ChannelSelectionGroup(uint32_t channel, bool selected) : m_nChannel_(channel), m_bSelected_(selected) {}

    uint32_t m_nChannel() const { return m_nChannel_; }
    void setM_nChannel(uint32_t channel) { m_nChannel_ = channel; }
    bool m_bSelected() const { return m_bSelected_; }
    void setM_bSelected(bool selected) { m_bSelected_ = selected; }

private:
    std::atomic<uint32_t> m_nChannel_;
    std::atomic<bool> m_bSelected_;
};

}  // namespace lumora
