#include "telemetry/Internals/Model/TLMAbstractLog.h"

#include "telemetry/Internals/Util/TLMUtility.h"

TLMAbstractLog::TLMAbstractLog(const TLMKeyedUnarchiver& coder)
    : mType(coder.decodeString("type")),
      mTimestamp(coder.decodeDate("timestamp")),
      mSid(coder.decodeString("sid")),
      mDistributionGroupId(coder.decodeString("distributionGroupId")),
      mUserId(coder.decodeString("userId")),
      mDataResidencyRegion(coder.decodeString("dataResidencyRegion")),
      mDevice(coder.decodeObjectOfClass<TLMDevice>("device")) {}

std::shared_ptr<const TLMAbstractLog::TargetTokens> TLMAbstractLog::transmissionTargetTokens() const {
    std::lock_guard lock(mTokensMutex);
    return mTransmissionTargetTokens;
}

void TLMAbstractLog::setTransmissionTargetTokens(std::shared_ptr<const TargetTokens> tokens) {
    std::lock_guard lock(mTokensMutex);
    mTransmissionTargetTokens = std::move(tokens);
}

void TLMAbstractLog::addTransmissionTargetToken(const std::string& token) {
    std::lock_guard lock(mTokensMutex);
    auto tokens = mTransmissionTargetTokens ? std::make_shared<TargetTokens>(*mTransmissionTargetTokens)
                                            : std::make_shared<TargetTokens>();
    tokens->insert(token);
    mTransmissionTargetTokens = std::move(tokens);
}

TLMOrderedDictionary TLMAbstractLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setText(dictionary, mType, "type");
    if (mTimestamp) dictionary.setObject(TLMUtility::dateToISO8601(*mTimestamp), "timestamp");
    setText(dictionary, mSid, "sid");
    setText(dictionary, mDistributionGroupId, "distributionGroupId");
    setText(dictionary, mUserId, "userId");
    if (mDevice) dictionary.setObject(mDevice->serializeToDictionary(), "device");
    setText(dictionary, mDataResidencyRegion, "dataResidencyRegion");
    return dictionary;
}

std::optional<std::string> TLMAbstractLog::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    return serializeToDictionary().jsonText(prettyPrint);
}

bool TLMAbstractLog::isValid() const {
    if (mType.empty()) return reportInvalidField("type");
    if (!mTimestamp) return reportInvalidField("timestamp");
    if (!mDevice || !mDevice->isValid()) return reportInvalidField("device");
    return true;
}

bool TLMAbstractLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMAbstractLog*>(&other);
    if (log == nullptr) return false;
    const bool sameDevice = mDevice && log->mDevice ? mDevice->isEqual(*log->mDevice) : mDevice == log->mDevice;
    return mTag == log->mTag && mType == log->mType && mTimestamp == log->mTimestamp && mSid == log->mSid &&
           mDistributionGroupId == log->mDistributionGroupId && mUserId == log->mUserId && sameDevice &&
           mDataResidencyRegion == log->mDataResidencyRegion;
}

void TLMAbstractLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeString(mType, "type");
    coder.encodeDate(mTimestamp, "timestamp");
    coder.encodeString(mSid, "sid");
    coder.encodeString(mDistributionGroupId, "distributionGroupId");
    coder.encodeString(mUserId, "userId");
    coder.encodeString(mDataResidencyRegion, "dataResidencyRegion");
    coder.encodeObject(mDevice, "device");
}
