#pragma once
// The crash reporter's error values: platform errors in their own domain,
// with the system's error underneath where the system failed.

#include "platform/foundation/Error.h"

#include <optional>
#include <string>

inline constexpr const char* TLCrashReporterErrorDomain = "TLCrashReporterErrorDomain";

enum TLCrashReporterError : long {
    // A failure with no more particular code.
    TLCrashReporterErrorUnknown = 0,
    // The system failed; its error is the underlying one.
    TLCrashReporterErrorOperatingSystem = 1,
    // A report's bytes are not a crash report.
    TLCrashReporterErrorCrashReportInvalid = 2,
    // A crash reporter is enabled already.
    TLCrashReporterErrorResourceBusy = 3,
};

// Stores in `*error`, when `error` is not null, an error of the domain with
// `code`, `description` as its localised description and, when given,
// `underlying` under the underlying-error key.
void tlcrash_populate_error(std::optional<platform::Error>* error, TLCrashReporterError code,
                            const std::string& description, std::optional<platform::Error> underlying = std::nullopt);

// An operating-system error (code 1) over a POSIX error of `errnoValue`.
void tlcrash_populate_posix_error(std::optional<platform::Error>* error, int errnoValue,
                                  const std::string& description);
