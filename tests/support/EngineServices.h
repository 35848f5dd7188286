#pragma once
// The engine services tests need, registered as the start-up registers them:
// once per test process (or once after the services were forgotten) and
// never deleted.

#include "engine/services/ActivityAnalyticsService.h"

#include <string>
#include <utility>
#include <vector>

class LocalizationServiceBase;
class VKMTextCalculationService;

namespace testsupport {

// The localisation and preferences services, with the bundle's strings in
// `language`.
void RegisterServices(const char* language = "en");

// A new localisation service with the bundle's strings in `language`; the
// service the engine finds afterwards.
LocalizationServiceBase* RegisterLocalization(const char* language);

// The text measurement service.
VKMTextCalculationService& RegisteredTextService();

// Stands in for the analytics service and keeps every event it is given.
class RecordingAnalytics : public ActivityAnalyticsServiceBase {
public:
    std::string GetServiceName() const override { return "ActivityAnalyticsService"; }
    void TrackEvent(const std::string& name) override { events.push_back({name, {}}); }
    void TrackEvent(const std::string& name, const tEventProperties& properties) override {
        events.push_back({name, properties});
    }
    std::vector<std::pair<std::string, tEventProperties>> events;
};

RecordingAnalytics& Analytics();
// Forgets the events the stand-in kept, when there is one.
void ForgetRecordedEvents();

// Forgets every registered service and the services the engine's accessors
// keep, as a new process has none; what this file registers is made and
// registered again on its next use.
void ForgetServices();

}  // namespace testsupport
