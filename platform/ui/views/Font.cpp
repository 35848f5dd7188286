#include "platform/ui/views/Font.h"

#include "platform/foundation/AsciiText.h"
#include "platform/graphics/TextLayout.h"
#include "platform/graphics/TextMeasure.h"

#include <cmath>

namespace platform::ui {

namespace {

struct SystemFace {
    const char* name;
    const char* face;
};

const std::string& lightFace() {
    // fonts-dejavu-extra brings the light face; without it light text is
    // drawn in the regular one. Never destroyed: text may still be drawn
    // while the process exits.
    static const auto& face =
        *new std::string(platform::fontExists("DejaVu Sans ExtraLight") ? "DejaVu Sans ExtraLight" : "DejaVu Sans");
    return face;
}

SystemFace systemFace(FontWeight weight) {
    switch (weight) {
        case FontWeight::ultraLight: return {"System-UltraLight", nullptr};
        case FontWeight::thin: return {"System-Thin", nullptr};
        case FontWeight::light: return {"System-Light", nullptr};
        case FontWeight::regular: return {"System", "DejaVu Sans"};
        case FontWeight::medium: return {"System-Medium", "DejaVu Sans"};
        case FontWeight::semibold: return {"System-Semibold", "DejaVu Sans Bold"};
        case FontWeight::bold: return {"System-Bold", "DejaVu Sans Bold"};
        case FontWeight::heavy: return {"System-Heavy", "DejaVu Sans Bold"};
        case FontWeight::black: return {"System-Black", "DejaVu Sans Bold"};
    }
    return {"System", "DejaVu Sans"};
}

constexpr FontWeight kWeights[] = {FontWeight::ultraLight, FontWeight::thin,   FontWeight::light,
                                   FontWeight::regular,    FontWeight::medium, FontWeight::semibold,
                                   FontWeight::bold,       FontWeight::heavy,  FontWeight::black};

}  // namespace

Font::Font(std::string name, std::string face, double pointSize, bool system)
    : mName(std::move(name)), mFace(std::move(face)), mPointSize(pointSize), mSystem(system) {}

Font Font::systemFont(double pointSize, FontWeight weight) {
    const SystemFace face = systemFace(weight);
    return Font(face.name, face.face != nullptr ? face.face : lightFace(), pointSize, true);
}

Font Font::boldSystemFont(double pointSize) { return systemFont(pointSize, FontWeight::bold); }

Font Font::italicSystemFont(double pointSize) { return Font("System-Italic", "DejaVu Sans Oblique", pointSize, true); }

std::optional<Font> Font::named(const std::string& name, double pointSize) {
    const std::string key = ascii::lowercased(name);
    for (FontWeight weight : kWeights) {
        if (ascii::lowercased(systemFace(weight).name) == key) return systemFont(pointSize, weight);
    }
    if (key == "system-italic") return italicSystemFont(pointSize);
    if (key == "system-bolditalic") return Font("System-BoldItalic", "DejaVu Sans Bold Oblique", pointSize, true);
    if (!platform::fontExists(name)) return std::nullopt;
    return Font(name, name, pointSize, false);
}

Font Font::namedOrSystem(const std::string& name, double pointSize) {
    return named(name, pointSize).value_or(systemFont(pointSize));
}

Font Font::withSize(double pointSize) const { return Font(mName, mFace, pointSize, mSystem); }

double Font::ascender() const { return platform::fontMetrics(mFace, mPointSize).ascender; }

double Font::descender() const { return platform::fontMetrics(mFace, mPointSize).descender; }

double Font::lineHeight() const { return platform::fontMetrics(mFace, mPointSize).lineHeight; }

TextAttributes Font::textAttributes(const Color& color) const {
    TextAttributes attributes;
    attributes.fontName = mFace;
    attributes.fontSize = mPointSize;
    attributes.color = color;
    return attributes;
}

Size textSize(const std::string& text, const Font& font) {
    return TextLayout::make(text, font.textAttributes(Color{}), TextLayoutOptions{})->size();
}

Size boundingSize(const std::string& text, const Font& font, double width) {
    TextLayoutOptions options;
    options.width = std::isfinite(width) && width > 0 ? width : 0;
    return TextLayout::make(text, font.textAttributes(Color{}), options)->size();
}

}  // namespace platform::ui
