#pragma once
// A flash of colour over the whole screen that fades away.

#include "platform/graphics/Color.h"

namespace UIScreenVekmont {

// White for 0.35 seconds.
void flashScreen();
// A view of the main screen's size in the colour, over the application's
// first window, fading to nothing over the duration and then removed.
// Nothing happens without a window.
void flashScreenWithDuration(double duration, const platform::Color& color);

}  // namespace UIScreenVekmont
