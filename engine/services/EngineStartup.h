#pragma once
// The engine's start at launch: opens the app log, then makes and registers
// the process-wide services.

#include <string>

namespace UEngineStartup {

// Called once by the application at launch, on the main thread, with the
// path of the log file; null (no folder for it) logs to the console only.
void Start(const char* logFilePath);

// Adds the log file (kept as the previous log and begun anew when over
// 250 KiB) and sets the level to info; an empty path adds no file. Always
// true.
bool SetUpLogging(const std::string& path);

// Registers activity analytics, localisation, preferences, text measurement
// and performance counters, in this order. The services live until the
// process ends: the registry never frees them.
void RegisterServices();

}  // namespace UEngineStartup
