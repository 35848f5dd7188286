#pragma once
// Reads the properties, leases, metadata and copy state that the blob
// service returns in response headers.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"
#include "storage/BLSResultTypes.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::net {
struct HTTPURLResponse;
}
class BLSOperationContext;

class BLSBlobResponseParser {
public:
    using HTTPURLResponse = platform::net::HTTPURLResponse;

    // nullopt (and `error` set) when a lease header holds an unknown text;
    // the lease values are read in the order state, status, duration and the
    // first failure stops the parse.
    static std::optional<BLSBlobProperties> getBlobPropertiesWithResponse(const HTTPURLResponse& response,
                                                                          BLSOperationContext& operationContext,
                                                                          std::optional<platform::Error>& error);
    // Always returns the properties; an unknown lease text still sets `error`.
    static BLSBlobContainerProperties getContainerPropertiesWithResponse(const HTTPURLResponse& response,
                                                                         BLSOperationContext& operationContext,
                                                                         std::optional<platform::Error>& error);

    // An absent header gives 0 and no error; an unknown text gives 0, error
    // code 6 and a log at error level.
    static BLSLeaseState getLeaseStateWithResponse(const HTTPURLResponse& response,
                                                   BLSOperationContext& operationContext,
                                                   std::optional<platform::Error>& error);
    static BLSLeaseStatus getLeaseStatusWithResponse(const HTTPURLResponse& response,
                                                     BLSOperationContext& operationContext,
                                                     std::optional<platform::Error>& error);
    static BLSLeaseDuration getLeaseDurationWithResponse(const HTTPURLResponse& response,
                                                         BLSOperationContext& operationContext,
                                                         std::optional<platform::Error>& error);

    // Every "x-bs-meta-<key>" header (prefix compared with case) as key -> value.
    static BLSMetadata getMetadataWithResponse(const HTTPURLResponse& response);
    // A fresh copy state when the response has no "x-bs-copy-status".
    static BLSCopyState getCopyStateWithResponse(const HTTPURLResponse& response);

    // nullopt when the header is absent or holds no number.
    static std::optional<std::int64_t> getRemainingLeaseTimeWithResponse(const HTTPURLResponse& response);
    static std::optional<std::int64_t> getSequenceNumberWithResponse(const HTTPURLResponse& response);
    static std::optional<std::int64_t> getAppendCommittedBlockCountWithResponse(const HTTPURLResponse& response);
    static std::optional<std::int64_t> getAppendPositionWithResponse(const HTTPURLResponse& response);

    // The blob's full length as the response tells it: the total after the
    // "/" of "Content-Range" ("bytes a-b/total"; a "Range" header is read the
    // same way), else "x-bs-blob-content-length", else "Content-Length", else
    // the expected content length when known. A range header whose total is
    // missing or not a number gives nullopt: the length of a partial answer
    // must never be taken for the blob's length. A negative length is no
    // length, and the next source is asked.
    static std::optional<std::int64_t> getBlobLengthWithResponse(const HTTPURLResponse& response);

    // A whole signed 64-bit number, blanks around it allowed; nullopt for
    // anything else (also on overflow).
    static std::optional<std::int64_t> parseInt64(std::string_view text);
};
