#include "ui/phone/LivePaneActions.h"

#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"

namespace lumora {

void LivePaneActions::attach(const std::shared_ptr<ChannelMgmtController>& grid, LiveToolBar* bar) {
    grid_ = grid;
    bar_ = bar;
}

ChannelViewController* LivePaneActions::selectedPane() const {
    auto grid = grid_.lock();
    return grid ? grid->selectedChannelViewController() : nullptr;
}

void LivePaneActions::toggleListening() {
    auto grid = grid_.lock();
    ChannelViewController* p = grid ? grid->selectedChannelViewController() : nullptr;
    if (!p || (p->state() != 1 && p->state() != 2)) return;
    bool on;
    if (p->isStartAudio()) {
        p->stopAudio();
        on = false;
    } else {
        if (ChannelViewController* other = grid->findAudioPlayingViewController(); other && other != p) {
            other->stopAudio();
            if (bar_) bar_->markListening(false);
        }
        if (!p->startAudio()) return;
        on = true;
    }
    isClickAudio_ = on;
    if (bar_) bar_->markListening(on);
}

void LivePaneActions::toggleTalking() {
    auto grid = grid_.lock();
    ChannelViewController* p = grid ? grid->selectedChannelViewController() : nullptr;
    if (!p || (p->state() != 1 && p->state() != 2)) return;
    LiveToolBar* bar = bar_.data();
    if (p->isStartTalk()) {
        p->stopTalk();
        if (bar) bar->markTalking(false);
        if (p->isStartAudio() && !isClickAudio_) {
            p->stopAudio();
            if (bar) bar->markListening(false);
        }
        return;
    }
    if (ChannelViewController* other = grid->findTalkingViewController(); other && other != p) {
        other->stopTalk();
        if (bar) bar->markTalking(false);
        p->startTalk();
        if (bar) bar->markTalking(true);
        other->stopAudio();
        if (bar) bar->markListening(false);
    } else {
        p->startTalk();
        if (bar) bar->markTalking(true);
    }
    if (!isClickAudio_ && !p->isStartAudio())
        if (p->startAudio() && bar) bar->markListening(true);
}

void LivePaneActions::toggleRecording() {
    ChannelViewController* p = selectedPane();
    if (!p) return;
    if (p->state() == 1) {
        if (p->spinner() && p->spinner()->isAnimating()) return;
        p->startRecord();
        if (bar_) bar_->markRecording(true);
    } else if (p->state() == 2) {
        p->stopRecord();
        if (bar_) bar_->markRecording(false);
    }
}

void LivePaneActions::snapshot() {
    if (ChannelViewController* p = selectedPane()) p->snapshot();
}

void LivePaneActions::ptz(int code) {
    if (ChannelViewController* p = selectedPane()) p->ptzControl(code);
}

}  // namespace lumora
