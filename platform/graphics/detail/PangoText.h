#pragma once
// Private to platform/graphics: the one Pango set-up that both measuring and
// drawing use, so that measured and drawn text agree. Includes Pango; never
// include it from a public header.

#include <pango/pangocairo.h>

#include <mutex>
#include <string>

namespace platform::detail {

// Pango and the font index are shared by every thread; Pango is not
// thread-safe, so everything below runs under this lock.
std::mutex& pangoMutex();

// Pango sizes are ints in 1/1024 units; larger sizes are laid out at this size
// and scaled, which holds because metrics are unhinted.
constexpr double kLargestLaidOutSize = 1000.0;

// A layout of one paragraph of UTF-8 text (broken bytes become replacement
// characters) in the named font at `laidOutSize` points (one point is one
// unit; at most kLargestLaidOutSize). An unknown font name lays out in the
// system font. Unhinted metrics, unrounded glyph positions. Caller holds
// pangoMutex() and unrefs the layout.
PangoLayout* makeLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize);

// True when fontconfig has a font of that name (caller holds pangoMutex()).
bool fontExistsLocked(const std::string& fontName);

}  // namespace platform::detail
