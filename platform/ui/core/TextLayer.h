#pragma once
// A layer that draws a string from the top of its bounds, in a font by name
// and size (one point is one unit; an unknown name draws in the system
// font), aligned left, centred or right. Wrapped text breaks at words to the
// bounds' width; unwrapped text is one line per paragraph. Text beyond the
// bounds is clipped.
//
// Key paths beside the layer's: "foregroundColor", "fontSize".

#include "platform/graphics/Context.h"
#include "platform/ui/core/Layer.h"

namespace platform::ui {

class TextLayer : public Layer {
public:
    static std::shared_ptr<TextLayer> make() { return std::make_shared<TextLayer>(); }
    TextLayer() = default;

    const std::string& string() const { return mString; }
    void setString(std::string text);
    const std::string& fontName() const { return mFontName; }
    void setFontName(std::string name);
    // The platform's default is 36.
    double fontSize() const { return mFontSize; }
    void setFontSize(double size);
    // Default opaque white.
    Color foregroundColor() const { return mForegroundColor; }
    void setForegroundColor(const Color& color);
    TextAlignment alignmentMode() const { return mAlignment; }
    void setAlignmentMode(TextAlignment alignment);
    bool isWrapped() const { return mWrapped; }
    void setWrapped(bool wrapped);

    void drawInContext(Context& context) override;

protected:
    TextLayer(const TextLayer& other) = default;
    std::shared_ptr<Layer> makeCopy() const override;
    const detail::KeyPath* findKeyPath(std::string_view keyPath) const override;
    bool drawsWithoutDisplay() const override { return true; }

private:
    std::string mString;
    std::string mFontName;
    double mFontSize = 36;
    Color mForegroundColor{1, 1, 1, 1};
    TextAlignment mAlignment = TextAlignment::left;
    bool mWrapped = false;
};

}  // namespace platform::ui
