#pragma once
// Text with attributes by range, as far as labels show them: font, colour,
// outline (stroke width and colour), shadow and paragraph style (alignment
// and line breaking). Ranges count bytes of the UTF-8 text. A label takes
// its shadow and paragraph style from the first character's attributes, as
// the platform's labels do.

#include "platform/foundation/Range.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/Font.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

struct TextShadow {
    Size offset{0, -3};
    double blurRadius = 0;
    Color color{0, 0, 0, 1.0 / 3};
    friend bool operator==(const TextShadow&, const TextShadow&) = default;
};

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::left;
    LineBreakMode lineBreakMode = LineBreakMode::wordWrapping;
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// The attributes of a stretch of text; absent ones take the defaults of
// whoever draws it (a label's font and text colour).
struct TextStyle {
    std::optional<Font> font;
    std::optional<Color> foregroundColor;
    // Percent of the font size: positive outlines only, negative fills and
    // outlines (see platform::TextAttributes).
    std::optional<double> strokeWidth;
    std::optional<Color> strokeColor;
    std::optional<TextShadow> shadow;
    std::optional<ParagraphStyle> paragraphStyle;

    // Takes every attribute `other` has.
    void add(const TextStyle& other);
    friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

class AttributedString {
public:
    struct Run {
        Range range;
        TextStyle style;
        friend bool operator==(const Run&, const Run&) = default;
    };

    AttributedString() = default;
    explicit AttributedString(std::string text, TextStyle style = {});

    const std::string& string() const { return mText; }
    std::size_t length() const { return mText.size(); }

    // Adds the attributes over the range, keeping the others; replaces all
    // of them with `setAttributes`. A range is cut to the string.
    void addAttributes(const TextStyle& style, Range range);
    void setAttributes(const TextStyle& style, Range range);
    void append(const AttributedString& other);

    // The attributes at a byte, with the range over which they hold; none
    // (and an empty range) past the end.
    TextStyle attributesAt(std::size_t index, Range* effectiveRange = nullptr) const;
    // Runs of equal attributes covering the string, in order.
    const std::vector<Run>& runs() const { return mRuns; }

    // For drawing: the text with `font` and `color` where a run has none.
    StyledText styledText(const Font& font, const Color& color) const;

    friend bool operator==(const AttributedString&, const AttributedString&) = default;

private:
    template <typename Change>
    void change(Range range, Change&& apply);
    void coalesce();

    std::string mText;
    std::vector<Run> mRuns;
};

// What a view with a font, a text colour and plain or attributed text draws:
// the attributed text with those where its runs have none, else the plain
// text in them.
StyledText styledText(const std::optional<AttributedString>& attributed, const std::string& text, const Font& font,
                      const Color& color);

}  // namespace platform::ui
