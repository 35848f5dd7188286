#pragma once
// A virtual clock installed as the shared clock for a test's lifetime, and
// the time it has moved since.

#include "platform/dispatch/Clock.h"

#include <chrono>
#include <memory>

namespace testsupport {

struct VirtualTime {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed{clock};
    const platform::Clock::Instant start = clock->instant();

    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock->instant() - start);
    }
};

}  // namespace testsupport
