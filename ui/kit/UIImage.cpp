#include "ui/kit/UIImage.h"

#include <QtWidgets/qdrawutil.h>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>
#include <cmath>
#include <map>

#include "platform/Config.h"
#include "ui/kit/ArtResources.h"
#include "ui/kit/CGContext.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

namespace {

std::vector<std::string>& explicitFolders() {
    static std::vector<std::string> f;
    return f;
}

std::map<std::string, std::shared_ptr<UIImage>>& cache() {
    static std::map<std::string, std::shared_ptr<UIImage>> c;
    return c;
}

std::string baseName(std::string name) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) name.resize(name.size() - 4);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, "@2x") == 0) name.resize(name.size() - 3);
    return name;
}

}  // namespace

void UIImage::setImageFolders(std::vector<std::string> folders) {
    explicitFolders() = std::move(folders);
    clearCache();
}

std::vector<std::string> UIImage::imageFolders() {
    std::vector<std::string> out = explicitFolders();
    out.push_back(ArtResources::imagesDirectory());
    return out;
}

void UIImage::clearCache() { cache().clear(); }

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    // A picture's name, never a path.
    if (name.empty() || name.find('/') != std::string::npos) return nullptr;
    std::string base = baseName(name);
    if (base.empty() || base == "." || base == "..") return nullptr;
    auto it = cache().find(base);
    if (it != cache().end()) return it->second;
    bool wantDouble = UIScreen::mainScreen().scale() >= 2;
    for (const std::string& folder : imageFolders()) {
        for (int pass = 0; pass < 2; ++pass) {
            bool doubled = (pass == 0) == wantDouble;
            QString path = QString::fromStdString(folder + "/" + base + (doubled ? "@2x" : "") + ".png");
            if (!QFileInfo::exists(path)) continue;
            QImage img(path);
            if (img.isNull()) continue;
            auto image = std::make_shared<UIImage>(img.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                                   doubled ? 2.0 : 1.0);
            image->name_ = base;
            cache()[base] = image;
            return image;
        }
    }
    return nullptr;
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path) {
    QImage img(QString::fromStdString(path));
    if (img.isNull()) return nullptr;
    CGFloat scale = path.find("@2x.") != std::string::npos ? 2.0 : 1.0;
    return std::make_shared<UIImage>(img.convertToFormat(QImage::Format_ARGB32_Premultiplied), scale);
}

std::shared_ptr<UIImage> UIImage::imageWithQImage(const QImage& image, CGFloat scale) {
    if (image.isNull()) return nullptr;
    return std::make_shared<UIImage>(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), scale);
}

std::shared_ptr<UIImage> UIImage::imageWithRGBA(const RGBAImage& picture) {
    if (picture.empty() || picture.pixels.size() < picture.rowBytes() * static_cast<size_t>(picture.height))
        return nullptr;
    QImage img(picture.pixels.data(), picture.width, picture.height, static_cast<qsizetype>(picture.rowBytes()),
               QImage::Format_RGBA8888);
    return std::make_shared<UIImage>(img.convertToFormat(QImage::Format_ARGB32_Premultiplied), 1.0);
}

std::shared_ptr<UIImage> UIImage::imageByDrawing(CGSize size, const std::function<void(CGContext&)>& draw) {
    CGFloat scale = UIScreen::mainScreen().scale();
    int w = std::max(1, static_cast<int>(std::lround(size.width * scale)));
    int h = std::max(1, static_cast<int>(std::lround(size.height * scale)));
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(scale, scale);
        CGContext ctx(p);
        if (draw) draw(ctx);
    }
    return std::make_shared<UIImage>(img, scale);
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets insets) const {
    auto copy = std::make_shared<UIImage>(*this);
    copy->caps_ = insets;
    copy->resizable_ = true;
    return copy;
}

std::shared_ptr<UIImage> UIImage::stretchableImageWithLeftCapWidth(int leftCap, int topCap) const {
    CGSize s = size();
    UIEdgeInsets caps{static_cast<CGFloat>(topCap), static_cast<CGFloat>(leftCap),
                      topCap > 0 ? std::max(0.0, s.height - topCap - 1) : 0,
                      leftCap > 0 ? std::max(0.0, s.width - leftCap - 1) : 0};
    return resizableImageWithCapInsets(caps);
}

CGSize UIImage::size() const { return CGSize{image_.width() / scale_, image_.height() / scale_}; }

void UIImage::drawInRect(QPainter& painter, const CGRect& rect, qreal opacity) const {
    if (image_.isNull() || CGRectIsEmpty(rect)) return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    QRectF target(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    if (resizable_) {
        QPixmap pm = QPixmap::fromImage(image_);
        pm.setDevicePixelRatio(scale_);
        auto px = [&](CGFloat v) { return static_cast<int>(std::lround(v)); };
        QMargins source(px(caps_.left * scale_), px(caps_.top * scale_), px(caps_.right * scale_),
                        px(caps_.bottom * scale_));
        QMargins dest(px(caps_.left), px(caps_.top), px(caps_.right), px(caps_.bottom));
        qDrawBorderPixmap(&painter, target.toAlignedRect(), dest, pm, pm.rect(), source);
    } else {
        painter.drawImage(target, image_);
    }
    painter.restore();
}

void UIImage::drawInRect(QPainter& painter, const CGRect& rect, UIViewContentMode mode) const {
    if (image_.isNull()) return;
    CGSize s = size();
    CGRect r = rect;
    switch (mode) {
    case UIViewContentMode::ScaleToFill:
    case UIViewContentMode::Redraw:
        drawInRect(painter, rect);
        return;
    case UIViewContentMode::ScaleAspectFit:
    case UIViewContentMode::ScaleAspectFill: {
        if (s.width <= 0 || s.height <= 0) return;
        double kx = rect.size.width / s.width, ky = rect.size.height / s.height;
        double k = mode == UIViewContentMode::ScaleAspectFit ? std::min(kx, ky) : std::max(kx, ky);
        r.size = CGSize{s.width * k, s.height * k};
        r.origin = CGPoint{rect.origin.x + (rect.size.width - r.size.width) / 2,
                           rect.origin.y + (rect.size.height - r.size.height) / 2};
        painter.save();
        painter.setClipRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height),
                            Qt::IntersectClip);
        drawInRect(painter, r);
        painter.restore();
        return;
    }
    default:
        break;
    }
    r.size = s;
    double left = rect.origin.x, right = rect.origin.x + rect.size.width - s.width;
    double top = rect.origin.y, bottom = rect.origin.y + rect.size.height - s.height;
    double cx = rect.origin.x + (rect.size.width - s.width) / 2, cy = rect.origin.y + (rect.size.height - s.height) / 2;
    switch (mode) {
    case UIViewContentMode::Top: r.origin = {cx, top}; break;
    case UIViewContentMode::Bottom: r.origin = {cx, bottom}; break;
    case UIViewContentMode::Left: r.origin = {left, cy}; break;
    case UIViewContentMode::Right: r.origin = {right, cy}; break;
    case UIViewContentMode::TopLeft: r.origin = {left, top}; break;
    case UIViewContentMode::TopRight: r.origin = {right, top}; break;
    case UIViewContentMode::BottomLeft: r.origin = {left, bottom}; break;
    case UIViewContentMode::BottomRight: r.origin = {right, bottom}; break;
    default: r.origin = {cx, cy}; break;
    }
    drawInRect(painter, r);
}

}  // namespace lumora
