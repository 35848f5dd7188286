// After each test of the widgets' program, what the next must find as a
// new process would: no banners counted and no message log, the toolkit's
// device, screens and application as new (no URLs, haptics or sounds
// recorded).

#include "tests/platform/ui/FreshToolkit.h"
#include "tests/support/BetweenTests.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

namespace {

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, [] {
    VKMHoverNotification::sharedInstance().resetForTests();
    testsupport::ResetToolkit();
});

}  // namespace
