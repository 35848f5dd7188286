#pragma once
// What the telemetry archive's fuzz target and its seed writer share.

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

namespace fuzzsupport {

// The record classes and value kinds the telemetry client restores, and
// data too, which the crash reports bring.
TLMAllowedClasses TelemetryArchiveClasses();

}  // namespace fuzzsupport
