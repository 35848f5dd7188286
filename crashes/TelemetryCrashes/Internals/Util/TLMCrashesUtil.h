#pragma once
// The crash directories inside the telemetry client's folder, each made on
// its first use in the process.

#include <string>

class TLMCrashesUtil {
public:
    // "crashes": the stored crash reports.
    static std::string crashesDir();
    // "crasheslogbuffer": the logs in flight at a crash.
    static std::string logBufferDir();
    // "crasheswrapperexceptions": exceptions handed over by a wrapper SDK.
    static std::string wrapperExceptionsDir();
    // The next call of each makes its directory again.
    static void resetDirectory();
};
