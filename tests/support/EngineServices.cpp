#include "tests/support/EngineServices.h"

#include "engine/services/LocalizationService.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// A `Service` made and registered on first use.
template <class Service>
Service& RegisteredOnce() {
    static Service* service = [] {
        auto* made = new Service();
        CServiceLocator::Instance().RegisterService(made);
        return made;
    }();
    return *service;
}

}  // namespace

void RegisterServices(const char* language) {
    static const bool registered = [] {
        CServiceLocator::Instance().RegisterService(new LocalizationService());
        CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
        return true;
    }();
    (void)registered;
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

VKMTextCalculationService& RegisteredTextService() { return RegisteredOnce<VKMTextCalculationService>(); }

namespace {
RecordingAnalytics* gAnalytics = nullptr;  // once made
}  // namespace

RecordingAnalytics& Analytics() {
    RecordingAnalytics& analytics = RegisteredOnce<RecordingAnalytics>();
    gAnalytics = &analytics;
    return analytics;
}

void ForgetRecordedEvents() {
    if (gAnalytics != nullptr) gAnalytics->events.clear();
}

}  // namespace testsupport
