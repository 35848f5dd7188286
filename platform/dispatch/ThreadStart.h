#pragma once
// A function run first on every thread the dispatch queues start. Crash
// reporting, which sits above the platform, gives each such thread a signal
// stack of its own through it.

namespace platform {

using ThreadStartHook = void (*)();

// Threads started before the call do not run it.
void setThreadStartHook(ThreadStartHook hook);
void runThreadStartHook();

}  // namespace platform
