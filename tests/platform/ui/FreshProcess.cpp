// After each test of the screen toolkit's program, beside the app root
// (tests/platform/support/FreshProcess.cpp): no URLs, haptics or sounds
// recorded by the application.

#include "platform/ui/views/Application.h"
#include "tests/support/BetweenTests.h"

namespace {

const bool kRegistered = testsupport::ResetAfterEachTest(
    testsupport::ResetStage::Singletons, [] { platform::ui::Application::sharedApplication().clearRecords(); });

}  // namespace
