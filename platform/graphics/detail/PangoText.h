#pragma once
// Private to platform/graphics: the one Pango set-up that both measuring and
// drawing use, so that measured and drawn text agree. Includes Pango; never
// include it from a public header.

#include "platform/graphics/Geometry.h"

#include <pango/pangocairo.h>

#include <mutex>
#include <string>

namespace platform::detail {

// Pango and the font index are shared by every thread; Pango is not
// thread-safe, so everything below runs under this lock.
std::mutex& pangoMutex();

// Pango sizes are ints in 1/1024 units; larger sizes are laid out at this size
// and scaled, which holds because metrics are unhinted.
constexpr double kLargestLaidOutSize = 1000.0;

// A layout of one paragraph of UTF-8 text (broken bytes become replacement
// characters) in the named font at `laidOutSize` points (one point is one
// unit; at most kLargestLaidOutSize). An unknown font name lays out in the
// system font. Unhinted metrics, unrounded glyph positions. Caller holds
// pangoMutex() and unrefs the layout.
PangoLayout* makeLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize);

// Laying a text out is the costly part of measuring and of drawing it, and
// the same texts are measured and drawn again and again: the layouts of
// recent ones are kept, a bounded number (about a kilobyte each, enough for
// the labels of a large layout: past that, every text is laid out anew),
// and never changed once made: a text measured before it is drawn is drawn
// from the layout its measuring made. The layout is makeLayoutLocked's of
// the same text; the caller holds pangoMutex() and unrefs it.
PangoLayout* keptLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize);

// The layout keptLayoutLocked keeps for that text, if it keeps one (the
// caller unrefs it), or null; a text not kept is not laid out or kept.
PangoLayout* foundKeptLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize);

// True when fontconfig has a font of that name, or the name is one of the
// platform's fonts that a face here stands in for (caller holds
// pangoMutex()).
bool fontExistsLocked(const std::string& fontName);

// The description of the named font (the system font when unknown) at
// `laidOutSize` points, as makeLayoutLocked uses it. Caller holds
// pangoMutex() and frees it.
PangoFontDescription* fontDescriptionLocked(const std::string& fontName, double laidOutSize);

// The one Pango context behind every layout (caller holds pangoMutex()).
PangoContext* pangoContextLocked();

struct TextLayoutImpl;

// Draws a text layout's lines with their top-left at `topLeft`, multiplied
// by `alpha`, from the glyphs kept when it was made: no Pango and no lock,
// but for glyphs that no font has and text Cairo must draw. True
// `rectangularClip`: the clip, if any, is of rectangles upright in device
// space. With `clip` (corners x0, y0, x1, y1 in the space the context's
// matrix maps to, while it has no clip), the text is clipped to that
// rectangle, as if Cairo's clip were set to it: glyphs drawn from masks are
// clipped to the pixels it touches, as Cairo clips glyphs, and Cairo is
// given the clip only when it draws. Caller has saved the Cairo state.
void drawTextLayout(cairo_t* cr, const TextLayoutImpl& layout, Point topLeft, double alpha, bool rectangularClip,
                    const double* clip = nullptr);

}  // namespace platform::detail
