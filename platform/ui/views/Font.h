#pragma once
// A font of the screen toolkit: a face and a size in points. The platform's
// system font is DejaVu Sans (regular and medium weights in its Book face,
// semibold and heavier in Bold, light and thinner in ExtraLight where that
// face is installed, italics in Oblique); other fonts are found by name
// through fontconfig, with DejaVu faces standing in for the platform's fonts
// that screens and documents name (see platform::fontExists).
//
// Metrics come from the graphics layer's text layout, so a font's line
// height is the height of a line a label draws in it.

#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

#include <optional>
#include <string>

namespace platform::ui {

// The system font's weights, as the platform names them.
enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

class Font {
public:
    static Font systemFont(double pointSize, FontWeight weight = FontWeight::regular);
    static Font boldSystemFont(double pointSize);
    static Font italicSystemFont(double pointSize);
    // The font of that name (a system font's name too), none when no such
    // font is installed or stood in for.
    static std::optional<Font> named(const std::string& name, double pointSize);
    // The named font, or the system font of the size when there is none.
    static Font namedOrSystem(const std::string& name, double pointSize);

    static constexpr double systemFontSize() { return 17; }
    static constexpr double labelFontSize() { return 17; }
    static constexpr double buttonFontSize() { return 18; }
    static constexpr double smallSystemFontSize() { return 12; }

    // The name the font was asked for by; system fonts are "System",
    // "System-Semibold", "System-Italic", "System-BoldItalic" and so on.
    const std::string& fontName() const { return mName; }
    double pointSize() const { return mPointSize; }
    Font withSize(double pointSize) const;
    // The face the graphics layer draws.
    const std::string& faceName() const { return mFace; }
    bool isSystemFont() const { return mSystem; }

    double ascender() const;
    double descender() const;  // negative
    double lineHeight() const;
    double leading() const { return 0; }

    // Attributes for drawing one run of text in this font.
    TextAttributes textAttributes(const Color& color) const;

    friend bool operator==(const Font& a, const Font& b) { return a.mName == b.mName && a.mPointSize == b.mPointSize; }

private:
    Font(std::string name, std::string face, double pointSize, bool system);

    std::string mName;
    std::string mFace;
    double mPointSize = 0;
    bool mSystem = false;
};

// The size of the text on one line a paragraph in the font, as the
// platform's string measuring gives it.
Size textSize(const std::string& text, const Font& font);
// The size of the text wrapped at words to `width` (unlimited when not
// positive and finite) with no limit on lines.
Size boundingSize(const std::string& text, const Font& font, double width);

}  // namespace platform::ui
