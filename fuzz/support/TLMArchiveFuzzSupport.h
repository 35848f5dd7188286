#pragma once
// What the telemetry archive's fuzz target and its seed writer share.

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

namespace fuzzsupport {

// Every value kind, and the record classes the telemetry client restores.
TLMAllowedClasses TelemetryArchiveClasses();

}  // namespace fuzzsupport
