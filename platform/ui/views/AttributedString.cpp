#include "platform/ui/views/AttributedString.h"

#include <algorithm>

namespace platform::ui {

void TextStyle::add(const TextStyle& other) {
    if (other.font) font = other.font;
    if (other.foregroundColor) foregroundColor = other.foregroundColor;
    if (other.strokeWidth) strokeWidth = other.strokeWidth;
    if (other.strokeColor) strokeColor = other.strokeColor;
    if (other.shadow) shadow = other.shadow;
    if (other.paragraphStyle) paragraphStyle = other.paragraphStyle;
}

AttributedString::AttributedString(std::string text, TextStyle style) : mText(std::move(text)) {
    if (!mText.empty()) mRuns.push_back(Run{Range{0, mText.size()}, std::move(style)});
}

template <typename Change>
void AttributedString::change(Range range, Change&& apply) {
    const std::size_t start = std::min(range.location, mText.size());
    const std::size_t end = start + std::min(range.length, mText.size() - start);
    if (end == start) return;
    std::vector<Run> out;
    out.reserve(mRuns.size() + 2);
    for (const Run& run : mRuns) {
        const std::size_t runEnd = run.range.location + run.range.length;
        const std::size_t from = std::max(run.range.location, start);
        const std::size_t to = std::min(runEnd, end);
        if (to <= from) {
            out.push_back(run);
            continue;
        }
        if (run.range.location < from)
            out.push_back(Run{Range{run.range.location, from - run.range.location}, run.style});
        Run changed{Range{from, to - from}, run.style};
        apply(changed.style);
        out.push_back(std::move(changed));
        if (runEnd > to) out.push_back(Run{Range{to, runEnd - to}, run.style});
    }
    mRuns = std::move(out);
    coalesce();
}

void AttributedString::coalesce() {
    std::vector<Run> out;
    for (Run& run : mRuns) {
        if (!out.empty() && out.back().style == run.style) {
            out.back().range.length += run.range.length;
        } else {
            out.push_back(std::move(run));
        }
    }
    mRuns = std::move(out);
}

void AttributedString::addAttributes(const TextStyle& style, Range range) {
    change(range, [&](TextStyle& s) { s.add(style); });
}

void AttributedString::setAttributes(const TextStyle& style, Range range) {
    change(range, [&](TextStyle& s) { s = style; });
}

void AttributedString::append(const AttributedString& other) {
    const std::size_t offset = mText.size();
    mText += other.mText;
    for (const Run& run : other.mRuns)
        mRuns.push_back(Run{Range{run.range.location + offset, run.range.length}, run.style});
    coalesce();
}

TextStyle AttributedString::attributesAt(std::size_t index, Range* effectiveRange) const {
    for (const Run& run : mRuns) {
        if (index >= run.range.location && index < run.range.location + run.range.length) {
            if (effectiveRange != nullptr) *effectiveRange = run.range;
            return run.style;
        }
    }
    if (effectiveRange != nullptr) *effectiveRange = Range{};
    return {};
}

StyledText AttributedString::styledText(const Font& font, const Color& color) const {
    StyledText styled;
    styled.text = mText;
    styled.attributes = font.textAttributes(color);
    for (const Run& run : mRuns) {
        TextAttributes attributes =
            run.style.font.value_or(font).textAttributes(run.style.foregroundColor.value_or(color));
        attributes.strokeWidth = run.style.strokeWidth.value_or(0);
        attributes.strokeColor = run.style.strokeColor;
        styled.runs.push_back(TextRun{run.range.location, run.range.length, std::move(attributes)});
    }
    return styled;
}

StyledText styledText(const std::optional<AttributedString>& attributed, const std::string& text, const Font& font,
                      const Color& color) {
    return attributed ? attributed->styledText(font, color) : StyledText{text, font.textAttributes(color), {}};
}

}  // namespace platform::ui
