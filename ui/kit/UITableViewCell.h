#pragma once

#include <QPointer>
#include <string>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"

namespace lumora {

class UIButton;
class UIImageView;
class UILabel;
class UITableView;

enum class UITableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class UITableViewCellAccessoryType { None, DisclosureIndicator, DetailDisclosureButton, Checkmark };
enum class UITableViewCellSelectionStyle { None, Blue, Gray };
enum class UITableViewCellEditingStyle { None, Delete, Insert };

// One row of a table: an image, a text label and (styles other than
// Default) a detail label in a content view, an accessory, and in editing
// mode a delete control that turns into a Delete button. Custom subviews
// go into contentView().
class UITableViewCell : public UIView {
public:
    explicit UITableViewCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                             const std::string& reuseIdentifier = {});

    UITableViewCellStyle style() const { return style_; }
    const std::string& reuseIdentifier() const { return reuseId_; }
    UIView* contentView() const { return content_.data(); }
    UILabel* textLabel() const { return text_.data(); }
    // nullptr in the Default style.
    UILabel* detailTextLabel() const { return detail_.data(); }
    UIImageView* imageView() const { return image_.data(); }

    UITableViewCellAccessoryType accessoryType() const { return accessory_; }
    void setAccessoryType(UITableViewCellAccessoryType type);
    UIView* accessoryView() const { return accessoryView_.data(); }
    void setAccessoryView(UIView* view);
    UITableViewCellSelectionStyle selectionStyle = UITableViewCellSelectionStyle::Blue;

    bool isSelected() const { return selected_; }
    void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted, bool animated = false);
    bool isEditing() const { return editing_; }
    void setEditing(bool editing, bool animated = false);
    bool showsDeleteConfirmation() const { return confirming_; }

    // ---- from the table
    void setTable(UITableView* table) { table_ = table; }
    UITableView* table() const { return table_.data(); }

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    void markTexts();
    void showDeleteButton(bool on);

    UITableViewCellStyle style_;
    std::string reuseId_;
    QPointer<UIView> content_;
    QPointer<UILabel> text_, detail_;
    QPointer<UIImageView> image_;
    UITableViewCellAccessoryType accessory_ = UITableViewCellAccessoryType::None;
    QPointer<UIView> accessoryView_;
    QPointer<UIButton> accessoryButton_;
    QPointer<UIButton> deleteControl_, deleteButton_;
    bool selected_ = false, highlighted_ = false, editing_ = false, confirming_ = false;
    QPointer<UITableView> table_;
};

}  // namespace lumora
