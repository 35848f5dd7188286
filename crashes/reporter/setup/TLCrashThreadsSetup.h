#pragma once
// Reserving the signal through which the report writer asks the other
// threads for their registers (see async/TLCrashAsyncThreads.h). Set-up time
// only: it locks.

#include "crashes/reporter/async/TLCrashAsyncThreads.h"

// Reserves a real-time signal whose action is still the default one and
// installs the answering handler; later calls do nothing. False when every
// real-time signal is taken or the action cannot be set.
bool tlcrash_async_threads_install();
