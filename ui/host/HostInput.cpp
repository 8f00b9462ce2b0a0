#include "ui/host/HostInput.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {
constexpr int kFingerA = 9001;
constexpr int kFingerB = 9002;
constexpr double kStartHalf = 20;
}  // namespace

HostInput::HostInput(UIWindow* window) : window_(window) {}

bool HostInput::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != window_) return false;
    TouchRouter& router = TouchRouter::shared();
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        // Typing into a text field is not a host key.
        if (qobject_cast<QWidget*>(watched) && watched->inherits("QLineEdit")) return false;
        if (onKey) onKey(ke->key());
        return false;
    }
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!(me->modifiers() & Qt::ControlModifier) || me->button() != Qt::LeftButton) return false;
        pinching_ = true;
        center_ = CGPoint{me->scenePosition().x(), me->scenePosition().y()};
        router.touchBegan(window_, kFingerA, CGPoint{center_.x - kStartHalf, center_.y});
        router.touchBegan(window_, kFingerB, CGPoint{center_.x + kStartHalf, center_.y});
        return true;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        if (!pinching_) return false;
        auto* me = static_cast<QMouseEvent*>(event);
        // The horizontal distance from the press point spreads the fingers.
        double half = std::max(2.0, kStartHalf + (me->scenePosition().x() - center_.x));
        CGPoint a{center_.x - half, center_.y}, b{center_.x + half, center_.y};
        if (event->type() == QEvent::MouseMove) {
            router.touchMoved(window_, kFingerA, a);
            router.touchMoved(window_, kFingerB, b);
        } else {
            router.touchEnded(window_, kFingerA, a);
            router.touchEnded(window_, kFingerB, b);
            pinching_ = false;
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace lumora
