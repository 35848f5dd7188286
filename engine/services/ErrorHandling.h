#pragma once
// The engine's failure routines: ThrowIfNull for broken preconditions, and
// the reporter behind CheckAllocation for failures that end the process.

#include <stdexcept>

namespace UErrorHandling {

enum ReportKind { kWarning = 1, kFatal = 2, kNullPointer = 3 };

// Logs "An application error occured in '<signature>'" and
// "<<< message >>>" and throws std::runtime_error with the latter text when
// `pointer` is null; returns it unchanged otherwise.
template <typename T>
T* ThrowIfNull(T* pointer, const char* signature, const char* message);

// Reports and ends the process with a failure status when `pointer` is null.
void CheckAllocation(const void* pointer, const char* signature, const char* description);

// Writes the report to standard error and the log. A fatal report (kind 2)
// ends the process with a failure status.
void ReportError(int code, const char* title, const char* description, int kind);
void LogErrorReport(const char* report, int kind);

// Shared by every ThrowIfNull instantiation.
[[noreturn]] void ThrowNullError(const char* signature, const char* message);

template <typename T>
T* ThrowIfNull(T* pointer, const char* signature, const char* message) {
    if (pointer == nullptr) ThrowNullError(signature, message);
    return pointer;
}

}  // namespace UErrorHandling
