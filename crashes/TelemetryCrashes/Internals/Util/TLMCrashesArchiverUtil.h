#pragma once
// The classes that archived crash logs hold, for keyed unarchiving.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <vector>

class TLMCrashesArchiverUtil {
public:
    // The crash records and the value kinds inside them (data too).
    static std::vector<TLMArchiveClass> crashesModuleClasses();

    // Adds them to the classes unarchiving restores; the crashes service
    // calls it once as it is made.
    static void addAllowedCrashesModuleClasses();
};
