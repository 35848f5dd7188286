#include "platform/ui/views/detail/TextDrawing.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Shadow.h"

#include <algorithm>
#include <cmath>

namespace platform::ui::detail {

namespace {

// The text with every glyph, fill and outline, in one colour.
StyledText inColour(StyledText styled, const Color& colour) {
    styled.attributes.color = colour;
    styled.attributes.strokeColor.reset();
    for (auto& run : styled.runs) {
        run.attributes.color = colour;
        run.attributes.strokeColor.reset();
    }
    return styled;
}

void drawBlurredShadow(Context& context, const TextLayout& shadowLayout, Point origin, const TextShadow& shadow) {
    // Pixels per point of the context, so the blur is as sharp as the text.
    const AffineTransform t = context.transform();
    const double scale = std::max(1.0, std::sqrt(std::abs(t.a * t.d - t.b * t.c)));
    const Size size = shadowLayout.size();
    const double width = std::max(size.width, shadowLayout.alignmentWidth());
    auto bitmap = BitmapContext::createForPointSize({width, size.height}, scale);
    if (bitmap == nullptr) return;
    bitmap->drawTextLayout(shadowLayout, {0, 0});
    const auto blurred = makeShadowImage(*bitmap->makeImage(), shadow.blurRadius * scale, shadow.color);
    if (blurred.image == nullptr) return;
    const double margin = blurred.margin / scale;
    context.drawImage(*blurred.image,
                      {origin.x + shadow.offset.width - margin, origin.y + shadow.offset.height - margin,
                       blurred.image->size().width, blurred.image->size().height});
}

}  // namespace

void drawText(Context& context, const StyledText& styled, const TextLayoutOptions& options, const TextLayout& layout,
              Point origin, const std::optional<TextShadow>& shadow) {
    if (shadow && shadow->color.alpha > 0) {
        const bool blurred = std::isfinite(shadow->blurRadius) && shadow->blurRadius > 0;
        const auto shadowLayout =
            TextLayout::make(inColour(styled, blurred ? Color{0, 0, 0, 1} : shadow->color), options);
        if (blurred) {
            drawBlurredShadow(context, *shadowLayout, origin, *shadow);
        } else {
            context.drawTextLayout(*shadowLayout, {origin.x + shadow->offset.width, origin.y + shadow->offset.height});
        }
    }
    context.drawTextLayout(layout, origin);
}

}  // namespace platform::ui::detail
