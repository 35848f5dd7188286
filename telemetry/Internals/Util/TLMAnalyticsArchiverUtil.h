#pragma once
// The analytics records that reading a stored log may restore.

class TLMAnalyticsArchiverUtil {
public:
    // Adds the named logs and event logs to the process-wide list of
    // classes that unarchiving restores (the name is spelled as callers
    // know it).
    static void addAllowedAnalyitcsModuleClasses();
};
