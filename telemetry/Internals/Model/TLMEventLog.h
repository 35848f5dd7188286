#pragma once
// One usage event: a name, string and typed properties and its own
// identifier. Sent to a transmission target it becomes a unified-schema log
// whose data and metadata trees are built from the typed properties.

#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"

#include <memory>
#include <optional>
#include <string>

class TLMEventLog : public TLMLogWithNameAndProperties {
public:
    TLMEventLog();
    explicit TLMEventLog(const TLMKeyedUnarchiver& coder);

    const std::string& eventId() const { return mEventId; }
    void setEventId(std::string eventId) { mEventId = std::move(eventId); }

    // None when the event has none.
    const std::shared_ptr<TLMEventProperties>& typedProperties() const { return mTypedProperties; }
    void setTypedProperties(std::shared_ptr<TLMEventProperties> typedProperties) {
        mTypedProperties = std::move(typedProperties);
    }

    // The unified-schema metadata type of typed values of that kind: "long"
    // 4, "double" 6, "dateTime" 9; none for texts and booleans.
    static std::optional<std::int64_t> metadataTypeId(const std::string& type);

    // The base's checks and a non-empty event id.
    bool isValid() const override;
    // The base's keys, then "id" and "typedProperties" when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another event log, equal in the base's fields and the event id; typed
    // properties take no part.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then "id" and "typedProperties".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // The base's unified-schema log with the event's name, data and metadata
    // from the typed properties, and the event's tag. The event itself is
    // left as it is.
    std::shared_ptr<TLMUnifiedSchemaLog> toUnifiedSchemaLogForTargetToken(const std::string& token,
                                                                          TLMFlags flags) const override;

    // Fills the log's data and metadata from the typed properties, after
    // dropping "baseType" without "baseData." entries and those entries
    // without a text "baseType" (each with its warning).
    void setPropertiesAndMetadataForCSLog(TLMUnifiedSchemaLog& log) const;

private:
    std::string mEventId;
    std::shared_ptr<TLMEventProperties> mTypedProperties;
};
