#pragma once
// Pictures drawn two ways compared with a tolerance: the drawing library's
// edges may differ by a step or two between a band and the whole.

#include "platform/graphics/Image.h"

namespace testsupport {

// Pixels of `a` and `b` that differ by more than `tolerance` steps on some
// channel; -1 when their sizes differ.
int DifferingPixels(const platform::Image& a, const platform::Image& b, int tolerance = 2);

}  // namespace testsupport
