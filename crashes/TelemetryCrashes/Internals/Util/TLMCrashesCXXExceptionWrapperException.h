#pragma once
// An uncaught C++ exception as the process's uncaught-exception object: named
// by its demangled type, with its message as the reason and the throw site's
// return addresses as its call stack.

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUncaughtCXXExceptionHandlerManager.h"
#include "crashes/reporter/setup/TLCrashUncaughtException.h"

class TLMCrashesCXXExceptionWrapperException : public TLCrashUncaughtException {
public:
    // Keeps `info` (not copied): the exception is valid while the record is.
    explicit TLMCrashesCXXExceptionWrapperException(const TLMCrashesCXXExceptionInfo* info);

    std::vector<std::uint64_t> callStackReturnAddresses() const override;
    const TLMCrashesCXXExceptionInfo* info() const { return mInfo; }

private:
    const TLMCrashesCXXExceptionInfo* mInfo;
};
