#pragma once
// Text laid out in lines, as labels and text views show it: wrapped at
// words (or characters) to a width, cut to a number of lines, the last line
// shortened with an ellipsis or left to be clipped, each stretch of the text
// in its own font, colour and outline. A layout is measured and drawn from
// the same lines (Context::drawTextLayout), so what is measured is what is
// drawn. Immutable once made; usable from any thread.

#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

namespace detail {
struct TextLayoutImpl;
}

// Numbered as the platform numbers them, so stored values convert directly.
enum class LineBreakMode {
    wordWrapping = 0,
    charWrapping = 1,
    clipping = 2,
    truncatingHead = 3,
    truncatingTail = 4,
    truncatingMiddle = 5,
};

struct TextRun {
    std::size_t start = 0;  // bytes of StyledText::text
    std::size_t length = 0;
    TextAttributes attributes;
};

// Text with attributes by byte ranges. Bytes that no run covers take
// `attributes`; where runs overlap, the later one wins. Runs are cut to the
// text, and an end inside a UTF-8 character moves to that character's start.
// Text that is not valid UTF-8 is laid out with its broken bytes replaced,
// all of it in `attributes`. A font size that is not positive and finite
// counts as 12.
struct StyledText {
    std::string text;
    TextAttributes attributes;
    std::vector<TextRun> runs;
};

struct TextLayoutOptions {
    // Lines wrap to this width; 0, negative or not finite: one line a
    // paragraph ("\n" ends a paragraph).
    double width = 0;
    // At most this many lines; 0 or less: as many as the text needs.
    int maximumLines = 0;
    // Word wrapping falls back to characters for a word longer than a line.
    // When text is left over after the last line allowed, the wrapping
    // modes end that line where it wrapped; clipping shows the rest of its
    // paragraph on it, unwrapped (the drawing's clip cuts it); the
    // truncating modes show as much of the rest of the text as fits, with
    // an ellipsis at the head, the middle or the tail.
    LineBreakMode lineBreakMode = LineBreakMode::wordWrapping;
    // Lines align in the width, or in the widest line when not wrapping.
    TextAlignment alignment = TextAlignment::left;
};

class TextLayout {
public:
    struct Line {
        Rect frame;          // from the layout's top-left
        double baseline;     // y of the baseline, from the layout's top
        std::size_t start;   // the bytes it stands for; a shortened line
        std::size_t length;  // stands for the rest it was made from
    };

    // Lays the text out; the layouts of recent texts are kept and the same
    // one is handed out again for the same text, attributes and options.
    // Safe on any thread.
    static std::shared_ptr<const TextLayout> make(const StyledText& text, const TextLayoutOptions& options);
    static std::shared_ptr<const TextLayout> make(const std::string& utf8, const TextAttributes& attributes,
                                                  const TextLayoutOptions& options);
    // Lays every text out, in order, none of them kept: for a caller that
    // keeps them itself and would otherwise take Pango's one lock once a
    // text, waiting for it each time while other threads lay theirs out.
    // Safe on any thread.
    static std::vector<std::shared_ptr<const TextLayout>> makeSeveral(std::span<const StyledText> texts,
                                                                      const TextLayoutOptions& options);

    ~TextLayout();
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    // The widest line's width and the height of all lines; zero for empty
    // text. A clipped line may be wider than the width laid out for.
    Size size() const;
    const std::vector<Line>& lines() const;
    // True when lines were left out, or the last line was shortened or
    // shows more than it fits.
    bool isTruncated() const;
    // The width lines align in (see TextLayoutOptions::alignment).
    double alignmentWidth() const;

private:
    friend class Context;
    explicit TextLayout(std::unique_ptr<detail::TextLayoutImpl> impl);
    static std::shared_ptr<const TextLayout> makeUncached(const StyledText& text, const TextLayoutOptions& options);
    static std::shared_ptr<const TextLayout> makeUncached(std::span<const StyledText> texts,
                                                          const TextLayoutOptions& options,
                                                          std::vector<std::shared_ptr<const TextLayout>>* several);
    std::unique_ptr<detail::TextLayoutImpl> mImpl;
};

}  // namespace platform
