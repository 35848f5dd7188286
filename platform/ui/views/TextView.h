#pragma once
// A text view, read-only: text (or attributed text) wrapped at words to the
// view's width, inside the text container's insets and 5 points of line
// padding on each side, scrolling vertically when it is taller than the
// view. Main thread only.

#include "platform/ui/views/AttributedString.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ScrollView.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

class TextView : public ScrollView {
public:
    static constexpr double kLineFragmentPadding = 5;

    static std::shared_ptr<TextView> make(const Rect& frame = {});
    TextView();
    explicit TextView(const Rect& frame);

    const std::string& text() const { return mText; }
    void setText(std::string text);
    const std::optional<AttributedString>& attributedText() const { return mAttributedText; }
    void setAttributedText(std::optional<AttributedString> text);
    // Default: the system font of 12 points, black, left.
    const Font& font() const { return mFont; }
    void setFont(Font font);
    const Color& textColor() const { return mTextColor; }
    void setTextColor(const Color& color);
    TextAlignment textAlignment() const { return mAlignment; }
    void setTextAlignment(TextAlignment alignment);
    // Default 8 points above and below.
    EdgeInsets textContainerInset() const { return mInset; }
    void setTextContainerInset(const EdgeInsets& insets);

    bool isEditable() const { return false; }
    bool isSelectable() const { return mSelectable; }
    void setSelectable(bool selectable) { mSelectable = selectable; }

    // The text laid out at the view's width, as drawn.
    std::shared_ptr<const TextLayout> textLayout() const;

    void layoutSubviews() override;
    void didMoveToSuperview() override;
    std::string className() const override { return "TextView"; }

private:
    class Content;
    void installContent();
    void textChanged();
    StyledText styledText() const;

    std::string mText;
    std::optional<AttributedString> mAttributedText;
    Font mFont = Font::systemFont(12);
    Color mTextColor{0, 0, 0, 1};
    TextAlignment mAlignment = TextAlignment::left;
    EdgeInsets mInset{8, 0, 8, 0};
    bool mSelectable = true;
    std::shared_ptr<Content> mContent;
};

}  // namespace platform::ui
