#pragma once
// The status check every response goes through, and the reader of the
// service's Error body.

#include "platform/foundation/Error.h"

#include <cstdint>
#include <optional>
#include <span>

namespace platform::net {
struct HTTPURLResponse;
}
class BLSOperationContext;
class BLSRequestResult;

class BLSResponseParser {
public:
    // nullopt for 200, 201, 202, 204 and 206. Any other status gives error
    // code 3 with "HTTP Status Code" (long), "URLResponse" (a copy of the
    // response), "RequestResult" and "OperationContext". The last two are
    // shared_ptrs taken from the objects themselves (weak_from_this); they
    // hold nullptr when the object is not owned by a shared_ptr.
    static std::optional<platform::Error> preprocessResponseWithResponse(const platform::net::HTTPURLResponse& response,
                                                                         BLSRequestResult& requestResult,
                                                                         BLSOperationContext& operationContext);

    // Reads an Error body into `errorToPopulate`: "Code" and "Message" into
    // its user info, every other child of Error into "AdditionalErrorDetails"
    // (std::map<std::string, std::string>). The error is replaced even when
    // the body is malformed; then `error` becomes code 6 wrapping it under
    // "InnerError".
    static void processErrorResponseWithData(std::span<const std::uint8_t> data, platform::Error& errorToPopulate,
                                             BLSOperationContext& operationContext,
                                             std::optional<platform::Error>& error);
};
