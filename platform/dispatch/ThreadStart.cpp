#include "platform/dispatch/ThreadStart.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<ThreadStartHook> gHook{nullptr};

}  // namespace

void setThreadStartHook(ThreadStartHook hook) { gHook.store(hook); }

void runThreadStartHook() {
    if (const ThreadStartHook hook = gHook.load()) hook();
}

}  // namespace platform
