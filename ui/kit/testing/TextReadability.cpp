#include "ui/kit/testing/TextReadability.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <typeinfo>

#include "platform/text/Localization.h"
#include "ui/kit/TextAudit.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

namespace {

double channelLinear(int c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double luminance(QRgb c) {
    return 0.2126 * channelLinear(qRed(c)) + 0.7152 * channelLinear(qGreen(c)) + 0.0722 * channelLinear(qBlue(c));
}
int difference(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}
// The view and its named ancestors, for a reader of the failure.
std::string describeView(const QWidget* view) {
    std::string out;
    for (const QWidget* w = view; w && !w->isWindow(); w = w->parentWidget()) {
        if (w->objectName().isEmpty()) continue;
        out = w->objectName().toStdString() + (out.empty() ? "" : "/" + out);
    }
    const char* cls = view ? typeid(*view).name() : "?";
    return out.empty() ? std::string(cls) : out;
}

}  // namespace

double TextReadability::contrastRatio(uint32_t a, uint32_t b) {
    const double la = luminance(QRgb(a)), lb = luminance(QRgb(b));
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::function<bool(const std::string&)> TextReadability::stringsTableMatcher() {
    auto texts = std::make_shared<std::vector<std::string>>(Localization::texts());
    return [texts](const std::string& t) {
        for (const std::string& v : *texts) {
            if (v.empty()) continue;
            if (t == v) return true;
            // A placeholder (%d, %@, %s, %1$@ ...) stands for anything.
            const size_t mark = v.find('%');
            if (mark != std::string::npos) {
                size_t end = mark + 1;
                while (end < v.size() && !std::isalpha(static_cast<unsigned char>(v[end])) && v[end] != '@') ++end;
                const std::string head = v.substr(0, mark), tail = end < v.size() ? v.substr(end + 1) : "";
                if (t.size() >= head.size() + tail.size() && t.compare(0, head.size(), head) == 0 &&
                    t.compare(t.size() - tail.size(), tail.size(), tail) == 0)
                    return true;
            }
            if (v.size() >= 2 && t.size() > v.size() && t.compare(0, v.size(), v) == 0 &&
                std::none_of(t.begin() + static_cast<long>(v.size()), t.end(),
                             [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
                return true;
        }
        return false;
    };
}

namespace {

// The window's direct child holding the view: its screen or overlay.
const QWidget* layerOf(const QWidget* view) {
    const QWidget* w = view;
    while (w && w->parentWidget() && !w->parentWidget()->isWindow()) w = w->parentWidget();
    return w;
}

// The topmost shown view at a window point.
const QWidget* topmostAt(const QWidget* within, QPoint windowPoint) {
    const QObjectList& kids = within->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        auto* w = qobject_cast<const QWidget*>(*it);
        if (!w || !w->isVisible()) continue;
        if (auto* v = dynamic_cast<const UIView*>(w); v && v->alpha() < 0.01) continue;
        if (!QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()).contains(windowPoint)) continue;
        return topmostAt(w, windowPoint);
    }
    return within;
}

}  // namespace

std::vector<std::string> TextReadability::problems(QWidget* window,
                                                  const std::function<bool(const std::string&)>& checked,
                                                  double minimumContrast) {
    // Once as it is, noting every text; once without texts: what lies behind them.
    TextAudit::startRecording();
    const QImage shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::vector<TextAudit::Record> records = TextAudit::stopRecording();
    TextAudit::setSuppressed(true);
    const QImage behind = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    TextAudit::setSuppressed(false);

    struct Seen {
        const TextAudit::Record* record = nullptr;
        QRect box;  // around its ink, in window pixels
        int glyph = 0, missing = 0;
        double contrast = 21;
    };
    std::vector<Seen> all;
    for (const TextAudit::Record& r : records) {
        if (!r.view || !r.view->isVisible()) continue;
        Seen s;
        s.record = &r;
        s.box = r.toWindow.mapRect(QFontMetricsF(r.font).boundingRect(r.room, r.flags, r.shown)).toAlignedRect();
        const QRect box = s.box.adjusted(-2, -2, 2, 2) & shown.rect();
        if (box.isEmpty()) continue;
        // The text drawn alone over what lies behind it, compared with the window.
        QImage alone = behind.copy(box);
        {
            QPainter p(&alone);
            p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
            TextAudit::Record moved = r;
            moved.toWindow = r.toWindow * QTransform::fromTranslate(-box.x(), -box.y());
            TextAudit::replay(p, moved);
        }
        // Where its glyphs are, whatever their colour.
        QImage mask(box.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
            TextAudit::Record ink = r;
            ink.toWindow = r.toWindow * QTransform::fromTranslate(-box.x(), -box.y());
            ink.colour = Qt::black;
            ink.opacity = 1;
            TextAudit::replay(p, ink);
        }
        std::vector<double> contrasts;
        const QRgb pen = r.colour.rgb();
        const double penAlpha = r.colour.alphaF() * r.opacity;
        long mx = 0, my = 0, gx = 0, gy = 0;
        for (int y = 0; y < box.height(); ++y) {
            for (int x = 0; x < box.width(); ++x) {
                const QRgb under = behind.pixel(box.x() + x, box.y() + y);
                const QRgb drawn = alone.pixel(x, y);
                if (qAlpha(mask.pixel(x, y)) < 128) continue;
                ++s.glyph;
                gx += box.x() + x;
                gy += box.y() + y;
                if (difference(drawn, shown.pixel(box.x() + x, box.y() + y)) >= 48) {
                    ++s.missing;
                    mx += box.x() + x;
                    my += box.y() + y;
                }
                // The text's colour as blended over this pixel, against the pixel.
                const QRgb text = qRgb(int(qRed(pen) * penAlpha + qRed(under) * (1 - penAlpha)),
                                       int(qGreen(pen) * penAlpha + qGreen(under) * (1 - penAlpha)),
                                       int(qBlue(pen) * penAlpha + qBlue(under) * (1 - penAlpha)));
                contrasts.push_back(contrastRatio(text, under));
            }
        }
        if (s.glyph > 0) {
            // Under another screen, an alert's dimming or a popover: out of
            // sight, not a fault. A screen is a controller's view; the views
            // of the screens holding this one (a navigation's bars) count as its own.
            const QPoint at(int(gx / s.glyph), int(gy / s.glyph));
            const QWidget* over = s.missing > 0 ? topmostAt(window, QPoint(int(mx / s.missing), int(my / s.missing)))
                                                : topmostAt(window, at);
            // A text that shows unchanged is in sight even under a clear
            // layer (a popover's): only a view that paints over it (an
            // alert's dimming too) takes it out of sight.
            auto paints = [&](const QWidget* w) {
                const QWidget* layer = layerOf(w);
                for (; w; w = w == layer ? nullptr : w->parentWidget())
                    if (auto* v = dynamic_cast<const UIView*>(w); v && !v->backgroundColor().isNull() &&
                                                                  v->backgroundColor().qColor().alphaF() > 0.1)
                        return true;
                return false;
            };
            if (over && layerOf(over) != layerOf(r.view) && (s.missing > 0 || paints(over))) continue;
            // Mostly hidden: a panel slid over it on purpose; what a user
            // cannot read there is not cut, it is put away.
            if (s.missing * 2 > s.glyph) continue;
            const QWidget* screen = over;
            while (screen && !(dynamic_cast<const UIView*>(screen) &&
                               static_cast<const UIView*>(screen)->viewController()))
                screen = screen->parentWidget();
            if (screen && screen != r.view && !screen->isAncestorOf(r.view) && (s.missing > 0 || paints(over))) continue;
            // A row scrolled partly out of its list, or under the list's own
            // floating header, is the list at work: scrolling shows it.
            bool scrolledAway = false;
            for (const QWidget* w = r.view->parentWidget(); w && !scrolledAway; w = w->parentWidget()) {
                if (!dynamic_cast<const UIScrollView*>(w)) continue;
                const QRect list(w->mapTo(w->window(), QPoint(0, 0)), w->size());
                scrolledAway = !list.contains(s.box) || (over && w->isAncestorOf(over) && !r.view->isAncestorOf(over) &&
                                                         over != r.view && s.missing > 0);
            }
            if (scrolledAway) continue;
        }
        if (!contrasts.empty()) {
            // The worst tenth of the pixels under the text decides: a text
            // over a picture must read over its bright and dark parts alike.
            std::sort(contrasts.begin(), contrasts.end());
            s.contrast = contrasts[contrasts.size() / 10];
        }
        all.push_back(s);
    }

    std::vector<std::string> problems;
    auto ours = [&](const TextAudit::Record* r) { return !checked || checked(r->text); };
    for (size_t i = 0; i < all.size(); ++i) {
        const Seen& s = all[i];
        const TextAudit::Record& r = *s.record;
        const std::string who = "'" + r.text + "' (" + describeView(r.view) + ")";
        if (r.cut && ours(&r)) problems.push_back(who + " is cut short: shows '" + r.shown.toStdString() + "'");
        if (s.glyph == 0) continue;
        if (s.missing > std::max(3, s.glyph / 12)) {
            problems.push_back(who + " is covered or clipped: " + std::to_string(s.missing) + " of " +
                               std::to_string(s.glyph) + " pixels of it do not show");
        }
        if (!r.disabled) {
            const int px = r.font.pixelSize();
            const bool large = px >= 24 || (r.font.bold() && px >= 19);
            const double need = large ? std::min(minimumContrast, 3.0) : minimumContrast;
            if (s.contrast < need) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%.2f:1 (needs %.1f:1)", s.contrast, need);
                problems.push_back(who + " has a contrast of " + buf + " against what is behind it");
            }
        }
        // Two texts of different views drawn over one another.
        for (size_t j = 0; j < all.size(); ++j) {
            const Seen& other = all[j];
            if (other.record->view == r.view || j <= i || other.missing * 2 > other.glyph) continue;
            const QRect both = s.box & other.box;
            if (both.width() > 2 && both.height() > 2) {
                problems.push_back(who + " runs into '" + other.record->text + "' (" +
                                   describeView(other.record->view) + ")");
            }
        }
    }
    return problems;
}

}  // namespace lumora
