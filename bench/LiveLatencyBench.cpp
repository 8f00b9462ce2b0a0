// Live latency: from the moment the device emulator sends a frame to the
// moment its picture reaches the pane on the main queue, with the emulator
// paced at 25 frames per second on loopback, for 1 and 16 sessions at once,
// with and without a 0.6 s stall of the device. Pictures are matched to the
// frames sent by their content (a hash of the decoded picture).
//
// The anchor, measured in the same run: the frame interval plus the time one
// frame takes to decode here. A live view should stay within it, and be back
// within it a second after a stall.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/decoder/H264Decoder.h"
#include "base/link/DataController.h"
#include "base/link/renderDelegate.h"
#include "base/network/NETStatusObj.h"
#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/H264Clip.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kFps = 25;
constexpr auto kWarmUp = 2s;
constexpr auto kMeasure = 8s;
constexpr auto kStallAt = 3s;  // into the measurement
constexpr auto kStall = 600ms;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Tells the clip's pictures apart cheaply (every 7th byte, FNV-1a), so the
// measuring pane adds little work to the main queue it measures.
std::string pictureId(const std::vector<uint8_t>& yuv) {
    uint64_t h = 14695981039346656037ull ^ yuv.size();
    for (size_t i = 0; i < yuv.size(); i += 7) {
        h ^= yuv[i];
        h *= 1099511628211ull;
    }
    return std::to_string(h);
}

// Pictures as they reach the pane: when, and which.
struct Pane : renderDelegate {
    std::mutex m;
    std::vector<std::pair<Clock::time_point, std::string>> shown;
    void renderShow(const std::vector<uint8_t>& yuv, int, int) override {
        const auto now = Clock::now();
        std::string id = pictureId(yuv);
        std::lock_guard<std::mutex> g(m);
        shown.emplace_back(now, std::move(id));
    }
};

// Frames as the device sends them: when, and which clip position.
struct Sent {
    std::mutex m;
    std::vector<std::pair<Clock::time_point, size_t>> frames;
};

// Hashes of the clip's pictures by position, and the mean time one
// frame takes through the codec and into the delivered buffer.
std::vector<std::string> clipPictures(const std::vector<test::AccessUnit>& units, double& decodeMs) {
    std::vector<std::string> ids;
    std::vector<uint8_t> yuv;
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        H264Decoder dec;
        if (!dec.open()) return {};
        std::vector<std::string> out;
        const auto t0 = Clock::now();
        for (const auto& u : units)
            dec.decode(u.bytes.data(), u.bytes.size(), 0, [&](const AVFrame& pic, int64_t) {
                if (dec.packYuv420(pic, yuv)) out.push_back(pictureId(yuv));
            });
        best = std::min(best, ms(Clock::now() - t0) / static_cast<double>(units.size()));
        ids = std::move(out);
    }
    decodeMs = best;
    return ids;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

struct Result {
    std::vector<double> all;        // every picture of the measurement
    std::vector<double> recovered;  // pictures from one second after the stall on
    long unmatched = 0;
};

