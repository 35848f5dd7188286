#include "storage/BLSAccessCondition.h"

BLSAccessCondition BLSAccessCondition::makeWithIfMatchCondition(std::string eTag) {
    BLSAccessCondition condition;
    condition.mIfMatchETag = std::move(eTag);
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfNoneMatchCondition(std::string eTag) {
    BLSAccessCondition condition;
    condition.mIfNoneMatchETag = std::move(eTag);
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfModifiedSinceCondition(BLSDate date) {
    BLSAccessCondition condition;
    condition.mIfModifiedSinceDate = date;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfNotModifiedSinceCondition(BLSDate date) {
    BLSAccessCondition condition;
    condition.mIfNotModifiedSinceDate = date;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithLeaseId(std::string leaseId) {
    BLSAccessCondition condition;
    condition.mLeaseId = std::move(leaseId);
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfSequenceNumberLessThanOrEqualTo(std::int64_t sequenceNumber) {
    BLSAccessCondition condition;
    condition.mSequenceNumber = sequenceNumber;
    condition.mSequenceNumberOperator = BLSSequenceNumberOperatorLessThanOrEqual;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfSequenceNumberLessThan(std::int64_t sequenceNumber) {
    BLSAccessCondition condition;
    condition.mSequenceNumber = sequenceNumber;
    condition.mSequenceNumberOperator = BLSSequenceNumberOperatorLessThan;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfSequenceNumberEqualTo(std::int64_t sequenceNumber) {
    BLSAccessCondition condition;
    condition.mSequenceNumber = sequenceNumber;
    condition.mSequenceNumberOperator = BLSSequenceNumberOperatorEqual;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(std::int64_t maxSize) {
    BLSAccessCondition condition;
    condition.mMaxSize = maxSize;
    return condition;
}

BLSAccessCondition BLSAccessCondition::makeWithIfAppendPositionEqualTo(std::int64_t appendPosition) {
    BLSAccessCondition condition;
    condition.mAppendPosition = appendPosition;
    return condition;
}

BLSAccessCondition BLSAccessCondition::cloneWithEtag(const std::optional<std::string>& eTag,
                                                     const BLSAccessCondition* accessCondition) {
    BLSAccessCondition condition;
    condition.mIfMatchETag = eTag;
    if (accessCondition != nullptr) {
        condition.mLeaseId = accessCondition->mLeaseId;
    }
    return condition;
}
