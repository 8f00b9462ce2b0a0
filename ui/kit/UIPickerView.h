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
// middle band. A tap above or below the band moves that wheel one row and
// tells the delegate; selectRow in code tells nobody.
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

    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    CGRect componentRect(int component) const;
    std::vector<int> selected_;
};

}  // namespace lumora
