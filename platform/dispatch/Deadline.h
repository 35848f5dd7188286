#pragma once

#include "platform/dispatch/Clock.h"

namespace platform {

// `now` + `duration`, held at the end of time instead of overflowing; a
// negative duration counts as none.
inline Clock::Instant deadlineAfter(Clock::Instant now, Clock::Duration duration) {
    if (duration <= Clock::Duration::zero()) return now;
    return duration >= Clock::Instant::max() - now ? Clock::Instant::max() : now + duration;
}

}  // namespace platform
