// A keyed archive of the crashes service from untrusted bytes: a crash or
// handled error log or an attachment from the log database, a wrapper
// exception file. The crash records and everything the telemetry client
// restores are allowed, as for the log database; a refusal says why, and
// what reads is archived again and reads back to the same bytes.

#include <cstddef>
#include <cstdint>

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "fuzz/support/TLMArchiveFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TLMAllowedClasses allowed = [] {
        TLMAllowedClasses classes = fuzzsupport::TelemetryArchiveClasses();
        classes.add(TLMCrashesArchiverUtil::crashesModuleClasses());
        return classes;
    }();
    fuzzsupport::CheckArchiveRoundTrip(data, size, allowed);
    return 0;
}
