#include "crashes/reporter/TLCrashReporterError.h"

#include <system_error>

void tlcrash_populate_error(std::optional<platform::Error>* error, TLCrashReporterError code,
                            const std::string& description, std::optional<platform::Error> underlying) {
    if (error == nullptr) return;
    platform::Error::UserInfo userInfo{{platform::Error::LocalizedDescriptionKey, description}};
    if (underlying) userInfo[platform::Error::UnderlyingErrorKey] = std::move(*underlying);
    error->emplace(TLCrashReporterErrorDomain, code, std::move(userInfo));
}

void tlcrash_populate_posix_error(std::optional<platform::Error>* error, int errnoValue,
                                  const std::string& description) {
    if (error == nullptr) return;
    tlcrash_populate_error(
        error, TLCrashReporterErrorOperatingSystem, description,
        platform::Error(platform::POSIXErrorDomain, errnoValue,
                        {{platform::Error::LocalizedDescriptionKey, std::generic_category().message(errnoValue)}}));
}
