#include "engine/services/ActivityAnalyticsService.h"

#include "engine/services/Logger.h"
#include "telemetry/TLMAnalytics.h"

#include <atomic>

VKMTelemetryActivityAnalyticsService::VKMTelemetryActivityAnalyticsService() { TLMAnalytics::setEnabled(true); }

void VKMTelemetryActivityAnalyticsService::TrackEvent(const std::string& name) {
    LogDebug("Activity Analytics service tracking <%s> event", name.c_str());
    if (!TLMAnalytics::isEnabled()) {
        LogWarning("TLAnalytics is disabled");
        return;
    }
    TLMAnalytics::trackEvent(name);
}

void VKMTelemetryActivityAnalyticsService::TrackEvent(const std::string& name, const tEventProperties& properties) {
    LogDebug("Activity Analytics service tracking <%s> event", name.c_str());
    if (!TLMAnalytics::isEnabled()) {
        LogWarning("TLAnalytics is disabled");
        return;
    }
    TLMAnalytics::trackEvent(name, properties);
}

namespace {

// The service found by the last lookup that found one.
std::atomic<ActivityAnalyticsServiceBase*> gKeptService{nullptr};

}  // namespace

ActivityAnalyticsServiceBase* QLActivityAnalytics::activityAnalyticsService() {
    // Only a found service is kept: a lookup made before start-up registered
    // the service must not hide it for the rest of the run.
    ActivityAnalyticsServiceBase* service = gKeptService.load(std::memory_order_acquire);
    if (service == nullptr) {
        service = CServiceLocator::Instance().LocateServiceAs<ActivityAnalyticsServiceBase>(
            VKMTelemetryActivityAnalyticsService::kServiceName);
        if (service != nullptr) gKeptService.store(service, std::memory_order_release);
    }
    return service;
}

void QLActivityAnalytics::forgetServiceForTests() { gKeptService.store(nullptr, std::memory_order_release); }

void QLActivityAnalytics::trackEvent(const std::string& name) {
    if (ActivityAnalyticsServiceBase* service = activityAnalyticsService()) service->TrackEvent(name);
}

void QLActivityAnalytics::trackEvent(const std::string& name,
                                     const ActivityAnalyticsServiceBase::tEventProperties& properties) {
    if (ActivityAnalyticsServiceBase* service = activityAnalyticsService()) service->TrackEvent(name, properties);
}

namespace UActivityAnalytics {

void TrackIntegrityCheckFailure(const std::string& checkType) {
    auto* service = CServiceLocator::Instance().LocateServiceAs<ActivityAnalyticsServiceBase>(
        VKMTelemetryActivityAnalyticsService::kServiceName);
    if (service == nullptr) return;
    service->TrackEvent("IntegrityCheckFailure", {{"IntegrityCheckType", checkType}});
}

}  // namespace UActivityAnalytics
