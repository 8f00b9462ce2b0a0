#pragma once

namespace lumora {

// Users of the all-device status poll: told when a search has sent its
// queries (and again when enough relay answers were counted). Called on the
// "searchDevice" queue or the relay connections' queue.
class AllSearchDelegate {
public:
    virtual ~AllSearchDelegate() = default;
    virtual void AllSearchdidEnd() = 0;
};

}  // namespace lumora
