// After each test of the telemetry programs, what the next must find as a
// new process would: a client, analytics service and context records never
// made, the logger's starting settings, and an empty app root and defaults.

#include "tests/support/BetweenTests.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

namespace {

// The client's group stops before its database goes.
void ResetFiles() {
    testsupport::ForgetTelemetryClient();
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
}

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, ResetFiles);

}  // namespace
