#include "widgets/Views/VKMCircularImageView.h"

#include "platform/graphics/Image.h"
#include "widgets/Kits/CircularImageViewKit.h"

#include <algorithm>

VKMCircularImageView::VKMCircularImageView() { setNeedsDisplay(); }

VKMCircularImageView::VKMCircularImageView(const platform::Rect& frame) : View(frame) { setNeedsDisplay(); }

void VKMCircularImageView::setImage(std::shared_ptr<const platform::Image> image) {
    mImage = std::move(image);
    setNeedsDisplay();
}

void VKMCircularImageView::drawRect(platform::Context& context, const platform::Rect& rect) {
    (void)rect;
    const platform::Rect b = bounds();
    const double side = std::min(b.width, b.height);
    const platform::Rect frame{b.x + 2.5, b.y + 2.5, b.width - 5, b.height - 5};
    CircularImageViewKit::drawCircularImage(context, frame, KitResizingBehavior::aspectFit, platform::Color{1, 1, 1, 1},
                                            4.5, mImage.get(), side - 5.0);
}
