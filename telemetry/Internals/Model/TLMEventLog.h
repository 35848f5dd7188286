#pragma once
// One usage event: a name, string properties and its own identifier.

#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"

#include <string>

class TLMEventLog : public TLMLogWithNameAndProperties {
public:
    TLMEventLog();
    explicit TLMEventLog(const TLMKeyedUnarchiver& coder);

    const std::string& eventId() const { return mEventId; }
    void setEventId(std::string eventId) { mEventId = std::move(eventId); }

    // The base's checks and a non-empty event id.
    bool isValid() const override;
    // The base's keys, then "id" when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another event log, equal in the base's fields and the event id.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then "id".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::string mEventId;
};
