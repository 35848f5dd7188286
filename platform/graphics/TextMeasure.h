#pragma once
// Measures text as it will be drawn, through Pango with fontconfig, so that
// measured and drawn text agree.

#include <string>

namespace platform {

struct TextSize {
    double width = 0;
    double height = 0;
};

// The family drawn when a font name is unknown (the "system font").
const std::string& systemFontFamily();

// True when fontconfig has a font of that name, or a face here stands in for
// that platform font ("CourierNewPSMT" draws in DejaVu Sans Mono; the table
// is in detail/PangoText.cpp). Names may be families ("DejaVu Sans") or
// PostScript-style names ("DejaVuSans-Bold").
bool fontExists(const std::string& fontName);

// The vertical measures of a font at `pointSize`, as lines of text are laid
// out: a line is `lineHeight` tall with its baseline `ascender` below its top;
// `descender` is negative (below the baseline), as the platform gives it.
// An unknown font gives the system font's; a size that is not positive and
// finite gives zeros.
struct FontMetrics {
    double ascender = 0;
    double descender = 0;
    double lineHeight = 0;
};
FontMetrics fontMetrics(const std::string& fontName, double pointSize);

// Size of one line of UTF-8 text in the font at `pointSize` (1 point = 1
// unit). An unknown font measures with the system font of the same size.
TextSize measureText(const std::string& utf8, const std::string& fontName, double pointSize);

}  // namespace platform
