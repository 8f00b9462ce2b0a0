#pragma once

#include "ui/common/QvToastView.h"

namespace lumora {

// The tablet toast: as the phone toast, centred on the fixed point
// (512, 403) of the tablet's landscape screen.
class QvToastViewHD : public QvToastView {
public:
    explicit QvToastViewHD(const std::string& message) : QvToastView(message) {}
    explicit QvToastViewHD(const CGRect& frame) : QvToastView(frame) {}

protected:
    CGPoint toastCenter(UIView* parent) const override;
};

}  // namespace lumora
