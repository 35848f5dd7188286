#pragma once
// The errors of the sharing service client: one domain, a code per kind of
// failure, the HTTP status and the error underneath in the user info.

#include "platform/foundation/Error.h"

#include <optional>
#include <string>

inline constexpr const char* QLSharingErrorDomain = "com.vekmont.SharingErrorDomain";

enum class QLSharingErrorCode : long {
    // The request could not be sent or its answer did not arrive whole
    // (refused, cut, timed out); UnderlyingError holds the transport's error.
    Transport = 1,
    // The service answered with a status other than 2xx (HTTPStatusCode).
    HTTPStatus = 2,
    // The answer is not what the protocol says: no JSON, or a value of the
    // wrong type or out of range under a key.
    InvalidReply = 3,
    // The answer or the blob is larger than the client takes.
    TooLarge = 4,
    // The blob storage client failed (UnderlyingError holds its error).
    Storage = 5,
    // A cache file could not be written, renamed or read back.
    File = 6,
    // The operation needs a signed-in user with a password.
    MissingCredentials = 7,
};

namespace QLSharingErrorKey {
inline constexpr const char* HTTPStatusCode = "HTTPStatusCode";
inline constexpr const char* UnderlyingError = "UnderlyingError";
}  // namespace QLSharingErrorKey

platform::Error QLMakeSharingError(QLSharingErrorCode code, std::string description,
                                   std::optional<platform::Error> underlying = std::nullopt);
