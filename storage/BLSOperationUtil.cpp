#include "storage/BLSOperationUtil.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSErrors.h"

#include <utility>

namespace {

bool hasId(const std::optional<std::string>& id) { return id.has_value() && !id->empty(); }

// The operation's result, only when it succeeded.
template <typename Value>
std::optional<Value> valueOf(const BLSOperationUtil::ErrorOut& error, const std::any& result) {
    if (error) return std::nullopt;
    auto* value = std::any_cast<std::optional<Value>>(&result);
    return value ? *value : std::nullopt;
}

}  // namespace

BLSOperationUtil::ErrorOut BLSOperationUtil::missingLeaseIdError(BLSLeaseAction action,
                                                         const BLSAccessCondition* accessCondition,
                                                         const std::optional<std::string>& proposedLeaseId) {
    const bool hasLeaseId = accessCondition != nullptr && hasId(accessCondition->leaseId());
    switch (action) {
        case BLSLeaseActionRenew:
            if (!hasLeaseId) return BLSMakeInvalidArgumentError("Cannot renew a lease without providing a lease ID.");
            break;
        case BLSLeaseActionRelease:
            if (!hasLeaseId) return BLSMakeInvalidArgumentError("Cannot release a lease without providing a lease ID.");
            break;
        case BLSLeaseActionChange:
            if (!hasLeaseId || !hasId(proposedLeaseId)) {
                return BLSMakeInvalidArgumentError(
                    "Cannot change a lease without providing an existing lease ID and a proposed new one.");
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::any BLSOperationUtil::leaseResultWithResponse(BLSLeaseAction action,
                                                   const platform::net::HTTPURLResponse& response) {
    if (action == BLSLeaseActionAcquire || action == BLSLeaseActionChange) {
        const std::string* leaseId = response.valueForHTTPHeaderField("x-bs-lease-id");
        return leaseId ? std::optional<std::string>(*leaseId) : std::optional<std::string>();
    }
    if (action == BLSLeaseActionBreak) return BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(response);
    return {};
}

BLSOperationUtil::ExecutorCompletion BLSOperationUtil::errorOnly(std::function<void(const ErrorOut&)> completion) {
    return [completion = std::move(completion)](const ErrorOut& error, std::any) {
        if (completion) completion(error);
    };
}

BLSOperationUtil::ExecutorCompletion BLSOperationUtil::leaseIdResult(
    std::function<void(const ErrorOut&, const std::optional<std::string>&)> completion) {
    return [completion = std::move(completion)](const ErrorOut& error, std::any result) {
        if (completion) completion(error, valueOf<std::string>(error, result));
    };
}

BLSOperationUtil::ExecutorCompletion BLSOperationUtil::leaseTimeResult(
    std::function<void(const ErrorOut&, std::optional<std::int64_t>)> completion) {
    return [completion = std::move(completion)](const ErrorOut& error, std::any result) {
        if (completion) completion(error, valueOf<std::int64_t>(error, result));
    };
}

std::span<const std::uint8_t> BLSOperationUtil::memoryData(platform::OutputStream* stream) {
    const std::vector<std::uint8_t>* data = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
    if (data == nullptr) return {};
    return std::span<const std::uint8_t>(data->data(), data->size());
}
