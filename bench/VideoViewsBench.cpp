// Live video views on a tablet-sized window, fed by the device emulator at
// 25 frames a second, beside the ffmpeg program decoding the same streams in
// the same run.
//
// Each view is what a tile does: a TCP link to the device, a login for a live
// channel, the message parser, the video decoder on its own queue (pictures
// to the main queue) and a video view drawing on a shared render thread. The
// main thread hands each picture to its view and, when the view reports a
// presented picture, copies it into a window-sized buffer where a screen
// view would paint it. The device emulator runs in a child process, so the
// CPU figure is the client's alone.
//
// Figures per case: main-thread busy time in each 40 ms frame period (p50,
// p99, max), the client's CPU (cores busy), the pictures presented per view
// and second, and the CPU of N `ffmpeg -threads 1 -re` decodes of the same
// stream (child processes) over a window like the client's: after the same
// warm-up, for the same time, read from /proc, with the pictures each
// decoded in that window beside the client's.
//
// Then the real tablet grid: ChannelMgmtControllerHD with its sixteen tiles
// (ChannelViewControllerHD, each with its own session controller) in the
// tablet window under Qt's event loop, all sixteen live from the device
// emulator. Its GUI-thread figure is the main thread's CPU time in each 40 ms
// frame period, sampled from a thread of its own, so everything the GUI
// thread does counts (pictures handed over, captions, Qt's painting). Rounds
// are interleaved with sixteen ffmpeg decodes of the same stream (BenchRounds).

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoDecoder.h"
#include "base/decoder/QvVideoDecoderDelegate.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/OWSPMessageParser.h"
#include "base/link/PUConnection.h"
#include "base/link/PUConnectionDelegate.h"
#include "base/network/NETStatusObj.h"
#include "base/utilities/QvGLView.h"
#include "bench/BenchRounds.h"
#include "platform/Config.h"
#include "platform/graphics/GLContext.h"
#include "platform/graphics/RenderThread.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/H264Clip.h"
#include "tools/device-emulator/DeviceEmulator.h"
#include "ui/common/GLVideoView.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/ChannelMgmtControllerHD.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;
constexpr auto kFramePeriod = std::chrono::milliseconds(40);
constexpr double kWarmUpSeconds = 2.0;
constexpr double kMeasureSeconds = 8.0;

