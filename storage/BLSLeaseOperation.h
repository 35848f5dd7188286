#pragma once
// The five lease calls (acquire, renew, release, break, change) of
// containers and blobs in one place: the refusal of a call that lacks an ID
// it needs, the request, the reading of the answer and the result. The two
// kinds differ only where the service's protocol makes them differ (see
// BLSLeaseTarget).

#include "platform/foundation/Error.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSEnums.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSStorageUri.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::net {
struct HTTPURLResponse;
}
class BLSBlobRequestOptions;
class BLSCloudBlobClient;
class BLSOperationContext;

// What the answer to a lease call gives.
struct BLSLeaseResult {
    std::optional<std::string> leaseId;              // acquire and change: "x-bs-lease-id"
    std::optional<std::int64_t> remainingLeaseTime;  // break
};

// What one lease call asks for.
struct BLSLeaseRequest {
    BLSLeaseAction action = BLSLeaseActionAcquire;
    std::optional<std::string> proposedLeaseId;
    std::optional<std::int64_t> leaseDuration;
    std::optional<std::int64_t> breakPeriod;
    std::optional<BLSAccessCondition> accessCondition;

    // No lease time asks for an infinite lease (-1).
    static BLSLeaseRequest acquire(std::optional<std::int64_t> leaseTime, std::optional<std::string> proposedLeaseId,
                                   const BLSAccessCondition* accessCondition);
    static BLSLeaseRequest renew(const BLSAccessCondition* accessCondition);
    static BLSLeaseRequest release(const BLSAccessCondition* accessCondition);
    // No break period sends none: the service's own period applies.
    static BLSLeaseRequest breakLease(std::optional<std::int64_t> breakPeriod,
                                      const BLSAccessCondition* accessCondition);
    static BLSLeaseRequest change(std::optional<std::string> proposedLeaseId,
                                  const BLSAccessCondition* accessCondition);

    // Code 1 with the reason when the call lacks an ID it needs (renew and
    // release: the access condition's lease ID; change: that and the
    // proposed ID), else nullopt. An empty ID identifies no lease, so it
    // counts as none.
    std::optional<platform::Error> missingLeaseIdError() const;
};

// The leased container or blob.
struct BLSLeaseTarget {
    enum class Kind { Container, Blob };
    Kind kind = Kind::Blob;
    std::shared_ptr<BLSCloudBlobClient> client;
    BLSStorageUri storageUri;
    // The resource's own ETag and last-modified update from an answer. A
    // container takes it from every answer, before the status check; a blob
    // only from a successful one.
    std::function<void(const platform::net::HTTPURLResponse&)> updateEtag;
};

class BLSLeaseOperation {
public:
    using ErrorOut = std::optional<platform::Error>;
    using Completion = BLSCompletionHandler<BLSLeaseResult>;

    // Runs one lease call on `target`. A call that lacks an ID it needs is
    // refused at once, on the caller's thread, and nothing is sent.
    static void run(const BLSLeaseTarget& target, BLSLeaseRequest request,
                    std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                    std::shared_ptr<BLSOperationContext> operationContext, Completion completion);

    // The result read from a successful answer to `action`.
    static BLSLeaseResult resultWithResponse(BLSLeaseAction action, const platform::net::HTTPURLResponse& response);

    // Completions that get the error, and the lease ID or the remaining
    // time only when there is no error. A null completion is not called.
    static Completion errorOnly(std::function<void(const ErrorOut&)> completion);
    static Completion leaseIdResult(std::function<void(const ErrorOut&, const std::optional<std::string>&)> completion);
    static Completion leaseTimeResult(std::function<void(const ErrorOut&, std::optional<std::int64_t>)> completion);
};
