#include "ui/kit/TextAudit.h"
#include "ui/kit/UIDatePicker.h"

#include <QPainter>
#include <ctime>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

UIDatePicker::UIDatePicker(const CGRect& frame)
    : UIControl(CGRect{frame.origin, {frame.size.width > 0 ? frame.size.width : 320, 216}}),
      date_(std::chrono::time_point_cast<std::chrono::system_clock::duration>(std::chrono::system_clock::now())) {
    setBackgroundColor(UIColor::colorWithWhite(0.9, 1));
}

UIDatePicker::Date UIDatePicker::clamp(Date d) const {
    if (d < minimumDate) d = minimumDate;
    if (d > maximumDate) d = maximumDate;
    return d;
}

void UIDatePicker::setDate(Date date, bool) {
    date_ = clamp(date);
    update();
}

void UIDatePicker::userSetDate(Date date) {
    Date d = clamp(date);
    bool changed = d != date_;
    date_ = d;
    update();
    if (changed) sendActionsForControlEvents(UIControlEventValueChanged);
}

std::string UIDatePicker::displayedText() const {
    std::time_t t = std::chrono::system_clock::to_time_t(date_);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    const char* fmt = datePickerMode == UIDatePickerMode::Time   ? "%H:%M"
                      : datePickerMode == UIDatePickerMode::Date ? "%Y-%m-%d"
                                                                 : "%Y-%m-%d %H:%M";
    std::strftime(buf, sizeof buf, fmt, &tm);
    return buf;
}

void UIDatePicker::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    QRectF band(4, rect.size.height / 2 - 22, rect.size.width - 8, 44);
    p.fillRect(band, Qt::white);
    p.setPen(QColor(90, 110, 160));
    p.drawRect(band);
    p.setFont(UIFont::boldSystemFontOfSize(20).qFont());
    p.setPen(Qt::black);
    const std::string shown = displayedText();
    TextAudit::drawText(p, this, band, Qt::AlignCenter, QString::fromStdString(shown), shown, false);
}

}  // namespace lumora
