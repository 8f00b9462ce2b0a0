#pragma once

#include <memory>

#include "app/core/QvFileItem.h"
#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIView.h"
#include "ui/tablet/ShotViewDelegate.h"

namespace lumora {

class UITapGestureRecognizer;

// One item of the tablet media grid: the thumbnail of a stored snapshot or
// recording with its file name and a caption line below, a play mark on a
// recording and, in edit mode, a delete mark. Taps, long presses and the
// delete mark go to the delegate. A long press is a touch held 0.5 s with
// fewer than four moves; the release that ends it is not also a tap.
// Main thread only.
class ShotViewHD : public UIView {
public:
    static constexpr double kLongPressDelay = 0.5;
    static constexpr int kMovesBeforeCancel = 4;
    static constexpr int kRecordingType = 1;
    static constexpr int kThumbnailTag = 100;

    ShotViewHD(const CGRect& frame, int type, bool editable, int viewID);
    ~ShotViewHD() override;

    int viewID() const { return viewID_; }
    int imageType() const { return imageType_; }
    bool editable() const { return editable_; }
    int layoutTag() const { return layoutTag_; }
    void setLayoutTag(int tag) { layoutTag_ = tag; }
    const QvFileItem& mediaItem() const { return mediaItem_; }
    void setMediaItem(const QvFileItem& item) { mediaItem_ = item; }
    ShotViewDelegate* delegate() const { return delegate_; }
    // Not owned; null stops every callback.
    void setDelegate(ShotViewDelegate* delegate) { delegate_ = delegate; }
    bool isTimerValid() const { return isTimerValid_; }

    // Builds the content from mediaItem (once, after creation).
    void drawImage();
    void imageSingleTap(UITapGestureRecognizer* recognizer);
    void imageLongPress(RunLoopTimer* timer);
    void deleteIconClicked(UITapGestureRecognizer* recognizer);
    // Stops a long press being timed.
    void cancelLongPress();

    void drawRect(const CGRect& rect) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    int viewID_;
    int imageType_;
    bool editable_;
    int layoutTag_ = -1;
    QvFileItem mediaItem_;
    ShotViewDelegate* delegate_ = nullptr;  // not owned
    std::shared_ptr<RunLoopTimer> waitingImageLongPressTimer_;
    bool isTimerValid_ = false;
    bool longPressed_ = false;  // the touch in progress was already a long press
    int pixMoved_ = 0;
};

}  // namespace lumora
