#include "platform/ui/views/SegmentedControl.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/input/Touch.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

constexpr Color kBackground{0.93, 0.93, 0.94, 1};
constexpr Color kSeparator{0.78, 0.78, 0.8, 1};
constexpr Color kText{0, 0, 0, 1};
constexpr double kCornerRadius = 8;
constexpr double kSelectedInset = 2;

}  // namespace

SegmentedControl::SegmentedControl() : SegmentedControl(std::vector<std::string>{}) {}

SegmentedControl::SegmentedControl(const std::vector<std::string>& titles) {
    for (const auto& title : titles) mSegments.push_back(Segment{title, nullptr, true});
    const Size size = intrinsicContentSize();
    setFrame({0, 0, size.width, size.height});
    setNeedsDisplay();
}

void SegmentedControl::changed() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void SegmentedControl::insert(Segment segment, int index) {
    const int at = std::clamp(index, 0, numberOfSegments());
    mSegments.insert(mSegments.begin() + at, std::move(segment));
    if (mSelected >= at) ++mSelected;
    changed();
}

void SegmentedControl::insertSegmentWithTitle(const std::string& title, int index) {
    insert(Segment{title, nullptr, true}, index);
}

void SegmentedControl::insertSegmentWithImage(std::shared_ptr<Image> image, int index) {
    insert(Segment{{}, std::move(image), true}, index);
}

void SegmentedControl::removeSegmentAtIndex(int index) {
    if (!valid(index)) return;
    mSegments.erase(mSegments.begin() + index);
    if (mSelected == index) {
        mSelected = kNoSegment;
    } else if (mSelected > index) {
        --mSelected;
    }
    changed();
}

void SegmentedControl::removeAllSegments() {
    mSegments.clear();
    mSelected = kNoSegment;
    changed();
}

void SegmentedControl::setTitle(const std::string& title, int segment) {
    if (!valid(segment)) return;
    mSegments[static_cast<std::size_t>(segment)].title = title;
    mSegments[static_cast<std::size_t>(segment)].image.reset();
    changed();
}

std::string SegmentedControl::titleForSegmentAtIndex(int segment) const {
    return valid(segment) ? mSegments[static_cast<std::size_t>(segment)].title : std::string();
}

void SegmentedControl::setImage(std::shared_ptr<Image> image, int segment) {
    if (!valid(segment)) return;
    mSegments[static_cast<std::size_t>(segment)].image = std::move(image);
    mSegments[static_cast<std::size_t>(segment)].title.clear();
    changed();
}

std::shared_ptr<Image> SegmentedControl::imageForSegmentAtIndex(int segment) const {
    return valid(segment) ? mSegments[static_cast<std::size_t>(segment)].image : nullptr;
}

void SegmentedControl::setEnabled(bool enabled, int segment) {
    if (!valid(segment)) return;
    mSegments[static_cast<std::size_t>(segment)].enabled = enabled;
    setNeedsDisplay();
}

bool SegmentedControl::isEnabledForSegmentAtIndex(int segment) const {
    return valid(segment) && mSegments[static_cast<std::size_t>(segment)].enabled;
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
    const int selected = valid(index) ? index : kNoSegment;
    if (selected == mSelected) return;
    mSelected = selected;
    setNeedsDisplay();
}

void SegmentedControl::setSelectedSegmentTintColor(const Color& color) {
    mSelectedTint = color;
    setNeedsDisplay();
}

void SegmentedControl::setFont(Font font) {
    mFont = std::move(font);
    changed();
}

Rect SegmentedControl::rectForSegment(int segment) const {
    const Rect b = bounds();
    if (!valid(segment)) return {};
    const double width = b.width / numberOfSegments();
    return {b.minX() + segment * width, b.minY(), width, b.height};
}

int SegmentedControl::segmentAtPoint(Point point) const {
    const Rect b = bounds();
    if (mSegments.empty() || !b.contains(point)) return kNoSegment;
    const int segment = static_cast<int>(std::floor((point.x - b.minX()) / (b.width / numberOfSegments())));
    return std::clamp(segment, 0, numberOfSegments() - 1);
}

Size SegmentedControl::intrinsicContentSize() const {
    double widest = 0;
    for (const auto& segment : mSegments) {
        const double content = segment.image ? segment.image->size().width : textSize(segment.title, mFont).width;
        widest = std::max(widest, content);
    }
    return {std::ceil(mSegments.size() * (widest + 2 * kSegmentPadding)), kHeight};
}

Size SegmentedControl::sizeThatFits(Size size) const {
    (void)size;
    return intrinsicContentSize();
}

void SegmentedControl::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    const Rect b = bounds();
    context.save();
    if (!isEnabled()) context.setAlpha(kDisabledAlpha);
    context.setFillColor(kBackground);
    context.addRoundedRect(b, kCornerRadius);
    context.fill();
    for (int i = 0; i < numberOfSegments(); ++i) {
        const Rect r = rectForSegment(i);
        if (i == mSelected) {
            context.setFillColor(mSelectedTint);
            context.addRoundedRect({r.x + kSelectedInset, r.y + kSelectedInset, r.width - 2 * kSelectedInset,
                                    r.height - 2 * kSelectedInset},
                                   kCornerRadius - kSelectedInset);
            context.fill();
        } else if (i > 0 && i - 1 != mSelected) {
            context.setFillColor(kSeparator);
            context.fillRect({r.x - 0.5, r.y + r.height / 4, 1, r.height / 2});
        }
    }
    for (int i = 0; i < numberOfSegments(); ++i) {
        const Segment& segment = mSegments[static_cast<std::size_t>(i)];
        const Rect r = rectForSegment(i);
        context.save();
        if (!segment.enabled) context.setAlpha(context.alpha() * kDisabledAlpha);
        if (segment.image) {
            const Size size = segment.image->size();
            drawImage(context, *segment.image,
                      {r.x + (r.width - size.width) / 2, r.y + (r.height - size.height) / 2, size.width, size.height},
                      kText);
        } else if (!segment.title.empty()) {
            TextLayoutOptions options;
            options.width = std::max(1.0, r.width - 2 * kSegmentPadding / 2);
            options.maximumLines = 1;
            options.lineBreakMode = LineBreakMode::truncatingTail;
            options.alignment = TextAlignment::center;
            const auto layout = TextLayout::make(segment.title, mFont.textAttributes(kText), options);
            context.drawTextLayout(*layout, {r.x + kSegmentPadding / 2, r.y + (r.height - layout->size().height) / 2});
        }
        context.restore();
    }
    context.restore();
}

void SegmentedControl::endTrackingWithTouch(const Touch* touch, const Event* event) {
    Control::endTrackingWithTouch(touch, event);
    if (touch == nullptr || !isTouchInside()) return;
    const int segment = segmentAtPoint(touch->locationInView(this));
    if (segment == kNoSegment || segment == mSelected || !isEnabledForSegmentAtIndex(segment)) return;
    setSelectedSegmentIndex(segment);
    sendActionsForControlEvents(ControlEvents::valueChanged);
    sendActionsForControlEvents(ControlEvents::primaryActionTriggered);
}

void SegmentedControl::describeForDump(std::string& line) const {
    Control::describeForDump(line);
    line += " selectedSegmentIndex=" + std::to_string(mSelected);
}

}  // namespace platform::ui
