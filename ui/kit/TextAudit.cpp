#include "ui/kit/TextAudit.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

namespace lumora {

namespace {
bool recording = false;
bool suppressed = false;
std::vector<TextAudit::Record> records;
}  // namespace

void TextAudit::startRecording() {
    records.clear();
    recording = true;
}

std::vector<TextAudit::Record> TextAudit::stopRecording() {
    recording = false;
    std::vector<Record> out;
    out.swap(records);
    return out;
}

bool TextAudit::isRecording() { return recording; }
void TextAudit::setSuppressed(bool on) { suppressed = on; }
bool TextAudit::isSuppressed() { return suppressed; }

void TextAudit::drawText(QPainter& painter, QWidget* view, const QRectF& room, int flags, const QString& shown,
                         const std::string& text, bool cut, bool disabled) {
    if (!suppressed) painter.drawText(room, flags, shown);
    if (!recording || shown.isEmpty()) return;
    if (!view) view = dynamic_cast<QWidget*>(painter.device());
    Record r;
    r.view = view;
    r.text = text;
    r.shown = shown;
    r.room = room;
    r.flags = flags;
    r.font = painter.font();
    r.colour = painter.pen().color();
    r.opacity = painter.opacity();
    r.disabled = disabled;
    const QFontMetricsF m(r.font);
    if (flags & Qt::TextWordWrap) {
        const QRectF need = m.boundingRect(QRectF(0, 0, room.width(), 1e6), flags & ~Qt::AlignVertical_Mask, shown);
        cut = cut || need.height() > room.height() + 1 || need.width() > room.width() + 1;
    } else {
        cut = cut || m.horizontalAdvance(shown) > room.width() + 1;
    }
    r.cut = cut;
    // Window pixels: the painter's own transform (a view's scale), then the
    // view's place in its window and the device's pixel ratio.
    QTransform t = painter.transform();
    if (view) {
        const QPoint at = view->mapTo(view->window(), QPoint(0, 0));
        t = t * QTransform::fromTranslate(at.x(), at.y());
        const qreal ratio = view->devicePixelRatioF();
        if (ratio != 1) t = t * QTransform::fromScale(ratio, ratio);
    }
    r.toWindow = t;
    records.push_back(std::move(r));
}

void TextAudit::replay(QPainter& painter, const Record& r) {
    painter.save();
    painter.setTransform(r.toWindow);
    painter.setFont(r.font);
    painter.setPen(r.colour);
    painter.setOpacity(r.opacity);
    painter.drawText(r.room, r.flags, r.shown);
    painter.restore();
}

}  // namespace lumora
