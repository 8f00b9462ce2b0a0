#include "ui/kit/testing/KitTestDriver.h"
#include "ui/kit/testing/TextReadability.h"

#include "platform/text/Pasteboard.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QPointingDevice>
#include <QStyleFactory>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <typeinfo>
#include <unistd.h>

#include "platform/Application.h"
#include "platform/runloop/RunLoop.h"
#include "ui/kit/KitApplication.h"
#include "ui/kit/RunLoopBridge.h"
#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIDatePicker.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"

// The font and desktop-bus libraries and the browser engine keep caches for
// the life of the process that the leak checker cannot see through.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libQt6WebEngineCore.so\n";
}

namespace lumora {

namespace {

// One touch screen for the process (Qt keeps the devices it knows).
QPointingDevice* touchScreen() {
    static QPointingDevice* device = QTest::createTouchDevice(QInputDevice::DeviceType::TouchScreen);
    return device;
}

QPoint qp(CGPoint p) { return QPoint(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))); }

bool visibleInTree(const UIView* v) {
    for (; v; v = v->superview())
        if (v->isHidden() || v->alpha() < 0.01) return false;
    return true;
}

std::string textOf(UIView* v) {
    if (auto* l = dynamic_cast<UILabel*>(v)) return l->displayedText();
    if (auto* b = dynamic_cast<UIButton*>(v)) return b->currentTitle();
    if (auto* t = dynamic_cast<UITextField*>(v)) return t->isSecureTextEntry() ? std::string() : t->text();
    return {};
}

}  // namespace

void KitTestDriver::ensureApplication() { KitApplication::ensure(KitApplication::Mode::Headless); }

KitTestDriver::KitTestDriver() : KitTestDriver(Options{}) {}

KitTestDriver::KitTestDriver(Options options) : options_(options) {
    ensureApplication();
    RunLoop::setVirtualClock(options_.virtualClock);
    UIApplication::sharedApplication().reset();
    // Screens under test share the engine's pasteboard text in memory.
    Pasteboard::generalPasteboard().setBackend(nullptr);
    UIScreen::mainScreen().setProfile(options_.profile, options_.scale);
    UIImage::clearCache();
    window_ = std::make_unique<UIWindow>(UIScreen::mainScreen().bounds());
    setViewName(window_.get(), "window");
    window_->makeKeyAndVisible();
    touchDevice_ = touchScreen();
    settle();
}

KitTestDriver::~KitTestDriver() {
    TouchRouter::shared().cancelAll();
    settle();
    window_.reset();
    application_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    RunLoop::setVirtualClock(false);
}

UIWindow* KitTestDriver::window() const { return window_.get(); }

void KitTestDriver::setRoot(std::shared_ptr<UIViewController> controller) {
    window_->setRootViewController(std::move(controller));
    settle();
}

Application& KitTestDriver::launch(ApplicationDelegate& delegate) {
    application_ = std::make_unique<Application>(delegate);
    application_->launch();
    settle();
    return *application_;
}

void KitTestDriver::settle() {
    int quiet = 0;
    for (int round = 0; round < 200 && quiet < 2; ++round) {
        size_t n = RunLoopBridge::drain();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        n += RunLoopBridge::drain();
        quiet = n == 0 ? quiet + 1 : 0;
    }
}

void KitTestDriver::advance(double seconds) {
    using namespace std::chrono;
    auto target = RunLoop::main().now() + duration_cast<RunLoop::Clock::duration>(duration<double>(seconds));
    settle();
    for (int guard = 0; guard < 100000; ++guard) {
        auto next = RunLoop::main().nextTimerDate();
        if (next > target) break;
        auto now = RunLoop::main().now();
        if (next > now) RunLoop::advanceVirtualClock(next - now);
        settle();
    }
    auto now = RunLoop::main().now();
    if (target > now) RunLoop::advanceVirtualClock(target - now);
    settle();
}

