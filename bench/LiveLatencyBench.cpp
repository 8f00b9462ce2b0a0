// Live latency: from the moment the device emulator sends a frame to the
// moment its picture reaches the pane on the main queue, with the emulator
// paced at 25 frames per second on loopback, for 1 and 16 sessions at once,
// with and without a 0.6 s stall of the device. Pictures are matched to the
// frames sent by their content (a hash of the decoded picture).
//
// The stream is a camera-like 704x576 clip (a moving pattern under temporal
// noise, 1.5 Mbit/s, a key frame every two seconds), made once with the
// ffmpeg program and kept beside this program (bench-clips/). Every case
// runs in rounds (3 unless given: LiveLatencyBench [ROUNDS]); each round
// prints its figures, and a table at the end gives per case the median over
// the rounds, ± half the interquartile range over the median.
//
// The anchor, measured in the same run: the frame interval plus the time one
// frame takes to decode here. A live view should stay within it, and be back
// within it a second after a stall; every session's median should be within
// one frame interval.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/decoder/H264Decoder.h"
#include "bench/BenchRounds.h"
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

constexpr int kClipWidth = 704;
constexpr int kClipHeight = 576;
constexpr size_t kKeyInterval = 50;  // frames

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The clip, made on first use beside the program: 10 s at 25 fps, a key
// frame every 2 s, main profile without B-frames, 1.5 Mbit/s.
std::string clipPath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto folder = (ec ? std::filesystem::temp_directory_path() : exe.parent_path()) / "bench-clips";
    std::filesystem::create_directories(folder);
    const auto path = folder / "camera-704x576-1500k-gop50.h264";
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) > 0) return path.string();
    std::ostringstream cmd;
    cmd << "ffmpeg -v error -y -f lavfi -i 'testsrc2=size=" << kClipWidth << "x" << kClipHeight
        << ":rate=25,scroll=horizontal=0.003:vertical=0.002,noise=alls=12:allf=t+u' -frames:v 250"
        << " -c:v libx264 -preset veryfast -profile:v main -pix_fmt yuv420p -bf 0 -g 50 -keyint_min 50"
        << " -sc_threshold 0 -b:v 1500k -maxrate 1500k -bufsize 1500k -threads 1 -f h264 '" << path.string()
        << ".part' && mv '" << path.string() << ".part' '" << path.string() << "'";
    if (std::system(cmd.str().c_str()) != 0) return {};
    return path.string();
}

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
std::vector<std::string> clipPictures(const std::vector<test::AccessUnit>& units, double& decodeMs, int runs) {
    std::vector<std::string> ids;
    std::vector<uint8_t> yuv;
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
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
    std::vector<double> sessionMedians;
    std::vector<double> key;        // key-frame pictures (all sessions' come within milliseconds)
    long unmatched = 0;
    double mainMaxMs = 0;     // the latest main-queue heartbeat
    double mainMaxAtS = 0;    // when it was posted, seconds into the measurement
    double worstMs = 0;       // the latest picture
    double worstAtS = 0;      // when it was shown
    long over140 = 0;         // pictures later than 140 ms
    double beganAtS = 0;      // the measurement's start on the monotonic clock (for traces)
};

