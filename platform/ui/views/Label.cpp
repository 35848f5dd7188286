#include "platform/ui/views/Label.h"

#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/detail/TextDrawing.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

// A shrunk single line is laid out a hair narrower than the width, so that
// rounding in the layout never wraps it.
constexpr double kShrinkMargin = 1 - 1e-4;

}  // namespace

Size ceilToScreenPixels(Size size) {
    const double scale = Screen::mainScreen()->scale();
    return {std::ceil(size.width * scale - 1e-9) / scale, std::ceil(size.height * scale - 1e-9) / scale};
}

Label::Label() : Label(Rect{}) {}

Label::Label(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
    setContentMode(ViewContentMode::redraw);
    setNeedsDisplay();
}

void Label::textChanged() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void Label::setText(std::string text) {
    if (text == mText && !mAttributedText) return;
    mText = std::move(text);
    mAttributedText.reset();
    textChanged();
}

void Label::setAttributedText(std::optional<AttributedString> text) {
    mText = text ? text->string() : std::string();
    mAttributedText = std::move(text);
    textChanged();
}

void Label::setFont(Font font) {
    mFont = std::move(font);
    textChanged();
}

void Label::setTextColor(const Color& color) {
    mTextColor = color;
    setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment) {
    mAlignment = alignment;
    setNeedsDisplay();
}

void Label::setNumberOfLines(int lines) {
    mNumberOfLines = std::max(0, lines);
    textChanged();
}

void Label::setLineBreakMode(LineBreakMode mode) {
    mLineBreakMode = mode;
    textChanged();
}

void Label::setAdjustsFontSizeToFitWidth(bool adjusts) {
    mAdjustsFontSize = adjusts;
    setNeedsDisplay();
}

void Label::setMinimumScaleFactor(double factor) {
    mMinimumScaleFactor = std::isfinite(factor) ? std::clamp(factor, 0.0, 1.0) : 0;
    setNeedsDisplay();
}

void Label::setShadowColor(std::optional<Color> color) {
    mShadowColor = color;
    setNeedsDisplay();
}

void Label::setShadowOffset(Size offset) {
    mShadowOffset = offset;
    setNeedsDisplay();
}

void Label::setPreferredMaxLayoutWidth(double width) {
    mPreferredMaxLayoutWidth = std::isfinite(width) ? std::max(0.0, width) : 0;
    invalidateIntrinsicContentSize();
}

StyledText Label::styledText(double scale) const {
    StyledText styled = platform::ui::styledText(mAttributedText, mText, mFont, mTextColor);
    if (scale != 1) {
        styled.attributes.fontSize *= scale;
        for (auto& run : styled.runs) run.attributes.fontSize *= scale;
    }
    return styled;
}

ParagraphStyle Label::paragraphStyle() const {
    if (mAttributedText && !mAttributedText->runs().empty()) {
        if (const auto& style = mAttributedText->runs().front().style.paragraphStyle) return *style;
    }
    return ParagraphStyle{mAlignment, mLineBreakMode};
}

std::optional<TextShadow> Label::shadow() const {
    if (mAttributedText && !mAttributedText->runs().empty()) {
        if (const auto& s = mAttributedText->runs().front().style.shadow) return s;
    }
    if (!mShadowColor) return std::nullopt;
    return TextShadow{mShadowOffset, 0, *mShadowColor};
}

std::shared_ptr<const TextLayout> Label::layOut(double scale, double width, int maximumLines) const {
    const ParagraphStyle paragraph = paragraphStyle();
    TextLayoutOptions options;
    options.width = width;
    options.maximumLines = maximumLines;
    options.lineBreakMode = paragraph.lineBreakMode;
    options.alignment = paragraph.alignment;
    return TextLayout::make(styledText(scale), options);
}

int Label::linesFittingHeight(const TextLayout& all, double height) {
    int fitting = 0;
    for (const auto& line : all.lines()) {
        if (line.frame.y + line.frame.height > height + 1e-6) break;
        ++fitting;
    }
    return std::max(1, fitting);
}

Label::Rendering Label::rendering() const {
    const Rect b = bounds();
    double scale = 1;
    if (mAdjustsFontSize && mMinimumScaleFactor > 0 && mMinimumScaleFactor < 1 && !mText.empty()) {
        if (mNumberOfLines == 1) {
            const double natural = layOut(1, 0, 1)->size().width;
            if (natural > b.width && natural > 0)
                scale = std::max(mMinimumScaleFactor, b.width / natural * kShrinkMargin);
        } else {
            const auto fits = [&](double s) {
                const auto layout = layOut(s, b.width, mNumberOfLines);
                return !layout->isTruncated() && layout->size().height <= b.height + 1e-6;
            };
            if (!fits(1)) {
                // The largest share that fits, to a thousandth.
                double low = mMinimumScaleFactor;
                double high = 1;
                if (fits(low)) {
                    while (high - low > 1e-3) {
                        const double middle = (low + high) / 2;
                        (fits(middle) ? low : high) = middle;
                    }
                }
                scale = low;
            }
        }
    }
    Rendering rendering;
    rendering.scale = scale;
    // Laying out is the costly part: the layout of every line serves when
    // they all fit, as it is the same.
    auto all = layOut(scale, b.width, 0);
    const int byHeight = linesFittingHeight(*all, b.height);
    const int limit = mNumberOfLines > 0 ? std::min(mNumberOfLines, byHeight) : byHeight;
    rendering.layout = limit >= static_cast<int>(all->lines().size()) ? std::move(all) : layOut(scale, b.width, limit);
    rendering.origin = {b.minX(), b.minY() + (b.height - rendering.layout->size().height) / 2};
    return rendering;
}

