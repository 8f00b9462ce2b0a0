#pragma once

#include <memory>
#include <string>

#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"

namespace lumora {

class RunLoopTimer;

// A short message over a view: pops up on the view for 2 s, fades out in
// 0.1 s and removes itself; the view ignores touches meanwhile. The phone
// toast takes the centre of the view it covers.
//
// Several toasts on one view: the view takes touches again only when the
// last of them has gone, and then gets back the interaction state it had
// before the first one.
class QvToastView : public UIView {
public:
    static constexpr double kShowSeconds = 2.0;
    static constexpr double kFadeSeconds = 0.1;
    static constexpr double kPopSeconds = 0.3;

    explicit QvToastView(const std::string& message);
    // The frame is ignored: a toast is always 200 x 60.
    explicit QvToastView(const CGRect& frame);
    ~QvToastView() override;

    UILabel* textLabel() const { return textLabel_.data(); }
    // Stored for the caller; the label keeps the message it was made with.
    const std::string& text() const { return text_; }
    void setText(const std::string& text) { text_ = text; }

    // Shows the toast on the parent; nothing for a null parent or a toast
    // already shown.
    void presentToastView(UIView* parent);
    // Fades out and removes the toast (after the 2 s on its own).
    void dismiss();
    bool isDismissing() const { return dismissing_; }

protected:
    // Where the toast's centre goes, in the parent's coordinates: the
    // middle of the parent for the phone toast.
    virtual CGPoint toastCenter(UIView* parent) const;
    void drawBackground(QPainter& painter) override;

private:
    QPointer<UILabel> textLabel_;
    std::string text_;
    std::shared_ptr<RunLoopTimer> timer_;
    bool presented_ = false;
    bool dismissing_ = false;
    // The parent's interaction state before the first of its toasts.
    bool parentWasInteractive_ = true;
};

}  // namespace lumora
