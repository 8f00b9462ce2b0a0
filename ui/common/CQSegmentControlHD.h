#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UISegmentedControl.h"

namespace lumora {

class CQSegmentControlHD;

class CQSegmentControlDelegate {
public:
    virtual ~CQSegmentControlDelegate() = default;
    virtual void segmentControlValueChanged(CQSegmentControlHD* control, int oldValue, int newValue) = 0;
};

// One segment's item: a title or a picture.
struct CQSegmentItem {
    std::string title;
    std::shared_ptr<UIImage> image;
};

// A segmented control that draws itself and selects on touch-down. In the
// image style (segmentedType 1) every segment is a picture: its normal one,
// or its highlighted one while selected. Other styles paint a rounded,
// shaded bar with the titles or pictures. A touch selects the segment under
// the finger at once and tells the delegate (old and new index) when the
// selection changed; no value-changed action is sent.
class CQSegmentControlHD : public UISegmentedControl {
public:
    static constexpr int kImageStyle = 1;

    CQSegmentControlHD(const std::vector<CQSegmentItem>& items, int stype);

    std::vector<CQSegmentItem> items;
    std::vector<std::shared_ptr<UIImage>> normalImageItems;
    std::vector<std::shared_ptr<UIImage>> highlightImageItems;
    // While true the control draws and tracks touches itself.
    bool canCustom = true;
    CQSegmentControlDelegate* delegate_ = nullptr;  // not owned

    int numberOfSegments() const;
    int segmentedType() const { return segmentedType_; }
    void setSegmentedType(int type);
    // The drawn style's title font; bold 12 until set.
    UIFont font();
    void setFont(const UIFont& font);
    // Item colours of the drawn style; white until set.
    UIColor selectedItemColor();
    void setSelectedItemColor(const UIColor& color);
    UIColor unselectedItemColor();
    void setUnselectedItemColor(const UIColor& color);
    // The platform control style: 1 bordered, others plain.
    int segmentedControlStyle() const { return controlStyle_; }
    void setSegmentedControlStyle(int style);

    void setTitle(const std::string& title, int index);
    void setImage(std::shared_ptr<UIImage> image, int index);
    void insertSegmentWithTitle(const std::string& title, int index, bool animated);
    void insertSegmentWithImage(std::shared_ptr<UIImage> image, int index, bool animated);
    void removeSegmentAtIndex(int index, bool animated);
    void setNormalImage(std::shared_ptr<UIImage> image, int index);
    void setHighlightedImage(std::shared_ptr<UIImage> image, int index);

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    void drawImageStyle(const CGRect& rect);
    void drawPaintedStyle(const CGRect& rect);
    void insertItem(CQSegmentItem item, int index);

    int segmentedType_ = 0;
    int controlStyle_ = 0;
    std::optional<UIFont> font_;
    std::optional<UIColor> selectedItemColor_, unselectedItemColor_;
};

}  // namespace lumora