Result run(int sessions, bool stall, const std::map<std::string, std::vector<size_t>>& positionsOf) {
    std::vector<std::unique_ptr<devemu::DeviceEmulator>> devices;
    std::vector<std::shared_ptr<Sent>> sent;
    std::vector<std::shared_ptr<Pane>> panes;
    std::vector<std::shared_ptr<DataController>> views;
    std::vector<std::shared_ptr<Device>> listed;
    for (int i = 0; i < sessions; ++i) {
        devemu::EmulatorOptions o;
        o.fps = kFps;
        o.audio = false;
        o.frameEvents = true;
        auto emu = std::make_unique<devemu::DeviceEmulator>(o);
        auto record = std::make_shared<Sent>();
        emu->setEventHandler([record](const devemu::EmulatorEvent& e) {
            if (e.text.rfind("frame ", 0) != 0) return;
            const auto now = Clock::now();
            const size_t at = e.text.find(" clip ");
            if (at == std::string::npos) return;
            std::lock_guard<std::mutex> g(record->m);
            record->frames.emplace_back(now, std::stoul(e.text.substr(at + 6)));
        });
        std::string error;
        if (!emu->start(error)) {
            std::fprintf(stderr, "device emulator: %s\n", error.c_str());
            std::exit(1);
        }
        auto d = std::make_shared<Device>();
        d->name = "bench" + std::to_string(i);
        d->deviceConType = 1;
        d->address = o.tcpHost;
        d->mediaPort = emu->tcpPort();
        d->userName = o.user;
        d->password = o.password;
        QvDeviceManager::sharedInstance().addDevice(d);
        auto pane = std::make_shared<Pane>();
        auto view = DataController::create();
        view->setDelegate(pane);
        DispatchQueue::global()->async([view, d] { view->startLive(d, 0); });
        devices.push_back(std::move(emu));
        sent.push_back(record);
        panes.push_back(pane);
        views.push_back(view);
        listed.push_back(d);
    }

    RunLoop::main().runFor(kWarmUp);
    const auto begin = Clock::now();
    Clock::time_point stallEnd = begin;
    if (stall) {
        RunLoop::main().runFor(kStallAt);
        for (auto& emu : devices) emu->stall(kStall);
        stallEnd = Clock::now() + kStall;
        RunLoop::main().runFor(kMeasure - kStallAt);
    } else {
        RunLoop::main().runFor(kMeasure);
    }
    const auto end = Clock::now();
    for (auto& v : views) v->stopLive();
    for (auto& emu : devices) emu->stop();

    Result r;
    for (int i = 0; i < sessions; ++i) {
        std::lock_guard<std::mutex> g1(panes[i]->m);
        std::lock_guard<std::mutex> g2(sent[i]->m);
        const auto& frames = sent[i]->frames;
        for (const auto& [when, id] : panes[i]->shown) {
            if (when < begin || when > end) continue;
            auto it = positionsOf.find(id);
            if (it == positionsOf.end()) {
                ++r.unmatched;
                continue;
            }
            // The latest sending of that picture before it was shown.
            Clock::time_point sentAt{};
            for (auto f = frames.rbegin(); f != frames.rend(); ++f) {
                if (f->first > when) continue;
                if (std::find(it->second.begin(), it->second.end(), f->second) != it->second.end()) {
                    sentAt = f->first;
                    break;
                }
            }
            if (sentAt == Clock::time_point{}) {
                ++r.unmatched;
                continue;
            }
            const double latency = ms(when - sentAt);
            r.all.push_back(latency);
            if (!stall || when >= stallEnd + 1s) r.recovered.push_back(latency);
        }
    }
    for (auto& d : listed) QvDeviceManager::sharedInstance().removeDevice(d);
    return r;
}

}  // namespace

int main() {
    RunLoop::main();  // this thread drains the main queue
    const auto root = std::filesystem::temp_directory_path() / ("lumora-latency-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    Config::shared().dataRoot = root.string();
    Config::shared().audioBackend = "null";
    NETStatusObj::sharedInstance().setIsHaveNet(true);  // loopback only

    const auto units = test::splitAccessUnits(test::readFile(devemu::DeviceEmulator::defaultClipPath()));
    double decodeMs = 0;
    const auto pictures = clipPictures(units, decodeMs);
    if (pictures.size() != units.size()) {
        std::fprintf(stderr, "the clip does not decode whole (%zu of %zu pictures)\n", pictures.size(), units.size());
        return 1;
    }
    std::map<std::string, std::vector<size_t>> positionsOf;
    for (size_t i = 0; i < pictures.size(); ++i) positionsOf[pictures[i]].push_back(i);

    const double interval = 1000.0 / kFps;
    std::printf("Live latency, device frame sent -> picture on the main queue (loopback, %d fps, %zu-frame clip)\n",
                kFps, units.size());
    std::printf("anchor: frame interval %.1f ms + decode %.2f ms per frame = %.1f ms\n\n", interval, decodeMs,
                interval + decodeMs);
    std::printf("%-9s %-12s %8s %9s %9s %22s %10s\n", "sessions", "device", "pictures", "p50 ms", "p99 ms",
                "p99 from 1 s after ms", "unmatched");
    for (int sessions : {1, 16}) {
        for (bool stall : {false, true}) {
            Result r = run(sessions, stall, positionsOf);
            std::printf("%-9d %-12s %8zu %9.1f %9.1f %22s %10ld\n", sessions, stall ? "0.6 s stall" : "steady",
                        r.all.size(), percentile(r.all, 50), percentile(r.all, 99),
                        stall ? std::to_string(percentile(r.recovered, 99)).substr(0, 6).c_str() : "-", r.unmatched);
            std::fflush(stdout);
        }
    }
    std::filesystem::remove_all(root);
    return 0;
}
