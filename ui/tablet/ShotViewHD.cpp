#include "ui/tablet/ShotViewHD.h"

#include <chrono>
#include <cstdio>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITapGestureRecognizer.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

constexpr double kDeleteMarkSlide = 0.3;

UILabel* captionLabel(const CGRect& frame, const std::string& text, const UIColor& colour, CGFloat fontSize) {
    auto* l = new UILabel(frame);
    l->setText(text);
    l->setTextColor(colour);
    l->setBackgroundColor(UIColor::clearColor());
    l->setFont(UIFont::systemFontOfSize(fontSize));
    l->setTextAlignment(UITextAlignment::Center);
    l->setAdjustsFontSizeToFitWidth(true);
    return l;
}

}  // namespace

ShotViewHD::ShotViewHD(const CGRect& frame, int type, bool editable, int viewID)
    : UIView(frame), viewID_(viewID), imageType_(type), editable_(editable) {}

ShotViewHD::~ShotViewHD() { cancelLongPress(); }

void ShotViewHD::drawImage() {
    for (UIView* sub : subviews()) {
        sub->removeFromSuperview();
        sub->deleteLater();
    }
    for (auto r : std::vector(gestureRecognizers())) removeGestureRecognizer(r.get());
    const CGFloat W = bounds().size.width, H = bounds().size.height;

    auto* thumbnail = new UIImageView(CGRectMake(10, 10, W - 20, H - 45));
    thumbnail->setTag(kThumbnailTag);
    setViewName(thumbnail, "thumbnail");
    thumbnail->setContentMode(UIViewContentMode::ScaleAspectFit);
    // A recording is no picture: its thumbnail stays empty.
    thumbnail->setImage(UIImage::imageWithContentsOfFile(mediaItem_.fullPath()));
    addSubview(thumbnail);
    auto tap = std::make_shared<UITapGestureRecognizer>();
    tap->numberOfTapsRequired = 1;
    tap->numberOfTouchesRequired = 1;
    tap->addTarget(this, [this](UIGestureRecognizer& r) { imageSingleTap(static_cast<UITapGestureRecognizer*>(&r)); });
    addGestureRecognizer(tap);

    const CGFloat Ht = thumbnail->frame().size.height;
    auto* name = captionLabel(CGRectMake(10, Ht + 13, W - 20, 15), mediaItem_.name, UIColor::whiteColor(), 12);
    setViewName(name, "nameLabel");
    addSubview(name);
    char caption[512];
    std::snprintf(caption, sizeof caption, "device:%s   channel:%02d   size:%dk", mediaItem_.deviceName.c_str(),
                  mediaItem_.channel, static_cast<int>(mediaItem_.size / 1024));
    auto* info = captionLabel(CGRectMake(10, Ht + 28, W - 20, 10), caption,
                              UIColor::colorWithRed(140 / 255.0, 184 / 255.0, 242 / 255.0, 1), 10);  // reads on the dark grid
    setViewName(info, "captionLabel");
    addSubview(info);

    if (imageType_ == kRecordingType) {
        const CGFloat A = (W - 20) / 2, B = (H - 35) / 2;
        auto* play = new UIImageView(UIImage::imageNamed("replay.png"));
        setViewName(play, "playMark");
        play->setFrame(CGRectMake(A / 2 + 10, B / 2 + 10, A, B));
        play->setContentMode(UIViewContentMode::ScaleAspectFit);
        play->setAlpha(1);
        addSubview(play);
    }

    if (editable_) {
        auto* mark = new UIImageView(UIImage::imageNamed("delete.png"));
        setViewName(mark, "deleteMark");
        mark->setFrame(CGRectMake(W - 80, 10, 35, 35));
        mark->setContentMode(UIViewContentMode::ScaleAspectFit);
        mark->setUserInteractionEnabled(true);
        auto markTap = std::make_shared<UITapGestureRecognizer>();
        markTap->addTarget(this, [this](UIGestureRecognizer& r) { deleteIconClicked(static_cast<UITapGestureRecognizer*>(&r)); });
        mark->addGestureRecognizer(markTap);
        addSubview(mark);
        WeakView<UIImageView> weak(mark);
        UIViewAnimation::animateWithDuration(kDeleteMarkSlide, [weak, W] {
            if (weak) weak->setFrame(CGRectMake(W - 45, 10, 35, 35));
        });
    }
}

void ShotViewHD::imageSingleTap(UITapGestureRecognizer* recognizer) {
    // The release that ends a long press is no tap.
    if (longPressed_) return;
    if (delegate_) delegate_->shotViewSingleTapped(this, recognizer);
}

void ShotViewHD::imageLongPress(RunLoopTimer* timer) {
    isTimerValid_ = false;
    longPressed_ = true;
    if (delegate_) delegate_->shotViewLongPress(this, timer);
}

void ShotViewHD::deleteIconClicked(UITapGestureRecognizer*) {
    if (delegate_) delegate_->shotViewDeleteAtLayout(this, layoutTag_);
}

void ShotViewHD::cancelLongPress() {
    if (isTimerValid_ && waitingImageLongPressTimer_ && waitingImageLongPressTimer_->isValid())
        waitingImageLongPressTimer_->invalidate();
    if (waitingImageLongPressTimer_ && !waitingImageLongPressTimer_->isValid()) waitingImageLongPressTimer_.reset();
    isTimerValid_ = false;
}

void ShotViewHD::drawRect(const CGRect&) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    ctx->setStrokeColor(UIColor::colorWithRed(0.45, 0.45, 0.45, 1));
    ctx->setLineWidth(2);
    ctx->strokeRect(CGRectMake(0, 0, bounds().size.width, bounds().size.height));
}

void ShotViewHD::touchesBegan(const UITouchSet&, UIEvent*) {
    if (waitingImageLongPressTimer_) waitingImageLongPressTimer_->invalidate();
    WeakView<ShotViewHD> self(this);
    waitingImageLongPressTimer_ = RunLoopTimer::scheduled(
        RunLoop::main(), std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kLongPressDelay)),
        false, [self](RunLoopTimer& t) {
            if (self) self->imageLongPress(&t);
        });
    isTimerValid_ = true;
    longPressed_ = false;
    pixMoved_ = 0;
}

void ShotViewHD::touchesMoved(const UITouchSet&, UIEvent*) {
    ++pixMoved_;
    if (pixMoved_ >= kMovesBeforeCancel) cancelLongPress();
}

void ShotViewHD::touchesEnded(const UITouchSet&, UIEvent*) { cancelLongPress(); }

void ShotViewHD::touchesCancelled(const UITouchSet&, UIEvent*) { cancelLongPress(); }

}  // namespace lumora
