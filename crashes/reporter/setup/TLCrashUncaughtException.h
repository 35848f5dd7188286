#pragma once
// The process's uncaught-exception hook: an exception object that carries
// what a crash report shows of it, and the one handler called with it when
// nothing caught it. Languages or runtimes above the reporter wrap what
// escaped them into such an object and hand it to the current handler (the
// crash reporter's records it and aborts).

#include <cstdint>
#include <string>
#include <vector>

class TLCrashUncaughtException {
public:
    TLCrashUncaughtException(std::string name, std::string reason)
        : mName(std::move(name)), mReason(std::move(reason)) {}
    virtual ~TLCrashUncaughtException() = default;

    const std::string& name() const { return mName; }
    const std::string& reason() const { return mReason; }
    // The return addresses where it was raised, innermost first.
    virtual std::vector<std::uint64_t> callStackReturnAddresses() const { return {}; }

private:
    std::string mName;
    std::string mReason;
};

using TLCrashUncaughtExceptionHandler = void (*)(const TLCrashUncaughtException& exception);

// The handler in place, null when none; safe from any thread.
TLCrashUncaughtExceptionHandler TLCrashGetUncaughtExceptionHandler();
void TLCrashSetUncaughtExceptionHandler(TLCrashUncaughtExceptionHandler handler);
