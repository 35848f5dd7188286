#include "platform/ui/views/PageControl.h"

#include "platform/graphics/Context.h"
#include "platform/ui/input/Touch.h"

#include <algorithm>

namespace platform::ui {

PageControl::PageControl() : PageControl(Rect{}) {}

PageControl::PageControl(const Rect& frame) : Control(frame) { setNeedsDisplay(); }

void PageControl::changed() {
    setHidden(mHidesForSinglePage && mPages <= 1);
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void PageControl::setNumberOfPages(int pages) {
    mPages = std::max(0, pages);
    mCurrent = std::clamp(mCurrent, 0, std::max(0, mPages - 1));
    changed();
}

void PageControl::setCurrentPage(int page) {
    mCurrent = std::clamp(page, 0, std::max(0, mPages - 1));
    setNeedsDisplay();
}

void PageControl::setHidesForSinglePage(bool hides) {
    mHidesForSinglePage = hides;
    changed();
}

void PageControl::setPageIndicatorTintColor(const Color& color) {
    mIndicatorTint = color;
    setNeedsDisplay();
}

void PageControl::setCurrentPageIndicatorTintColor(const Color& color) {
    mCurrentTint = color;
    setNeedsDisplay();
}

Size PageControl::sizeForNumberOfPages(int pages) {
    const int n = std::max(0, pages);
    return {n > 0 ? n * kDotDiameter + (n - 1) * kDotSpacing : 0, kHeight};
}

Size PageControl::sizeThatFits(Size size) const {
    (void)size;
    return sizeForNumberOfPages(mPages);
}

Point PageControl::dotCenter(int page) const {
    const Rect b = bounds();
    const double row = sizeForNumberOfPages(mPages).width;
    return {b.minX() + (b.width - row) / 2 + page * (kDotDiameter + kDotSpacing) + kDotDiameter / 2,
            b.minY() + b.height / 2};
}

void PageControl::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    context.save();
    if (!isEnabled()) context.setAlpha(kDisabledAlpha);
    for (int page = 0; page < mPages; ++page) {
        const Point c = dotCenter(page);
        context.setFillColor(page == mCurrent ? mCurrentTint : mIndicatorTint);
        context.addEllipseInRect({c.x - kDotDiameter / 2, c.y - kDotDiameter / 2, kDotDiameter, kDotDiameter});
        context.fill();
    }
    context.restore();
}

void PageControl::endTrackingWithTouch(const Touch* touch, const Event* event) {
    Control::endTrackingWithTouch(touch, event);
    if (touch == nullptr || !isTouchInside() || mPages == 0) return;
    const double x = touch->locationInView(this).x;
    const double current = dotCenter(mCurrent).x;
    const int page = std::clamp(x < current ? mCurrent - 1 : x > current ? mCurrent + 1 : mCurrent, 0, mPages - 1);
    if (page == mCurrent) return;
    mCurrent = page;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEvents::valueChanged);
    sendActionsForControlEvents(ControlEvents::primaryActionTriggered);
}

void PageControl::describeForDump(std::string& line) const {
    Control::describeForDump(line);
    line += " page=" + std::to_string(mCurrent) + "/" + std::to_string(mPages);
}

}  // namespace platform::ui
