#include "platform/graphics/TextLayout.h"

#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/PangoText.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace platform {

namespace detail {

// One line as laid out: a line of a Pango layout, placed. Lengths are in the
// laid-out space (sizes divided by `factor`).
struct PlacedLine {
    PangoLayout* layout = nullptr;  // a reference held by the impl
    int index = 0;                  // line of `layout`
    std::size_t textOffset = 0;     // byte of the source text at the layout's byte 0
    double x = 0;                   // where the line's logical box starts
    double top = 0;
    double height = 0;
    double baseline = 0;
    double width = 0;
    std::size_t sourceEnd = 0;  // byte of the source text after what it shows
};

struct TextLayoutImpl {
    ~TextLayoutImpl() {
        std::lock_guard lock(pangoMutex());
        for (PangoLayout* layout : layouts) g_object_unref(layout);
    }

    std::vector<PangoLayout*> layouts;
    std::vector<PlacedLine> placed;
    std::vector<TextLayout::Line> lines;
    // Attributes of the source text by byte: contiguous, sorted, covering it.
    std::vector<TextRun> runs;
    double factor = 1;  // user space per laid-out unit
    Size size;
    double alignmentWidth = 0;
    bool truncated = false;
};

}  // namespace detail

namespace {

constexpr double kDefaultFontSize = 12;

double usableSize(double size) { return std::isfinite(size) && size > 0 ? size : kDefaultFontSize; }

std::size_t characterStart(const std::string& text, std::size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    return std::min(at, text.size());
}

// Paints attributes over bytes [start, end) of segments that cover the text
// contiguously, in order.
void paintRun(std::vector<TextRun>& segments, std::size_t start, std::size_t end, const TextAttributes& attributes) {
    std::vector<TextRun> out;
    out.reserve(segments.size() + 2);
    bool painted = false;
    for (const TextRun& s : segments) {
        const std::size_t sEnd = s.start + s.length;
        if (sEnd <= start || s.start >= end) {
            out.push_back(s);
            continue;
        }
        if (s.start < start) out.push_back(TextRun{s.start, start - s.start, s.attributes});
        if (!painted) out.push_back(TextRun{start, end - start, attributes});
        painted = true;
        if (sEnd > end) out.push_back(TextRun{end, sEnd - end, s.attributes});
    }
    segments = std::move(out);
}

std::vector<TextRun> normalisedRuns(const StyledText& styled, const std::string& text, bool valid) {
    std::vector<TextRun> segments{TextRun{0, text.size(), styled.attributes}};
    if (!valid) return segments;
    for (const TextRun& run : styled.runs) {
        const std::size_t start = characterStart(text, std::min(run.start, text.size()));
        const std::size_t end = characterStart(
            text, run.length > text.size() - std::min(run.start, text.size()) ? text.size() : run.start + run.length);
        if (end > start) paintRun(segments, start, end, run.attributes);
    }
    return segments;
}

const TextRun& runAt(const std::vector<TextRun>& runs, std::size_t byte) {
    auto it =
        std::upper_bound(runs.begin(), runs.end(), byte, [](std::size_t b, const TextRun& r) { return b < r.start; });
    return it == runs.begin() ? runs.front() : *(it - 1);
}

// A layout of bytes [from, to) of the text, each run in its font. Caller
// holds the Pango lock and owns the layout.
PangoLayout* makeRunLayoutLocked(const detail::TextLayoutImpl& impl, const std::string& text, std::size_t from,
                                 std::size_t to, bool newlinesAsSpaces) {
    std::string part = text.substr(from, to - from);
    if (newlinesAsSpaces)
        std::replace_if(
            part.begin(), part.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    PangoLayout* layout = pango_layout_new(detail::pangoContextLocked());
    const TextRun& first = runAt(impl.runs, from);
    PangoFontDescription* base =
        detail::fontDescriptionLocked(first.attributes.fontName, usableSize(first.attributes.fontSize) / impl.factor);
    pango_layout_set_font_description(layout, base);
    pango_font_description_free(base);
    pango_layout_set_text(layout, part.data(), static_cast<int>(part.size()));

    PangoAttrList* list = pango_attr_list_new();
    for (const TextRun& run : impl.runs) {
        const std::size_t start = std::max(run.start, from);
        const std::size_t end = std::min(run.start + run.length, to);
        if (end <= start) continue;
        PangoFontDescription* description =
            detail::fontDescriptionLocked(run.attributes.fontName, usableSize(run.attributes.fontSize) / impl.factor);
        // A field left unset would be taken from the layout's base font.
        pango_font_description_set_weight(description, pango_font_description_get_weight(description));
        pango_font_description_set_style(description, pango_font_description_get_style(description));
        pango_font_description_set_stretch(description, pango_font_description_get_stretch(description));
        PangoAttribute* attribute = pango_attr_font_desc_new(description);
        pango_font_description_free(description);
        attribute->start_index = static_cast<guint>(start - from);
        attribute->end_index = static_cast<guint>(end - from);
        pango_attr_list_insert(list, attribute);
    }
    pango_layout_set_attributes(layout, list);
    pango_attr_list_unref(list);
    return layout;
}

constexpr double fromPango(int v) { return static_cast<double>(v) / PANGO_SCALE; }

int toPango(double v) { return static_cast<int>(std::lround(std::min(v * PANGO_SCALE, double{INT_MAX / 2}))); }

PangoEllipsizeMode ellipsizeFor(LineBreakMode mode) {
    switch (mode) {
        case LineBreakMode::truncatingHead: return PANGO_ELLIPSIZE_START;
        case LineBreakMode::truncatingMiddle: return PANGO_ELLIPSIZE_MIDDLE;
        case LineBreakMode::truncatingTail: return PANGO_ELLIPSIZE_END;
        default: return PANGO_ELLIPSIZE_NONE;
    }
}

// Every line of `layout`, stacked from its top.
std::vector<detail::PlacedLine> linesOf(PangoLayout* layout, std::size_t textOffset) {
    std::vector<detail::PlacedLine> lines;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    int index = 0;
    do {
        PangoRectangle logical{};
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        detail::PlacedLine line;
        line.layout = layout;
        line.index = index++;
        line.textOffset = textOffset;
        line.top = fromPango(logical.y);
        line.height = fromPango(logical.height);
        line.baseline = fromPango(pango_layout_iter_get_baseline(iter));
        line.width = fromPango(logical.width);
        const PangoLayoutLine* pangoLine = pango_layout_iter_get_line_readonly(iter);
        line.sourceEnd = textOffset + static_cast<std::size_t>(pangoLine->start_index + pangoLine->length);
        lines.push_back(line);
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return lines;
}

std::size_t lineStart(const detail::PlacedLine& line) {
    return line.textOffset +
           static_cast<std::size_t>(pango_layout_get_line_readonly(line.layout, line.index)->start_index);
}

void layOutLocked(detail::TextLayoutImpl& impl, const std::string& text, const TextLayoutOptions& options) {
    const bool wrapping = std::isfinite(options.width) && options.width > 0;
    const double width = wrapping ? options.width / impl.factor : 0;

    PangoLayout* whole = makeRunLayoutLocked(impl, text, 0, text.size(), false);
    impl.layouts.push_back(whole);
    if (wrapping) {
        pango_layout_set_width(whole, toPango(width));
        pango_layout_set_wrap(
            whole, options.lineBreakMode == LineBreakMode::charWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    }
    std::vector<detail::PlacedLine> lines = linesOf(whole, 0);
    const std::size_t allowed =
        options.maximumLines > 0 ? static_cast<std::size_t>(options.maximumLines) : lines.size();
    if (lines.size() > allowed) {
        impl.truncated = true;
        lines.resize(allowed);
        const LineBreakMode mode = options.lineBreakMode;
        if (mode != LineBreakMode::wordWrapping && mode != LineBreakMode::charWrapping) {
            // The last line shows the rest: its paragraph when clipping, all
            // that is left (on one line) when truncating.
            const detail::PlacedLine last = lines.back();
            const std::size_t from = lineStart(last);
            std::size_t to = text.size();
            if (mode == LineBreakMode::clipping) to = std::min(text.find('\n', from), text.size());
            PangoLayout* rest = makeRunLayoutLocked(impl, text, from, to, true);
            impl.layouts.push_back(rest);
            if (wrapping && mode != LineBreakMode::clipping) {
                pango_layout_set_width(rest, toPango(width));
                pango_layout_set_ellipsize(rest, ellipsizeFor(mode));
            }
            detail::PlacedLine shortened = linesOf(rest, from).front();
            shortened.sourceEnd = to;
            shortened.top = last.top;
            shortened.baseline += last.top;
            lines.back() = shortened;
        }
    } else if (wrapping && !lines.empty()) {
        // A word too long for the width is broken at characters; only a
        // line that cannot be broken at all overflows.
        for (const auto& line : lines) impl.truncated = impl.truncated || line.width > width + 1e-6;
    }

    double widest = 0;
    for (const auto& line : lines) widest = std::max(widest, line.width);
    const double box = wrapping ? width : widest;
    for (auto& line : lines) {
        const double room = box - line.width;
        if (room > 0 && options.alignment == TextAlignment::center) line.x = room / 2;
        if (room > 0 && options.alignment == TextAlignment::right) line.x = room;
    }
    impl.placed = std::move(lines);
    impl.alignmentWidth = box * impl.factor;
    const double height = impl.placed.empty() ? 0 : impl.placed.back().top + impl.placed.back().height;
    impl.size = Size{widest * impl.factor, height * impl.factor};
    for (const auto& line : impl.placed) {
        const std::size_t start = lineStart(line);
        impl.lines.push_back(TextLayout::Line{
            Rect{line.x * impl.factor, line.top * impl.factor, line.width * impl.factor, line.height * impl.factor},
            line.baseline * impl.factor, start, line.sourceEnd - start});
    }
}

}  // namespace

namespace detail {

void drawTextLayoutLocked(cairo_t* cr, const TextLayoutImpl& impl, Point topLeft, double alpha) {
    cairo_translate(cr, topLeft.x, topLeft.y);
    cairo_scale(cr, impl.factor, impl.factor);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_dash(cr, nullptr, 0, 0);
    for (const PlacedLine& line : impl.placed) {
        PangoLayoutLine* pangoLine = pango_layout_get_line_readonly(line.layout, line.index);
        double x = line.x;
        for (GSList* item = pangoLine->runs; item != nullptr; item = item->next) {
            auto* run = static_cast<PangoGlyphItem*>(item->data);
            const double advance = fromPango(pango_glyph_string_get_width(run->glyphs));
            const TextAttributes& attributes =
                runAt(impl.runs, line.textOffset + static_cast<std::size_t>(run->item->offset)).attributes;
            PangoFont* font = run->item->analysis.font;
            const double strokeWidth = std::isfinite(attributes.strokeWidth) ? attributes.strokeWidth : 0;
            cairo_move_to(cr, x, line.baseline);
            if (strokeWidth == 0) {
                setSourceColor(cr, attributes.color, alpha);
                pango_cairo_show_glyph_string(cr, font, run->glyphs);
            } else {
                pango_cairo_glyph_string_path(cr, font, run->glyphs);
                if (strokeWidth < 0) {
                    setSourceColor(cr, attributes.color, alpha);
                    cairo_fill_preserve(cr);
                }
                setSourceColor(cr, attributes.strokeColor.value_or(attributes.color), alpha);
                cairo_set_line_width(cr, std::abs(strokeWidth) * usableSize(attributes.fontSize) / impl.factor / 100);
                cairo_stroke(cr);
            }
            cairo_new_path(cr);
            x += advance;
        }
    }
}

}  // namespace detail

TextLayout::TextLayout(std::unique_ptr<detail::TextLayoutImpl> impl) : mImpl(std::move(impl)) {}

TextLayout::~TextLayout() = default;

std::shared_ptr<const TextLayout> TextLayout::make(const StyledText& styled, const TextLayoutOptions& options) {
    auto impl = std::make_unique<detail::TextLayoutImpl>();
    const bool valid = g_utf8_validate(styled.text.data(), static_cast<gssize>(styled.text.size()), nullptr);
    std::string text = styled.text;
    if (!valid) {
        gchar* repaired = g_utf8_make_valid(styled.text.data(), static_cast<gssize>(styled.text.size()));
        text = repaired;
        g_free(repaired);
    }
    impl->runs = normalisedRuns(styled, text, valid);
    double largest = 0;
    for (const auto& run : impl->runs) largest = std::max(largest, usableSize(run.attributes.fontSize));
    // Pango sizes are ints in 1/1024 units: very large text is laid out
    // smaller and scaled, which holds because metrics are unhinted.
    impl->factor = std::max(1.0, largest / detail::kLargestLaidOutSize);
    if (!text.empty()) {
        std::lock_guard lock(detail::pangoMutex());
        layOutLocked(*impl, text, options);
    }
    return std::shared_ptr<const TextLayout>(new TextLayout(std::move(impl)));
}

std::shared_ptr<const TextLayout> TextLayout::make(const std::string& utf8, const TextAttributes& attributes,
                                                   const TextLayoutOptions& options) {
    return make(StyledText{utf8, attributes, {}}, options);
}

Size TextLayout::size() const { return mImpl->size; }

const std::vector<TextLayout::Line>& TextLayout::lines() const { return mImpl->lines; }

bool TextLayout::isTruncated() const { return mImpl->truncated; }

double TextLayout::alignmentWidth() const { return mImpl->alignmentWidth; }

}  // namespace platform
