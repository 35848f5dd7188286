// After each test of the layout screens, beside what the app's tests reset
// (tests/app/support/FreshProcess.cpp): the edit actions the settings'
// toggles made for a document that is gone.

#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"
#include "tests/support/BetweenTests.h"

namespace {

const bool kRegistered = testsupport::ResetAfterEachTest(testsupport::ResetStage::Dependent,
                                                         [] { VKMLayoutSettingsHelper::releaseDroppedEditActions(); });

}  // namespace
