#pragma once
// Private to platform/ui: text drawn as labels and text fields draw it,
// with a shadow beneath when one is given.

#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/AttributedString.h"

#include <optional>

namespace platform::ui::detail {

// Draws `layout` (made from `styled` with `options`) at `origin`. A shadow is
// the same text in the shadow's colour, moved by its offset and blurred by
// its radius (a Gaussian's standard deviation, as layer shadows take it).
void drawText(Context& context, const StyledText& styled, const TextLayoutOptions& options, const TextLayout& layout,
              Point origin, const std::optional<TextShadow>& shadow);

}  // namespace platform::ui::detail
