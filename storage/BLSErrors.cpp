#include "storage/BLSErrors.h"

platform::Error BLSMakeError(BLSErrorCode code, platform::Error::UserInfo userInfo) {
    return platform::Error(BLSErrorDomain, static_cast<long>(code), std::move(userInfo));
}

platform::Error BLSMakeInvalidArgumentError(const std::string& reason) {
    return BLSMakeError(BLSErrorCode::InvalidArgumentOrState, {{platform::Error::LocalizedDescriptionKey, reason}});
}

bool BLSIsError(const platform::Error& error, BLSErrorCode code) {
    return error.domain() == BLSErrorDomain && error.code() == static_cast<long>(code);
}
