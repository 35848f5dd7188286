#include "platform/graphics/TextLayout.h"

#include "platform/foundation/RecentCache.h"
#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/GlyphMasks.h"
#include "platform/graphics/detail/PangoText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace platform {

namespace detail {

// One line as laid out: a line of a Pango layout, placed. Lengths are in the
// laid-out space (sizes divided by `factor`). Lives while the layout is made.
struct PlacedLine {
    PangoLayoutLine* line = nullptr;  // of a layout that lives as long
    std::size_t textOffset = 0;       // byte of the source text at the layout's byte 0
    std::size_t start = 0;            // byte of the source text where the line starts
    double x = 0;                     // where the line's logical box starts
    double top = 0;
    double height = 0;
    double baseline = 0;
    double width = 0;
    std::size_t sourceEnd = 0;  // byte of the source text after what it shows
};

// Glyphs no font has: Pango draws each as a box with its code. Rare, so
// these keep Pango's own run (other glyphs emptied) and are drawn by it,
// under its lock.
struct MissingGlyphs {
    PangoFont* font = nullptr;
    PangoGlyphString* glyphs = nullptr;
};

// A run of a line in one font and one set of attributes, as drawing needs
// it: glyph positions are from the pen at the run's start.
struct GlyphRun {
    cairo_scaled_font_t* font = nullptr;  // a reference of the impl's; null when only missing glyphs
    std::size_t first = 0;                // of TextLayoutImpl::glyphs
    std::size_t count = 0;
    Point pen;                   // in the laid-out space
    std::size_t attributes = 0;  // of TextLayoutImpl::runs
    std::unique_ptr<MissingGlyphs> missing;
};

struct TextLayoutImpl {
    ~TextLayoutImpl() {
        bool anyMissing = false;
        for (GlyphRun& run : glyphRuns) {
            if (run.font != nullptr) cairo_scaled_font_destroy(run.font);
            anyMissing = anyMissing || run.missing != nullptr;
        }
        if (!anyMissing) return;
        std::lock_guard lock(pangoMutex());
        for (GlyphRun& run : glyphRuns) {
            if (!run.missing) continue;
            pango_glyph_string_free(run.missing->glyphs);
            g_object_unref(run.missing->font);
        }
    }

