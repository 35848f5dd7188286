#include "platform/ui/views/TextField.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/SymbolImages.h"
#include "platform/ui/input/Touch.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr double kBorderPadding = 7;    // text from a border, on each side
constexpr double kVerticalPadding = 7;  // above and below the text, with a border
constexpr double kClearButtonMargin = 6;
constexpr double kCaretWidth = 2;
constexpr double kFieldCornerRadius = 5;
constexpr const char* kBullet = "\u2022";
constexpr const char* kClearSymbol = "xmark.circle.fill";

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

TextField::TextField() : TextField(Rect{}) {}

TextField::TextField(const Rect& frame) : Control(frame) {
    setContentMode(ViewContentMode::redraw);
    setNeedsDisplay();
}

void TextField::changed() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void TextField::setText(std::string text) {
    mText = std::move(text);
    changed();
}

void TextField::setPlaceholder(std::string placeholder) {
    mPlaceholder = std::move(placeholder);
    changed();
}

void TextField::setFont(Font font) {
    mFont = std::move(font);
    changed();
}

void TextField::setTextColor(const Color& color) {
    mTextColor = color;
    setNeedsDisplay();
}

void TextField::setTextAlignment(TextAlignment alignment) {
    mAlignment = alignment;
    setNeedsDisplay();
}

void TextField::setSecureTextEntry(bool secure) {
    mSecure = secure;
    changed();
}

void TextField::setBorderStyle(TextBorderStyle style) {
    mBorderStyle = style;
    changed();
}

void TextField::setClearButtonMode(TextFieldViewMode mode) {
    mClearButtonMode = mode;
    setNeedsDisplay();
}

std::string TextField::displayedText() const {
    if (!mSecure) return mText;
    std::string bullets;
    for (char c : mText) {
        if (!continuationByte(c)) bullets += kBullet;
    }
    return bullets;
}

double TextField::horizontalPadding() const { return mBorderStyle == TextBorderStyle::none ? 0 : kBorderPadding; }

bool TextField::clearButtonShown() const {
    if (mText.empty()) return false;
    switch (mClearButtonMode) {
        case TextFieldViewMode::never: return false;
        case TextFieldViewMode::whileEditing: return mEditing;
        case TextFieldViewMode::unlessEditing: return !mEditing;
        case TextFieldViewMode::always: return true;
    }
    return false;
}

Rect TextField::clearButtonRect() const {
    if (!clearButtonShown()) return {};
    const Rect b = bounds();
    return {b.maxX() - kClearButtonMargin - kClearButtonSide, b.minY() + (b.height - kClearButtonSide) / 2,
            kClearButtonSide, kClearButtonSide};
}

Rect TextField::textRect() const {
    const Rect b = bounds();
    const double pad = horizontalPadding();
    const double right = clearButtonShown() ? kClearButtonMargin + kClearButtonSide + kClearButtonMargin : pad;
    return {b.minX() + pad, b.minY(), std::max(0.0, b.width - pad - right), b.height};
}

bool TextField::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    const auto keep = sharedView();
    if (auto d = delegate(); d && !d->textFieldShouldBeginEditing(*this)) return false;
    if (!Control::becomeFirstResponder()) return false;
    mEditing = true;
    if (mClearsOnBeginEditing) mText.clear();
    changed();
    sendActionsForControlEvents(ControlEvents::editingDidBegin);
    if (auto d = delegate()) d->textFieldDidBeginEditing(*this);
    return true;
}

bool TextField::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    const auto keep = sharedView();
    if (auto d = delegate(); d && !mLeavingWindow && !d->textFieldShouldEndEditing(*this)) return false;
    if (!Control::resignFirstResponder()) return false;
    mEditing = false;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEvents::editingDidEnd);
    if (auto d = delegate()) d->textFieldDidEndEditing(*this);
    return true;
}

void TextField::willMoveToWindow(Window* newWindow) {
    Control::willMoveToWindow(newWindow);
    // A field leaving its window stops editing, whatever its delegate says.
    if (newWindow == nullptr && isFirstResponder()) {
        mLeavingWindow = true;
        resignFirstResponder();
        mLeavingWindow = false;
    }
}

bool TextField::replace(Range range, const std::string& replacement) {
    if (auto d = delegate(); d && !d->textFieldShouldChangeCharacters(*this, range, replacement)) return false;
    const std::size_t start = std::min(range.location, mText.size());
    mText.replace(start, std::min(range.length, mText.size() - start), replacement);
    changed();
    sendActionsForControlEvents(ControlEvents::editingChanged);
    return true;
}

void TextField::insertText(const std::string& text) {
    if (!mEditing) return;
    const auto keep = sharedView();
    if (text == "\n") {
        if (auto d = delegate(); d && !d->textFieldShouldReturn(*this)) return;
        const bool listened = numberOfActions(ControlEvents::editingDidEndOnExit) > 0;
        sendActionsForControlEvents(ControlEvents::editingDidEndOnExit);
        if (listened) resignFirstResponder();
        return;
    }
    // One line: line breaks typed or pasted into it are dropped.
    std::string line = text;
    std::erase_if(line, [](char c) { return c == '\n' || c == '\r'; });
    if (line.empty()) return;
    replace(Range{mText.size(), 0}, line);
}

