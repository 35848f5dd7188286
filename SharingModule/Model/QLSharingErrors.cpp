#include "SharingModule/Model/QLSharingErrors.h"

platform::Error QLMakeSharingError(QLSharingErrorCode code, std::string description,
                                   std::optional<platform::Error> underlying) {
    platform::Error::UserInfo info{{platform::Error::LocalizedDescriptionKey, std::move(description)}};
    if (underlying) info[QLSharingErrorKey::UnderlyingError] = std::move(*underlying);
    return platform::Error(QLSharingErrorDomain, static_cast<long>(code), std::move(info));
}
