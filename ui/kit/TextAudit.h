#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <string>
#include <vector>

class QPainter;
class QWidget;

namespace lumora {

// Every text the toolkit draws goes through drawAuditedText, so a check can
// tell what a user sees of it: whether it was cut short (an ellipsis, a
// wrapped text taller than its room, a line wider than its room), and, by
// drawing it again over the window painted without texts, whether other
// views cover or clip it and how it stands out from what is behind it.
//
// Off by default: drawing then costs one flag test. Main thread only.
class TextAudit {
public:
    struct Record {
        QPointer<QWidget> view;
        std::string text;  // the whole text
        QString shown;     // as drawn (after elision)
        QRectF room;       // the rectangle it was given, in the painter's coordinates
        int flags = 0;     // Qt alignment and wrap flags
        QFont font;
        QColor colour;
        double opacity = 1;
        QTransform toWindow;  // painter coordinates to window pixels
        bool cut = false;     // elided, or too long for its room
        bool disabled = false;
    };

    // While recording, each drawn text adds a record.
    static void startRecording();
    static std::vector<Record> stopRecording();
    static bool isRecording();
    // While suppressed, texts are not drawn (everything else is): the
    // window painted so shows what lies behind each text.
    static void setSuppressed(bool on);
    static bool isSuppressed();

    // Draws `shown` (the text `text` after any elision) in `room` with the
    // painter's font and pen. `cut` says the caller shortened the text; a
    // single line wider than its room or wrapped lines taller than it count
    // as cut too. `disabled`: a control's text drawn greyed out on purpose.
    static void drawText(QPainter& painter, QWidget* view, const QRectF& room, int flags, const QString& shown,
                         const std::string& text, bool cut, bool disabled = false);

    // Draws one record again with its own transform (for the check).
    static void replay(QPainter& painter, const Record& record);
};

}  // namespace lumora
