#include "ui/art/ArtPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextOption>

#include <cmath>
#include <functional>
#include <map>

namespace lumora {

namespace {

QColor colourOf(const std::string& text) {
    if (text == "-") return QColor(Qt::transparent);
    const unsigned long v = std::stoul(text.substr(1), nullptr, 16);
    if (text.size() == 9) {
        return QColor(int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff), int((v >> 24) & 0xff));
    }
    return QColor(int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff));
}

// Glyphs are drawn in a unit square (0..1 both ways); the caller maps it onto
// the glyph's box. `ink` is the glyph colour, `back` the colour behind it
// (used to cut holes into filled shapes on a coloured background).
struct Pen {
    QPainter& p;
    QColor ink;

    void stroke(double width) const {
        QPen pen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
    }
    void fill() const {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
    }
    void polyline(std::initializer_list<QPointF> pts, double width) const {
        stroke(width);
        p.drawPolyline(std::data(pts), int(pts.size()));
    }
    void polygon(std::initializer_list<QPointF> pts) const {
        fill();
        p.drawPolygon(std::data(pts), int(pts.size()));
    }
    void path(const QPainterPath& path) const {
        fill();
        p.drawPath(path);
    }
};

void triangle(const Pen& g, double angleDeg) {
    // An arrow head pointing right, turned by the angle, with softened corners.
    g.p.save();
    g.p.translate(0.5, 0.5);
    g.p.rotate(angleDeg);
    QPainterPath path;
    path.moveTo(0.32, 0);
    path.lineTo(-0.2, -0.32);
    path.lineTo(-0.2, 0.32);
    path.closeSubpath();
    QPen pen(g.ink, 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    g.p.setPen(pen);
    g.p.setBrush(g.ink);
    g.p.drawPath(path);
    g.p.restore();
}

void magnifier(const Pen& g, bool plus) {
    g.stroke(0.09);
    g.p.drawEllipse(QPointF(0.42, 0.42), 0.28, 0.28);
    g.stroke(0.14);
    g.p.drawLine(QPointF(0.63, 0.63), QPointF(0.88, 0.88));
    g.stroke(0.08);
    g.p.drawLine(QPointF(0.29, 0.42), QPointF(0.55, 0.42));
    if (plus) g.p.drawLine(QPointF(0.42, 0.29), QPointF(0.42, 0.55));
}

void cornerMarks(const Pen& g) {
    const double a = 0.1, b = 0.9, l = 0.22, w = 0.08;
    g.polyline({{a, a + l}, {a, a}, {a + l, a}}, w);
    g.polyline({{b - l, a}, {b, a}, {b, a + l}}, w);
    g.polyline({{a, b - l}, {a, b}, {a + l, b}}, w);
    g.polyline({{b - l, b}, {b, b}, {b, b - l}}, w);
}

void grid(const Pen& g, int n) {
    const double margin = 0.1, gap = n > 3 ? 0.05 : 0.07;
    const double cell = (1 - 2 * margin - gap * (n - 1)) / n;
    g.fill();
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            g.p.drawRoundedRect(QRectF(margin + c * (cell + gap), margin + r * (cell + gap), cell, cell), 0.03, 0.03);
        }
    }
}

using GlyphFn = std::function<void(const Pen&)>;

