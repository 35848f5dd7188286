#include "telemetry/Internals/Model/TLMEventLog.h"

TLMEventLog::TLMEventLog() { setType("event"); }

bool TLMEventLog::isValid() const {
    if (!TLMLogWithNameAndProperties::isValid()) return false;
    if (mEventId.empty()) return reportInvalidField("eventId");
    return true;
}
