#include "telemetry/Internals/Model/TLMStartServiceLog.h"

TLMStartServiceLog::TLMStartServiceLog() { setType("startService"); }

TLMStartServiceLog::TLMStartServiceLog(const TLMKeyedUnarchiver& coder)
    : TLMAbstractLog(coder),
      mServices(coder.decodeStringArray("services")),
      mUnifiedCollectorEnabled(coder.decodeBool("isUnifiedCollectorEnabled").value_or(false)) {}

TLMOrderedDictionary TLMStartServiceLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMAbstractLog::serializeToDictionary();
    if (mServices) {
        dictionary.setObject(*mServices, "services");
        dictionary.setObject(mUnifiedCollectorEnabled, "isUnifiedCollectorEnabled");
    }
    return dictionary;
}

bool TLMStartServiceLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMStartServiceLog*>(&other);
    return log != nullptr && TLMAbstractLog::isEqual(other) && mServices == log->mServices;
}

void TLMStartServiceLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractLog::encodeWithCoder(coder);
    coder.encodeStringArray(mServices, "services");
    coder.encodeBool(mUnifiedCollectorEnabled, "isUnifiedCollectorEnabled");
}
