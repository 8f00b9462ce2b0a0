#include "ui/kit/TouchRouter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTouchEvent>
#include <algorithm>
#include <cmath>

#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIGestureRecognizer.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {
constexpr double kTapInterval = 0.35;
constexpr double kTapSlop = 20;

constexpr const char* kTakesMouse = "lumoraTakesMouse";

// The widget or one of its parents up to the nearest view takes the mouse itself.
bool takesMouse(QObject* o) {
    for (auto* w = qobject_cast<QWidget*>(o); w && !dynamic_cast<UIView*>(w); w = w->parentWidget())
        if (w->property(kTakesMouse).toBool()) return true;
    return false;
}

UIWindow* windowOf(QObject* o) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return nullptr;
    return dynamic_cast<UIWindow*>(w->window());
}
}  // namespace

TouchRouter& TouchRouter::shared() {
    static TouchRouter* router = new TouchRouter;
    return *router;
}

void TouchRouter::letWidgetTakeMouse(QWidget* widget) {
    if (widget) widget->setProperty(kTakesMouse, true);
}

void TouchRouter::install() {
    if (installed_ || !qApp) return;
    qApp->installEventFilter(this);
    installed_ = true;
}

double TouchRouter::clockSeconds() const {
    return std::chrono::duration<double>(RunLoop::main().now().time_since_epoch()).count();
}

bool TouchRouter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        // Taps are counted by the router; the second press already came.
        return windowOf(watched) != nullptr && !takesMouse(watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        if (takesMouse(watched)) return false;
        UIWindow* window = windowOf(watched);
        if (!window) return false;
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->source() != Qt::MouseEventNotSynthesized) return true;
        CGPoint p{me->scenePosition().x(), me->scenePosition().y()};
        if (event->type() == QEvent::MouseMove) {
            if (me->buttons() & Qt::LeftButton) touchMoved(window, 0, p);
        } else if (me->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonRelease)
                touchEnded(window, 0, p);
            else
                touchBegan(window, 0, p);
        }
        return true;
    }
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        UIWindow* window = windowOf(watched);
        if (!window) return false;
        auto* te = static_cast<QTouchEvent*>(event);
        if (event->type() == QEvent::TouchCancel) {
            cancelAll();
            return true;
        }
        for (const QEventPoint& pt : te->points()) {
            int id = 1000 + pt.id();
            CGPoint p{pt.scenePosition().x(), pt.scenePosition().y()};
            switch (pt.state()) {
            case QEventPoint::Pressed: touchBegan(window, id, p); break;
            case QEventPoint::Updated: touchMoved(window, id, p); break;
            case QEventPoint::Released: touchEnded(window, id, p); break;
            default: break;
            }
        }
        event->accept();
        return true;
    }
    default:
        return false;
    }
}

void TouchRouter::touchBegan(UIWindow* window, int id, CGPoint point) {
    if (!window) return;
    if (active_.count(id)) touchEnded(window, id, point);
    Active a;
    a.touch = std::make_shared<UITouch>();
    UITouch& t = *a.touch;
    t.setWindow(window);
    t.setLocation(point);
    t.phase = UITouchPhase::Began;
    t.timestamp = clockSeconds();
    if (active_.empty()) {
        bool near = std::hypot(point.x - lastReleasePoint_.x, point.y - lastReleasePoint_.y) <= kTapSlop;
        bool soon = lastReleaseTime_ >= 0 && t.timestamp - lastReleaseTime_ <= kTapInterval;
        t.tapCount = near && soon ? lastTapCount_ + 1 : 1;
    }
    UIView* hit = window->hitTest(point, &event_);
    t.setView(hit);
    for (UIView* v = hit; v; v = v->superview())
        for (const auto& r : v->gestureRecognizers())
            if (r->isEnabled() && r->state() == UIGestureRecognizerState::Possible) a.recognizers.push_back(r);
    active_[id] = std::move(a);
    deliver({id}, Phase::Began);
}

