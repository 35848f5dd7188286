#pragma once
// A label: text in a font and colour, or attributed text, drawn in its
// bounds. Lines wrap at words to the bounds' width, up to numberOfLines
// (0: as many as fit the bounds' height); when text is left over, the last
// line shows it as lineBreakMode says (see platform::TextLayoutOptions).
// The text block is centred vertically in the bounds and aligned in them.
//
// With adjustsFontSizeToFitWidth and a minimumScaleFactor between 0 and 1,
// every font shrinks as far as needed, but not below that share of its
// size, for the text to fit: a single line in the width, more lines without
// being cut. Attributed text draws each run in its own attributes, with the
// label's font and text colour where a run has none; its first character's
// paragraph style and shadow hold for the whole label.
//
// Labels take no touches by default. Main thread only.

#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/AttributedString.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/View.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

class Label : public View {
public:
    Label();
    explicit Label(const Rect& frame);

    // Setting the text drops attributed text; setting attributed text sets
    // the text to its string.
    const std::string& text() const { return mText; }
    void setText(std::string text);
    const std::optional<AttributedString>& attributedText() const { return mAttributedText; }
    void setAttributedText(std::optional<AttributedString> text);

    // Default: the system font of 17 points, black, left.
    const Font& font() const { return mFont; }
    void setFont(Font font);
    const Color& textColor() const { return mTextColor; }
    void setTextColor(const Color& color);
    TextAlignment textAlignment() const { return mAlignment; }
    void setTextAlignment(TextAlignment alignment);
    // Default 1; 0 is as many as the text needs.
    int numberOfLines() const { return mNumberOfLines; }
    void setNumberOfLines(int lines);
    // Default truncating the tail.
    LineBreakMode lineBreakMode() const { return mLineBreakMode; }
    void setLineBreakMode(LineBreakMode mode);
    bool adjustsFontSizeToFitWidth() const { return mAdjustsFontSize; }
    void setAdjustsFontSizeToFitWidth(bool adjusts);
    // 0 (the default) keeps the font's size.
    double minimumScaleFactor() const { return mMinimumScaleFactor; }
    void setMinimumScaleFactor(double factor);
    // A shadow of the text without blur; none by default.
    const std::optional<Color>& shadowColor() const { return mShadowColor; }
    void setShadowColor(std::optional<Color> color);
    Size shadowOffset() const { return mShadowOffset; }
    void setShadowOffset(Size offset);
    // The width a label of several lines wraps to for its intrinsic size;
    // 0 (the default) lets it grow as wide as its text.
    double preferredMaxLayoutWidth() const { return mPreferredMaxLayoutWidth; }
    void setPreferredMaxLayoutWidth(double width);

    // The text's size in `size`'s width (a single line is as wide as its
    // text), without the height limit, rounded up to the screen's pixels.
    Size sizeThatFits(Size size) const override;
    Size intrinsicContentSize() const override;
    void drawRect(Context& context, const Rect& rect) override;
    // A label draws its text from its properties alone; a subclass that
    // draws for itself returns false.
    bool drawsOnAnyThread() const override { return true; }
    // Where the text draws across the bounds, with room for glyphs that
    // reach past their advance, in whole points from the bounds' edges; its
    // full height. Text beyond the bounds is still clipped to them. Labels
    // narrower than kNarrowestTrimmed points keep their bounds.
    std::optional<Rect> drawnExtent() const override;
    static constexpr double kNarrowestTrimmed = 128;
    std::string className() const override { return "Label"; }
    void describeForDump(std::string& line) const override;

    // What the label shows in its bounds now: the laid-out text, where its
    // top-left lies, and the share of the fonts' sizes it is drawn at.
    struct Rendering {
        std::shared_ptr<const TextLayout> layout;
        Point origin;
        double scale = 1;
    };
    Rendering rendering() const;
    // Whether the bounds show less than the whole text: lines left out or
    // shortened, a line wider than the bounds, or lines taller than them.
    bool truncatesText() const;

private:
    StyledText styledText(double scale) const;
    ParagraphStyle paragraphStyle() const;
    std::optional<TextShadow> shadow() const;
    std::shared_ptr<const TextLayout> layOut(double scale, double width, int maximumLines) const;
    static int linesFittingHeight(const TextLayout& all, double height);
    void textChanged();

    std::string mText;
    std::optional<AttributedString> mAttributedText;
    Font mFont = Font::systemFont(Font::labelFontSize());
    Color mTextColor{0, 0, 0, 1};
    TextAlignment mAlignment = TextAlignment::left;
    int mNumberOfLines = 1;
    LineBreakMode mLineBreakMode = LineBreakMode::truncatingTail;
    bool mAdjustsFontSize = false;
    double mMinimumScaleFactor = 0;
    std::optional<Color> mShadowColor;
    Size mShadowOffset{0, -1};
    double mPreferredMaxLayoutWidth = 0;
    // The last extent worked out, for the content and bounds it was for:
    // asked at every frame, it lays out only after a change.
    struct KeptExtent {
        std::uint64_t version = 0;
        Rect bounds;
        std::optional<Rect> extent;
    };
    mutable std::optional<KeptExtent> mExtent;
};

// Rounds a size up to whole pixels of the main screen.
Size ceilToScreenPixels(Size size);

}  // namespace platform::ui
