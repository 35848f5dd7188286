// A keyed archive of the telemetry client from untrusted bytes (a damaged
// log database or settings file): every kind and class the client restores
// is allowed; a refusal says why, and what reads is archived again and
// reads back to the same bytes.

#include <cstddef>
#include <cstdint>

#include "fuzz/support/TLMArchiveFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TLMAllowedClasses allowed = fuzzsupport::TelemetryArchiveClasses();
    fuzzsupport::CheckArchiveRoundTrip(data, size, allowed);
    return 0;
}
