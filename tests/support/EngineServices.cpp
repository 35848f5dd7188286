#include "tests/support/EngineServices.h"

#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// What this file registered since the start or since the services were
// last forgotten; made again after that, as a new process would.
bool gStandardRegistered = false;
VKMTextCalculationService* gTextService = nullptr;
RecordingAnalytics* gAnalytics = nullptr;

// `kept`, made and registered when there is none.
template <class Service>
Service& Registered(Service*& kept) {
    if (kept == nullptr) {
        kept = new Service();
        CServiceLocator::Instance().RegisterService(kept);
    }
    return *kept;
}

}  // namespace

void RegisterServices(const char* language) {
    if (!gStandardRegistered) {
        CServiceLocator::Instance().RegisterService(new LocalizationService());
        CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
        gStandardRegistered = true;
    }
    platform::Bundle* bundle = platform::Bundle::main();
    ASSERT_NE(bundle, nullptr) << "the resources folder was not found";
    bundle->setPreferredLanguage(std::string(language));
}

LocalizationServiceBase* RegisterLocalization(const char* language) {
    platform::Bundle* bundle = platform::Bundle::main();
    EXPECT_NE(bundle, nullptr) << "the resources folder was not found";
    if (bundle != nullptr) bundle->setPreferredLanguage(std::string(language));
    CServiceLocator::Instance().RegisterService(new LocalizationService());
    return ULocalization::GetLocalizationService();
}

VKMTextCalculationService& RegisteredTextService() { return Registered(gTextService); }

RecordingAnalytics& Analytics() { return Registered(gAnalytics); }

void ForgetRecordedEvents() {
    if (gAnalytics != nullptr) gAnalytics->events.clear();
}

void ForgetServices() {
    CServiceLocator::Instance().ForgetServicesForTests();
    QLActivityAnalytics::forgetServiceForTests();
    UPreferences::ForgetServiceForTests();
    QLPerformanceCounters::forgetService();
    gStandardRegistered = false;
    gTextService = nullptr;
    gAnalytics = nullptr;
}

}  // namespace testsupport
