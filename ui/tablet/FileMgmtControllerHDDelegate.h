#pragma once

namespace lumora {

class FileViewMgmtControllerHD;

// What the tablet media grid tells the media manager (the phone media
// browser has its own, different delegate). Every callback is optional.
// Main thread.
class FileMgmtControllerHDDelegate {
public:
    virtual ~FileMgmtControllerHDDelegate() = default;
    // A long press on an item; `editable` is the grid's edit flag at that moment.
    virtual void longPressedCatchedInFileViewController(FileViewMgmtControllerHD* /*grid*/, bool /*editable*/) {}
    // A tap on a photo (index into the grid's photos) or a recording (into its videos).
    virtual void showTappedImageForIndex(int /*index*/) {}
    virtual void playTappedVideoForIndex(int /*index*/) {}
    virtual void cancleEditStatus() {}
    virtual void fileViewDeleteAtIndex(int /*index*/) {}
};

}  // namespace lumora
