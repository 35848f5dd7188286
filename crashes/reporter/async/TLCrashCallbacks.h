#pragma once
// What the application may run on the crash path, after the report is
// written (TLCrashReporter::setCrashCallbacks).

#include <signal.h>
#include <ucontext.h>

#include <cstdint>

// Called on the crash path after the report is written; async-signal-safe
// code only.
struct TLCrashCallbacks {
    uint32_t version;  // 0
    void* context;
    void (*handleSignal)(siginfo_t* info, ucontext_t* uap, void* context);
};
