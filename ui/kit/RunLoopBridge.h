#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>

namespace lumora {

// Lets Qt's event loop drive the engine's main run loop, which keeps the
// one clock of every timer, delayed task and animation completion: the run
// loop's wake-up hook posts one coalesced drain to Qt; after each drain a
// single-shot timer is armed for the run loop's next deadline (real clock
// only; on the virtual clock nothing fires until the clock moves).
class RunLoopBridge : public QObject {
public:
    // Main thread, after the QApplication exists.
    static void install();
    static bool isInstalled();
    // Runs what is due on the main run loop now; answers how much ran.
    static size_t drain();

private:
    RunLoopBridge();
    void wake();
    void drainAndArm();

    QTimer timer_;
    std::atomic<bool> pending_{false};
};

}  // namespace lumora
