#pragma once
// Uncaught C++ exceptions with the stack of their throw. By the time the
// runtime calls the terminate handler the throw's stack is gone, so the
// program's own __cxa_throw records the throw site's return addresses on the
// throwing thread (while a handler is registered) before handing the throw,
// unchanged, to the runtime. The terminate handler installed here gathers
// the exception's type, message and those addresses and calls every
// registered handler, then the terminate handler that was there before.

#include <cstdint>

struct TLMCrashesCXXExceptionInfo {
    // The terminate handler's std::exception_ptr; valid during the call.
    const void* exceptionHolder;
    // The mangled name of the exception's type.
    const char* exceptionTypeName;
    // Null when the exception carries no text we know how to take.
    const char* exceptionMessage;
    uint32_t exceptionFramesCount;
    // Innermost first, without the throw entry's own frame.
    const uint64_t* exceptionFrames;
};

// Called with a record that lives only for the call; must not call the
// manager.
using TLMCrashesCXXExceptionHandler = void (*)(const TLMCrashesCXXExceptionInfo* info);

// Stores `frames` without the first (the recording call's own) into `info`;
// none of none.
void TLMCrashesDropRecordingFrame(const uint64_t* frames, uint32_t count, TLMCrashesCXXExceptionInfo* info);

class TLMCrashesUncaughtCXXExceptionHandlerManager {
public:
    // Appends (duplicates too); the first one installs the terminate
    // handler and turns recording on.
    static void addCXXExceptionHandler(TLMCrashesCXXExceptionHandler handler);
    // Removes the first equal entry; the last one puts the previous
    // terminate handler back, unless someone replaced ours meanwhile.
    static void removeCXXExceptionHandler(TLMCrashesCXXExceptionHandler handler);
    static unsigned countCXXExceptionHandler();
};
