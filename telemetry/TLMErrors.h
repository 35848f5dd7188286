#pragma once
// The telemetry client's own errors: one domain, a code per failure. Errors
// of the transfer itself keep the platform's URL domain.

#include "platform/foundation/Error.h"

#include <string>

inline constexpr const char* kTLMErrorDomain = "com.vekmont.telemetry.ErrorDomain";
// User-info key of the HTTP status of a TLMErrorHttpStatus error (an int).
inline constexpr const char* kTLMHttpStatusCodeKey = "StatusCode";

enum TLMErrorCode : long {
    // The container to send is missing, empty or holds an invalid log.
    TLMErrorInvalidLogContainer = 1,
    // The container's body cannot be written (a log JSON cannot hold).
    TLMErrorSerializationFailed = 2,
    // The ingestion is disabled.
    TLMErrorServiceDisabled = 3,
    // The application has not allowed network requests.
    TLMErrorNetworkRequestsNotAllowed = 4,
    // The server answered with a status other than success.
    TLMErrorHttpStatus = 5,
    // The channel was disabled and its stored logs deleted.
    TLMErrorChannelDisabled = 6,
    // No request can be made of the ingestion's address or headers.
    TLMErrorInvalidRequest = 7,
};

// An error of the client's domain with the description under the
// localised-description key.
platform::Error TLMMakeError(TLMErrorCode code, const std::string& description);
// TLMErrorHttpStatus for that status.
platform::Error TLMMakeHttpStatusError(int statusCode);

// Whether a batch that ended with this error can never be sent: the failure
// lies in the batch itself, so keeping it would fail every time again.
bool TLMIsBatchRefusedLocally(const platform::Error& error);
