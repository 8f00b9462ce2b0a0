#pragma once

#include <string>
#include <vector>

#include "ui/kit/UIView.h"

namespace lumora {

class UIPickerView;

class UIPickerViewDataSource {
public:
    virtual ~UIPickerViewDataSource() = default;
    virtual int numberOfComponentsInPickerView(UIPickerView*) = 0;
    virtual int numberOfRowsInComponent(UIPickerView*, int component) = 0;
};

class UIPickerViewDelegate {
public:
    virtual ~UIPickerViewDelegate() = default;
    virtual std::string titleForRow(UIPickerView*, int /*row*/, int /*component*/) { return {}; }
    virtual void didSelectRow(UIPickerView*, int /*row*/, int /*component*/) {}
    virtual CGFloat widthForComponent(UIPickerView*, int /*component*/) { return 0; }
};

// Wheels of rows, one per component, each showing its selected row in the
// middle band. The picker takes every touch that starts on it: a tap on a
// row above or below the band brings that row into the band, a drag turns
// the wheel under the finger row by row, and so does the mouse wheel; each
// tells the delegate of the row it ends on. selectRow in code tells nobody.
class UIPickerView : public UIView {
public:
    explicit UIPickerView(const CGRect& frame = CGRectZero);

    UIPickerViewDataSource* dataSource = nullptr;  // not owned
    UIPickerViewDelegate* delegate = nullptr;      // not owned
    bool showsSelectionIndicator = true;

    int numberOfComponents() const;
    int numberOfRowsInComponent(int component) const;
    int selectedRowInComponent(int component) const;
    void selectRow(int row, int component, bool animated);
    void reloadAllComponents();
    void reloadComponent(int component) { (void)component; reloadAllComponents(); }
    // As the user turning the wheel: selects and tells the delegate.
    bool userSelectRow(int row, int component);

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    CGRect componentRect(int component) const;
    int componentAt(CGPoint point) const;
    // The touch in progress: its wheel, where it started and the row then.
    struct Turn {
        int component = -1;
        CGFloat startY = 0;
        int startRow = 0;
        bool dragged = false;
    };
    Turn turn_;
    int wheelRemainder_ = 0;
    std::vector<int> selected_;
};

}  // namespace lumora