bool KitTestDriver::waitUntil(const std::function<bool()>& predicate, double realSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realSeconds);
    for (;;) {
        settle();
        if (predicate()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

UIView* KitTestDriver::find(const std::string& name) const {
    // Overlays and presented views first (frontmost), then the rest.
    std::vector<UIView*> subs = window_->subviews();
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        if (UIView* v = (*it)->viewWithName(name)) return v;
    return window_->objectName().toStdString() == name ? window_.get() : nullptr;
}

bool KitTestDriver::fail(const std::string& message) {
    error_ = message;
    return false;
}

bool KitTestDriver::isTappable(UIView* view) {
    if (!view) return fail("no such view");
    std::string name = view->objectName().toStdString();
    if (view->window() != window_.get()) return fail("\"" + name + "\" is not in the window");
    if (!visibleInTree(view)) return fail("\"" + name + "\" is hidden");
    for (UIView* v = view; v; v = v->superview()) {
        if (auto* c = dynamic_cast<UIControl*>(v); c && !c->isEnabled()) return fail("\"" + name + "\" is disabled");
        if (!v->isUserInteractionEnabled()) return fail("\"" + name + "\" does not take touches");
    }
    CGRect b = view->bounds();
    CGPoint c = view->pointInWindow(CGPoint{b.size.width / 2, b.size.height / 2});
    UIView* hit = window_->hitTest(c, nullptr);
    if (!hit || !hit->isDescendantOfView(view)) {
        std::string by = hit ? hit->objectName().toStdString() : "";
        return fail("\"" + name + "\" is covered" + (by.empty() ? std::string() : " by \"" + by + "\""));
    }
    return true;
}

bool KitTestDriver::tap(const std::string& name) {
    UIView* v = find(name);
    if (!v) return fail("no view named \"" + name + "\"");
    return tapView(v);
}

bool KitTestDriver::tapView(UIView* view) {
    if (!isTappable(view)) return false;
    CGRect b = view->bounds();
    tapAt(view->pointInWindow(CGPoint{b.size.width / 2, b.size.height / 2}));
    return true;
}

void KitTestDriver::sendMouse(int type, CGPoint p) {
    QWindow* w = window_->windowHandle();
    if (!w) return;
    switch (type) {
    case 0: QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, qp(p)); break;
    case 1: QTest::mouseMove(w, qp(p)); break;
    case 2: QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, qp(p)); break;
    }
}

void KitTestDriver::press(CGPoint p) {
    sendMouse(0, p);
    settle();
}
void KitTestDriver::moveTo(CGPoint p) {
    sendMouse(1, p);
    settle();
}
void KitTestDriver::release(CGPoint p) {
    sendMouse(2, p);
    settle();
}

