#include "platform/dispatch/QueueContext.h"

#include <algorithm>

namespace lumora {

namespace {
thread_local std::vector<DispatchQueue*> tFrames;
thread_local std::vector<DispatchQueue*> tLent;
}  // namespace

DispatchQueue* QueueContext::innermost() { return tFrames.empty() ? nullptr : tFrames.back(); }

bool QueueContext::holds(const DispatchQueue* queue) {
    return std::find(tFrames.begin(), tFrames.end(), queue) != tFrames.end() ||
           std::find(tLent.begin(), tLent.end(), queue) != tLent.end();
}

std::vector<DispatchQueue*> QueueContext::snapshot() {
    std::vector<DispatchQueue*> all = tLent;
    all.insert(all.end(), tFrames.begin(), tFrames.end());
    return all;
}

QueueContext::Frame::Frame(DispatchQueue* queue) { tFrames.push_back(queue); }
QueueContext::Frame::~Frame() { tFrames.pop_back(); }

QueueContext::Lent::Lent(std::vector<DispatchQueue*> queues) : saved_(std::move(tLent)) {
    tLent = saved_;
    tLent.insert(tLent.end(), queues.begin(), queues.end());
}
QueueContext::Lent::~Lent() { tLent = std::move(saved_); }

}  // namespace lumora
