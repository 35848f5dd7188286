// After each test of the engine's program, what the next must find as a new
// process would: a telemetry client never started, an empty app root and
// defaults, the environment's language, no registered services (nor any the
// accessors kept), no current layout document yet, and the log with no
// file, at level info, on the console and with no lines in memory.

#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/Logger.h"
#include "platform/foundation/Bundle.h"
#include "tests/support/BetweenTests.h"
#include "tests/support/EngineServices.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

namespace {

// The client's group stops before its database goes, and the log file is
// closed before its folder does.
void ResetFiles() {
    testsupport::ForgetTelemetryClient();
    CLogger::Instance().ResetForTests();
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
}

void ResetSingletons() {
    CCurrentCloudLayout::ForgetInstanceForTests();
    testsupport::ForgetServices();
    if (platform::Bundle* bundle = platform::Bundle::main()) bundle->setPreferredLanguage(std::nullopt);
}

const bool kRegistered =
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, ResetFiles) &&
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, ResetSingletons) &&
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Log, [] { CLogger::Instance().ClearRecentLines(); });

}  // namespace