const std::map<std::string, GlyphFn>& glyphs() {
    static const std::map<std::string, GlyphFn> table = {
        {"none", [](const Pen&) {}},
        {"check", [](const Pen& g) { g.polyline({{0.14, 0.52}, {0.4, 0.78}, {0.88, 0.24}}, 0.14); }},
        {"signal",
         [](const Pen& g) {
             g.fill();
             for (int i = 0; i < 4; ++i) {
                 const double h = 0.22 + 0.2 * i;
                 g.p.drawRoundedRect(QRectF(0.1 + i * 0.22, 0.9 - h, 0.15, h), 0.03, 0.03);
             }
         }},
        {"heart",
         [](const Pen& g) {
             QPainterPath path;
             path.moveTo(0.5, 0.88);
             path.cubicTo(0.05, 0.58, 0.02, 0.3, 0.2, 0.18);
             path.cubicTo(0.34, 0.1, 0.46, 0.18, 0.5, 0.3);
             path.cubicTo(0.54, 0.18, 0.66, 0.1, 0.8, 0.18);
             path.cubicTo(0.98, 0.3, 0.95, 0.58, 0.5, 0.88);
             g.path(path);
         }},
        {"dvr",
         [](const Pen& g) {
             g.stroke(0.07);
             g.p.drawRoundedRect(QRectF(0.08, 0.3, 0.84, 0.4), 0.08, 0.08);
             g.fill();
             g.p.drawEllipse(QPointF(0.24, 0.5), 0.055, 0.055);
             g.p.drawEllipse(QPointF(0.4, 0.5), 0.055, 0.055);
             g.stroke(0.06);
             g.p.drawLine(QPointF(0.56, 0.5), QPointF(0.8, 0.5));
             g.p.drawLine(QPointF(0.2, 0.7), QPointF(0.2, 0.8));
             g.p.drawLine(QPointF(0.8, 0.7), QPointF(0.8, 0.8));
         }},
        {"ipc",
         [](const Pen& g) {
             QPainterPath body;
             body.addRoundedRect(QRectF(0.1, 0.2, 0.62, 0.34), 0.08, 0.08);
             body.moveTo(0.72, 0.3);
             body.lineTo(0.92, 0.22);
             body.lineTo(0.92, 0.52);
             body.lineTo(0.72, 0.44);
             body.closeSubpath();
             g.path(body);
             g.stroke(0.08);
             g.p.drawLine(QPointF(0.36, 0.56), QPointF(0.36, 0.82));
             g.p.drawLine(QPointF(0.18, 0.84), QPointF(0.54, 0.84));
         }},
        {"folder",
         [](const Pen& g) {
             QPainterPath path;
             path.moveTo(0.06, 0.24);
             path.lineTo(0.38, 0.24);
             path.lineTo(0.46, 0.32);
             path.lineTo(0.94, 0.32);
             path.lineTo(0.94, 0.84);
             path.lineTo(0.06, 0.84);
             path.closeSubpath();
             g.path(path);
             QColor lighter = g.ink.lighter(120);
             g.p.setBrush(lighter);
             g.p.drawRect(QRectF(0.06, 0.4, 0.88, 0.44));
         }},
        {"file",
         [](const Pen& g) {
             QPainterPath page;
             page.moveTo(0.2, 0.06);
             page.lineTo(0.62, 0.06);
             page.lineTo(0.82, 0.26);
             page.lineTo(0.82, 0.94);
             page.lineTo(0.2, 0.94);
             page.closeSubpath();
             g.path(page);
             g.p.setBrush(g.ink.lighter(140));
             g.p.drawPolygon(QPolygonF({QPointF(0.62, 0.06), QPointF(0.82, 0.26), QPointF(0.62, 0.26)}));
             QPen pen(g.ink.darker(140), 0.05, Qt::SolidLine, Qt::RoundCap);
             g.p.setPen(pen);
             for (double y : {0.46, 0.6, 0.74}) g.p.drawLine(QPointF(0.32, y), QPointF(0.7, y));
         }},
        {"photo",
         [](const Pen& g) {
             g.stroke(0.07);
             g.p.drawRoundedRect(QRectF(0.1, 0.2, 0.8, 0.6), 0.06, 0.06);
             g.polygon({{0.16, 0.74}, {0.4, 0.44}, {0.56, 0.62}, {0.66, 0.52}, {0.84, 0.74}});
             g.p.drawEllipse(QPointF(0.7, 0.34), 0.06, 0.06);
         }},
        {"film",
         [](const Pen& g) {
             QPainterPath path;
             path.setFillRule(Qt::OddEvenFill);
             path.addRoundedRect(QRectF(0.14, 0.12, 0.72, 0.76), 0.05, 0.05);
             for (int i = 0; i < 4; ++i) {
                 path.addRect(QRectF(0.19, 0.18 + i * 0.18, 0.08, 0.1));
                 path.addRect(QRectF(0.73, 0.18 + i * 0.18, 0.08, 0.1));
             }
             path.addRect(QRectF(0.33, 0.18, 0.34, 0.28));
             path.addRect(QRectF(0.33, 0.54, 0.34, 0.28));
             g.path(path);
         }},
        {"fullscreen",
         [](const Pen& g) {
             const double w = 0.1;
             g.polyline({{0.12, 0.36}, {0.12, 0.12}, {0.36, 0.12}}, w);
             g.polyline({{0.64, 0.12}, {0.88, 0.12}, {0.88, 0.36}}, w);
             g.polyline({{0.12, 0.64}, {0.12, 0.88}, {0.36, 0.88}}, w);
             g.polyline({{0.64, 0.88}, {0.88, 0.88}, {0.88, 0.64}}, w);
         }},
        {"exitfull",
         [](const Pen& g) {
             const double w = 0.1;
             g.polyline({{0.12, 0.38}, {0.38, 0.38}, {0.38, 0.12}}, w);
             g.polyline({{0.62, 0.12}, {0.62, 0.38}, {0.88, 0.38}}, w);
             g.polyline({{0.12, 0.62}, {0.38, 0.62}, {0.38, 0.88}}, w);
             g.polyline({{0.62, 0.88}, {0.62, 0.62}, {0.88, 0.62}}, w);
         }},
        {"forward",
         [](const Pen& g) {
             g.polygon({{0.08, 0.22}, {0.5, 0.5}, {0.08, 0.78}});
             g.polygon({{0.48, 0.22}, {0.9, 0.5}, {0.48, 0.78}});
         }},
        {"backward",
         [](const Pen& g) {
             g.polygon({{0.92, 0.22}, {0.5, 0.5}, {0.92, 0.78}});
             g.polygon({{0.52, 0.22}, {0.1, 0.5}, {0.52, 0.78}});
         }},
        {"play", [](const Pen& g) { triangle(g, 0); }},
        {"pause",
         [](const Pen& g) {
             g.fill();
             g.p.drawRoundedRect(QRectF(0.22, 0.16, 0.2, 0.68), 0.04, 0.04);
             g.p.drawRoundedRect(QRectF(0.58, 0.16, 0.2, 0.68), 0.04, 0.04);
         }},
        {"stop",
         [](const Pen& g) {
             g.fill();
             g.p.drawRoundedRect(QRectF(0.22, 0.22, 0.56, 0.56), 0.06, 0.06);
         }},
        {"record",
         [](const Pen& g) {
             g.fill();
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.3, 0.3);
         }},
        {"up", [](const Pen& g) { triangle(g, -90); }},
        {"down", [](const Pen& g) { triangle(g, 90); }},
        {"left", [](const Pen& g) { triangle(g, 180); }},
        {"right", [](const Pen& g) { triangle(g, 0); }},
        {"zoomin", [](const Pen& g) { magnifier(g, true); }},
        {"zoomout", [](const Pen& g) { magnifier(g, false); }},
        {"focusnear",
         [](const Pen& g) {
             cornerMarks(g);
             g.stroke(0.07);
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.2, 0.2);
             g.fill();
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.07, 0.07);
         }},
        {"focusfar",
         [](const Pen& g) {
             cornerMarks(g);
             g.polygon({{0.26, 0.66}, {0.42, 0.4}, {0.52, 0.54}, {0.6, 0.46}, {0.74, 0.66}});
         }},
        {"irisopen",
         [](const Pen& g) {
             g.stroke(0.07);
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.38, 0.38);
             g.fill();
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.26, 0.26);
         }},
        {"irisclose",
         [](const Pen& g) {
             g.stroke(0.07);
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.38, 0.38);
             g.fill();
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.1, 0.1);
         }},
        {"speaker",
         [](const Pen& g) {
             g.polygon({{0.1, 0.38}, {0.26, 0.38}, {0.46, 0.18}, {0.46, 0.82}, {0.26, 0.62}, {0.1, 0.62}});
             g.stroke(0.07);
             g.p.drawArc(QRectF(0.42, 0.3, 0.24, 0.4), -50 * 16, 100 * 16);
             g.p.drawArc(QRectF(0.4, 0.16, 0.46, 0.68), -50 * 16, 100 * 16);
         }},
        {"mic",
         [](const Pen& g) {
             g.fill();
             g.p.drawRoundedRect(QRectF(0.36, 0.08, 0.28, 0.5), 0.14, 0.14);
             g.stroke(0.07);
             g.p.drawArc(QRectF(0.24, 0.22, 0.52, 0.5), 180 * 16, 180 * 16);
             g.p.drawLine(QPointF(0.5, 0.72), QPointF(0.5, 0.88));
             g.p.drawLine(QPointF(0.34, 0.9), QPointF(0.66, 0.9));
         }},
        {"camera",
         [](const Pen& g) {
             QPainterPath path;
             path.setFillRule(Qt::OddEvenFill);
             path.addRoundedRect(QRectF(0.08, 0.28, 0.84, 0.56), 0.08, 0.08);
             path.addEllipse(QPointF(0.5, 0.56), 0.19, 0.19);
             path.addEllipse(QPointF(0.5, 0.56), 0.11, 0.11);
             g.path(path);
             g.polygon({{0.32, 0.3}, {0.38, 0.18}, {0.62, 0.18}, {0.68, 0.3}});
         }},
        {"grid1",
         [](const Pen& g) {
             g.fill();
             g.p.drawRoundedRect(QRectF(0.12, 0.12, 0.76, 0.76), 0.05, 0.05);
         }},
        {"grid4", [](const Pen& g) { grid(g, 2); }},
        {"grid9", [](const Pen& g) { grid(g, 3); }},
        {"grid16", [](const Pen& g) { grid(g, 4); }},
        {"grid6",
         [](const Pen& g) {
             const double m = 0.1, gap = 0.07, cell = (1 - 2 * m - 2 * gap) / 3;
             g.fill();
             g.p.drawRoundedRect(QRectF(m, m, 2 * cell + gap, 2 * cell + gap), 0.03, 0.03);
             for (int i = 0; i < 3; ++i) {
                 g.p.drawRoundedRect(QRectF(m + 2 * (cell + gap), m + i * (cell + gap), cell, cell), 0.03, 0.03);
             }
             for (int i = 0; i < 2; ++i) {
                 g.p.drawRoundedRect(QRectF(m + i * (cell + gap), m + 2 * (cell + gap), cell, cell), 0.03, 0.03);
             }
         }},
        {"more",
         [](const Pen& g) {
             g.fill();
             for (double x : {0.22, 0.5, 0.78}) g.p.drawEllipse(QPointF(x, 0.5), 0.09, 0.09);
         }},
        {"list",
         [](const Pen& g) {
             g.fill();
             for (double y : {0.25, 0.5, 0.75}) g.p.drawEllipse(QPointF(0.16, y), 0.06, 0.06);
             g.stroke(0.09);
             for (double y : {0.25, 0.5, 0.75}) g.p.drawLine(QPointF(0.32, y), QPointF(0.86, y));
         }},
        {"home",
         [](const Pen& g) {
             QPainterPath path;
             path.setFillRule(Qt::OddEvenFill);
             path.moveTo(0.5, 0.1);
             path.lineTo(0.92, 0.48);
             path.lineTo(0.8, 0.48);
             path.lineTo(0.8, 0.88);
             path.lineTo(0.2, 0.88);
             path.lineTo(0.2, 0.48);
             path.lineTo(0.08, 0.48);
             path.closeSubpath();
             path.addRect(QRectF(0.42, 0.62, 0.16, 0.26));
             g.path(path);
         }},
        {"pencil",
         [](const Pen& g) {
             g.p.save();
             g.p.translate(0.5, 0.5);
             g.p.rotate(-45);
             g.fill();
             g.p.drawRect(QRectF(-0.24, -0.1, 0.5, 0.2));
             g.p.drawPolygon(QPolygonF({QPointF(-0.28, -0.1), QPointF(-0.44, 0), QPointF(-0.28, 0.1)}));
             g.p.drawRoundedRect(QRectF(0.3, -0.1, 0.12, 0.2), 0.03, 0.03);
             g.p.restore();
         }},
        {"plus",
         [](const Pen& g) {
             g.stroke(0.14);
             g.p.drawLine(QPointF(0.5, 0.18), QPointF(0.5, 0.82));
             g.p.drawLine(QPointF(0.18, 0.5), QPointF(0.82, 0.5));
         }},
        {"cross",
         [](const Pen& g) {
             g.stroke(0.14);
             g.p.drawLine(QPointF(0.26, 0.26), QPointF(0.74, 0.74));
             g.p.drawLine(QPointF(0.74, 0.26), QPointF(0.26, 0.74));
         }},
        {"back",
         [](const Pen& g) {
             g.polyline({{0.46, 0.2}, {0.16, 0.5}, {0.46, 0.8}}, 0.12);
             g.stroke(0.12);
             g.p.drawLine(QPointF(0.18, 0.5), QPointF(0.84, 0.5));
         }},
        {"chevronright", [](const Pen& g) { g.polyline({{0.38, 0.2}, {0.66, 0.5}, {0.38, 0.8}}, 0.11); }},
        {"chevrondown", [](const Pen& g) { g.polyline({{0.2, 0.38}, {0.5, 0.66}, {0.8, 0.38}}, 0.11); }},
        {"detail",
         [](const Pen& g) {
             g.stroke(0.08);
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.38, 0.38);
             g.polyline({{0.43, 0.3}, {0.62, 0.5}, {0.43, 0.7}}, 0.09);
         }},
        {"trash",
         [](const Pen& g) {
             g.stroke(0.08);
             g.p.drawLine(QPointF(0.16, 0.24), QPointF(0.84, 0.24));
             g.p.drawLine(QPointF(0.4, 0.12), QPointF(0.6, 0.12));
             g.polyline({{0.24, 0.3}, {0.3, 0.88}, {0.7, 0.88}, {0.76, 0.3}}, 0.08);
             g.stroke(0.06);
             for (double x : {0.4, 0.5, 0.6}) g.p.drawLine(QPointF(x, 0.38), QPointF(x, 0.78));
         }},
        {"gear",
         [](const Pen& g) {
             QPainterPath path;
             path.setFillRule(Qt::OddEvenFill);
             const int teeth = 8;
             for (int i = 0; i < teeth * 4; ++i) {
                 const double a = (i - 0.5) * M_PI / (teeth * 2);
                 const double r = (i % 4 == 0 || i % 4 == 1) ? 0.44 : 0.33;
                 const QPointF pt(0.5 + r * std::cos(a), 0.5 + r * std::sin(a));
                 if (i == 0) path.moveTo(pt); else path.lineTo(pt);
             }
             path.closeSubpath();
             path.addEllipse(QPointF(0.5, 0.5), 0.13, 0.13);
             g.path(path);
         }},
        {"help",
         [](const Pen& g) {
             g.stroke(0.08);
             g.p.drawEllipse(QPointF(0.5, 0.5), 0.4, 0.4);
             QPainterPath q;
             q.moveTo(0.36, 0.38);
             q.cubicTo(0.36, 0.2, 0.66, 0.2, 0.64, 0.38);
             q.cubicTo(0.63, 0.5, 0.5, 0.5, 0.5, 0.6);
             g.stroke(0.09);
             g.p.drawPath(q);
             g.fill();
             g.p.drawEllipse(QPointF(0.5, 0.73), 0.055, 0.055);
         }},
    };
    return table;
}

