#include "telemetry/Internals/Model/TLMEventLog.h"

TLMEventLog::TLMEventLog() { setType("event"); }

TLMEventLog::TLMEventLog(const TLMKeyedUnarchiver& coder)
    : TLMLogWithNameAndProperties(coder), mEventId(coder.decodeString("id")) {}

bool TLMEventLog::isValid() const {
    if (!TLMLogWithNameAndProperties::isValid()) return false;
    if (mEventId.empty()) return reportInvalidField("eventId");
    return true;
}

TLMOrderedDictionary TLMEventLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithNameAndProperties::serializeToDictionary();
    setText(dictionary, mEventId, "id");
    return dictionary;
}

bool TLMEventLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMEventLog*>(&other);
    return log != nullptr && TLMLogWithNameAndProperties::isEqual(other) && mEventId == log->mEventId;
}

void TLMEventLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithNameAndProperties::encodeWithCoder(coder);
    coder.encodeString(mEventId, "id");
}
