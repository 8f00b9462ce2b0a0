#include "ui/common/PictureRecordPane.h"

#include <algorithm>

#include "platform/graphics/RGBAImage.h"
#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"

namespace lumora {

namespace {

uint8_t clampByte(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Planar YUV 4:2:0 (BT.601 studio range) to RGBA.
RGBAImage toRGBA(const std::vector<uint8_t>& yuv, int width, int height) {
    RGBAImage image;
    if (width <= 0 || height <= 0) return image;
    const size_t ySize = static_cast<size_t>(width) * height;
    const size_t cSize = static_cast<size_t>(width / 2) * (height / 2);
    if (yuv.size() < ySize + 2 * cSize) return image;
    image.width = width;
    image.height = height;
    image.pixels.resize(ySize * 4);
    const uint8_t* Y = yuv.data();
    const uint8_t* U = Y + ySize;
    const uint8_t* V = U + cSize;
    const int cw = width / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int cx = std::min(x / 2, cw - 1), cy = std::min(y / 2, height / 2 - 1);
            const int c = 298 * (Y[y * width + x] - 16);
            const int d = (cw > 0 && cy >= 0 ? U[cy * cw + cx] : 128) - 128;
            const int e = (cw > 0 && cy >= 0 ? V[cy * cw + cx] : 128) - 128;
            uint8_t* p = image.pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
            p[0] = clampByte((c + 409 * e + 128) >> 8);
            p[1] = clampByte((c - 100 * d - 208 * e + 128) >> 8);
            p[2] = clampByte((c + 516 * d + 128) >> 8);
            p[3] = 255;
        }
    }
    return image;
}

}  // namespace

std::shared_ptr<PictureRecordPane> PictureRecordPane::create() {
    std::shared_ptr<PictureRecordPane> pane(new PictureRecordPane());
    pane->session_->setDelegate(pane);
    return pane;
}

PictureRecordPane::PictureRecordPane()
    : session_(DataController::create()), queue_(DispatchQueue::createSerial("RecordPlayQueue")) {
    view_ = new UIView(CGRectMake(0, 0, 320, 240));
    view_->setBackgroundColor(UIColor::blackColor());
    setViewName(view_, "recordPane");
    picture_ = new UIImageView(view_->bounds());
    picture_->setContentMode(UIViewContentMode::ScaleAspectFit);
    setViewName(picture_, "recordPicture");
    view_->addSubview(picture_);
    caption_ = new UILabel(CGRectMake(4, 2, 312, 18));
    caption_->setTextColor(UIColor::whiteColor());
    caption_->setFont(UIFont::systemFontOfSize(12));
    setViewName(caption_, "recordCaption");
    view_->addSubview(caption_);
    status_ = new UILabel(CGRectMake(0, 100, 320, 40));
    status_->setTextColor(UIColor::whiteColor());
    status_->setTextAlignment(UITextAlignment::Center);
    status_->setBackgroundColor(UIColor::colorWithWhite(0, 0.6));
    status_->setAdjustsFontSizeToFitWidth(true);
    status_->setHidden(true);
    setViewName(status_, "recordStatus");
    view_->addSubview(status_);
}

PictureRecordPane::~PictureRecordPane() {
    auto session = session_;
    session->setDelegate(nullptr);
    // The last stop runs off the main thread too; the queue keeps the
    // session until then.
    queue_->async([session] { session->stopLive(); });
    if (view_ && !view_->parentWidget()) delete view_.data();
}

UIView* PictureRecordPane::view() {
    return view_.data();
}

void PictureRecordPane::updateChannelViewFrame(const CGRect& frame) {
    if (!view_) return;
    view_->setFrame(frame);
    layout();
}

void PictureRecordPane::layout() {
    if (!view_) return;
    CGRect b = view_->bounds();
    if (picture_) picture_->setFrame(b);
    if (caption_) caption_->setFrame(CGRectMake(4, 2, b.size.width - 8, 18));
    if (status_) status_->setFrame(CGRectMake(0, b.size.height / 2 - 20, b.size.width, 40));
}

void PictureRecordPane::startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                                            const _OWSP_DateTime& startTime) {
    if (!device) return;
    statusText_.clear();
    if (status_) status_->setHidden(true);
    pictures_ = 0;
    auto session = session_;
    session->setTimeAndName(startTime, fileName);
    queue_->async([session, device] { session->startLive(device, 0); });
}

void PictureRecordPane::stopLive() {
    auto session = session_;
    queue_->async([session] { session->stopLive(); });
}

std::string PictureRecordPane::statusText() const {
    return statusText_;
}

void PictureRecordPane::renderShow(const std::vector<uint8_t>& yuv, int width, int height) {
    // Arrives on the main queue.
    RGBAImage image = toRGBA(yuv, width, height);
    if (image.empty()) return;
    if (picture_) picture_->setPicture(image);
    ++pictures_;
}

void PictureRecordPane::renderFailed(const std::string& text) {
    std::weak_ptr<PictureRecordPane> weak = weak_from_this();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        if (!self) return;
        self->statusText_ = text;
        if (self->status_) {
            self->status_->setText(text);
            self->status_->setHidden(false);
        }
    });
}

void PictureRecordPane::renderShowText(const std::string& text) {
    std::weak_ptr<PictureRecordPane> weak = weak_from_this();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        if (self && self->caption_) self->caption_->setText(text);
    });
}

}  // namespace lumora