double cpuSeconds(const rusage& r) {
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

double selfCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

// Main-thread busy time, by 40 ms frame period of wall time.
struct MainThreadMeter {
    Clock::time_point start;
    bool on = false;
    std::vector<double> busyMs;
    void begin() {
        start = Clock::now();
        busyMs.assign(static_cast<size_t>(kMeasureSeconds * 25) + 2, 0.0);
        on = true;
    }
    void add(Clock::time_point from, Clock::time_point to) {
        if (!on || from < start) return;
        const size_t slot = static_cast<size_t>((from - start) / kFramePeriod);
        if (slot < busyMs.size()) busyMs[slot] += std::chrono::duration<double, std::milli>(to - from).count();
    }
    double percentile(double p) const {
        std::vector<double> v(busyMs.begin(), busyMs.end() - 2);  // the last periods may be cut short
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
    }
    double max() const { return busyMs.empty() ? 0 : *std::max_element(busyMs.begin(), busyMs.end()); }
};

MainThreadMeter gMeter;
std::vector<uint8_t> gWindow(size_t(kWindowWidth) * kWindowHeight * 4);

// Where a tile's pictures go.
enum class Mode {
    RenderThread,  // the video view on a shared render thread (what screens do)
    MainThreadGL,  // the video view drawing on the main thread, for comparison
    DecodeOnly,    // no view: the pictures are dropped on the main thread
};

const char* modeName(Mode m) {
    return m == Mode::RenderThread ? "render thread" : m == Mode::MainThreadGL ? "GL on main thread" : "no view";
}

// One live tile.
class Tile : public PUConnectionDelegate,
             public DeviceClientDelegate,
             public QvVideoDecoderDelegate,
             public std::enable_shared_from_this<Tile> {
public:
    Tile(int x, int y, int w, int h, int channel, Mode mode) : x_(x), y_(y), channel_(channel) {
        if (mode == Mode::RenderThread) {
            view_ = std::make_unique<QvGLView>(Rect{0, 0, double(w), double(h)}, nullptr);
            view_->setPresentedHandler([this](const std::shared_ptr<const RGBAImage>& picture) { paint(*picture); });
        } else if (mode == Mode::MainThreadGL) {
            view_ = std::make_unique<QvGLView>(Rect{0, 0, double(w), double(h)});
            mainThreadGL_ = true;
        }
    }
    ~Tile() override { close(); }

    void open(const std::string& host, uint16_t port) {
        std::weak_ptr<Tile> weak = weak_from_this();
        DispatchQueue::global()->async([weak, host, port] {
            auto self = weak.lock();
            if (!self) return;
            PUConnectionPtr c = PUConnection::create(PUConnection::kTCP, self);
            c->setClient(self);
            {
                std::lock_guard<std::mutex> g(self->lock_);
                self->connection_ = c;
            }
            if (!c->openPort(host, port)) std::fprintf(stderr, "VideoViewsBench: cannot connect\n");
        });
    }
    void close() {
        PUConnectionPtr c;
        std::shared_ptr<QvVideoDecoder> d;
        {
            std::lock_guard<std::mutex> g(lock_);
            c = std::move(connection_);
            d = std::move(decoder_);
        }
        if (c) c->close();
        if (d) d->destroy();
    }

    long presented = 0;  // main thread

    // ---- link
    void connectionDidConnectToHost(PUConnection& connection, const std::string&, uint16_t) override {
        Device device;
        device.userName = "admin";
        device.password = "admin";
        connection.sendMessage(OWSPMessageBuilder::buildLoginRequestExtend(device, channel_, 1, 2, &connection));
    }
    int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) override {
        return parser_.parseMessage(buffer, nullptr, &connection);
    }

    // ---- device
    void deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat& format, int32_t) override {
        const int fps = format.videoFormat.framerate > 0 ? format.videoFormat.framerate : 25;
        std::lock_guard<std::mutex> g(lock_);
        if (decoder_) return;
        decoder_ = QvVideoDecoder::create(std::weak_ptr<QvVideoDecoderDelegate>(shared_from_this()), nullptr);
        if (!decoder_->setupDecoder(1000.0 / fps, 0, QvApplicationPreference::sharedInstance().livePreference()))
            decoder_.reset();
    }
    bool implementsDidReceiveVideoFrame() const override { return true; }
    void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) override {
        std::shared_ptr<QvVideoDecoder> d;
        {
            std::lock_guard<std::mutex> g(lock_);
            d = decoder_;
        }
        if (d) d->decodeFrame(std::move(frame));
    }

    // ---- decoder (main queue)
    bool implementsDecoderDidDecodeFrameToYUV() const override { return true; }
    void decoderDidDecodeFrameToYUV(QvVideoDecoder&, const MediaFrame& frame, const std::vector<uint8_t>& yuv) override {
        const auto t0 = Clock::now();
        if (view_) view_->render(yuv, frame.width, frame.height);
        if (mainThreadGL_) paint(*view_->layer().contentsImage());
        if (!view_) ++presented;
        gMeter.add(t0, Clock::now());
    }

private:
    // What a screen view does with a presented picture: paint it at its place.
    void paint(const RGBAImage& picture) {
        const auto t0 = Clock::now();
        if (picture.empty()) return;
        const int w = std::min(picture.width, kWindowWidth - x_), h = std::min(picture.height, kWindowHeight - y_);
        for (int row = 0; row < h; ++row)
            std::memcpy(gWindow.data() + (size_t(y_ + row) * kWindowWidth + x_) * 4, picture.pixel(0, row),
                        size_t(w) * 4);
        ++presented;
        gMeter.add(t0, Clock::now());
    }

    int x_, y_, channel_;
    bool mainThreadGL_ = false;
    std::unique_ptr<QvGLView> view_;
    OWSPMessageParser parser_;
    std::mutex lock_;
    PUConnectionPtr connection_;
    std::shared_ptr<QvVideoDecoder> decoder_;
};

// The device emulators, in a child process started before any thread exists.
struct EmulatorChild {
    pid_t pid = -1;
    std::vector<uint16_t> ports;  // one per clip
};

