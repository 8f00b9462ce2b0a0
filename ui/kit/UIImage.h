#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/RGBAImage.h"
#include "ui/kit/UIGeometry.h"

class QPainter;

namespace lumora {

class CGContext;

enum class UIViewContentMode {
    ScaleToFill,
    ScaleAspectFit,
    ScaleAspectFill,
    Redraw,
    Center,
    Top,
    Bottom,
    Left,
    Right,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

// An immutable picture with a size in points (pixels / scale). Images by
// name come from the application's image folder (name.png, or name@2x.png on
// a scale-2 screen) and are cached; images by path are not. A resizable
// image keeps its cap insets and draws as a nine-patch.
class UIImage {
public:
    // "name" or "name.png"; null when there is no such picture.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path);
    static std::shared_ptr<UIImage> imageWithQImage(const QImage& image, CGFloat scale = 1);
    static std::shared_ptr<UIImage> imageWithRGBA(const RGBAImage& picture);
    // Draws into a new bitmap of that size in points (at the main screen's scale).
    static std::shared_ptr<UIImage> imageByDrawing(CGSize size, const std::function<void(CGContext&)>& draw);

    // Where images by name are looked up: the folders set here first, then
    // the application's pictures (ArtResources: the installed images folder,
    // else the build tree's).
    static void setImageFolders(std::vector<std::string> folders);
    static std::vector<std::string> imageFolders();
    // Forgets the cache (tests, or a change of screen scale).
    static void clearCache();

    std::shared_ptr<UIImage> resizableImageWithCapInsets(UIEdgeInsets insets) const;
    // Left cap width and top cap height; the other caps are one pixel less than the rest.
    std::shared_ptr<UIImage> stretchableImageWithLeftCapWidth(int leftCap, int topCap) const;

    CGSize size() const;
    CGFloat scale() const { return scale_; }
    const QImage& qImage() const { return image_; }
    UIEdgeInsets capInsets() const { return caps_; }
    bool isResizable() const { return resizable_; }
    // The name it was loaded by ("" otherwise).
    const std::string& name() const { return name_; }

    // Draws the picture into the rectangle: nine-patch when resizable, else scaled.
    void drawInRect(QPainter& painter, const CGRect& rect, qreal opacity = 1.0) const;
    // Draws as an image view with that content mode shows it.
    void drawInRect(QPainter& painter, const CGRect& rect, UIViewContentMode mode) const;

    UIImage(QImage image, CGFloat scale) : image_(std::move(image)), scale_(scale > 0 ? scale : 1) {}

private:
    QImage image_;
    CGFloat scale_ = 1;
    UIEdgeInsets caps_;
    bool resizable_ = false;
    std::string name_;
};

}  // namespace lumora
