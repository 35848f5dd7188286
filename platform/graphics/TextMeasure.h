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

// True when fontconfig has a font of that name. Names may be families
// ("DejaVu Sans") or PostScript-style names ("DejaVuSans-Bold").
bool fontExists(const std::string& fontName);

// Size of one line of UTF-8 text in the font at `pointSize` (1 point = 1
// unit). An unknown font measures with the system font of the same size.
TextSize measureText(const std::string& utf8, const std::string& fontName, double pointSize);

}  // namespace platform