bool Label::truncatesText() const {
    if (mText.empty()) return false;
    // Half a point of slack: frames are rounded to pixels, text is not.
    constexpr double kSlack = 0.5;
    const Rendering r = rendering();
    const Size size = r.layout->size();
    return r.layout->isTruncated() || size.width > bounds().width + kSlack || size.height > bounds().height + kSlack;
}

void Label::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    if (mText.empty()) return;
    const Rendering r = rendering();
    const ParagraphStyle paragraph = paragraphStyle();
    TextLayoutOptions options;
    options.width = bounds().width;
    options.maximumLines = static_cast<int>(r.layout->lines().size());
    options.lineBreakMode = paragraph.lineBreakMode;
    options.alignment = paragraph.alignment;
    detail::drawText(context, styledText(r.scale), options, *r.layout, r.origin, shadow());
}

std::optional<Rect> Label::drawnExtent() const {
    const Rect b = bounds();
    // A narrow label's raster is small whatever its text: not worth laying
    // the text out on the main thread to find where it draws (a chart's
    // axis labels, dozens in its first frame).
    if (!(b.width >= kNarrowestTrimmed)) return std::nullopt;
    const std::uint64_t version = detail::LayerAccess::contentVersion(*layer());
    if (mExtent && mExtent->version == version && mExtent->bounds == b) return mExtent->extent;
    std::optional<Rect> extent;
    const std::optional<TextShadow> drop = shadow();
    const bool blurred = drop && std::isfinite(drop->blurRadius) && drop->blurRadius > 0;
    if (mText.empty()) {
        extent = Rect{b.minX(), b.minY(), 0, 0};
    } else if (!blurred && std::isfinite(b.width) && std::isfinite(b.height)) {
        const Rendering r = rendering();
        const StyledText styled = styledText(r.scale);
        // Ink may reach past a glyph's advance (italics, overhangs, marks,
        // outlines): an em of the largest font, and the outline, on each
        // side. A size that is not positive and finite lays out as 12.
        const auto usable = [](double size) { return size > 0 && std::isfinite(size) ? size : 12.0; };
        double em = usable(styled.attributes.fontSize);
        double outline = std::abs(styled.attributes.strokeWidth) * em / 100;
        for (const TextRun& run : styled.runs) {
            const double size = usable(run.attributes.fontSize);
            em = std::max(em, size);
            outline = std::max(outline, std::abs(run.attributes.strokeWidth) * size / 100);
        }
        double low = b.maxX();
        double high = b.minX();
        for (const TextLayout::Line& line : r.layout->lines()) {
            low = std::min(low, r.origin.x + line.frame.minX());
            high = std::max(high, r.origin.x + line.frame.maxX());
        }
        const double room = em + outline + (drop && drop->color.alpha > 0 ? std::abs(drop->offset.width) : 0) + 1;
        if (!(std::isfinite(room) && std::isfinite(low) && std::isfinite(high))) {
            extent.reset();
        } else if (high < low) {
            extent = Rect{b.minX(), b.minY(), 0, 0};
        } else {
            // Whole points from the bounds' edges, so that the part lies on
            // the pixel grid wherever the bounds do, at any whole scale.
            const double left = std::max(0.0, std::floor(low - room - b.minX()));
            const double right = std::max(0.0, std::floor(b.maxX() - high - room));
            extent = Rect{b.minX() + left, b.minY(), std::max(0.0, b.width - left - right), b.height};
        }
    }
    mExtent = KeptExtent{version, b, extent};
    return extent;
}

Size Label::sizeThatFits(Size size) const {
    if (mText.empty()) return {};
    const double width = mNumberOfLines == 1 ? 0 : size.width;
    return ceilToScreenPixels(layOut(1, width, mNumberOfLines)->size());
}

Size Label::intrinsicContentSize() const {
    if (mText.empty()) return {};
    const double width = mNumberOfLines == 1 ? 0 : mPreferredMaxLayoutWidth;
    return ceilToScreenPixels(layOut(1, width, mNumberOfLines)->size());
}

void Label::describeForDump(std::string& line) const {
    View::describeForDump(line);
    line += " text=\"" + mText + "\"";
}

}  // namespace platform::ui