Result run(int sessions, bool stall, const std::string& clip,
           const std::map<std::string, std::vector<size_t>>& positionsOf) {
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
        o.videoPath = clip;
        o.width = kClipWidth;
        o.height = kClipHeight;
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
    // How late work posted to the main queue runs, every 10 ms: tells a
    // main-queue hold-up from one further up.
    std::atomic<bool> beating{true};
    std::mutex beatMutex;
    std::vector<std::pair<Clock::time_point, double>> beats;
    std::thread heart([&] {
        while (beating) {
            const auto posted = Clock::now();
            DispatchQueue::main()->async([&, posted] {
                const auto ran = Clock::now();
                std::lock_guard<std::mutex> g(beatMutex);
                beats.emplace_back(posted, ms(ran - posted));
            });
            std::this_thread::sleep_for(10ms);
        }
    });
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
    beating = false;
    heart.join();
    RunLoop::main().runFor(50ms);  // the last beats
    for (auto& v : views) v->stopLive();
    for (auto& emu : devices) emu->stop();

    Result r;
    r.beganAtS = std::chrono::duration<double>(begin.time_since_epoch()).count();
    for (int i = 0; i < sessions; ++i) {
        std::lock_guard<std::mutex> g1(panes[i]->m);
        std::lock_guard<std::mutex> g2(sent[i]->m);
        const auto& frames = sent[i]->frames;
        std::vector<double> mine;
        for (const auto& [when, id] : panes[i]->shown) {
            if (when < begin || when > end) continue;
            auto it = positionsOf.find(id);
            if (it == positionsOf.end()) {
                ++r.unmatched;
                continue;
            }
            // The latest sending of that picture before it was shown.
            Clock::time_point sentAt{};
            size_t sentPosition = 1;
            for (auto f = frames.rbegin(); f != frames.rend(); ++f) {
                if (f->first > when) continue;
                if (std::find(it->second.begin(), it->second.end(), f->second) != it->second.end()) {
                    sentAt = f->first;
                    sentPosition = f->second;
                    break;
                }
            }
            if (sentAt != Clock::time_point{} && sentPosition % kKeyInterval == 0) r.key.push_back(ms(when - sentAt));
            if (sentAt == Clock::time_point{}) {
                ++r.unmatched;
                continue;
            }
            const double latency = ms(when - sentAt);
            r.all.push_back(latency);
            mine.push_back(latency);
            if (latency > 140) ++r.over140;
            if (latency > r.worstMs) {
                r.worstMs = latency;
                r.worstAtS = std::chrono::duration<double>(when - begin).count();
            }
            if (!stall || when >= stallEnd + 1s) r.recovered.push_back(latency);
        }
        if (!mine.empty()) r.sessionMedians.push_back(percentile(mine, 50));
    }
    {
        std::lock_guard<std::mutex> g(beatMutex);
        for (const auto& [posted, late] : beats)
            if (posted >= begin && late > r.mainMaxMs) {
                r.mainMaxMs = late;
                r.mainMaxAtS = std::chrono::duration<double>(posted - begin).count();
            }
    }
    for (auto& d : listed) QvDeviceManager::sharedInstance().removeDevice(d);
    return r;
}

struct Case {
    int sessions;
    bool stall;
    bench::Figure p50, p99, worstSessionMedian, recoveredP99, pictures, keyP99;
};

// "median ±spread" in a column of the given width.
void printCell(const std::vector<double>& v, int width) {
    char cell[64];
    std::snprintf(cell, sizeof cell, "%s ±%.0f%%", bench::number(bench::Figure::median(v)).c_str(),
                  100 * bench::Figure::sideSpread(v));
    std::printf(" %*s", width, cell);
}

}  // namespace

