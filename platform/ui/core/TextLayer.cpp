#include "platform/ui/core/TextLayer.h"

#include "platform/graphics/TextLayout.h"
#include "platform/ui/core/detail/KeyPath.h"

namespace platform::ui {

std::shared_ptr<Layer> TextLayer::makeCopy() const { return copyOf(*this); }

void TextLayer::setString(std::string text) { changeProperty("string", mString, text, true); }

void TextLayer::setFontName(std::string name) { changeProperty("font", mFontName, name, true); }

void TextLayer::setFontSize(double size) { changeProperty("fontSize", mFontSize, size, true); }

void TextLayer::setForegroundColor(const Color& color) {
    changeProperty("foregroundColor", mForegroundColor, color, true);
}

void TextLayer::setAlignmentMode(TextAlignment alignment) {
    changeProperty("alignmentMode", mAlignment, alignment, true);
}

void TextLayer::setWrapped(bool wrapped) { changeProperty("wrapped", mWrapped, wrapped, true); }

void TextLayer::drawInContext(Context& context) {
    const Rect box = bounds();
    if (mString.empty() || !(mFontSize > 0) || box.isEmpty()) return;
    TextAttributes attributes;
    attributes.fontName = mFontName;
    attributes.fontSize = mFontSize;
    attributes.color = mForegroundColor;
    if (mWrapped) {
        context.drawTextInRect(mString, box, attributes, mAlignment);
        return;
    }
    // One layout both measures and draws (and is drawn without Pango).
    const auto layout = TextLayout::make(mString, attributes, TextLayoutOptions{});
    double x = box.minX();
    if (mAlignment != TextAlignment::left) {
        const double width = layout->size().width;
        x += mAlignment == TextAlignment::center ? (box.width - width) / 2 : box.width - width;
    }
    context.drawTextLayout(*layout, {x, box.minY()}, box);
}

const detail::KeyPath* TextLayer::findKeyPath(std::string_view keyPath) const {
    using detail::fieldKeyPath;
    static constexpr detail::KeyPath kEntries[] = {
        fieldKeyPath<&TextLayer::mForegroundColor>("foregroundColor", false, true),
        fieldKeyPath<&TextLayer::mFontSize>("fontSize", false, true),
    };
    static constexpr detail::KeyPathTable kKeyPaths(kEntries);
    if (const detail::KeyPath* found = kKeyPaths.find(keyPath)) return found;
    return Layer::findKeyPath(keyPath);
}

}  // namespace platform::ui
