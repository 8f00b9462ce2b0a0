#pragma once

#include <QImage>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIInterfaceOrientation.h"
#include "ui/kit/UIScreen.h"

class QPointingDevice;

namespace lumora {

class Application;
class ApplicationDelegate;
class UIView;
class UIViewController;
class UIWindow;

// Drives the screens headless, as a user would, on a virtual clock.
//
// The first driver makes the Qt application: offscreen platform (unless
// QT_QPA_PLATFORM says otherwise), Fusion style, DejaVu Sans (asserted),
// no caret flashing, a private runtime folder. Each driver opens one window
// at the chosen profile and puts the main run loop on the virtual clock;
// nothing fires until advance() moves it. Input goes through the window like
// real input (mouse = one finger, touch points for several), so the views'
// hit test and touch routing decide who gets it.
//
// Calls that look for a view by object name fail (answer false, with
// lastError()) when the view is missing, hidden, disabled or covered.
class KitTestDriver {
public:
    struct Options {
        ScreenProfile profile = ScreenProfile::Phone480;
        double scale = 1;
        bool virtualClock = true;
    };

    KitTestDriver();
    explicit KitTestDriver(Options options);
    ~KitTestDriver();
    KitTestDriver(const KitTestDriver&) = delete;
    KitTestDriver& operator=(const KitTestDriver&) = delete;

    // Makes the Qt application once per process (the window host uses it too).
    static void ensureApplication();

    UIWindow* window() const;
    // Makes the controller the window's root.
    void setRoot(std::shared_ptr<UIViewController> controller);
    // Launches the delegate through a platform Application; the window's root
    // is whatever the host installs (see WindowHost).
    Application& launch(ApplicationDelegate& delegate);

    // ---- time
    // Runs due main-queue work, run-loop timers, completions and posted Qt
    // events until nothing more is due now.
    void settle();
    // Moves the virtual clock, firing what falls due on the way in order.
    void advance(double seconds);
    // Settles repeatedly (real time) until the predicate holds: work coming
    // back from the project's other queues. The bound only ends a failing
    // wait: it is generous so that a loaded machine does not fail a sound test.
    bool waitUntil(const std::function<bool()>& predicate, double realSeconds = 30);

    // ---- finding
    UIView* find(const std::string& name) const;
    template <class T>
    T* find(const std::string& name) const {
        return dynamic_cast<T*>(find(name));
    }
    // Visible, enabled and the top view at its centre (or inside it).
    bool isTappable(UIView* view);
    const std::string& lastError() const { return error_; }

    // ---- input (window points)
    bool tap(const std::string& name);
    bool tapView(UIView* view);
    void tapAt(CGPoint point);
    void doubleTapAt(CGPoint point);
    void longPressAt(CGPoint point, double seconds = 1.0);
    // Press, `steps` moves, release.
    void drag(CGPoint from, CGPoint to, int steps = 10);
    // Mouse-wheel notches at a point (positive: away from the user).
    void scrollWheel(CGPoint point, int notches);
    void press(CGPoint point);
    void moveTo(CGPoint point);
    void release(CGPoint point);
    // Several fingers: ids 0.. ; begin / move / end of each.
    void touchesBegin(const std::vector<CGPoint>& points);
    void touchesMove(const std::vector<CGPoint>& points);
    void touchesEnd(const std::vector<CGPoint>& points);
    // Two fingers around the centre, from one distance apart to another.
    void pinch(CGPoint center, double fromDistance, double toDistance, int steps = 8);
    // Into the text field being edited (its first responder).
    bool typeText(const std::string& text);
    bool pressReturn();

    // ---- controls by name
    bool pickSegment(const std::string& name, int index);
    bool pickRow(const std::string& tableName, int section, int row);
    bool pickPickerRow(const std::string& name, int component, int row);
    bool pickDate(const std::string& name, std::chrono::system_clock::time_point date);
    // The topmost alert / action sheet; by index or by title.
    bool tapAlertButton(int index);
    bool tapAlertButton(const std::string& title);
    bool tapSheetButton(int index);
    bool tapSheetButton(const std::string& title);
    // A tap on the popover layer outside the content.
    bool tapOutsidePopover();

    // ---- the application and the device
    bool rotate(UIInterfaceOrientation orientation);
    void resignActive();
    void becomeActive();
    void memoryWarning();

    // ---- looking
    // Texts of the visible labels, buttons, fields, in reading order (top to bottom, left to right).
    std::vector<std::string> visibleTexts() const;
    // One line per visible view: indentation, class, name, frame, text.
    std::string dumpTree() const;
    QImage screenshot() const;
    bool saveScreenshot(const std::string& path) const;
    // RGBA of one window pixel (in device pixels of the screenshot); each
    // call takes a screenshot, so reading many pixels wants the second form
    // on one screenshot.
    uint32_t pixel(int x, int y) const;
    static uint32_t pixel(const QImage& shot, int x, int y);
    // What a user sees of the texts the toolkit draws, over the window as
    // it stands: one line per text that is cut short (an ellipsis, a line or
    // wrapped lines larger than their room), covered or clipped by other
    // views (it is drawn again over the window painted without texts and
    // compared), running into another text, or reaching a contrast ratio
    // below `minimumContrast` (3:1 for large text: 24 px, or 19 px bold)
    // against what is behind it. Only texts `checked` accepts must show
    // whole (the application's own texts; user data such as a long name may
    // be cut); every text must show on top, apart and readable. A control's
    // greyed-out text is not held to the contrast. Texts under another
    // screen, an alert or a popover are out of sight and not checked.
    struct TextCheck {
        std::function<bool(const std::string&)> checked;
        double minimumContrast = 4.5;
    };
    std::vector<std::string> textProblems(const TextCheck& check) const;
    // Checks the texts of the strings table: a text equal to one, or one
    // followed by a number or punctuation ("Channel: 2"), or one with its
    // placeholders filled in.
    static TextCheck stringsTableTexts();
    // The WCAG contrast ratio of two colours (1 to 21).
    static double contrastRatio(uint32_t rgb1, uint32_t rgb2);

    std::string pasteboardText() const;
    void setPasteboardText(const std::string& text);
    const std::vector<std::string>& openedURLs() const;

private:
    void sendMouse(int type, CGPoint p);
    bool fail(const std::string& message);

    Options options_;
    std::unique_ptr<UIWindow> window_;
    std::unique_ptr<Application> application_;
    QPointingDevice* touchDevice_ = nullptr;
    std::vector<CGPoint> touchPoints_;
    std::string error_;
};

}  // namespace lumora
