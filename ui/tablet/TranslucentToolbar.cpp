#include "ui/tablet/TranslucentToolbar.h"

namespace lumora {

TranslucentToolbar::TranslucentToolbar(const CGRect& frame) : UIToolbar(frame) {
    setBackgroundColor(UIColor::clearColor());
}

void TranslucentToolbar::drawBackground(QPainter&) {}

}  // namespace lumora
