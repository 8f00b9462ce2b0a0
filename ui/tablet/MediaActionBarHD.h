#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class UIImageView;
class UILabel;
class UIView;

// The top bar of the tablet's photo viewer and recording player: a
// background image "ttoolbarbg.png" (width x 58, takes touches) holding a
// translucent toolbar at (0, 7, width, 44) with back, a flexible space, an
// optional centre label between flexible spaces, and the actions: "save to
// album" (155 x 41) and delete (41 x 41) in a 201 x 58 view.
//
// Views are named for tests: "toolBarBgView", "mediaToolBar", "backButton",
// "saveButton", "deleteButton".
class MediaActionBarHD {
public:
    struct Actions {
        std::function<void()> back;
        std::function<void()> save;
        std::function<void()> remove;
    };

    static constexpr CGFloat kHeight = 58;

    // The screen's own actions; a tap after the screen has gone does nothing.
    template <class Screen>
    static Actions actionsOf(Screen& screen, void (Screen::*back)(), void (Screen::*save)(), void (Screen::*remove)()) {
        std::weak_ptr<UIViewController> weak = screen.weak_from_this();
        auto call = [weak](void (Screen::*action)()) -> std::function<void()> {
            return [weak, action] {
                if (auto self = std::static_pointer_cast<Screen>(weak.lock())) ((*self).*action)();
            };
        };
        return Actions{call(back), call(save), call(remove)};
    }

    // The background view at (0, 0, width, 58); the caller adds it to its view.
    static UIImageView* makeBackground(CGFloat width);
    // Puts a new toolbar with the items into the background, replacing the
    // one an earlier call put there. `centre` (may be null) goes between the
    // back button and the actions; the toolbar shows it but does not own it.
    static void installToolbar(UIImageView* background, UILabel* centre, Actions actions);

    // What both screens share behind the actions.
    // The frame a screen's view is made with: the window's bounds once the
    // screen is being presented, else the landscape screen.
    static CGRect viewFrame(const UIViewController& screen);
    // Removes the file; when it cannot be removed the user is told and the
    // answer is false.
    static bool removeFile(const std::string& path);
    // The "Saved" toast over the view (nothing without a view).
    static void showSaved(UIView* view);
};

}  // namespace lumora
