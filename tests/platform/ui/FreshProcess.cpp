// After each test of the screen toolkit's program, beside the app root
// (tests/platform/support/FreshProcess.cpp): the toolkit's device, screens
// and application as a new process has them (no URLs, haptics or sounds
// recorded).

#include "tests/platform/ui/FreshToolkit.h"
#include "tests/support/BetweenTests.h"

namespace {

const bool kUiFreshProcessRegistered =
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, testsupport::ResetToolkit);

}  // namespace
