#pragma once

#include <QObject>
#include <functional>

#include "ui/kit/UIGeometry.h"

namespace lumora {

class UIWindow;

// The window host's own input on top of the touch router: Ctrl+drag as a
// two-finger pinch around the press point, and the host's keys.
class HostInput : public QObject {
public:
    explicit HostInput(UIWindow* window);
    std::function<void(int key)> onKey;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    UIWindow* window_;
    bool pinching_ = false;
    CGPoint center_;
};

}  // namespace lumora
