#include "ui/common/QvScrollView.h"

namespace lumora {

void QvScrollView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    UIScrollView::touchesBegan(touches, event);
    if (touchDelegate_) touchDelegate_->delegatetouchesBegin(touches, event);
}

void QvScrollView::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    UIScrollView::touchesMoved(touches, event);
    if (touchDelegate_) touchDelegate_->delegatetouchesMoved(touches, event);
}

void QvScrollView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    UIScrollView::touchesEnded(touches, event);
    if (touchDelegate_) touchDelegate_->delegatetouchesEnded(touches, event);
}

void QvScrollView::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    UIScrollView::touchesCancelled(touches, event);
    if (touchDelegate_) touchDelegate_->delegatetouchesCancelled(touches, event);
}

}  // namespace lumora
