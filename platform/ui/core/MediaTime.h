#pragma once
// The time of animations: seconds on the monotonic face of the platform's
// Clock (a virtual clock in tests), as a double. Animation begin times and
// the times at which layers are sampled are on this scale.

namespace platform::ui {

double currentMediaTime();

}  // namespace platform::ui
