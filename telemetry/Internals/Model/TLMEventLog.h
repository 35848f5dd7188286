#pragma once
// One usage event: a name, string properties and its own identifier.

#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"

#include <string>

class TLMEventLog : public TLMLogWithNameAndProperties {
public:
    TLMEventLog();

    const std::string& eventId() const { return mEventId; }
    void setEventId(std::string eventId) { mEventId = std::move(eventId); }

    // The base's checks and a non-empty event id.
    bool isValid() const override;

private:
    std::string mEventId;
};
