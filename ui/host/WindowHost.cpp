#include "ui/host/WindowHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/DevicePreConnector.h"
#include "app/ProcessEntry.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/storage/DataFolder.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Seconds.h"
#include "ui/host/HostInput.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/ApplicationAlertBridge.h"
#include "ui/kit/ClipboardPasteboardBackend.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/KitApplication.h"
#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {

std::atomic<bool> gInterrupted{false};
void onSignal(int) { gInterrupted = true; }

void openOnDesktop(const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); }

bool writeShot(UIWindow* window, const std::string& path) {
    QImage img = window->grab().toImage().convertToFormat(QImage::Format_RGBA8888);
    bool ok = img.save(QString::fromStdString(path), "PNG");
    std::error_code ec;
    const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    std::printf("lumora: %s %s (%dx%d)\n", ok ? "wrote" : "could not write", (ec ? path : full).c_str(), img.width(),
                img.height());
    std::fflush(stdout);
    return ok;
}

// The frontmost view of that name in the window, as a finger finds it:
// empty with the reason when it is missing, hidden, or covered by another.
UIView* tapTarget(UIWindow* window, const std::string& name, CGPoint& at, std::string& why) {
    UIView* view = nullptr;
    std::vector<UIView*> subs = window->subviews();
    for (auto it = subs.rbegin(); it != subs.rend() && !view; ++it) view = (*it)->viewWithName(name);
    if (!view) {
        why = "no view named \"" + name + "\"";
        return nullptr;
    }
    for (UIView* v = view; v; v = v->superview()) {
        if (v->isHidden() || v->alpha() < 0.01) {
            why = "\"" + name + "\" is hidden";
            return nullptr;
        }
    }
    CGRect b = view->bounds();
    at = view->pointInWindow(CGPoint{b.size.width / 2, b.size.height / 2});
    UIView* hit = window->hitTest(at, nullptr);
    if (!hit || !hit->isDescendantOfView(view)) {
        why = "\"" + name + "\" is covered";
        return nullptr;
    }
    return view;
}

UIInterfaceOrientation nextOrientation(UIInterfaceOrientation o) {
    switch (o) {
    case UIInterfaceOrientation::Portrait: return UIInterfaceOrientation::LandscapeLeft;
    case UIInterfaceOrientation::LandscapeLeft: return UIInterfaceOrientation::LandscapeRight;
    case UIInterfaceOrientation::LandscapeRight: return UIInterfaceOrientation::Portrait;
    default: return UIInterfaceOrientation::Portrait;
    }
}

}  // namespace