void TouchRouter::touchMoved(UIWindow*, int id, CGPoint point) {
    auto it = active_.find(id);
    if (it == active_.end()) return;
    UITouch& t = *it->second.touch;
    if (t.locationInWindow() == point) return;
    t.moveTo(point);
    t.phase = UITouchPhase::Moved;
    t.timestamp = clockSeconds();
    deliver({id}, Phase::Moved);
}

void TouchRouter::touchEnded(UIWindow*, int id, CGPoint point) {
    auto it = active_.find(id);
    if (it == active_.end()) return;
    UITouch& t = *it->second.touch;
    if (!(t.locationInWindow() == point)) t.moveTo(point);
    t.phase = UITouchPhase::Ended;
    t.timestamp = clockSeconds();
    lastReleaseTime_ = t.timestamp;
    lastReleasePoint_ = point;
    lastTapCount_ = t.tapCount;
    auto keep = it->second.touch;
    deliver({id}, Phase::Ended);
    active_.erase(id);
    finishSequenceIfDone();
}

void TouchRouter::cancelAll() {
    // A touch whose release is being delivered (the handler cancels
    // everything) has ended already: it is not cancelled as well.
    std::vector<int> ids;
    for (auto& [id, a] : active_) {
        if (a.touch->phase == UITouchPhase::Ended) continue;
        a.touch->phase = UITouchPhase::Cancelled;
        ids.push_back(id);
    }
    if (!ids.empty()) deliver(ids, Phase::Cancelled);
    for (auto& [id, a] : active_) *a.cancelledFlag = true;
    active_.clear();
    finishSequenceIfDone();
}

bool TouchRouter::holdsTouchIn(const UIView* view) const {
    if (!view) return false;
    for (const auto& [id, a] : active_) {
        if (*a.cancelledFlag) continue;
        const UITouchPhase p = a.touch->phase;
        if (p == UITouchPhase::Ended || p == UITouchPhase::Cancelled) continue;
        for (const UIView* v = a.touch->view(); v; v = v->superview())
            if (v == view) return true;
    }
    return false;
}

void TouchRouter::whenTouchesEnd(std::function<void()> work) {
    if (!work) return;
    if (active_.empty()) {
        work();
        return;
    }
    afterTouches_.push_back(std::move(work));
}

void TouchRouter::finishSequenceIfDone() {
    if (!active_.empty()) return;
    // Every recogniser starts afresh.
    for (UIWindow* w : UIWindow::allWindows()) {
        std::vector<UIView*> stack{w};
        while (!stack.empty()) {
            UIView* v = stack.back();
            stack.pop_back();
            for (const auto& r : v->gestureRecognizers()) r->reset();
            for (UIView* s : v->subviews()) stack.push_back(s);
        }
    }
    event_.setTouches({});
    // Work held back while fingers were down, in the order it was asked for.
    std::vector<std::function<void()>> work;
    work.swap(afterTouches_);
    for (auto& w : work) w();
}

