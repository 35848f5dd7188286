#pragma once
// What the benchmarks share: an app root of their own (removed at exit) and
// the services a document asks for, logging warnings and errors only.

// Sets everything up once per process; `name` names the temporary root.
void SetUpBenchEngine(const char* name);

// As in the app: an enabled performance counters service, that builds and
// paints add their times to. Registered once per process.
void EnablePerformanceCounters();
