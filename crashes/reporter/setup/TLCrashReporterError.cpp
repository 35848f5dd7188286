#include "crashes/reporter/setup/TLCrashReporterError.h"

#include <system_error>

platform::Error TLCrashReporterMakeError(TLCrashReporterError code, std::string description) {
    return platform::Error(TLCrashReporterErrorDomain, static_cast<long>(code),
                           {{platform::Error::LocalizedDescriptionKey, std::move(description)}});
}

void TLCrashReporterPopulateError(std::optional<platform::Error>* error, TLCrashReporterError code,
                                  std::string description, std::optional<platform::Error> underlying) {
    if (error == nullptr) return;
    platform::Error made = TLCrashReporterMakeError(code, std::move(description));
    if (underlying) made.userInfo()[platform::Error::UnderlyingErrorKey] = std::move(*underlying);
    *error = std::move(made);
}

void TLCrashReporterPopulatePOSIXError(std::optional<platform::Error>* error, int errnoValue, std::string description) {
    if (error == nullptr) return;
    TLCrashReporterPopulateError(
        error, TLCrashReporterError::OperatingSystem, std::move(description),
        platform::Error(platform::POSIXErrorDomain, errnoValue,
                        {{platform::Error::LocalizedDescriptionKey, std::generic_category().message(errnoValue)}}));
}
