#pragma once
// Flags of an enqueued log; the low byte is its persistence priority.

#include <cstdint>

enum TLMFlags : std::uint32_t {
    TLMFlagsNone = 0,
    TLMFlagsNormal = 1,
    TLMFlagsCritical = 2,
    TLMFlagsDefault = TLMFlagsNormal,
};
