#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"

#include "telemetry/core/Util/TLMUtility.h"

namespace {

template <typename Record>
bool sameRecord(const std::shared_ptr<Record>& a, const std::shared_ptr<Record>& b) {
    return a && b ? a->isEqual(*b) : a == b;
}

}  // namespace

TLMUnifiedSchemaLog::TLMUnifiedSchemaLog(const TLMKeyedUnarchiver& coder)
    : TLMAbstractLog(coder),
      mVer(coder.decodeString("ver")),
      mName(coder.decodeString("name")),
      mPopSample(coder.decodeDouble("popSample").value_or(0)),
      mIKey(coder.decodeString("iKey")),
      mFlags(coder.decodeInteger("flags").value_or(0)),
      mCV(coder.decodeString("cV")),
      mExt(coder.decodeObjectOfClass<TLMCSExtensions>("ext")),
      mData(coder.decodeObjectOfClass<TLMCSData>("data")) {}

TLMOrderedDictionary TLMUnifiedSchemaLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setText(dictionary, mVer, "ver");
    setText(dictionary, mName, "name");
    if (timestamp()) dictionary.setObject(TLMUtility::dateToISO8601(*timestamp()), "time");
    setText(dictionary, mIKey, "iKey");
    if (mFlags != 0) dictionary.setObject(mFlags, "flags");
    if (mExt) dictionary.setObject(mExt->serializeToDictionary(), "ext");
    if (mData) {
        TLMOrderedDictionary data = mData->serializeToDictionary();
        if (data.count() != 0) dictionary.setObject(std::move(data), "data");
    }
    return dictionary;
}

bool TLMUnifiedSchemaLog::isValid() const {
    if (!timestamp()) return reportInvalidField("timestamp");
    if (mVer.empty()) return reportInvalidField("ver");
    if (mName.empty()) return reportInvalidField("name");
    return true;
}

bool TLMUnifiedSchemaLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMUnifiedSchemaLog*>(&other);
    return log != nullptr && TLMAbstractLog::isEqual(other) && mVer == log->mVer && mName == log->mName &&
           mPopSample == log->mPopSample && mIKey == log->mIKey && mFlags == log->mFlags && mCV == log->mCV &&
           sameRecord(mExt, log->mExt) && sameRecord(mData, log->mData);
}

void TLMUnifiedSchemaLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractLog::encodeWithCoder(coder);
    coder.encodeString(mVer, "ver");
    coder.encodeString(mName, "name");
    coder.encodeDouble(mPopSample, "popSample");
    coder.encodeString(mIKey, "iKey");
    coder.encodeInteger(mFlags, "flags");
    coder.encodeString(mCV, "cV");
    coder.encodeObject(mExt, "ext");
    coder.encodeObject(mData, "data");
}
