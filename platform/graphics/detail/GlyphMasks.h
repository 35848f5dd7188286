#pragma once
// Private to platform/graphics: glyphs drawn from masks of our own, so that
// threads draw text at the same time. Cairo holds a font's lock while it
// draws that font's glyphs; here each glyph is rendered through Cairo once,
// kept, and composited with pixman exactly as Cairo's image compositor would
// composite it, pixel for pixel. Includes Cairo; never include it from a
// public header.

#include <cairo.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace platform::detail {

// A context's target as glyph masks draw on it: an ARGB32 image, user space
// a translation and a uniform positive scale of its pixels, operator OVER,
// and a clip of whole pixels or of upright rectangles.
struct GlyphTarget {
    // The context's current target (its group's, inside one), or nothing
    // when masks cannot draw there exactly and Cairo must. Cairo does not
    // tell a clip of rectangles off the pixel grid from one of paths: the
    // caller does, with `rectangularClip`.
    // With `only` (corners x0, y0, x1, y1 in the space `cr`'s matrix maps
    // to, while Cairo has no clip set), the clip is the pixels that
    // rectangle touches, as Cairo's would be.
    static std::optional<GlyphTarget> of(cairo_t* cr, bool rectangularClip, const double* only = nullptr);

    cairo_surface_t* surface = nullptr;
    unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    cairo_matrix_t ctm{};     // user space to the surface's own space
    cairo_matrix_t device{};  // the surface's device transform
    double scale = 1;         // of user space to pixels
    // The clip in pixels: rectangles, and the box around them (the surface
    // when there is no clip).
    struct Box {
        int x0, y0, x1, y1;
    };
    std::vector<Box> clip;
    Box clipExtents{0, 0, 0, 0};
};

// Draws `count` glyphs of `font` at their user-space positions in a solid
// colour (components 0 to 1, not premultiplied), as cairo_show_glyphs with
// the same context would. Returns false, having drawn nothing, when it
// cannot be exact (a glyph in colour or cut, a font too large): the caller
// draws through Cairo then. `cr` is used to find the scaled font Cairo would
// use; its font is left set to `font`. Safe on any thread, each with its
// own target.
bool drawGlyphsFromMasks(const GlyphTarget& target, cairo_t* cr, cairo_scaled_font_t* font, const cairo_glyph_t* glyphs,
                         std::size_t count, double red, double green, double blue, double alpha);

// For tests: turns the masks off (or on again) for this thread, so that the
// same text can be drawn through Cairo for comparison.
void setGlyphMasksEnabled(bool enabled);

// For tests: runs this thread has drawn from masks.
std::size_t glyphRunsDrawnFromMasks();

// For tests: makes every glyph image this thread makes from now on fail, as
// when memory runs out (or stops that). Its images made before are dropped.
void setGlyphImagesFail(bool fail);

}  // namespace platform::detail
