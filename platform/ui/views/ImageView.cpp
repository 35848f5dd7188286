#include "platform/ui/views/ImageView.h"

#include "platform/graphics/Context.h"

#include <algorithm>

namespace platform::ui {

Rect placeContent(Size size, const Rect& bounds, ViewContentMode mode) {
    const double x = bounds.minX();
    const double y = bounds.minY();
    const double w = bounds.width;
    const double h = bounds.height;
    switch (mode) {
        case ViewContentMode::scaleToFill:
        case ViewContentMode::redraw: return {x, y, w, h};
        case ViewContentMode::scaleAspectFit:
        case ViewContentMode::scaleAspectFill: {
            if (size.width <= 0 || size.height <= 0) return {x, y, w, h};
            const double sx = w / size.width;
            const double sy = h / size.height;
            const double s = mode == ViewContentMode::scaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
            const double cw = size.width * s;
            const double ch = size.height * s;
            return {x + (w - cw) / 2, y + (h - ch) / 2, cw, ch};
        }
        case ViewContentMode::center:
            return {x + (w - size.width) / 2, y + (h - size.height) / 2, size.width, size.height};
        case ViewContentMode::top: return {x + (w - size.width) / 2, y, size.width, size.height};
        case ViewContentMode::bottom: return {x + (w - size.width) / 2, y + h - size.height, size.width, size.height};
        case ViewContentMode::left: return {x, y + (h - size.height) / 2, size.width, size.height};
        case ViewContentMode::right: return {x + w - size.width, y + (h - size.height) / 2, size.width, size.height};
        case ViewContentMode::topLeft: return {x, y, size.width, size.height};
        case ViewContentMode::topRight: return {x + w - size.width, y, size.width, size.height};
        case ViewContentMode::bottomLeft: return {x, y + h - size.height, size.width, size.height};
        case ViewContentMode::bottomRight: return {x + w - size.width, y + h - size.height, size.width, size.height};
    }
    return {x, y, w, h};
}

void drawImage(Context& context, const Image& image, const Rect& rect, const Color& tint) {
    if (image.renderingMode() == ImageRenderingMode::alwaysTemplate) {
        context.save();
        context.setFillColor(tint);
        context.fillMask(image, rect);
        context.restore();
    } else {
        context.drawImage(image, rect);
    }
}

ImageView::ImageView() : ImageView(Rect{}) {}

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(std::shared_ptr<Image> image, std::shared_ptr<Image> highlightedImage) : ImageView(Rect{}) {
    mImage = std::move(image);
    mHighlightedImage = std::move(highlightedImage);
    if (mImage) setFrame({0, 0, mImage->size().width, mImage->size().height});
    setNeedsDisplay();
}

void ImageView::setImage(std::shared_ptr<Image> image) {
    if (image == mImage) return;
    mImage = std::move(image);
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void ImageView::setHighlightedImage(std::shared_ptr<Image> image) {
    mHighlightedImage = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlighted(bool highlighted) {
    if (highlighted == mHighlighted) return;
    mHighlighted = highlighted;
    setNeedsDisplay();
}

const std::shared_ptr<Image>& ImageView::displayedImage() const {
    return mHighlighted && mHighlightedImage ? mHighlightedImage : mImage;
}

Size ImageView::intrinsicContentSize() const {
    if (!mImage) return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric};
    return mImage->size();
}

Size ImageView::sizeThatFits(Size size) const {
    (void)size;
    return mImage ? mImage->size() : Size{};
}

void ImageView::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    const auto& image = displayedImage();
    if (!image) return;
    drawImage(context, *image, placeContent(image->size(), bounds(), contentMode()), tintColor());
}

}  // namespace platform::ui
