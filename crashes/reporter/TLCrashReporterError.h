#pragma once
// The crash reporter's one error domain and its codes.

#include "platform/foundation/Error.h"

#include <string>

inline constexpr const char* TLCrashReporterErrorDomain = "TLCrashReporterErrorDomain";

enum class TLCrashReporterError : long {
    Unknown = 0,
    OperatingSystem = 1,
    CrashReportInvalid = 2,  // a report file that cannot be decoded or lacks a part
    ResourceBusy = 3,
};

// An error of the domain with `description` under the localised-description key.
platform::Error TLCrashReporterMakeError(TLCrashReporterError code, std::string description);