EmulatorChild startEmulators(const std::vector<std::pair<std::string, std::pair<int, int>>>& clips) {
    EmulatorChild child;
    int fds[2];
    if (pipe(fds) != 0) return child;
    child.pid = fork();
    if (child.pid == 0) {
        ::close(fds[0]);
        std::vector<std::unique_ptr<devemu::DeviceEmulator>> emulators;
        for (const auto& [path, size] : clips) {
            devemu::EmulatorOptions o;
            o.videoPath = path;
            o.width = size.first;
            o.height = size.second;
            o.fps = 25;
            o.channels = 16;
            o.audio = false;
            o.quiet = true;
            auto e = std::make_unique<devemu::DeviceEmulator>(o);
            std::string error;
            uint16_t port = 0;
            if (e->start(error)) port = e->tcpPort();
            if (::write(fds[1], &port, sizeof port) != sizeof port) _exit(1);
            emulators.push_back(std::move(e));
        }
        ::close(fds[1]);
        for (;;) pause();  // until the parent ends it
    }
    ::close(fds[1]);
    for (size_t i = 0; i < clips.size(); ++i) {
        uint16_t port = 0;
        if (::read(fds[0], &port, sizeof port) != sizeof port) port = 0;
        child.ports.push_back(port);
    }
    ::close(fds[0]);
    return child;
}

// CPU seconds one process has run so far, all its threads (from /proc, in
// nanoseconds); -1 once it is gone.
double processCpu(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    double total = 0;
    bool any = false;
    for (const auto& t : std::filesystem::directory_iterator(tasks, ec)) {
        FILE* f = std::fopen((t.path() / "schedstat").c_str(), "r");
        if (!f) continue;
        unsigned long long ns = 0;
        if (std::fscanf(f, "%llu", &ns) == 1) {
            total += ns / 1e9;
            any = true;
        }
        std::fclose(f);
    }
    return any ? total : -1;
}

// The last "frame=N" an ffmpeg -progress file reports; -1 without one.
long progressFrames(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    long frames = -1;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        long n = 0;
        if (std::sscanf(line, "frame=%ld", &n) == 1) frames = n;
    }
    std::fclose(f);
    return frames;
}

struct AnchorWindow {
    double cores = 0;             // CPU of all decodes over the window, in cores
    double picturesPerDecode = 0; // pictures per second per decode over the window
};

// `count` ffmpeg decodes of the clip at its own pace, side by side, measured
// over the same window as the client: they start, run `warmUp` seconds, and
// then their CPU (from /proc) and decoded pictures (from their progress
// reports) are read at the start and the end of the next `seconds`; the
// start-up, probing and winding down of the processes stay out.
AnchorWindow ffmpegWindow(const std::string& clip, int count, double warmUp, double seconds, const std::string& dir) {
    std::vector<pid_t> pids;
    std::vector<std::string> progress;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f", warmUp + seconds + 2.0);  // outlives the window
    for (int i = 0; i < count; ++i) {
        progress.push_back(dir + "/progress-" + std::to_string(i) + ".txt");
        std::filesystem::remove(progress.back());
        pid_t pid = fork();
        if (pid == 0) {
            execlp("ffmpeg", "ffmpeg", "-v", "error", "-nostdin", "-progress", progress.back().c_str(), "-stats_period",
                   "0.05", "-threads", "1", "-re", "-stream_loop", "-1", "-f", "h264", "-i", clip.c_str(), "-t",
                   duration, "-f", "null", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0) pids.push_back(pid);
    }
    auto sample = [&](double& cpu, long& frames) {
        cpu = 0;
        frames = 0;
        for (size_t i = 0; i < pids.size(); ++i) {
            cpu += std::max(0.0, processCpu(pids[i]));
            frames += std::max(0L, progressFrames(progress[i]));
        }
    };
    std::this_thread::sleep_for(std::chrono::duration<double>(warmUp));
    double cpu0 = 0, cpu1 = 0;
    long frames0 = 0, frames1 = 0;
    const auto t0 = Clock::now();
    sample(cpu0, frames0);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    sample(cpu1, frames1);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    for (pid_t pid : pids) ::kill(pid, SIGTERM);
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    for (const auto& p : progress) std::filesystem::remove(p);
    AnchorWindow w;
    if (wall > 0 && !pids.empty()) {
        w.cores = (cpu1 - cpu0) / wall;
        w.picturesPerDecode = static_cast<double>(frames1 - frames0) / wall / static_cast<double>(pids.size());
    }
    return w;
}

struct Case {
    int views;
    int clip;  // index into the clips
    Mode mode;
};

// ---------------------------------------------------------------- the real tablet grid

constexpr int kGridRounds = 5;
constexpr double kGridWarmUpSeconds = 2.0;
constexpr double kGridMeasureSeconds = 6.0;

// The GUI thread's CPU time in each 40 ms frame period, read from its
// thread CPU clock by a sampling thread (a late wake-up is scaled back to
// 40 ms).
class GuiThreadMeter {
public:
    explicit GuiThreadMeter(pthread_t gui) { pthread_getcpuclockid(gui, &clock_); }
    void start() {
        busyMs_.clear();
        on_ = true;
        sampler_ = std::thread([this] {
            auto last = Clock::now();
            double lastCpu = cpuMs();
            auto next = last;
            while (on_) {
                next += kFramePeriod;
                std::this_thread::sleep_until(next);
                const auto now = Clock::now();
                const double cpu = cpuMs();
                const double period = std::chrono::duration<double, std::milli>(now - last).count();
                if (period > 0) busyMs_.push_back((cpu - lastCpu) * 40.0 / period);
                last = now;
                lastCpu = cpu;
            }
        });
    }
    void stop() {
        on_ = false;
        if (sampler_.joinable()) sampler_.join();
    }
    double percentile(double p) const {
        if (busyMs_.empty()) return 0;
        std::vector<double> v = busyMs_;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
    }

private:
    double cpuMs() const {
        timespec ts{};
        clock_gettime(clock_, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    }
    clockid_t clock_{};
    std::atomic<bool> on_{false};
    std::thread sampler_;
    std::vector<double> busyMs_;
};

// Runs Qt's event loop (which drives the engine's main run loop) for that long.
void runGui(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QApplication::quit(); });
    QApplication::exec();
}

