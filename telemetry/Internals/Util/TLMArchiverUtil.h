#pragma once
// The record classes of the telemetry client that archives may restore.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <vector>

class TLMArchiverUtil {
public:
    // The client's own record classes and the value kinds they hold.
    static std::vector<TLMArchiveClass> telemetryModuleClasses();

    // Adds them to the classes unarchiving restores. The client calls it once as it
    // is made; the services add their own classes as they are set up.
    static void addAllowedTelemetryModuleClasses();
};
