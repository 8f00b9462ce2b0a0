#include "ui/phone/ChannelStripView.h"

#include <string>

#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"

namespace lumora {

ChannelStripView::ChannelStripView(const CGRect& frame) : UIScrollView(frame) {}

UIButton* ChannelStripView::buttonForChannel(int channel) const {
    for (auto& b : buttons_)
        if (b && b->tag() == channel + kChannelTagBase) return b.data();
    return nullptr;
}

void ChannelStripView::deselectAll() {
    for (auto& b : buttons_)
        if (b) b->setSelected(false);
}

void ChannelStripView::reload(int deviceId, int channelNumber, const std::function<bool(int)>& isPlaying) {
    bool same = deviceId == deviceId_ && buttons_.size() == static_cast<size_t>(channelNumber);
    for (auto& b : buttons_) same = same && b;
    if (same && channelNumber > 0) {
        for (int i = 0; i < channelNumber; ++i) buttons_[i]->setSelected(isPlaying && isPlaying(i));
        return;
    }
    deviceId_ = deviceId;
    for (auto& b : buttons_)
        if (b) {
            b->removeFromSuperview();
            delete b.data();
        }
    buttons_.clear();
    const CGFloat h = bounds().size.height;
    auto ch = UIImage::imageNamed("channel.png"), ch2 = UIImage::imageNamed("channel02.png");
    for (int i = 0; i < channelNumber; ++i) {
        auto* b = new UIButton(CGRect{{17 + 50.0 * i, (h - 39) / 2}, {39, 39}});
        b->setBackgroundImage(ch, UIControlStateNormal);
        b->setBackgroundImage(ch2, UIControlStateSelected);
        b->setTitle(std::to_string(i + 1), UIControlStateNormal);
        b->setTitle(std::to_string(i + 1), UIControlStateSelected);
        b->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
        b->setTitleColor(UIColor::blackColor(), UIControlStateSelected);
        b->setFont(UIFont::systemFontOfSize(12));
        b->addTarget(this, [this](UIControl* c, UIEvent*) {
            if (onTap) onTap(static_cast<UIButton*>(c));
        }, UIControlEventTouchUpInside);
        b->setTag(kChannelTagBase + i);
        setViewName(b, "channelButton" + std::to_string(i + 1));
        if (isPlaying && isPlaying(i)) b->setSelected(true);
        buttons_.emplace_back(b);
        addSubview(b);
    }
    setContentSize(CGSize{channelNumber > 0 ? 17 + 50.0 * channelNumber : 17, 0});
    setContentOffset(CGPoint{30, 0}, false);
    setContentOffset(CGPoint{0, 0}, true);
}

void ChannelStripView::scrollToChannel(int channel) {
    UIButton* b = buttonForChannel(channel);
    if (!b) return;
    const int x = static_cast<int>(b->frame().origin.x - 17);
    if (x == 0) return;
    const CGFloat bw = bounds().size.width;
    const CGFloat m = contentSize().width - bw;
    CGFloat offset;
    if (x < m) offset = x;
    else if (x < bw - 17) offset = 0;
    else offset = m;
    setContentOffset(CGPoint{offset, 0}, true);
}

}  // namespace lumora