class GridHolder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

struct GridRound {
    double p50 = 0, p99 = 0, cores = 0, picturesPerTile = 0;
};

// One round of the grid: all sixteen tiles started, warmed up, measured,
// stopped.
GridRound gridRound(ChannelMgmtControllerHD& grid, const std::shared_ptr<Device>& device, GuiThreadMeter& meter) {
    for (int i = 0; i < 16; ++i) grid.ChannelViewControllerHDAtIndex(i)->startLive(device, i);
    runGui(kGridWarmUpSeconds);
    auto presented = [&] {
        uint64_t n = 0;
        for (int i = 0; i < 16; ++i) n += grid.ChannelViewControllerHDAtIndex(i)->glView()->presentedCount();
        return n;
    };
    const uint64_t before = presented();
    const double cpu0 = selfCpu();
    const auto wall0 = Clock::now();
    meter.start();
    runGui(kGridMeasureSeconds);
    meter.stop();
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    GridRound r;
    r.cores = (selfCpu() - cpu0) / wall;
    r.picturesPerTile = static_cast<double>(presented() - before) / wall / 16;
    r.p50 = meter.percentile(0.5);
    r.p99 = meter.percentile(0.99);
    grid.stopAllLive();
    runGui(0.5);  // the links wind down
    return r;
}