void drawBackground(QPainter& p, const ArtEntry& e, const QColor& c, const QColor& ink) {
    const QRectF r(0, 0, e.width, e.height);
    const double shortSide = std::min(e.width, e.height);
    auto gradient = [&](double lighten, double darken) {
        QLinearGradient lg(0, 0, 0, e.height);
        QColor top = c.lighter(int(100 + lighten));
        QColor bottom = c.darker(int(100 + darken));
        top.setAlpha(c.alpha());
        bottom.setAlpha(c.alpha());
        lg.setColorAt(0, top);
        lg.setColorAt(1, bottom);
        return lg;
    };
    if (e.background == "clear") return;
    if (e.background == "round" || e.background == "pill") {
        const double radius =
            e.background == "pill" ? shortSide / 2 : (shortSide <= 16 ? 4 : std::min(8.0, shortSide * 0.22));
        const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(c.darker(150), 1));
        p.setBrush(gradient(22, 8));
        p.drawRoundedRect(inner, radius, radius);
        QColor shine = c.lighter(160);
        shine.setAlpha(c.alpha() / 2);
        p.setPen(QPen(shine, 1));
        p.drawLine(QPointF(radius, 1.5), QPointF(e.width - radius, 1.5));
        return;
    }
    if (e.background == "circle") {
        p.setPen(Qt::NoPen);
        p.setBrush(gradient(18, 6));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
        return;
    }
    if (e.background == "bar" || e.background == "cell") {
        p.fillRect(r, gradient(e.background == "bar" ? 30 : 14, 0));
        p.fillRect(QRectF(0, 0, e.width, 1), c.lighter(150));
        p.fillRect(QRectF(0, e.height - 1, e.width, 1), c.darker(160));
        return;
    }
    if (e.background == "tile") {
        // Diagonal lines with a period that divides the tile: seamless when repeated.
        p.fillRect(r, c);
        p.setPen(QPen(ink, 1.5));
        for (int k = -e.height; k < e.width + e.height; k += 8) {
            p.drawLine(QPointF(k, e.height), QPointF(k + e.height, 0));
        }
        return;
    }
    if (e.background == "page") {
        p.fillRect(r, gradient(35, 35));
        QColor ring = ink;
        ring.setAlpha(24);
        p.setPen(QPen(ring, shortSide * 0.05));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(e.width * 0.85, e.height * 0.12), shortSide * 0.35, shortSide * 0.35);
        p.drawEllipse(QPointF(e.width * 0.08, e.height * 0.95), shortSide * 0.25, shortSide * 0.25);
    }
}

}  // namespace

