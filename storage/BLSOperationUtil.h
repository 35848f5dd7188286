#pragma once
// What the operations of containers and blobs share: the adapters from the
// executor's (error, result) to each operation's completion, and for the
// lease operations the refusal of calls that lack the IDs they need and the
// result read from the service's answer.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

class BLSAccessCondition;
namespace platform {
class OutputStream;
}
namespace platform::net {
struct HTTPURLResponse;
}

class BLSOperationUtil {
public:
    using ErrorOut = std::optional<platform::Error>;
    using ExecutorCompletion = std::function<void(const ErrorOut&, std::any)>;

    // Code 1 with the reason when `action` lacks an ID it needs (renew and
    // release: the access condition's lease ID; change: that and the
    // proposed ID), else nullopt. An empty ID identifies no lease, so it
    // counts as none.
    static ErrorOut missingLeaseIdError(BLSLeaseAction action, const BLSAccessCondition* accessCondition,
                                        const std::optional<std::string>& proposedLeaseId);

    // The post-processing result of a lease answer: the "x-bs-lease-id"
    // header for acquire and change (std::optional<std::string>), the
    // remaining lease time for break (std::optional<std::int64_t>), nothing
    // otherwise.
    static std::any leaseResultWithResponse(BLSLeaseAction action, const platform::net::HTTPURLResponse& response);

    // Completions that get the error, and the lease ID or remaining time
    // only when there is no error. A null completion is not called.
    // The body an answer left in a memory stream; empty for another stream.
    static std::span<const std::uint8_t> memoryData(platform::OutputStream* stream);

    static ExecutorCompletion errorOnly(std::function<void(const ErrorOut&)> completion);
    static ExecutorCompletion leaseIdResult(
        std::function<void(const ErrorOut&, const std::optional<std::string>&)> completion);
    static ExecutorCompletion leaseTimeResult(
        std::function<void(const ErrorOut&, std::optional<std::int64_t>)> completion);
};