void TextField::deleteBackward() {
    if (!mEditing || mText.empty()) return;
    const auto keep = sharedView();
    std::size_t start = mText.size() - 1;
    while (start > 0 && continuationByte(mText[start])) --start;
    replace(Range{start, mText.size() - start}, "");
}

void TextField::endTrackingWithTouch(const Touch* touch, const Event* event) {
    Control::endTrackingWithTouch(touch, event);
    if (touch == nullptr || !isTouchInside()) return;
    if (clearButtonShown() && clearButtonRect().contains(touch->locationInView(this))) {
        const auto d = delegate();
        if (!d || d->textFieldShouldClear(*this)) {
            mText.clear();
            changed();
            sendActionsForControlEvents(ControlEvents::editingChanged);
        }
    }
    if (!mEditing) becomeFirstResponder();
}

Size TextField::intrinsicContentSize() const {
    const bool bordered = mBorderStyle != TextBorderStyle::none;
    const double content = std::max(textSize(displayedText(), mFont).width, textSize(mPlaceholder, mFont).width);
    const double clear = mClearButtonMode == TextFieldViewMode::always ? kClearButtonSide + 2 * kClearButtonMargin : 0;
    return ceilToScreenPixels(
        {content + 2 * horizontalPadding() + clear, mFont.lineHeight() + (bordered ? 2 * kVerticalPadding : 0)});
}

Size TextField::sizeThatFits(Size size) const {
    (void)size;
    return intrinsicContentSize();
}

void TextField::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    const Rect b = bounds();
    context.save();
    if (!isEnabled()) context.setAlpha(kDisabledAlpha);
    switch (mBorderStyle) {
        case TextBorderStyle::none: break;
        case TextBorderStyle::roundedRect:
            context.setFillColor({1, 1, 1, 1});
            context.setStrokeColor({0.8, 0.8, 0.8, 1});
            context.setLineWidth(0.5);
            context.addRoundedRect({b.x + 0.25, b.y + 0.25, b.width - 0.5, b.height - 0.5}, kFieldCornerRadius);
            context.fill();
            context.addRoundedRect({b.x + 0.25, b.y + 0.25, b.width - 0.5, b.height - 0.5}, kFieldCornerRadius);
            context.stroke();
            break;
        case TextBorderStyle::line:
        case TextBorderStyle::bezel:
            context.setStrokeColor(mBorderStyle == TextBorderStyle::line ? Color{0, 0, 0, 1} : Color{0.6, 0.6, 0.6, 1});
            context.setLineWidth(1);
            context.addRect({b.x + 0.5, b.y + 0.5, b.width - 1, b.height - 1});
            context.stroke();
            break;
    }

    const Rect box = textRect();
    const bool placeholder = mText.empty();
    const std::string shown = placeholder ? mPlaceholder : displayedText();
    const Color color = placeholder ? kPlaceholderColor : mTextColor;
    double caretX = mAlignment == TextAlignment::left     ? box.minX()
                    : mAlignment == TextAlignment::center ? box.minX() + box.width / 2
                                                          : box.maxX();
    context.save();
    context.clipToRect(box);
    if (!shown.empty()) {
        TextLayoutOptions options;
        options.maximumLines = 1;
        const double natural = textSize(shown, mFont).width;
        // While editing, text too wide for the field shows its end.
        const bool showEnd = mEditing && !placeholder && natural > box.width;
        if (!showEnd) {
            options.width = box.width;
            options.lineBreakMode = LineBreakMode::truncatingTail;
            options.alignment = mAlignment;
        }
        const auto layout = TextLayout::make(shown, mFont.textAttributes(color), options);
        const double x = showEnd ? box.maxX() - layout->size().width : box.minX();
        context.drawTextLayout(*layout, {x, box.minY() + (box.height - layout->size().height) / 2});
        if (!placeholder && !layout->lines().empty()) caretX = x + layout->lines().front().frame.maxX();
    }
    context.restore();

    if (mEditing) {
        const double height = mFont.lineHeight();
        context.setFillColor(tintColor());
        context.fillRect({std::min(caretX, box.maxX() - kCaretWidth / 2) - kCaretWidth / 2,
                          b.minY() + (b.height - height) / 2, kCaretWidth, height});
    }
    if (clearButtonShown()) {
        context.setFillColor(kClearButtonColor);
        drawSymbol(kClearSymbol, context, clearButtonRect());
    }
    context.restore();
}

void TextField::describeForDump(std::string& line) const {
    Control::describeForDump(line);
    line += " text=\"" + displayedText() + "\"";
    if (mEditing) line += " editing=true";
}

}  // namespace platform::ui