void benchTabletGrid(const std::vector<std::pair<std::string, std::pair<int, int>>>& clips,
                     const std::vector<uint16_t>& ports, const std::string& dataRoot) {
    Config::shared().dataRoot = dataRoot;
    FileManager::sharedInstance().setDefaultPaths();
    NETStatusObj::sharedInstance().setIsHaveNet(true);
    NETStatusObj::sharedInstance().setIsWIFI(true);
    KitTestDriver driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet, .virtualClock = false});
    auto holder = std::make_shared<GridHolder>();
    driver.setRoot(holder);
    auto grid = std::make_shared<ChannelMgmtControllerHD>();
    grid->createAllChannelViewControllers();
    holder->view()->addSubview(grid->view());
    // The live screen with its side panel closed: the grid fills the window.
    grid->setViewFrame(CGRect{{0, 0}, {double(kWindowWidth), double(kWindowHeight)}});
    grid->setLayoutMode(4);
    grid->openRenderSwitch();
    GuiThreadMeter meter(pthread_self());

    std::printf("\nThe tablet grid (ChannelMgmtControllerHD), sixteen live tiles at 25 fps in the %dx%d window; "
                "%d interleaved rounds of %.0f s (after %.0f s warm-up) against 16 `ffmpeg -threads 1 -re` "
                "decodes of the same stream over the same window (their CPU from /proc after the same warm-up)\n",
                kWindowWidth, kWindowHeight, kGridRounds, kGridMeasureSeconds, kGridWarmUpSeconds);
    bench::printLegend("16 ffmpeg -threads 1 -re decodes", true);
    std::printf("\n| Stream | Tile size | GUI thread ms/frame p50 | p99 | Client CPU (cores) | ffmpeg CPU (cores) | "
                "ratio | Pictures/s per tile | per ffmpeg decode |\n|---|---|---|---|---|---|---|---|---|\n");
    for (size_t c = 0; c < clips.size(); ++c) {
        auto device = std::make_shared<Device>();
        device->name = std::string("Bench") + std::to_string(c);
        device->userName = std::string("admin");
        device->password = std::string("admin");
        device->address = std::string("127.0.0.2");
        device->mediaPort = ports[c];
        device->deviceConType = 1;
        device->channelNum = 16;
        QvDeviceManager::sharedInstance().addDevice(device);
        bench::Figure cpu{"client CPU", "cores", false, {}, {}};
        std::vector<double> p50, p99, pictures, anchorPictures;
        for (int r = 0; r < kGridRounds; ++r) {
            auto ours = [&] {
                const GridRound g = gridRound(*grid, device, meter);
                cpu.ours.push_back(g.cores);
                p50.push_back(g.p50);
                p99.push_back(g.p99);
                pictures.push_back(g.picturesPerTile);
            };
            auto anchor = [&] {
                const AnchorWindow a = ffmpegWindow(clips[c].first, 16, kGridWarmUpSeconds, kGridMeasureSeconds, dataRoot);
                cpu.anchor.push_back(a.cores);
                anchorPictures.push_back(a.picturesPerDecode);
            };
            if (r % 2 == 0) {
                ours();
                anchor();
            } else {
                anchor();
                ours();
            }
        }
        const auto [w, h] = clips[c].second;
        const CGSize tile = grid->tileAtPosition(0)->view()->frame().size;
        using F = bench::Figure;
        std::printf("| %dx%d | %.0fx%.0f | %.2f ±%.0f%% | %.2f ±%.0f%% | %s ±%.0f%% | %s ±%.0f%% | %.2fx ±%.0f%% [%.2f-%.2f] | %.1f | %.1f |\n",
                    w, h, tile.width, tile.height, F::median(p50), 100 * F::sideSpread(p50), F::median(p99),
                    100 * F::sideSpread(p99), bench::number(F::median(cpu.ours)).c_str(), 100 * F::sideSpread(cpu.ours),
                    bench::number(F::median(cpu.anchor)).c_str(), 100 * F::sideSpread(cpu.anchor), cpu.ratio(),
                    100 * cpu.spread(), cpu.lowest(), cpu.highest(), F::median(pictures), F::median(anchorPictures));
        // Like for like only when both sides showed the same pictures.
        for (size_t r = 0; r < pictures.size() && r < anchorPictures.size(); ++r)
            if (std::abs(pictures[r] - anchorPictures[r]) > 0.03 * std::max(pictures[r], anchorPictures[r]))
                std::printf("  round %zu: pictures per second per tile differ: client %.2f, ffmpeg %.2f\n", r + 1,
                            pictures[r], anchorPictures[r]);
        std::fflush(stdout);
        QvDeviceManager::sharedInstance().removeDevice(device);
    }
    grid->stopAllLive();
    runGui(0.3);
}

}  // namespace

