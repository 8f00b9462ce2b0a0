#pragma once

#include <chrono>

#include "ui/kit/UIControl.h"

namespace lumora {

enum class UIDatePickerMode { Time, Date, DateAndTime, CountDownTimer };

// Shows a date and time (local time); the user's change sends
// value-changed, setDate in code sends nothing. Minimum and maximum clamp.
class UIDatePicker : public UIControl {
public:
    using Date = std::chrono::system_clock::time_point;

    explicit UIDatePicker(const CGRect& frame = CGRectZero);

    UIDatePickerMode datePickerMode = UIDatePickerMode::DateAndTime;
    Date date() const { return date_; }
    void setDate(Date date, bool animated = false);
    Date minimumDate{};
    Date maximumDate = Date::max();
    // As the user turning the wheels.
    void userSetDate(Date date);
    std::string displayedText() const;

    void drawRect(const CGRect& rect) override;

private:
    Date clamp(Date d) const;
    Date date_;
};

}  // namespace lumora
