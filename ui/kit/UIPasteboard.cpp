#include "ui/kit/UIPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace lumora {

UIPasteboard& UIPasteboard::generalPasteboard() {
    static UIPasteboard p;
    return p;
}

std::string UIPasteboard::string() const {
    if (!qApp) return {};
    return QGuiApplication::clipboard()->text().toStdString();
}

void UIPasteboard::setString(const std::string& text) {
    if (qApp) QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

}  // namespace lumora
