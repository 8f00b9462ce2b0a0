#include "ui/kit/KitApplication.h"

#include <QApplication>
#include <QFontInfo>
#include <QPalette>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Log.h"
#include "ui/kit/RunLoopBridge.h"
#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIFont.h"

namespace lumora {

namespace {
bool gHeadless = false;
int gArgc = 1;
char gArg0[] = "lumora";
char* gArgv[] = {gArg0, nullptr};
}  // namespace

void KitApplication::ensure(Mode mode) {
    if (QApplication::instance()) return;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!platform || !*platform) {
        if (mode == Mode::Headless || !hasDisplay) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    platform = std::getenv("QT_QPA_PLATFORM");
    gHeadless = platform && std::string(platform) == "offscreen";
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        std::string dir = "/tmp/lumora-runtime-" + std::to_string(getuid());
        ::mkdir(dir.c_str(), 0700);
        ::chmod(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    QApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, false);
    QApplication::setAttribute(Qt::AA_SynthesizeTouchForUnhandledMouseEvents, false);
    auto* app = new QApplication(gArgc, gArgv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(255, 255, 255));
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0));
    pal.setColor(QPalette::Base, QColor(255, 255, 255));
    pal.setColor(QPalette::Text, QColor(0, 0, 0));
    pal.setColor(QPalette::Button, QColor(240, 240, 240));
    pal.setColor(QPalette::ButtonText, QColor(0, 0, 0));
    pal.setColor(QPalette::Highlight, QColor(48, 140, 198));
    pal.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    pal.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    QApplication::setPalette(pal);
    QApplication::setCursorFlashTime(0);
    QFont base = UIFont::systemFontOfSize(14).qFont();
    QApplication::setFont(base);
    QFontInfo info(base);
    if (info.family() != QString::fromLatin1(UIFont::familyName())) {
        Log::error("KitApplication", "the font \"%s\" is not installed (got \"%s\"); install fonts-dejavu-core",
                   UIFont::familyName(), info.family().toUtf8().constData());
        // The process ends here: lines a test run holds back would end with it.
        std::string held = Log::takeHeld();
        if (!held.empty()) std::fputs(held.c_str(), stderr);
        std::exit(3);
    }
    (void)app;
    RunLoopBridge::install();
    TouchRouter::shared().install();
}

bool KitApplication::isHeadless() { return gHeadless; }

}  // namespace lumora
