#pragma once
// The crash reporter's one error domain, its codes and the builders of its
// error values, with the system's error underneath where the system failed.

#include "platform/foundation/Error.h"

#include <optional>
#include <string>

inline constexpr const char* TLCrashReporterErrorDomain = "TLCrashReporterErrorDomain";

enum class TLCrashReporterError : long {
    Unknown = 0,
    OperatingSystem = 1,     // the system failed; its error is the underlying one
    CrashReportInvalid = 2,  // a report file that cannot be decoded or lacks a part
    ResourceBusy = 3,        // a crash reporter is enabled already
};

// An error of the domain with `description` under the localised-description key.
platform::Error TLCrashReporterMakeError(TLCrashReporterError code, std::string description);

// Stores in `*error`, when `error` is not null, an error of the domain with
// `code`, `description` as its localised description and, when given,
// `underlying` under the underlying-error key.
void TLCrashReporterPopulateError(std::optional<platform::Error>* error, TLCrashReporterError code,
                                  std::string description, std::optional<platform::Error> underlying = std::nullopt);

// An operating-system error over a POSIX error of `errnoValue`.
void TLCrashReporterPopulatePOSIXError(std::optional<platform::Error>* error, int errnoValue, std::string description);
