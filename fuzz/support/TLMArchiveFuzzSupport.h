#pragma once
// What the keyed archive fuzz targets and their seed writers share.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

// The record classes and value kinds the telemetry client restores, and
// data too, which the crash reports bring.
TLMAllowedClasses TelemetryArchiveClasses();

// An archive read with the classes allowed: a refusal says why, and what
// reads is archived again and reads back to the same bytes.
void CheckArchiveRoundTrip(const std::uint8_t* data, std::size_t size, const TLMAllowedClasses& allowed);

}  // namespace fuzzsupport
