#include "ui/kit/ClipboardPasteboardBackend.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

namespace {

bool onGuiThread() { return qApp && QThread::currentThread() == qApp->thread(); }

}  // namespace

void ClipboardPasteboardBackend::install() {
    Pasteboard::generalPasteboard().setBackend(std::make_shared<ClipboardPasteboardBackend>());
}

void ClipboardPasteboardBackend::setString(const std::string& text) {
    {
        std::lock_guard<std::mutex> g(lock_);
        last_ = text;
    }
    if (onGuiThread()) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
        return;
    }
    DispatchQueue::main()->async([text] {
        if (qApp) QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    });
}

std::string ClipboardPasteboardBackend::string() const {
    if (onGuiThread()) {
        std::string now = QGuiApplication::clipboard()->text().toStdString();
        std::lock_guard<std::mutex> g(lock_);
        last_ = now;
        return now;
    }
    std::lock_guard<std::mutex> g(lock_);
    return last_;
}

}  // namespace lumora
