// After each test of the app's programs (the app's and the layout screens'),
// what the next must find as a new process would: an empty app root and
// defaults, no recorded events, sounds or review requests, the toolkit's
// device, screens and application as new, a fresh session and document, no
// cached layouts or layout entities, only the platform's named colours, the
// environment's language, no registered services (tests register their
// own) and no log lines in memory.

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/VKMCloudCaches.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/VKMUISound.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "tests/platform/ui/FreshToolkit.h"
#include "tests/support/BetweenTests.h"
#include "tests/support/EngineServices.h"

namespace {

void ResetSession() {
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    session.forgetDocument();
    session.setIsDirty(false);
    session.setCurrentToolId(0);
    session.setCloudLayoutId(std::nullopt);
    session.setCurrentFillColor(CColor::White());
}

void ResetSingletons() {
    testsupport::ForgetRecordedEvents();
    ResetSession();
    // A new holder takes its document's defaults from the preferences: made
    // before the services are registered it would take none, so only a
    // process that has them gets a fresh document now.
    if (UPreferences::GetPreferencesService() != nullptr) CCurrentCloudLayout::Instance().Reset();
    VKMLayoutEntityCache::sharedInstance().removeAllObjects();
    UIColorCColor::forgetRegisteredColors();
    if (platform::Bundle* bundle = platform::Bundle::main()) bundle->setPreferredLanguage(std::nullopt);
    VKMUISound::setSoundPlayer(nullptr);
    testsupport::ResetToolkit();
    platform::ui::StoreReviewController::resetRequestCount();
    // Last, as the document above takes the preferences: a test that
    // launched the app replaced the test's services (the recording
    // analytics among them) with the app's.
    testsupport::ForgetServices();
}

// The caches keep an index of their files in memory: emptied with their
// files before the root goes, and their indexes written (a read waits on
// each cache's queue for that) so that no write lands in the next test.
void ResetFiles() {
    VKMCloudCaches::clearCloudCaches();
    QLCloudLayoutsCache::sharedInstance().files().count();
    QLProfileImageCache::sharedInstance().files().count();
    QLPreviewImageCache::sharedInstance().files().count();
    testsupport::ResetEnvironment();
    testsupport::ResetAppRoot();
}

const bool kRegistered =
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Files, ResetFiles) &&
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, ResetSingletons) &&
    testsupport::ResetAfterEachTest(testsupport::ResetStage::Log, [] { CLogger::Instance().ClearRecentLines(); });

}  // namespace
