#pragma once
// An image view: shows an image in its bounds as its content mode places it
// (scale to fill by default), or its highlighted image while highlighted.
// A template image (ImageRenderingMode::alwaysTemplate) is drawn as a mask
// filled with the view's tint colour. Content that the mode places beyond
// the bounds is cut at them. Takes no touches by default. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/views/View.h"

#include <memory>

namespace platform::ui {

class ImageView : public View {
public:
    ImageView();
    explicit ImageView(std::shared_ptr<Image> image, std::shared_ptr<Image> highlightedImage = nullptr);
    explicit ImageView(const Rect& frame);

    const std::shared_ptr<Image>& image() const { return mImage; }
    void setImage(std::shared_ptr<Image> image);
    const std::shared_ptr<Image>& highlightedImage() const { return mHighlightedImage; }
    void setHighlightedImage(std::shared_ptr<Image> image);
    bool isHighlighted() const { return mHighlighted; }
    void setHighlighted(bool highlighted);

    // The image shown now.
    const std::shared_ptr<Image>& displayedImage() const;

    // The image's size in points; none without an image.
    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void drawRect(Context& context, const Rect& rect) override;
    void tintColorDidChange() override { setNeedsDisplay(); }
    std::string className() const override { return "ImageView"; }

private:
    std::shared_ptr<Image> mImage;
    std::shared_ptr<Image> mHighlightedImage;
    bool mHighlighted = false;
};

// Where content of `size` goes in `bounds` for a content mode (redraw
// places as scale to fill does).
Rect placeContent(Size size, const Rect& bounds, ViewContentMode mode);

// Draws an image into `rect`: as it is, or filled with `tint` when it is a
// template image.
void drawImage(Context& context, const Image& image, const Rect& rect, const Color& tint);

}  // namespace platform::ui
