#include "crashes/reporter/setup/TLCrashUncaughtException.h"

#include <atomic>

namespace {

std::atomic<TLCrashUncaughtExceptionHandler> gHandler{nullptr};

}  // namespace

TLCrashUncaughtExceptionHandler TLCrashGetUncaughtExceptionHandler() { return gHandler.load(); }

void TLCrashSetUncaughtExceptionHandler(TLCrashUncaughtExceptionHandler handler) { gHandler.store(handler); }