void TouchRouter::deliver(const std::vector<int>& ids, Phase phase) {
    // Everything this delivery needs, taken before any handler runs: a
    // handler may end or cancel the sequence (and so empty active_).
    struct Item {
        std::shared_ptr<UITouch> touch;
        std::shared_ptr<bool> cancelled;
        std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers;
    };
    std::vector<Item> items;
    for (int id : ids) {
        auto it = active_.find(id);
        if (it != active_.end())
            items.push_back(Item{it->second.touch, it->second.cancelledFlag, it->second.recognizers});
    }
    UITouchSet all;
    for (auto& [id, a] : active_) all.push_back(a.touch.get());
    event_.setTouches(all);
    event_.timestamp = clockSeconds();

    // Recognisers first, each with the touches it watches.
    std::vector<std::shared_ptr<UIGestureRecognizer>> recs;
    for (const Item& item : items)
        for (auto& w : item.recognizers) {
            auto r = w.lock();
            if (r && std::find(recs.begin(), recs.end(), r) == recs.end()) recs.push_back(r);
        }
    for (auto& r : recs) {
        if (r->state() == UIGestureRecognizerState::Failed || r->state() == UIGestureRecognizerState::Cancelled)
            continue;
        UITouchSet mine;
        for (const Item& item : items)
            for (auto& w : item.recognizers)
                if (w.lock() == r) mine.push_back(item.touch.get());
        if (mine.empty()) continue;
        switch (phase) {
        case Phase::Began: r->touchesBegan(mine, &event_); break;
        case Phase::Moved: r->touchesMoved(mine, &event_); break;
        case Phase::Ended: r->touchesEnded(mine, &event_); break;
        case Phase::Cancelled: r->touchesCancelled(mine, &event_); break;
        }
    }

    // Then the views, grouped by view, for the touches not taken away.
    std::vector<std::pair<QPointer<UIView>, UITouchSet>> groups;
    for (const Item& item : items) {
        if (*item.cancelled || !item.touch->view()) continue;
        UIView* v = item.touch->view();
        auto g = std::find_if(groups.begin(), groups.end(), [&](auto& e) { return e.first == v; });
        if (g == groups.end())
            groups.push_back({QPointer<UIView>(v), {item.touch.get()}});
        else
            g->second.push_back(item.touch.get());
    }
    for (auto& [view, touches] : groups) {
        if (!view) continue;
        switch (phase) {
        case Phase::Began: view->touchesBegan(touches, &event_); break;
        case Phase::Moved: view->touchesMoved(touches, &event_); break;
        case Phase::Ended: view->touchesEnded(touches, &event_); break;
        case Phase::Cancelled: view->touchesCancelled(touches, &event_); break;
        }
    }
}

void TouchRouter::recognizerChangedState(UIGestureRecognizer* recognizer) {
    auto s = recognizer->state();
    bool recognised = s == UIGestureRecognizerState::Began || s == UIGestureRecognizerState::Ended;
    if (!recognised || !recognizer->cancelsTouchesInView()) return;
    shared().cancelForViews(recognizer);
}

void TouchRouter::cancelForViews(UIGestureRecognizer* winner) {
    struct Loser {
        std::shared_ptr<UIGestureRecognizer> recognizer;
        std::shared_ptr<UITouch> touch;
    };
    std::vector<Loser> losers;
    std::vector<std::shared_ptr<UITouch>> taken;
    for (auto& [id, a] : active_) {
        bool watched = false;
        for (auto& w : a.recognizers)
            if (w.lock().get() == winner) watched = true;
        if (!watched) continue;
        // The other recognisers of this touch lose.
        for (auto& w : a.recognizers) {
            auto r = w.lock();
            if (r && r.get() != winner && r->state() == UIGestureRecognizerState::Possible)
                losers.push_back(Loser{r, a.touch});
        }
        if (*a.cancelledFlag) continue;
        *a.cancelledFlag = true;
        taken.push_back(a.touch);
    }
    for (auto& l : losers) {
        UITouchSet one{l.touch.get()};
        l.recognizer->touchesCancelled(one, &event_);
    }
    std::vector<std::pair<QPointer<UIView>, UITouchSet>> groups;
    for (auto& t : taken) {
        UIView* v = t->view();
        if (!v) continue;
        auto g = std::find_if(groups.begin(), groups.end(), [&](auto& e) { return e.first == v; });
        if (g == groups.end())
            groups.push_back({QPointer<UIView>(v), {t.get()}});
        else
            g->second.push_back(t.get());
    }
    for (auto& [view, touches] : groups) {
        if (!view) continue;
        for (UITouch* t : touches) t->phase = UITouchPhase::Cancelled;
        view->touchesCancelled(touches, &event_);
    }
}

void TouchRouter::cancelTouchesForView(UIView* view, const UITouchSet& touches) {
    UITouchSet taken;
    std::vector<std::shared_ptr<UITouch>> keep;
    for (auto& [id, a] : active_) {
        if (*a.cancelledFlag || a.touch->view() != view) continue;
        if (std::find(touches.begin(), touches.end(), a.touch.get()) == touches.end()) continue;
        *a.cancelledFlag = true;
        taken.push_back(a.touch.get());
        keep.push_back(a.touch);
    }
    if (!taken.empty() && view) view->touchesCancelled(taken, &event_);
}

}  // namespace lumora