ArtPainter::ArtPainter(QString fontFamily) : family_(std::move(fontFamily)) {}

bool ArtPainter::knowsGlyph(const std::string& glyph) { return glyphs().count(glyph) != 0; }

QImage ArtPainter::draw(const ArtEntry& e, int scale) const {
    auto it = glyphs().find(e.glyph);
    if (it == glyphs().end()) return QImage();
    QImage image(e.width * scale, e.height * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);

    const QColor back = colourOf(e.colour);
    const QColor ink = colourOf(e.ink);
    drawBackground(p, e, back, ink);

    // The glyph's box.
    const double w = e.width, h = e.height;
    QRectF box;
    QRectF textBox;
    if (e.background == "page") {
        const bool wide = w > 2.5 * h;
        if (wide) {
            const double side = h * 0.6;
            box = QRectF(h * 0.3, (h - side) / 2, side, side);
            textBox = QRectF(h * 1.2, 0, w - h * 1.5, h);
        } else {
            const double side = std::min(w, h) * 0.36;
            box = QRectF((w - side) / 2, h * 0.18, side, side);
            textBox = QRectF(w * 0.1, h * 0.18 + side + h * 0.06, w * 0.8, h * 0.34);
        }
    } else if (e.place == "t") {
        const double side = std::min(w * 0.7, h * 0.5);
        box = QRectF((w - side) / 2, h * 0.08, side, side);
    } else {
        const double side = std::min(w, h) * (e.background == "clear" ? 0.9 : 0.6);
        box = QRectF((w - side) / 2, (h - side) / 2, side, side);
    }
    if (e.glyph != "none") {
        p.save();
        p.translate(box.topLeft());
        p.scale(box.width(), box.height());
        it->second(Pen{p, ink});
        p.restore();
    }

    if (!e.label.empty()) {
        if (textBox.isNull()) textBox = QRectF(2, h * 0.6, w - 4, h * 0.4);
        QFont font(family_);
        const bool wide = w > 2.5 * h;
        font.setPixelSize(std::max(8, int(e.background == "page" ? (wide ? h * 0.13 : std::min(w, h) * 0.065)
                                                                   : h * 0.22)));
        font.setBold(e.background == "page");
        font.setHintingPreference(QFont::PreferNoHinting);
        p.setFont(font);
        p.setPen(ink);
        QTextOption option(wide ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignHCenter | Qt::AlignTop);
        option.setWrapMode(QTextOption::WordWrap);
        p.drawText(textBox, QString::fromStdString(e.label), option);
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace lumora