// Arguments: [ROUNDS [SESSIONS [steady|stall]]] runs only the cases named.
int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int onlySessions = argc > 2 ? std::atoi(argv[2]) : 0;
    const std::string onlyDevice = argc > 3 ? argv[3] : "";
    RunLoop::main();  // this thread drains the main queue
    const auto root = std::filesystem::temp_directory_path() / ("lumora-latency-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    Config::shared().dataRoot = root.string();
    Config::shared().audioBackend = "null";
    NETStatusObj::sharedInstance().setIsHaveNet(true);  // loopback only

    const std::string clip = clipPath();
    if (clip.empty()) {
        std::fprintf(stderr, "LiveLatencyBench: the ffmpeg program is needed to make the clip\n");
        return 1;
    }
    const auto units = test::splitAccessUnits(test::readFile(clip));
    double decodeMs = 0;
    const auto pictures = clipPictures(units, decodeMs, 1);
    if (pictures.size() != units.size()) {
        std::fprintf(stderr, "the clip does not decode whole (%zu of %zu pictures)\n", pictures.size(), units.size());
        return 1;
    }
    std::map<std::string, std::vector<size_t>> positionsOf;
    for (size_t i = 0; i < pictures.size(); ++i) positionsOf[pictures[i]].push_back(i);

    const double interval = 1000.0 / kFps;
    std::printf("Live latency, device frame sent -> picture on the main queue (loopback, %d fps, %dx%d, %zu-frame clip,\n"
                "a key frame every 2 s), %d rounds\n\n",
                kFps, kClipWidth, kClipHeight, units.size(), rounds);
    std::printf("%-6s %-9s %-12s %8s %9s %9s %14s %22s %10s %10s\n", "round", "sessions", "device", "pictures",
                "p50 ms", "p99 ms", "worst sess p50", "p99 from 1 s after ms", "unmatched", "anchor ms");
    std::vector<Case> cases;
    for (int sessions : {1, 16})
        for (bool stall : {false, true})
            if ((onlySessions == 0 || onlySessions == sessions) &&
                (onlyDevice.empty() || onlyDevice == (stall ? "stall" : "steady")))
                cases.push_back(Case{sessions, stall, {}, {}, {}, {}, {}, {}});
    bench::Figure anchor;
    for (int round = 0; round < rounds; ++round) {
        // The anchor of this round: the clip decoded once more, now.
        double roundDecode = 0;
        clipPictures(units, roundDecode, 2);
        anchor.ours.push_back(interval + roundDecode);
        for (size_t n = 0; n < cases.size(); ++n) {
            // Alternate the order of the cases from round to round.
            Case& c = cases[round % 2 ? cases.size() - 1 - n : n];
            Result r = run(c.sessions, c.stall, clip, positionsOf);
            const double worst =
                r.sessionMedians.empty() ? 0 : *std::max_element(r.sessionMedians.begin(), r.sessionMedians.end());
            c.p50.ours.push_back(percentile(r.all, 50));
            c.p99.ours.push_back(percentile(r.all, 99));
            c.worstSessionMedian.ours.push_back(worst);
            c.pictures.ours.push_back(static_cast<double>(r.all.size()));
            c.keyP99.ours.push_back(percentile(r.key, 99));
            if (c.stall) c.recoveredP99.ours.push_back(percentile(r.recovered, 99));
            std::printf("%-6d %-9d %-12s %8zu %9.1f %9.1f %14.1f %22s %10ld %10.1f   worst %.0f ms at %.2f s, "
                        "%ld over 140 ms; key frames p99 %.1f ms; main queue late %.1f ms at most (at %.2f s); began at %.3f s "
                        "monotonic\n",
                        round + 1, c.sessions, c.stall ? "0.6 s stall" : "steady", r.all.size(),
                        percentile(r.all, 50), percentile(r.all, 99), worst,
                        c.stall ? bench::number(percentile(r.recovered, 99)).c_str() : "-", r.unmatched,
                        interval + roundDecode, r.worstMs, r.worstAtS, r.over140, percentile(r.key, 99), r.mainMaxMs,
                        r.mainMaxAtS, r.beganAtS);
            std::fflush(stdout);
        }
    }
    std::printf("\nMedians over %d rounds, ± half the interquartile range over the median:\n", rounds);
    std::printf("%-9s %-12s %14s %14s %14s %14s %22s %14s %14s\n", "sessions", "device", "pictures", "p50 ms",
                "p99 ms", "worst sess p50", "p99 from 1 s after ms", "key p99 ms", "anchor ms");
    for (const Case& c : cases) {
        std::printf("%-9d %-12s", c.sessions, c.stall ? "0.6 s stall" : "steady");
        printCell(c.pictures.ours, 14);
        printCell(c.p50.ours, 14);
        printCell(c.p99.ours, 14);
        printCell(c.worstSessionMedian.ours, 14);
        if (c.stall)
            printCell(c.recoveredP99.ours, 22);
        else
            std::printf(" %22s", "-");
        printCell(c.keyP99.ours, 14);
        printCell(anchor.ours, 14);
        std::printf("\n");
    }
    std::filesystem::remove_all(root);
    return 0;
}
