// After each test of the platform's programs, what the next must find as a
// new process would: an empty app root (no folders made yet, no keychain)
// and defaults, and the environment the tests began with.

#include "tests/support/BetweenTests.h"

namespace {

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, [] {
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
});

}  // namespace
