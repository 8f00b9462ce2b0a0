#pragma once

#include <atomic>

namespace lumora {

// The process-wide network-status flags, rewritten on every reachability
// change of the public host watched since launch; all false until the
// platform has reported once. Each flag is read and written as a whole from
// any queue; no lock spans several of them.
class NETStatusObj {
public:
    static NETStatusObj& sharedInstance();

    bool isHaveNet() const { return isHaveNet_.load(); }
    bool is3G() const { return is3G_.load(); }
    bool isWIFI() const { return isWIFI_.load(); }
    void setIsHaveNet(bool v) { isHaveNet_.store(v); }
    void setIs3G(bool v) { is3G_.store(v); }
    void setIsWIFI(bool v) { isWIFI_.store(v); }

private:
    NETStatusObj() = default;
    std::atomic<bool> isHaveNet_{false};
    std::atomic<bool> is3G_{false};
    std::atomic<bool> isWIFI_{false};
};

}  // namespace lumora
