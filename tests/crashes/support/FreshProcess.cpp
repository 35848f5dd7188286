// After each test of the crashes program, what the next must find as a new
// launch of the app would: a crashes service and a telemetry client never
// started, no wrapper exceptions in memory, no crash write remembered, an
// empty app root and defaults, and the crashes folders made again on use.
// The crash reporter, once enabled, stays enabled: capture is set up once
// per process.

#include "crashes/TelemetryCrashes/Internals/LogBuffer/TLMCrashesLogBuffer.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "tests/support/BetweenTests.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

namespace {

// The service and the client stop before the files they keep go.
void ResetFiles() {
    TLMCrashes::resetSharedInstance();
    testsupport::ForgetTelemetryClient();
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
}

void ResetSingletons() {
    TLMWrapperExceptionManager::reset();
    TLMCrashesLogBuffer::resetSavedAtCrash();
    TLMCrashesUtil::resetDirectory();
}

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, ResetFiles) &&
                         testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, ResetSingletons);

}  // namespace
