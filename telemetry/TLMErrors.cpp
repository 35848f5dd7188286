#include "telemetry/TLMErrors.h"

platform::Error TLMMakeError(TLMErrorCode code, const std::string& description) {
    return platform::Error(kTLMErrorDomain, code, {{platform::Error::LocalizedDescriptionKey, description}});
}

platform::Error TLMMakeHttpStatusError(int statusCode) {
    platform::Error error =
        TLMMakeError(TLMErrorHttpStatus, "The server answered with HTTP status " + std::to_string(statusCode) + ".");
    error.userInfo()[kTLMHttpStatusCodeKey] = statusCode;
    return error;
}

bool TLMIsBatchRefusedLocally(const platform::Error& error) {
    return error.domain() == kTLMErrorDomain &&
           (error.code() == TLMErrorInvalidLogContainer || error.code() == TLMErrorSerializationFailed);
}
