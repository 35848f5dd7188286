// After each test of the sharing client's program, and of the community
// screens' programs that link this support, what the next must find as a
// new process would: no cached layouts, entities or pictures, no recorded
// events, an empty app root (no stored user or password) and defaults, and
// no log lines in memory.

#include "engine/services/Logger.h"
#include "tests/SharingModule/support/SharingTestSupport.h"
#include "tests/support/BetweenTests.h"

namespace {

// The caches are emptied before the root goes.
void ResetFiles() {
    sharingtest::ForgetSharingState();
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
}

const bool kRegistered =
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, ResetFiles) &&
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Log, [] { CLogger::Instance().ClearRecentLines(); });

}  // namespace
