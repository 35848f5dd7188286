#include "storage/BLSLeaseOperation.h"

#include "platform/net/URLRequest.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSResponseParser.h"

#include <utility>

using platform::net::HTTPURLResponse;

namespace {

bool hasId(const std::optional<std::string>& id) { return id.has_value() && !id->empty(); }

BLSLeaseRequest leaseRequest(BLSLeaseAction action, const BLSAccessCondition* accessCondition) {
    BLSLeaseRequest request;
    request.action = action;
    request.accessCondition = BLSAccessCondition::copyCondition(accessCondition);
    return request;
}

}  // namespace

// Requests -------------------------------------------------------------------

BLSLeaseRequest BLSLeaseRequest::acquire(std::optional<std::int64_t> leaseTime,
                                         std::optional<std::string> proposedLeaseId,
                                         const BLSAccessCondition* accessCondition) {
    BLSLeaseRequest request = leaseRequest(BLSLeaseActionAcquire, accessCondition);
    request.proposedLeaseId = std::move(proposedLeaseId);
    request.leaseDuration = leaseTime.value_or(-1);
    return request;
}

BLSLeaseRequest BLSLeaseRequest::renew(const BLSAccessCondition* accessCondition) {
    return leaseRequest(BLSLeaseActionRenew, accessCondition);
}

BLSLeaseRequest BLSLeaseRequest::release(const BLSAccessCondition* accessCondition) {
    return leaseRequest(BLSLeaseActionRelease, accessCondition);
}

BLSLeaseRequest BLSLeaseRequest::breakLease(std::optional<std::int64_t> breakPeriod,
                                            const BLSAccessCondition* accessCondition) {
    BLSLeaseRequest request = leaseRequest(BLSLeaseActionBreak, accessCondition);
    request.breakPeriod = breakPeriod;
    return request;
}

BLSLeaseRequest BLSLeaseRequest::change(std::optional<std::string> proposedLeaseId,
                                        const BLSAccessCondition* accessCondition) {
    BLSLeaseRequest request = leaseRequest(BLSLeaseActionChange, accessCondition);
    request.proposedLeaseId = std::move(proposedLeaseId);
    return request;
}

std::optional<platform::Error> BLSLeaseRequest::missingLeaseIdError() const {
    const bool hasLeaseId = accessCondition && hasId(accessCondition->leaseId());
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
        default: break;
    }
    return std::nullopt;
}

// The call -----------------------------------------------------------------------

void BLSLeaseOperation::run(const BLSLeaseTarget& target, BLSLeaseRequest request,
                            std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                            std::shared_ptr<BLSOperationContext> operationContext, Completion completion) {
    if (auto refusal = request.missingLeaseIdError()) {
        if (completion) completion(std::move(refusal), {});
        return;
    }
    auto context = BLSOperationUtil::contextOrNew(std::move(operationContext));
    auto options = BLSOperationUtil::effectiveOptions(target.client.get(), requestOptions);
    auto command = BLSOperationUtil::makeCommand<BLSLeaseResult>(target.client.get(), target.storageUri, context);
    const bool container = target.kind == BLSLeaseTarget::Kind::Container;
    command->setBuildRequest([container, request = std::move(request)](platform::net::URLComponents& components,
                                                                       double timeout, BLSOperationContext& ctx) {
        const BLSAccessCondition* condition = BLSAccessCondition::conditionPtr(request.accessCondition);
        if (container) {
            return BLSBlobRequestFactory::leaseContainerWithLeaseAction(request.action, request.proposedLeaseId,
                                                                        request.leaseDuration, request.breakPeriod,
                                                                        condition, components, timeout, ctx);
        }
        return BLSBlobRequestFactory::leaseBlobWithLeaseAction(request.action, request.proposedLeaseId,
                                                               request.leaseDuration, request.breakPeriod, condition,
                                                               components, timeout, ctx);
    });
    command->setPreProcessResponse([container, updateEtag = target.updateEtag](const HTTPURLResponse& response,
                                                                               BLSRequestResult& result,
                                                                               BLSOperationContext& ctx) -> ErrorOut {
        // The container's properties follow every answer, the blob's only a
        // successful one.
        if (container && updateEtag) updateEtag(response);
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        if (!container && updateEtag) updateEtag(response);
        return std::nullopt;
    });
    const BLSLeaseAction action = request.action;
    command->setPostProcessResponse([action](const HTTPURLResponse& response, BLSRequestResult&,
                                             platform::OutputStream*, BLSOperationContext&,
                                             ErrorOut&) { return resultWithResponse(action, response); });
    BLSExecutor::ExecuteWithStorageCommand(command, options, context, std::move(completion));
}

BLSLeaseResult BLSLeaseOperation::resultWithResponse(BLSLeaseAction action, const HTTPURLResponse& response) {
    BLSLeaseResult result;
    if (action == BLSLeaseActionAcquire || action == BLSLeaseActionChange) {
        if (const std::string* leaseId = response.valueForHTTPHeaderField("x-bs-lease-id")) result.leaseId = *leaseId;
    } else if (action == BLSLeaseActionBreak) {
        result.remainingLeaseTime = BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(response);
    }
    return result;
}

// Completions --------------------------------------------------------------------

BLSLeaseOperation::Completion BLSLeaseOperation::errorOnly(std::function<void(const ErrorOut&)> completion) {
    return BLSOperationUtil::errorOnly<BLSLeaseResult>(std::move(completion));
}

BLSLeaseOperation::Completion BLSLeaseOperation::leaseIdResult(
    std::function<void(const ErrorOut&, const std::optional<std::string>&)> completion) {
    return [completion = std::move(completion)](ErrorOut error, BLSLeaseResult result) {
        if (!completion) return;
        completion(error, error ? std::nullopt : std::move(result.leaseId));
    };
}

BLSLeaseOperation::Completion BLSLeaseOperation::leaseTimeResult(
    std::function<void(const ErrorOut&, std::optional<std::int64_t>)> completion) {
    return [completion = std::move(completion)](ErrorOut error, BLSLeaseResult result) {
        if (!completion) return;
        completion(error, error ? std::nullopt : result.remainingLeaseTime);
    };
}