int WindowHost::run(const Options& options) {
    RunLoop::main();
    DevicePreConnector::install();
    ClipboardPasteboardBackend::install();
    Config& cfg = Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    std::string error;
    auto stopPeers = [&options] {
        if (options.demoPeers.stop) options.demoPeers.stop();
    };
    // The demo's own temporary data root goes at the end, unless it holds
    // screenshots.
    std::string madeRoot;
    auto removeMadeRoot = [&madeRoot] {
        if (madeRoot.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(madeRoot, ec);
        madeRoot.clear();
    };
    if (options.demo) {
        std::string root = options.dataRoot;
        if (root.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-demo-XXXXXX";
            if (!mkdtemp(tmpl.data())) {
                std::fprintf(stderr, "lumora: cannot make a data root for the demo in %s\n",
                             tmpl.substr(0, tmpl.rfind('/')).c_str());
                return 2;
            }
            root = tmpl;
            madeRoot = root;
        }
        if (!options.demoPeers.start) error = "this program has none";
        if (!options.demoPeers.start || !options.demoPeers.start(root, error)) {
            std::fprintf(stderr, "lumora: emulators: %s\n", error.c_str());
            stopPeers();
            removeMadeRoot();
            return 2;
        }
    }
    if (!DataFolder::prepare(cfg.dataRoot, error)) {
        std::fprintf(stderr, "lumora: %s\n", error.c_str());
        stopPeers();
        removeMadeRoot();
        return 1;
    }
    // Ctrl-C, SIGTERM and a closed terminal all end the program the same way:
    // the window closes and the application terminates (saving its state).
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    // A scale-2 screen: the same points on twice the pixels.
    if (options.scale >= 2 && !std::getenv("QT_SCALE_FACTOR")) setenv("QT_SCALE_FACTOR", "2", 1);
    // Without a session bus, Qt's accessibility bridge would try to start one
    // through the X server and can wait for it forever: give it an address
    // that fails at once instead.
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumora-no-session-bus", 0);
    KitApplication::ensure(KitApplication::Mode::Windowed);
    UIScreen::mainScreen().setProfile(options.pad         ? ScreenProfile::Tablet
                                      : options.tallPhone ? ScreenProfile::Phone568
                                                          : ScreenProfile::Phone480,
                                      options.scale);
    std::printf("lumora: %s window, %s, data root %s\n", options.pad ? "tablet" : "phone",
                KitApplication::isHeadless() ? "offscreen" : "on the display", cfg.dataRoot.c_str());
    if (KitApplication::isHeadless() && options.screenshot.empty())
        std::printf("lumora: no display; running offscreen until interrupted (--screenshot FILE writes a picture)\n");
    std::fflush(stdout);

    auto factory = std::make_shared<ScreenFactory>();
    RootScreenFactory::install(factory);
    auto* window = new UIWindow(UIScreen::mainScreen().bounds());
    setViewName(window, "window");
    window->setWindowTitle(options.pad ? "lumora HD" : "lumora");
    factory->setWindow(window);
    if (!KitApplication::isHeadless()) UIApplication::sharedApplication().setURLOpener(openOnDesktop);

    std::unique_ptr<ApplicationDelegate> delegate = ProcessEntry::makeDelegate();
    Application app(*delegate);
    // The delegate's alerts (an alarm that names a device) show in the window.
    ApplicationAlertBridge alerts(app);
    std::signal(SIGPIPE, SIG_IGN);
    app.launch();
    if (factory->lastScreen()) window->setRootViewController(factory->lastScreen());
    window->makeKeyAndVisible();
    // The engine's own alerts show in the window from now on.
    AlertPresenter::install(std::make_shared<KitAlertPresenter>());
    if (options.pad) window->rotateTo(UIInterfaceOrientation::LandscapeLeft);

    HostInput input(window);
    int shots = 0;
    std::string keptFor;
    input.onKey = [&](int key) {
        switch (key) {
        case Qt::Key_R: window->rotateTo(nextOrientation(window->interfaceOrientation())); break;
        case Qt::Key_A:
            if (app.applicationState() == Application::State::Active) app.resignActive();
            else app.becomeActive();
            break;
        case Qt::Key_M: UIApplication::sharedApplication().simulateMemoryWarning(); break;
        case Qt::Key_S: {
            // Beside the data, under its full name: not into whatever folder
            // the program was started from.
            std::error_code ec;
            const std::string path = std::filesystem::absolute(cfg.dataRoot, ec).string() + "/lumora-screenshot-" +
                                     std::to_string(++shots) + ".png";
            if (writeShot(window, path) && !madeRoot.empty()) keptFor = "it holds the screenshots";
            break;
        }
        case Qt::Key_Q: QApplication::quit(); break;
        default: break;
        }
    };
    qApp->installEventFilter(&input);

    auto watch = RunLoopTimer::scheduled(RunLoop::main(), std::chrono::milliseconds(100), true, [](RunLoopTimer&) {
        if (gInterrupted.load()) QApplication::quit();
    });
    int status = 0;
    // Headless taps come one after another, each 0.3 s after the one before
    // has run, so whatever a tap queued on the main queue (a strip rebuilt
    // for the chosen device) is done before the next finger comes down, even
    // when a loaded machine runs the main thread late; a view not there yet
    // is waited for a little before the tap counts as missed. The picture is taken
    // at --after, and never before 0.3 s after the last tap.
    const auto startedAt = std::chrono::steady_clock::now();
    std::function<void()> takeShot = [&status, window, path = options.screenshot] {
        if (!writeShot(window, path)) status = 1;
        QApplication::quit();
    };
    size_t nextTap = 0;
    int looks = 0;
    std::function<void()> tapNext = [&] {
        const Options::Tap& tap = options.taps[nextTap];
        CGPoint p = tap.point;
        std::string why;
        const bool found = tap.name.empty() || tapTarget(window, tap.name, p, why);
        // A named view not there yet (a screen still coming up on a slow
        // machine) is looked for again, every 0.1 s for up to 3 s.
        if (!found && ++looks < 30) {
            RunLoop::main().performAfterDelay(secondsDuration(0.1), tapNext);
            return;
        }
        looks = 0;
        ++nextTap;
        if (!found) {
            // A tap that misses makes the picture show something else.
            std::fprintf(stderr, "lumora: --tap %s: %s\n", tap.name.c_str(), why.c_str());
            status = 1;
        } else {
            TouchRouter::shared().touchBegan(window, 0, p);
            TouchRouter::shared().touchEnded(window, 0, p);
        }
        if (nextTap < options.taps.size()) {
            RunLoop::main().performAfterDelay(secondsDuration(0.3), tapNext);
        } else {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
            RunLoop::main().performAfterDelay(secondsDuration(std::max(options.after - elapsed, 0.3)), takeShot);
        }
    };
    if (!options.screenshot.empty()) {
        if (options.taps.empty()) RunLoop::main().performAfterDelay(secondsDuration(std::max(options.after, 0.3)), takeShot);
        else RunLoop::main().performAfterDelay(secondsDuration(0.3), tapNext);
    }
    QApplication::exec();
    AlertPresenter::install(nullptr);
    watch->invalidate();
    qApp->removeEventFilter(&input);
    app.terminate();
    RunLoop::main().drainPending();
    delete window;
    stopPeers();
    if (!keptFor.empty()) {
        std::printf("lumora: kept the demo's data root %s (%s)\n", madeRoot.c_str(), keptFor.c_str());
        std::fflush(stdout);
    } else {
        removeMadeRoot();
    }
    return status;
}

}  // namespace lumora
