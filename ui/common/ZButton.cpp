#include "ui/kit/WeakView.h"
#include "ui/common/ZButton.h"

#include <chrono>

namespace lumora {

ZButton::~ZButton() {
    if (timer_) timer_->invalidate();
}

void ZButton::startAction(std::shared_ptr<UIImage> firstImg, std::shared_ptr<UIImage> secImg) {
    firstImg_ = std::move(firstImg);
    secImg_ = std::move(secImg);
    beginshan();
}

void ZButton::beginshan() {
    startAction_ = true;
    if (timer_) timer_->invalidate();
    WeakView<ZButton> self(this);
    timer_ = RunLoopTimer::scheduled(RunLoop::main(),
                                     std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::duration<double>(kBlinkInterval)),
                                     true, [self](RunLoopTimer& t) {
                                         if (!self) {
                                             t.invalidate();
                                             return;
                                         }
                                         self->shan();
                                     });
}

void ZButton::shan() {
    if (!startAction_) return;
    if (isShan_) {
        setBackgroundImage(firstImg_, UIControlStateNormal);
        isShan_ = false;
    } else {
        setBackgroundImage(secImg_, UIControlStateNormal);
        isShan_ = true;
    }
}

void ZButton::stopActionwithImage(std::shared_ptr<UIImage> image) {
    startAction_ = false;
    if (timer_) {
        if (timer_->isValid()) timer_->invalidate();
        timer_.reset();
    }
    setBackgroundImage(std::move(image), UIControlStateNormal);
}

}  // namespace lumora