// Arguments: case numbers (1-6) to run only those, "grid" for the tablet
// grid; none runs all.
int main(int argc, char** argv) {
    RenderThread::prepareDriver();
    if (!test::haveFfmpegProgram()) {
        std::printf("VideoViewsBench: the ffmpeg program is needed (clips and the anchor)\n");
        return 1;
    }
    const std::string dir = std::filesystem::temp_directory_path() / ("lumora-viewsbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<std::pair<int, int>> sizes = {{352, 288}, {704, 576}};
    std::vector<std::pair<std::string, std::pair<int, int>>> clips;
    for (auto [w, h] : sizes) {
        const std::string path = dir + "/clip-" + std::to_string(w) + "x" + std::to_string(h) + ".h264";
        if (!test::makeClip(path, test::ClipOptions(w, h, 250, 25))) {
            std::printf("VideoViewsBench: cannot make %s\n", path.c_str());
            return 1;
        }
        clips.push_back({path, {w, h}});
    }
    EmulatorChild emulators = startEmulators(clips);
    if (emulators.pid <= 0 || std::count(emulators.ports.begin(), emulators.ports.end(), 0)) {
        std::printf("VideoViewsBench: the device emulators did not start\n");
        return 1;
    }

    RunLoop::main();
    std::string why;
    if (!GLContext::available(&why)) {
        std::printf("VideoViewsBench: no OpenGL ES 2 here: %s\n", why.c_str());
        kill(emulators.pid, SIGKILL);
        return 1;
    }
    std::printf("Live video views, %dx%d window, 25 fps per view, %zu render thread(s), %u cores; %.0f s measured "
                "per case after %.0f s warm-up\n\n",
                kWindowWidth, kWindowHeight, RenderThread::sharedCount(), std::thread::hardware_concurrency(),
                kMeasureSeconds, kWarmUpSeconds);
    bool wantGrid = argc < 2;
    for (int a = 1; a < argc; ++a) wantGrid = wantGrid || std::string(argv[a]) == "grid";
    bool wantCases = argc < 2;
    for (int a = 1; a < argc; ++a) wantCases = wantCases || std::atoi(argv[a]) > 0;
    if (wantCases)
        std::printf("| Views | Stream | View size | Pictures go to | Main thread ms/frame p50 | p99 | max | Client CPU "
                    "(cores) | ffmpeg CPU (cores) | ratio | Pictures/s per view | per ffmpeg decode |\n"
                    "|---|---|---|---|---|---|---|---|---|---|---|---|\n");

    const Case cases[] = {{1, 1, Mode::RenderThread},  {4, 1, Mode::RenderThread},  {16, 0, Mode::RenderThread},
                          {16, 1, Mode::RenderThread}, {16, 1, Mode::MainThreadGL}, {16, 1, Mode::DecodeOnly}};
    for (size_t n = 0; n < std::size(cases); ++n) {
        const Case& c = cases[n];
        bool wanted = argc < 2;
        for (int a = 1; a < argc; ++a) wanted = wanted || std::atoi(argv[a]) == int(n + 1);
        if (!wanted) continue;
        const int columns = c.views == 1 ? 1 : c.views == 4 ? 2 : 4;
        const int tileW = kWindowWidth / columns, tileH = kWindowHeight / columns;
        std::vector<std::shared_ptr<Tile>> tiles;
        for (int i = 0; i < c.views; ++i) {
            auto t = std::make_shared<Tile>((i % columns) * tileW, (i / columns) * tileH, tileW, tileH, i % 16, c.mode);
            t->open("127.0.0.2", emulators.ports[c.clip]);
            tiles.push_back(t);
        }
        RunLoop::main().runFor(std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(kWarmUpSeconds)));
        long presentedBefore = 0;
        for (auto& t : tiles) presentedBefore += t->presented;
        gMeter.begin();
        const double cpu0 = selfCpu();
        const auto wall0 = Clock::now();
        RunLoop::main().runFor(std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(kMeasureSeconds)));
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = selfCpu() - cpu0;
        gMeter.on = false;
        long presented = -presentedBefore;
        for (auto& t : tiles) presented += t->presented;
        for (auto& t : tiles) t->close();
        tiles.clear();
        RunLoop::main().runFor(std::chrono::milliseconds(300));  // let the links wind down

        const AnchorWindow anchor = ffmpegWindow(clips[c.clip].first, c.views, kWarmUpSeconds, kMeasureSeconds, dir);
        const auto [w, h] = clips[c.clip].second;
        std::printf("| %d | %dx%d | %dx%d | %s | %.2f | %.2f | %.2f | %.3f | %.3f | %.2fx | %.1f | %.1f |\n", c.views, w,
                    h, tileW, tileH, modeName(c.mode), gMeter.percentile(0.5), gMeter.percentile(0.99), gMeter.max(),
                    cpu / wall, anchor.cores, anchor.cores > 0 ? cpu / wall / anchor.cores : 0.0,
                    presented / wall / c.views, anchor.picturesPerDecode);
        std::fflush(stdout);
    }
    if (wantGrid) benchTabletGrid(clips, emulators.ports, dir);
    kill(emulators.pid, SIGKILL);
    waitpid(emulators.pid, nullptr, 0);
    std::filesystem::remove_all(dir);
    return 0;
}
