// After each test of the widgets' program, what the next must find as a
// new process would: no banners counted and no message log, no URLs,
// haptics or sounds recorded by the application.

#include "platform/ui/views/Application.h"
#include "tests/support/BetweenTests.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

namespace {

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, [] {
    VKMHoverNotification::sharedInstance().resetForTests();
    platform::ui::Application::sharedApplication().clearRecords();
});

}  // namespace
