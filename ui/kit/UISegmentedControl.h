#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIControl.h"

namespace lumora {

// Segments of equal width with a title or image each; a tap on a segment
// selects it and sends value-changed (only when the selection changed,
// unless momentary). Selecting in code sends nothing.
class UISegmentedControl : public UIControl {
public:
    static constexpr int kNoSegment = -1;

    explicit UISegmentedControl(const std::vector<std::string>& titles = {});

    int numberOfSegments() const { return static_cast<int>(segments_.size()); }
    void insertSegmentWithTitle(const std::string& title, int index);
    void setTitle(const std::string& title, int segment);
    std::string titleForSegmentAtIndex(int segment) const;
    void setImage(std::shared_ptr<UIImage> image, int segment);
    void setEnabled(bool enabled, int segment);
    // A segment of its own width (0: an equal share of what the others leave).
    void setWidth(CGFloat width, int segment);
    bool isEnabledForSegmentAtIndex(int segment) const;
    void removeAllSegments();

    int selectedSegmentIndex() const { return selected_; }
    void setSelectedSegmentIndex(int index);
    bool momentary = false;
    UIColor tintColor;

    CGRect rectForSegment(int segment) const;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    struct Segment {
        std::string title;
        std::shared_ptr<UIImage> image;
        bool enabled = true;
        CGFloat width = 0;
    };
    std::vector<Segment> segments_;
    int selected_ = kNoSegment;
};

}  // namespace lumora
