#pragma once
// Symbol images drawn by our own code under the platform's symbol names.
// Each is drawn in black on a clear square as wide as its point size and
// made a template image, so a view fills it with its tint colour. Screens
// register the symbols they use; the toolkit registers the ones its own
// controls need ("xmark.circle.fill", a text field's clear button). Safe
// from any thread.

#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"

#include <functional>
#include <memory>
#include <string>

namespace platform::ui {

// Draws a symbol into `box` (user space of the image, in points), in the
// context's fill and stroke colour.
using SymbolDrawing = std::function<void(Context& context, const Rect& box)>;

// Adds or replaces a symbol.
void registerSymbol(const std::string& name, SymbolDrawing drawing);
bool hasSymbol(const std::string& name);

// The symbol at `pointSize` points a side, `scale` pixels a point; none for
// an unknown name or a size that is not positive and finite.
std::shared_ptr<Image> systemImage(const std::string& name, double pointSize = 17, double scale = 2);

// Draws a symbol straight into a context (no bitmap between), in its fill
// colour; false for an unknown name.
bool drawSymbol(const std::string& name, Context& context, const Rect& box);

}  // namespace platform::ui