void KitTestDriver::scrollWheel(CGPoint p, int notches) {
    // Qt gives the wheel to the widget under the pointer and up its parents.
    QWidget* target = window_->childAt(qp(p));
    if (!target) target = window_.get();
    const QPointF local = target->mapFrom(window_.get(), QPointF(qp(p)));
    QWheelEvent event(local, QPointF(qp(p)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    settle();
}

void KitTestDriver::tapAt(CGPoint p) {
    sendMouse(0, p);
    sendMouse(2, p);
    settle();
    // Taps further apart than a double tap.
    advance(0.4);
}

void KitTestDriver::doubleTapAt(CGPoint p) {
    sendMouse(0, p);
    sendMouse(2, p);
    settle();
    advance(0.1);
    sendMouse(0, p);
    sendMouse(2, p);
    settle();
    advance(0.4);
}

void KitTestDriver::longPressAt(CGPoint p, double seconds) {
    sendMouse(0, p);
    settle();
    advance(seconds);
    sendMouse(2, p);
    settle();
}

void KitTestDriver::drag(CGPoint from, CGPoint to, int steps) {
    steps = std::max(1, steps);
    sendMouse(0, from);
    settle();
    for (int i = 1; i <= steps; ++i) {
        advance(0.016);
        sendMouse(1, CGPoint{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        settle();
    }
    sendMouse(2, to);
    settle();
}

void KitTestDriver::touchesBegin(const std::vector<CGPoint>& points) {
    auto seq = QTest::touchEvent(window_->windowHandle(), touchDevice_);
    for (size_t i = 0; i < points.size(); ++i) seq.press(static_cast<int>(i), qp(points[i]), window_->windowHandle());
    seq.commit();
    touchPoints_ = points;
    settle();
}

void KitTestDriver::touchesMove(const std::vector<CGPoint>& points) {
    auto seq = QTest::touchEvent(window_->windowHandle(), touchDevice_);
    for (size_t i = 0; i < points.size(); ++i) seq.move(static_cast<int>(i), qp(points[i]), window_->windowHandle());
    seq.commit();
    touchPoints_ = points;
    settle();
}

void KitTestDriver::touchesEnd(const std::vector<CGPoint>& points) {
    auto seq = QTest::touchEvent(window_->windowHandle(), touchDevice_);
    for (size_t i = 0; i < points.size(); ++i)
        seq.release(static_cast<int>(i), qp(points[i]), window_->windowHandle());
    seq.commit();
    touchPoints_.clear();
    settle();
}

void KitTestDriver::pinch(CGPoint c, double from, double to, int steps) {
    auto at = [&](double d) {
        return std::vector<CGPoint>{CGPoint{c.x - d / 2, c.y}, CGPoint{c.x + d / 2, c.y}};
    };
    touchesBegin(at(from));
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        advance(0.016);
        touchesMove(at(from + (to - from) * i / steps));
    }
    touchesEnd(at(to));
}

bool KitTestDriver::typeText(const std::string& text) {
    UITextField* f = UITextField::editingField();
    if (!f) return fail("no text field is being edited");
    QTest::keyClicks(f->lineEdit(), QString::fromStdString(text));
    settle();
    return true;
}

bool KitTestDriver::pressReturn() {
    UITextField* f = UITextField::editingField();
    if (!f) return fail("no text field is being edited");
    QTest::keyClick(f->lineEdit(), Qt::Key_Return);
    settle();
    return true;
}

bool KitTestDriver::pickSegment(const std::string& name, int index) {
    auto* s = find<UISegmentedControl>(name);
    if (!s) return fail("no segmented control named \"" + name + "\"");
    if (!isTappable(s)) return false;
    if (index < 0 || index >= s->numberOfSegments()) return fail("no segment " + std::to_string(index));
    CGRect r = s->rectForSegment(index);
    tapAt(s->pointInWindow(CGPoint{CGRectGetMidX(r), CGRectGetMidY(r)}));
    return true;
}

bool KitTestDriver::pickRow(const std::string& tableName, int section, int row) {
    auto* t = find<UITableView>(tableName);
    if (!t) return fail("no table named \"" + tableName + "\"");
    NSIndexPath path{section, row};
    if (section < 0 || section >= t->numberOfSections() || row < 0 || row >= t->numberOfRowsInSection(section))
        return fail("no such row");
    t->scrollToRowAtIndexPath(path, false);
    settle();
    UITableViewCell* cell = t->cellForRowAtIndexPath(path);
    if (!cell) return fail("the row has no cell");
    return tapView(cell);
}

bool KitTestDriver::pickPickerRow(const std::string& name, int component, int row) {
    auto* p = find<UIPickerView>(name);
    if (!p) return fail("no picker named \"" + name + "\"");
    if (!isTappable(p)) return false;
    if (!p->userSelectRow(row, component)) return fail("no such picker row");
    settle();
    return true;
}

bool KitTestDriver::pickDate(const std::string& name, std::chrono::system_clock::time_point date) {
    auto* p = find<UIDatePicker>(name);
    if (!p) return fail("no date picker named \"" + name + "\"");
    if (!isTappable(p)) return false;
    p->userSetDate(date);
    settle();
    return true;
}

bool KitTestDriver::tapAlertButton(int index) {
    UIAlertView* a = UIAlertView::topmost(window_.get());
    if (!a) return fail("no alert is shown");
    UIView* b = a->buttonViewAtIndex(index);
    if (!b) return fail("the alert has no button " + std::to_string(index));
    return tapView(b);
}

bool KitTestDriver::tapAlertButton(const std::string& title) {
    UIAlertView* a = UIAlertView::topmost(window_.get());
    if (!a) return fail("no alert is shown");
    for (int i = 0; i < a->numberOfButtons(); ++i)
        if (a->buttonTitleAtIndex(i) == title) return tapAlertButton(i);
    return fail("the alert has no button \"" + title + "\"");
}

bool KitTestDriver::tapSheetButton(int index) {
    UIActionSheet* s = UIActionSheet::topmost(window_.get());
    if (!s) return fail("no action sheet is shown");
    UIView* b = s->buttonViewAtIndex(index);
    if (!b) return fail("the sheet has no button " + std::to_string(index));
    return tapView(b);
}

bool KitTestDriver::tapSheetButton(const std::string& title) {
    UIActionSheet* s = UIActionSheet::topmost(window_.get());
    if (!s) return fail("no action sheet is shown");
    for (int i = 0; i < s->numberOfButtons(); ++i)
        if (s->buttonTitleAtIndex(i) == title) return tapSheetButton(i);
    return fail("the sheet has no button \"" + title + "\"");
}

bool KitTestDriver::tapOutsidePopover() {
    std::vector<UIView*> overlays = window_->overlays();
    for (auto it = overlays.rbegin(); it != overlays.rend(); ++it) {
        auto* layer = dynamic_cast<UIPopoverLayer*>(*it);
        if (!layer) continue;
        CGRect content = layer->contentFrame();
        CGRect b = window_->bounds();
        // A corner of the window that the content does not cover.
        for (CGPoint p : {CGPoint{2, b.size.height - 3}, CGPoint{b.size.width - 3, b.size.height - 3}, CGPoint{2, 2},
                          CGPoint{b.size.width - 3, 2}}) {
            if (!CGRectContainsPoint(content, p)) {
                tapAt(p);
                return true;
            }
        }
        return fail("the popover covers the window");
    }
    return fail("no popover is shown");
}

bool KitTestDriver::rotate(UIInterfaceOrientation orientation) {
    bool turned = window_->rotateTo(orientation);
    settle();
    return turned;
}

void KitTestDriver::resignActive() {
    if (Application* a = Application::shared()) a->resignActive();
    settle();
}

void KitTestDriver::becomeActive() {
    if (Application* a = Application::shared()) a->becomeActive();
    settle();
}

void KitTestDriver::memoryWarning() {
    UIApplication::sharedApplication().simulateMemoryWarning();
    settle();
}

std::vector<std::string> KitTestDriver::visibleTexts() const {
    struct Item {
        CGPoint at;
        std::string text;
    };
    std::vector<Item> items;
    std::vector<UIView*> stack{window_.get()};
    while (!stack.empty()) {
        UIView* v = stack.back();
        stack.pop_back();
        if (v->isHidden() || v->alpha() < 0.01) continue;
        std::string t = textOf(v);
        if (!t.empty()) items.push_back(Item{v->pointInWindow(CGPoint{0, 0}), t});
        for (UIView* s : v->subviews()) stack.push_back(s);
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (std::fabs(a.at.y - b.at.y) > 4) return a.at.y < b.at.y;
        return a.at.x < b.at.x;
    });
    std::vector<std::string> out;
    for (auto& i : items) out.push_back(i.text);
    return out;
}

std::string KitTestDriver::dumpTree() const {
    std::ostringstream out;
    std::function<void(UIView*, int)> walk = [&](UIView* v, int depth) {
        if (v->isHidden()) return;
        CGRect f = v->frame();
        const char* cls = typeid(*v).name();
        out << std::string(depth * 2, ' ') << cls << " \"" << v->objectName().toStdString() << "\" (" << f.origin.x
            << "," << f.origin.y << " " << f.size.width << "x" << f.size.height << ")";
        std::string t = textOf(v);
        if (!t.empty()) out << " '" << t << "'";
        out << "\n";
        for (UIView* s : v->subviews()) walk(s, depth + 1);
    };
    walk(window_.get(), 0);
    return out.str();
}

QImage KitTestDriver::screenshot() const {
    return window_->grab().toImage().convertToFormat(QImage::Format_RGBA8888);
}

bool KitTestDriver::saveScreenshot(const std::string& path) const {
    return screenshot().save(QString::fromStdString(path), "PNG");
}

uint32_t KitTestDriver::pixel(int x, int y) const { return pixel(screenshot(), x, y); }

uint32_t KitTestDriver::pixel(const QImage& img, int x, int y) {
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return 0;
    QColor c = img.pixelColor(x, y);
    return (uint32_t(c.red()) << 24) | (uint32_t(c.green()) << 16) | (uint32_t(c.blue()) << 8) | uint32_t(c.alpha());
}

double KitTestDriver::contrastRatio(uint32_t a, uint32_t b) { return TextReadability::contrastRatio(a, b); }

KitTestDriver::TextCheck KitTestDriver::stringsTableTexts() {
    TextCheck check;
    check.checked = TextReadability::stringsTableMatcher();
    return check;
}

std::vector<std::string> KitTestDriver::textProblems(const TextCheck& check) const {
    return TextReadability::problems(window_.get(), check.checked, check.minimumContrast);
}

std::string KitTestDriver::pasteboardText() const { return Pasteboard::generalPasteboard().string(); }

void KitTestDriver::setPasteboardText(const std::string& text) { Pasteboard::generalPasteboard().setString(text); }

const std::vector<std::string>& KitTestDriver::openedURLs() const { return UIApplication::sharedApplication().openedURLs(); }

}  // namespace lumora
