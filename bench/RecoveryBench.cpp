// Recovery of a live view after its device went away: a session shows the
// device emulator's pictures on loopback, the device goes away (its links
// close and connections are refused, as a rebooting camera) and comes back
// on the same address. Printed per round: the time from the device's return
// to the first picture in the pane, and the connection attempts the session
// made while the device was away, per minute. A second part keeps the
// device away for five minutes (time-scaled) and counts the attempts of each
// minute.
//
// The anchor, measured in the same rounds: the time from starting a view of
// the device to its first picture. What recovery takes beyond it is the wait
// for the session's next attempt.
//   RecoveryBench [ROUNDS] [OUTAGE_S] [SCALE]   defaults 5, 25, 1.0
//   (SCALE shortens every pause and outage alike; the figures are printed
//   in the deployment's seconds and minutes.)

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "base/link/renderDelegate.h"
#include "base/network/NETStatusObj.h"
#include "bench/BenchRounds.h"
#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Counts the pictures that reach the pane and when the last one came.
struct Pane : renderDelegate {
    std::atomic<long> pictures{0};
    std::mutex m;
    Clock::time_point last{};
    void renderShow(const std::vector<uint8_t>&, int, int) override {
        std::lock_guard<std::mutex> g(m);
        last = Clock::now();
        ++pictures;
    }
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool waitPictures(Pane& pane, long count, std::chrono::seconds bound) {
    return RunLoop::main().runUntil([&] { return pane.pictures.load() >= count; }, bound);
}

int attemptsOf(const DataController& s) { return s.restartsMade() + s.keepTryingAttempts(); }

}  // namespace

int main(int argc, char** argv) {
    const int rounds = std::max(bench::kMinRounds, argc > 1 ? std::atoi(argv[1]) : bench::kMinRounds);
    const double outage = argc > 2 ? std::atof(argv[2]) : 25.0;
    const double scale = argc > 3 ? std::atof(argv[3]) : 1.0;

    RunLoop::main();  // this thread drains the main queue
    const auto root = std::filesystem::temp_directory_path() / ("lumora-recovery-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    Config::shared().dataRoot = root.string();
    Config::shared().audioBackend = "null";
    Config::shared().timeScale = scale;
    NETStatusObj::sharedInstance().setIsHaveNet(true);  // loopback only

    devemu::EmulatorOptions o;
    o.tcpHost = "127.0.0.2";
    o.audio = false;
    o.quiet = true;
    devemu::DeviceEmulator device(o);
    std::string error;
    if (!device.start(error)) {
        std::fprintf(stderr, "device emulator: %s\n", error.c_str());
        return 1;
    }
    auto camera = std::make_shared<Device>();
    camera->name = "Bench";
    camera->deviceConType = 1;
    camera->address = "127.0.0.2";
    camera->mediaPort = device.tcpPort();
    camera->userName = "admin";
    camera->password = "admin";
    QvDeviceManager::sharedInstance().addDevice(camera);

    auto startFromGlobal = [&](const std::shared_ptr<DataController>& s) {
        DispatchQueue::global()->async([s, camera] { s->startLive(camera, 0); });
    };
    const auto away = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(outage * scale));

    std::printf("Recovery of a live view after the device was away %.0f s (loopback, time scale %.2f)\n", outage, scale);
    std::printf("%-6s %22s %24s %22s\n", "round", "anchor: start -> pic s", "return -> first pic s",
                "attempts/min away");
    bench::Figure recovery{"return to first picture", "s", false, {}, {}};
    std::vector<double> perMinute;
    for (int r = 0; r < rounds; ++r) {
        auto pane = std::make_shared<Pane>();
        auto session = DataController::create();
        session->setDelegate(pane);
        const auto started = Clock::now();
        startFromGlobal(session);
        if (!waitPictures(*pane, 1, 60s)) {
            std::fprintf(stderr, "round %d: no picture\n", r);
            return 1;
        }
        const double anchor = seconds(Clock::now() - started) / scale;
        const int attemptsBefore = attemptsOf(*session);
        device.goAway(away);
        device.waitUntilBack(std::chrono::seconds(600));
        const auto back = Clock::now();
        const int attemptsAway = attemptsOf(*session) - attemptsBefore;
        const long before = pane->pictures.load();
        if (!waitPictures(*pane, before + 1, std::chrono::seconds(600))) {
            std::fprintf(stderr, "round %d: no picture after the return\n", r);
            return 1;
        }
        Clock::time_point first;
        {
            std::lock_guard<std::mutex> g(pane->m);
            first = pane->last;
        }
        // The first picture may have come before the back event was read.
        const double recovered = std::max(0.0, seconds(first - back)) / scale;
        const double rate = attemptsAway / (outage / 60.0);
        recovery.ours.push_back(recovered);
        recovery.anchor.push_back(anchor);
        perMinute.push_back(rate);
        std::printf("%-6d %22.2f %24.2f %22.1f\n", r + 1, anchor, recovered, rate);
        std::fflush(stdout);
        session->stopLive();
    }
    std::printf("median: anchor %.2f s, return -> first picture %.2f s (worst %.2f s), attempts while away %.1f/min\n\n",
                bench::Figure::median(recovery.anchor), bench::Figure::median(recovery.ours),
                *std::max_element(recovery.ours.begin(), recovery.ours.end()), bench::Figure::median(perMinute));

    // Away for five minutes: the attempts of each minute.
    {
        auto pane = std::make_shared<Pane>();
        auto session = DataController::create();
        session->setDelegate(pane);
        startFromGlobal(session);
        if (!waitPictures(*pane, 1, 60s)) return 1;
        const int base = attemptsOf(*session);
        device.goAway(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(300 * scale)));
        std::printf("device away for 5 min: attempts in minute");
        int previous = base;
        for (int minute = 1; minute <= 5; ++minute) {
            RunLoop::main().runFor(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::duration<double>(60 * scale)));
            const int now = attemptsOf(*session);
            std::printf(" %d: %d%s", minute, now - previous, minute < 5 ? "," : "\n");
            std::fflush(stdout);
            previous = now;
        }
        device.waitUntilBack(std::chrono::seconds(600));
        session->stopLive();
    }
    device.stop();
    std::filesystem::remove_all(root);
    return 0;
}