    std::vector<GlyphRun> glyphRuns;  // in drawing order
    std::vector<cairo_glyph_t> glyphs;
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

std::size_t runIndexAt(const std::vector<TextRun>& runs, std::size_t byte) {
    auto it =
        std::upper_bound(runs.begin(), runs.end(), byte, [](std::size_t b, const TextRun& r) { return b < r.start; });
    return it == runs.begin() ? 0 : static_cast<std::size_t>(it - runs.begin() - 1);
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
    const TextRun& first = impl.runs[runIndexAt(impl.runs, from)];
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

// Every line of `layout`, stacked from its top, as an iterator of the
// layout would place them (no spacing set), without the cost of one: it
// works out every run's extents again.
std::vector<detail::PlacedLine> linesOf(PangoLayout* layout, std::size_t textOffset) {
    std::vector<detail::PlacedLine> lines;
    lines.reserve(static_cast<std::size_t>(pango_layout_get_line_count(layout)));
    int top = 0;
    for (GSList* item = pango_layout_get_lines_readonly(layout); item != nullptr; item = item->next) {
        auto* pangoLine = static_cast<PangoLayoutLine*>(item->data);
        PangoRectangle logical{};
        pango_layout_line_get_extents(pangoLine, nullptr, &logical);
        detail::PlacedLine line;
        line.line = pangoLine;
        line.textOffset = textOffset;
        line.start = textOffset + static_cast<std::size_t>(pangoLine->start_index);
        line.top = fromPango(top);
        line.height = fromPango(logical.height);
        line.baseline = fromPango(top - logical.y);
        line.width = fromPango(logical.width);
        line.sourceEnd = line.start + static_cast<std::size_t>(pangoLine->length);
        lines.push_back(line);
        top += logical.height;
    }
    return lines;
}

// The glyphs of a line, positioned as Pango's renderer positions them from
// the pen, each run with a reference to its font.
void keepGlyphsLocked(detail::TextLayoutImpl& impl, const detail::PlacedLine& line) {
    double x = line.x;
    for (GSList* item = line.line->runs; item != nullptr; item = item->next) {
        auto* run = static_cast<PangoGlyphItem*>(item->data);
        const PangoGlyphString* glyphs = run->glyphs;
        detail::GlyphRun kept;
        kept.pen = Point{x, line.baseline};
        kept.attributes = runIndexAt(impl.runs, line.textOffset + static_cast<std::size_t>(run->item->offset));
        kept.first = impl.glyphs.size();
        PangoFont* font = run->item->analysis.font;
        cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
        const bool usable = scaled != nullptr && cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS;
        bool missing = !usable;
        int position = 0;
        for (int i = 0; usable && i < glyphs->num_glyphs; ++i) {
            const PangoGlyphInfo& g = glyphs->glyphs[i];
            if (g.glyph != PANGO_GLYPH_EMPTY && (g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0) {
                missing = true;
            } else if (g.glyph != PANGO_GLYPH_EMPTY) {
                impl.glyphs.push_back(
                    cairo_glyph_t{g.glyph, fromPango(position + g.geometry.x_offset), fromPango(g.geometry.y_offset)});
            }
            position += g.geometry.width;
        }
        kept.count = impl.glyphs.size() - kept.first;
        if (kept.count > 0) kept.font = cairo_scaled_font_reference(scaled);
        if (missing) {
            kept.missing = std::make_unique<detail::MissingGlyphs>();
            kept.missing->font = PANGO_FONT(g_object_ref(font));
            kept.missing->glyphs = pango_glyph_string_copy(run->glyphs);
            // What the font has is drawn from our own glyphs.
            for (int i = 0; usable && i < glyphs->num_glyphs; ++i) {
                PangoGlyphInfo& g = kept.missing->glyphs->glyphs[i];
                if ((g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0) g.glyph = PANGO_GLYPH_EMPTY;
            }
        }
        if (kept.font != nullptr || kept.missing) impl.glyphRuns.push_back(std::move(kept));
        x += fromPango(pango_glyph_string_get_width(run->glyphs));
    }
}

void layOutLocked(detail::TextLayoutImpl& impl, const std::string& text, const TextLayoutOptions& options) {
    const bool wrapping = std::isfinite(options.width) && options.width > 0;
    const double width = wrapping ? options.width / impl.factor : 0;

    // The layouts are only needed until their glyphs are kept.
    std::vector<PangoLayout*> layouts;
    const struct Unref {
        std::vector<PangoLayout*>& layouts;
        ~Unref() {
            for (PangoLayout* layout : layouts) g_object_unref(layout);
        }
    } unref{layouts};
    // Text in one font on unwrapped lines is laid out as measuring lays it
    // out: a text measured already (an open measures a layout's labels) is
    // not laid out again. The kept layout is shared, so only read.
    PangoLayout* whole = nullptr;
    if (!wrapping && impl.runs.size() == 1 && impl.factor == 1) {
        const TextAttributes& attributes = impl.runs.front().attributes;
        whole = detail::foundKeptLayoutLocked(text, attributes.fontName, usableSize(attributes.fontSize));
    }
    if (whole == nullptr) whole = makeRunLayoutLocked(impl, text, 0, text.size(), false);
    layouts.push_back(whole);
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
            const std::size_t from = last.start;
            std::size_t to = text.size();
            if (mode == LineBreakMode::clipping) to = std::min(text.find('\n', from), text.size());
            PangoLayout* rest = makeRunLayoutLocked(impl, text, from, to, true);
            layouts.push_back(rest);
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
    impl.alignmentWidth = box * impl.factor;
    const double height = lines.empty() ? 0 : lines.back().top + lines.back().height;
    impl.size = Size{widest * impl.factor, height * impl.factor};
    impl.lines.reserve(lines.size());
    for (const auto& line : lines) {
        impl.lines.push_back(TextLayout::Line{
            Rect{line.x * impl.factor, line.top * impl.factor, line.width * impl.factor, line.height * impl.factor},
            line.baseline * impl.factor, line.start, line.sourceEnd - line.start});
        keepGlyphsLocked(impl, line);
    }
}

}  // namespace

namespace detail {

void drawTextLayout(cairo_t* cr, const TextLayoutImpl& impl, Point topLeft, double alpha, bool rectangularClip,
                    const double* clip) {
    cairo_translate(cr, topLeft.x, topLeft.y);
    cairo_scale(cr, impl.factor, impl.factor);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_dash(cr, nullptr, 0, 0);
    // Runs are drawn from glyph masks of our own where that is exact, with
    // no lock; the rest through Cairo, which holds a font's lock while it
    // draws that font's glyphs, so those threads take turns: one turn for
    // the rest of a layout costs far less than contending for every run.
    const std::optional<GlyphTarget> target = GlyphTarget::of(cr, rectangularClip, clip);
    // Cairo is given the clip before it draws a run itself.
    bool clippedForCairo = clip == nullptr;
    const auto clipForCairo = [&](Point pen) {
        if (clippedForCairo) return;
        clippedForCairo = true;
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        cairo_move_to(cr, clip[0], clip[1]);
        cairo_line_to(cr, clip[2], clip[1]);
        cairo_line_to(cr, clip[2], clip[3]);
        cairo_line_to(cr, clip[0], clip[3]);
        cairo_close_path(cr);
        cairo_clip(cr);
        cairo_set_matrix(cr, &m);
        cairo_move_to(cr, pen.x, pen.y);
    };
    static std::mutex turns;
    std::unique_lock turn(turns, std::defer_lock);
    thread_local std::vector<cairo_glyph_t> placed;
    for (const GlyphRun& run : impl.glyphRuns) {
        const TextAttributes& attributes = impl.runs[run.attributes].attributes;
        const double strokeWidth = std::isfinite(attributes.strokeWidth) ? attributes.strokeWidth : 0;
        // Glyphs go where Pango's renderer puts them: from the pen as Cairo
        // gives it back, rounded to its fixed point.
        cairo_move_to(cr, run.pen.x, run.pen.y);
        double penX = 0;
        double penY = 0;
        cairo_get_current_point(cr, &penX, &penY);
        placed.resize(run.count);
        for (std::size_t i = 0; i < run.count; ++i) {
            const cairo_glyph_t& g = impl.glyphs[run.first + i];
            placed[i] = cairo_glyph_t{g.index, penX + g.x, g.y == 0 ? penY : penY + g.y};
        }
        const bool outlined = strokeWidth != 0;
        const Color& color = attributes.color;
        if (target && !outlined && !run.missing &&
            drawGlyphsFromMasks(*target, cr, run.font, placed.data(), run.count, color.red, color.green, color.blue,
                                (std::isnan(color.alpha) ? 0.0 : std::clamp(color.alpha, 0.0, 1.0)) * alpha)) {
            cairo_new_path(cr);
            continue;
        }
        clipForCairo(run.pen);
        if (!turn.owns_lock()) turn.lock();
        if (!outlined) setSourceColor(cr, attributes.color, alpha);
        if (run.missing) {
            std::lock_guard lock(pangoMutex());
            if (outlined) {
                pango_cairo_glyph_string_path(cr, run.missing->font, run.missing->glyphs);
            } else {
                pango_cairo_show_glyph_string(cr, run.missing->font, run.missing->glyphs);
            }
        }
        if (run.count > 0) {
            cairo_set_scaled_font(cr, run.font);
            if (outlined) {
                cairo_glyph_path(cr, placed.data(), static_cast<int>(run.count));
                cairo_move_to(cr, penX, penY);  // where Pango leaves the pen
            } else {
                cairo_show_glyphs(cr, placed.data(), static_cast<int>(run.count));
            }
        }
        if (outlined) {
            if (strokeWidth < 0) {
                setSourceColor(cr, attributes.color, alpha);
                cairo_fill_preserve(cr);
            }
            setSourceColor(cr, attributes.strokeColor.value_or(attributes.color), alpha);
            cairo_set_line_width(cr, std::abs(strokeWidth) * usableSize(attributes.fontSize) / impl.factor / 100);
            cairo_stroke(cr);
        }
        cairo_new_path(cr);
    }
}

}  // namespace detail

TextLayout::TextLayout(std::unique_ptr<detail::TextLayoutImpl> impl) : mImpl(std::move(impl)) {}

TextLayout::~TextLayout() = default;

namespace {

void appendBytes(std::string& key, const void* bytes, std::size_t size) {
    key.append(static_cast<const char*>(bytes), size);
}

void appendAttributes(std::string& key, const TextAttributes& a) {
    key += a.fontName;
    key.push_back('\0');
    const double numbers[] = {a.fontSize,
                              a.color.red,
                              a.color.green,
                              a.color.blue,
                              a.color.alpha,
                              a.strokeWidth,
                              a.strokeColor ? 1.0 : 0.0,
                              a.strokeColor ? a.strokeColor->red : 0.0,
                              a.strokeColor ? a.strokeColor->green : 0.0,
                              a.strokeColor ? a.strokeColor->blue : 0.0,
                              a.strokeColor ? a.strokeColor->alpha : 0.0};
    appendBytes(key, numbers, sizeof numbers);
}

// Everything a layout is made from, as bytes.
std::string layoutKey(const StyledText& styled, const TextLayoutOptions& options) {
    std::string key;
    const std::uint64_t length = styled.text.size();
    appendBytes(key, &length, sizeof length);
    key += styled.text;
    appendAttributes(key, styled.attributes);
    for (const TextRun& run : styled.runs) {
        const std::uint64_t range[] = {run.start, run.length};
        appendBytes(key, range, sizeof range);
        appendAttributes(key, run.attributes);
    }
    const double width = options.width;
    const int numbers[] = {options.maximumLines, static_cast<int>(options.lineBreakMode),
                           static_cast<int>(options.alignment)};
    appendBytes(key, &width, sizeof width);
    appendBytes(key, numbers, sizeof numbers);
    return key;
}

}  // namespace

std::shared_ptr<const TextLayout> TextLayout::make(const StyledText& styled, const TextLayoutOptions& options) {
    // Laying text out is the costly part, and screens lay out the same
    // texts again and again (a chart's labels each time it is built, a
    // label's text at every change of size): recent layouts are kept, a
    // bounded number (the least used going first), and shared, as a layout
    // never changes once made.
    constexpr std::size_t kMostKeptLayouts = 4096;
    // Long texts (a document's, a pasted one) are not kept: the table would
    // hold thousands of them, and they are seldom laid out again.
    constexpr std::size_t kLongestKeptText = 1024;
    if (styled.text.size() > kLongestKeptText) return makeUncached(styled, options);
    // Rasters drawn side by side look their texts up at once: they share
    // the lock, and a thread that slept on it would wake late.
    static std::shared_mutex keptMutex;
    static auto* kept = new RecentCache<std::shared_ptr<const TextLayout>>(kMostKeptLayouts);
    std::string key = layoutKey(styled, options);
    {
        std::shared_lock lock(keptMutex);
        if (const auto* found = kept->find(key)) return *found;
    }
    auto layout = makeUncached(styled, options);
    // Layouts let go are destroyed outside the lock.
    std::vector<std::shared_ptr<const TextLayout>> gone;
    std::unique_lock lock(keptMutex);
    return kept->insert(std::move(key), std::move(layout),
                        [&gone](std::shared_ptr<const TextLayout>&& old) { gone.push_back(std::move(old)); });
}

std::shared_ptr<const TextLayout> TextLayout::makeUncached(const StyledText& styled, const TextLayoutOptions& options) {
    return makeUncached(std::span<const StyledText>(&styled, 1), options, nullptr);
}

std::vector<std::shared_ptr<const TextLayout>> TextLayout::makeSeveral(std::span<const StyledText> texts,
                                                                       const TextLayoutOptions& options) {
    std::vector<std::shared_ptr<const TextLayout>> several;
    makeUncached(texts, options, &several);
    return several;
}

// The layout of the one text, or (`several` given) of each into it.
std::shared_ptr<const TextLayout> TextLayout::makeUncached(std::span<const StyledText> texts,
                                                           const TextLayoutOptions& options,
                                                           std::vector<std::shared_ptr<const TextLayout>>* several) {
    std::vector<std::unique_ptr<detail::TextLayoutImpl>> impls;
    std::vector<std::string> repaired(texts.size());
    impls.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const StyledText& styled = texts[i];
        auto impl = std::make_unique<detail::TextLayoutImpl>();
        const bool valid = g_utf8_validate(styled.text.data(), static_cast<gssize>(styled.text.size()), nullptr);
        if (!valid) {
            gchar* made = g_utf8_make_valid(styled.text.data(), static_cast<gssize>(styled.text.size()));
            repaired[i] = made;
            g_free(made);
        }
        const std::string& text = valid ? styled.text : repaired[i];
        impl->runs = normalisedRuns(styled, text, valid);
        double largest = 0;
        for (const auto& run : impl->runs) largest = std::max(largest, usableSize(run.attributes.fontSize));
        // Pango sizes are ints in 1/1024 units: very large text is laid out
        // smaller and scaled, which holds because metrics are unhinted.
        impl->factor = std::max(1.0, largest / detail::kLargestLaidOutSize);
        impls.push_back(std::move(impl));
    }
    {
        // One hold for all: a thread woken for the lock may wait longer
        // than a short text takes to lay out.
        std::unique_lock lock(detail::pangoMutex(), std::defer_lock);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const std::string& text = repaired[i].empty() ? texts[i].text : repaired[i];
            if (text.empty()) continue;
            if (!lock.owns_lock()) lock.lock();
            layOutLocked(*impls[i], text, options);
        }
    }
    std::shared_ptr<const TextLayout> last;
    for (auto& impl : impls) {
        last = std::shared_ptr<const TextLayout>(new TextLayout(std::move(impl)));
        if (several != nullptr) several->push_back(last);
    }
    return last;
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
