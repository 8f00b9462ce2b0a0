#include "base/link/ReconnectPause.h"

#include <algorithm>
#include <cmath>

#include "platform/Config.h"

namespace lumora {

ReconnectPause::ReconnectPause(ReconnectPolicy policy, std::function<Clock::time_point()> now)
    : policy_(policy), now_(std::move(now)), random_(std::random_device{}()) {}

void ReconnectPause::linkUp() {
    std::lock_guard<std::mutex> g(mutex_);
    upSince_ = now_();
}

std::chrono::nanoseconds ReconnectPause::next() {
    const Config& cfg = Config::shared();
    std::lock_guard<std::mutex> g(mutex_);
    if (upSince_ && now_() - *upSince_ >= cfg.scaled(policy_.stableAfter)) attempts_ = 0;
    upSince_.reset();
    const double firstMs = static_cast<double>(policy_.first.count());
    const double capMs = static_cast<double>(policy_.cap.count());
    // Grown as a double and capped before it can overflow.
    double ms = std::min(capMs, firstMs * std::pow(std::max(1.0, policy_.growth), std::min(attempts_, 64)));
    const double j = std::clamp(policy_.jitter, 0.0, 1.0);
    if (j > 0) ms *= std::uniform_real_distribution<double>(1.0 - j, 1.0 + j)(random_);
    ms = std::clamp(ms, 0.0, capMs);
    ++attempts_;
    return cfg.scaled(std::chrono::duration<double, std::milli>(ms));
}

void ReconnectPause::reset() {
    std::lock_guard<std::mutex> g(mutex_);
    attempts_ = 0;
    upSince_.reset();
}

int ReconnectPause::attempts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return attempts_;
}

KeepTryingPause::KeepTryingPause(KeepTryingPolicy policy, std::function<Clock::time_point()> now)
    : policy_(policy), now_(std::move(now)), random_(std::random_device{}()) {}

void KeepTryingPause::begin() {
    std::lock_guard<std::mutex> g(mutex_);
    attempts_ = 0;
    since_ = now_();
}

std::chrono::nanoseconds KeepTryingPause::next() {
    const Config& cfg = Config::shared();
    std::lock_guard<std::mutex> g(mutex_);
    double ms;
    if (now_() - since_ >= cfg.scaled(policy_.patientAfter)) {
        const double least = static_cast<double>(policy_.slowLeast.count());
        const double most = std::max(least, static_cast<double>(policy_.slowMost.count()));
        ms = std::uniform_real_distribution<double>(least, most)(random_);
    } else {
        const double capMs = static_cast<double>(policy_.cap.count());
        ms = std::min(capMs, static_cast<double>(policy_.first.count()) *
                                 std::pow(std::max(1.0, policy_.growth), std::min(attempts_, 64)));
        const double j = std::clamp(policy_.jitter, 0.0, 1.0);
        if (j > 0) ms *= std::uniform_real_distribution<double>(1.0 - j, 1.0 + j)(random_);
        ms = std::max(ms, 0.0);
    }
    ++attempts_;
    return cfg.scaled(std::chrono::duration<double, std::milli>(ms));
}

void KeepTryingPause::reset() {
    std::lock_guard<std::mutex> g(mutex_);
    attempts_ = 0;
    since_ = now_();
}

int KeepTryingPause::attempts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return attempts_;
}

}  // namespace lumora
