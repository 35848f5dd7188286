#include "crashes/reporter/TLCrashReporterError.h"

platform::Error TLCrashReporterMakeError(TLCrashReporterError code, std::string description) {
    return platform::Error(TLCrashReporterErrorDomain, static_cast<long>(code),
                           {{platform::Error::LocalizedDescriptionKey, std::move(description)}});
}
