#include "platform/ui/views/TextView.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"

#include <algorithm>

namespace platform::ui {

// The text's own view, as tall as the text: the scroll view moves it.
class TextView::Content final : public View {
public:
    void show(std::shared_ptr<const TextLayout> layout, Point origin) {
        mLayout = std::move(layout);
        mOrigin = origin;
        setNeedsDisplay();
    }
    void drawRect(Context& context, const Rect& rect) override {
        (void)rect;
        if (mLayout) context.drawTextLayout(*mLayout, mOrigin);
    }
    std::string className() const override { return "TextContainerView"; }

private:
    std::shared_ptr<const TextLayout> mLayout;
    Point mOrigin;
};

std::shared_ptr<TextView> TextView::make(const Rect& frame) {
    auto view = std::make_shared<TextView>(frame);
    view->installContent();
    return view;
}

TextView::TextView() : TextView(Rect{}) {}

TextView::TextView(const Rect& frame) : ScrollView(frame), mContent(std::make_shared<Content>()) {
    mContent->setUserInteractionEnabled(false);
}

void TextView::didMoveToSuperview() {
    ScrollView::didMoveToSuperview();
    installContent();
}

void TextView::installContent() {
    if (mContent->superview().get() == this) return;
    insertSubview(mContent, 0);
    setNeedsLayout();
}

void TextView::textChanged() {
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void TextView::setText(std::string text) {
    mText = std::move(text);
    mAttributedText.reset();
    textChanged();
}

void TextView::setAttributedText(std::optional<AttributedString> text) {
    mText = text ? text->string() : std::string();
    mAttributedText = std::move(text);
    textChanged();
}

void TextView::setFont(Font font) {
    mFont = std::move(font);
    textChanged();
}

void TextView::setTextColor(const Color& color) {
    mTextColor = color;
    textChanged();
}

void TextView::setTextAlignment(TextAlignment alignment) {
    mAlignment = alignment;
    textChanged();
}

void TextView::setTextContainerInset(const EdgeInsets& insets) {
    mInset = insets;
    textChanged();
}

StyledText TextView::styledText() const { return platform::ui::styledText(mAttributedText, mText, mFont, mTextColor); }

std::shared_ptr<const TextLayout> TextView::textLayout() const {
    TextLayoutOptions options;
    options.width = std::max(1.0, bounds().width - mInset.left - mInset.right - 2 * kLineFragmentPadding);
    options.alignment = mAlignment;
    return TextLayout::make(styledText(), options);
}

void TextView::layoutSubviews() {
    ScrollView::layoutSubviews();
    installContent();
    const auto layout = textLayout();
    const double width = bounds().width;
    const double height = layout->size().height + mInset.top + mInset.bottom;
    View::performWithoutAnimation([&] { mContent->setFrame({0, 0, width, height}); });
    mContent->show(layout, {mInset.left + kLineFragmentPadding, mInset.top});
    setContentSize({width, height});
}

}  // namespace platform::ui
