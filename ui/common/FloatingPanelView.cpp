#include "ui/common/FloatingPanelView.h"

namespace lumora {

void FloatingPanelView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesBegan(touches, event);
}
void FloatingPanelView::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesMoved(touches, event);
}
void FloatingPanelView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesEnded(touches, event);
}
void FloatingPanelView::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesCancelled(touches, event);
}

}  // namespace lumora
