#include "ui/kit/UIFont.h"

#include <QFontMetricsF>
#include <QString>
#include <cmath>

namespace lumora {

UIFont::UIFont() : size_(17), bold_(false) {}

UIFont UIFont::systemFontOfSize(CGFloat size) { return UIFont(size, false); }
UIFont UIFont::boldSystemFontOfSize(CGFloat size) { return UIFont(size, true); }

UIFont UIFont::fontWithName(const std::string& name, CGFloat size) {
    bool bold = name.find("Bold") != std::string::npos || name.find("bold") != std::string::npos;
    return UIFont(size, bold);
}

const char* UIFont::familyName() { return "DejaVu Sans"; }

QFont UIFont::qFont() const {
    QFont f(QString::fromLatin1(familyName()));
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(size_))));
    f.setBold(bold_);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferDefault);
    return f;
}

CGFloat UIFont::lineHeight() const { return QFontMetricsF(qFont()).height(); }

CGSize UIFont::sizeOfText(const std::string& text) const {
    QFontMetricsF m(qFont());
    return CGSize{std::ceil(m.horizontalAdvance(QString::fromStdString(text))), std::ceil(m.height())};
}

}  // namespace lumora
