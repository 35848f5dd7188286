// What the analytics service lets through: names, string properties and
// typed properties kept to the ingestion service's limits.

#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMPageLog.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/core/Util/TLMUtility.h"

bool TLMAnalytics::channelUnitShouldFilterLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    auto* named = dynamic_cast<TLMLogWithNameAndProperties*>(log.get());
    if (named == nullptr) return false;
    if (dynamic_cast<TLMEventLog*>(named) == nullptr && dynamic_cast<TLMPageLog*>(named) == nullptr) return false;
    return !validateLog(*named);
}

bool TLMAnalytics::validateLog(TLMLogWithNameAndProperties& log) {
    const std::optional<std::string> name = validateEventName(log.name(), log.type());
    if (!name) return false;
    log.setName(*name);
    log.setProperties(TLMUtility::validateProperties(log.properties(), *name, log.type()));
    return true;
}

std::optional<std::string> TLMAnalytics::validateEventName(const std::string& eventName, const std::string& logType) {
    if (eventName.empty()) {
        TLMLogError(kTLMAnalyticsLogTag, "%s name cannot be null or empty", logType.c_str());
        return std::nullopt;
    }
    if (TLMUtility::utf16Length(eventName) > kMaxEventNameLength) {
        TLMLogWarning(kTLMAnalyticsLogTag,
                      "%s '%s' : name length cannot be longer than %d characters. Name will be truncated.",
                      logType.c_str(), eventName.c_str(), static_cast<int>(kMaxEventNameLength));
        return TLMUtility::utf16Prefix(eventName, kMaxEventNameLength);
    }
    return eventName;
}

std::shared_ptr<TLMEventProperties> TLMAnalytics::validateTelemetryEventProperties(
    const TLMEventProperties& properties) {
    auto valid = std::make_shared<TLMEventProperties>();
    for (const auto& entry : properties.properties()) {
        if (valid->count() >= kMaxTypedProperties) {
            TLMLogWarning(kTLMAnalyticsLogTag,
                          "Typed properties cannot contain more than %d items. Skipping other properties.",
                          static_cast<int>(kMaxTypedProperties));
            break;
        }
        if (auto property = validateTelemetryTypedProperty(*entry.second)) valid->setProperty(std::move(property));
    }
    return valid;
}

std::shared_ptr<TLMTypedProperty> TLMAnalytics::validateTelemetryTypedProperty(const TLMTypedProperty& property) {
    std::shared_ptr<TLMTypedProperty> copy = property.copy();
    const std::string name = validateTelemetryPropertyName(property.name());
    if (!copy) return nullptr;
    if (auto* text = dynamic_cast<TLMStringTypedProperty*>(copy.get()); text != nullptr && text->value()) {
        text->setValue(validateTelemetryStringTypedPropertyValue(*text->value()));
    }
    copy->setName(name);
    return copy;
}

std::string TLMAnalytics::validateTelemetryPropertyName(const std::string& name) {
    if (TLMUtility::utf16Length(name) <= kMaxTypedPropertyLength) return name;
    TLMLogWarning(kTLMAnalyticsLogTag,
                  "Typed property '%s': key length cannot exceed %d characters. Property value will be truncated.",
                  name.c_str(), static_cast<int>(kMaxTypedPropertyLength));
    return TLMUtility::utf16Prefix(name, kMaxTypedPropertyLength - 1);
}

std::string TLMAnalytics::validateTelemetryStringTypedPropertyValue(const std::string& value) {
    if (TLMUtility::utf16Length(value) <= kMaxTypedPropertyLength) return value;
    TLMLogWarning(kTLMAnalyticsLogTag,
                  "Typed property value length cannot exceed %d characters. Property value will be truncated.",
                  static_cast<int>(kMaxTypedPropertyLength));
    return TLMUtility::utf16Prefix(value, kMaxTypedPropertyLength - 1);
}
