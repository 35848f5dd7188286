#pragma once
// The analytics records that reading a stored log may restore.

class TLMAnalyticsArchiverUtil {
public:
    // Adds the analytics logs, typed properties and what they hold to the
    // process-wide list of classes that unarchiving restores (the name is
    // spelled as callers know it).
    static void addAllowedAnalyitcsModuleClasses();
};
