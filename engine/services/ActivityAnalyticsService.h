#pragma once
// Usage events of the engine and the app, forwarded to the telemetry
// client's analytics service. Registered as "ActivityAnalyticsService";
// callers go through QLActivityAnalytics or UActivityAnalytics.

#include "engine/services/ServiceLocator.h"

#include <map>
#include <string>

class ActivityAnalyticsServiceBase : public CLocatableService {
public:
    using tEventProperties = std::map<std::string, std::string>;

    virtual void TrackEvent(const std::string& name) = 0;
    virtual void TrackEvent(const std::string& name, const tEventProperties& properties) = 0;
};

class VKMTelemetryActivityAnalyticsService : public ActivityAnalyticsServiceBase {
public:
    static constexpr const char* kServiceName = "ActivityAnalyticsService";

    // Switches the telemetry analytics service on; the telemetry client has
    // been started before.
    VKMTelemetryActivityAnalyticsService();

    std::string GetServiceName() const override { return kServiceName; }

    // While telemetry analytics is off the event is dropped with the
    // warning "TLAnalytics is disabled".
    void TrackEvent(const std::string& name) override;
    void TrackEvent(const std::string& name, const tEventProperties& properties) override;
};

// The app-side entry to the analytics events.
class QLActivityAnalytics {
public:
    // The registered service, or null while none is registered; a found
    // service is remembered, a failed lookup is tried again next time.
    static ActivityAnalyticsServiceBase* activityAnalyticsService();
    // Forgets the kept service: the next call looks it up again. For tests
    // that run one after another in a process.
    static void forgetServiceForTests();

    // Nothing happens while no service is registered.
    static void trackEvent(const std::string& name);
    static void trackEvent(const std::string& name, const ActivityAnalyticsServiceBase::tEventProperties& properties);
};

namespace UActivityAnalytics {

// Reports data that break the engine's own rules as the event
// "IntegrityCheckFailure" with "IntegrityCheckType" = `checkType`; nothing
// happens while no analytics service is registered.
void TrackIntegrityCheckFailure(const std::string& checkType);

}  // namespace UActivityAnalytics
