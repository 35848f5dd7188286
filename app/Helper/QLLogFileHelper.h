#pragma once
// Where a log file "Logs/Quenlor.log" in the library folder would lie, its
// backup for crash reports in the temporary folder, and its recent lines.
// Failures are logged at warning level and answered with "" or false.

#include <string>

class QLLogFileHelper {
public:
    // "" when the library folder cannot be had.
    static std::string logFilePath();
    static std::string backupLogFilePath();
    // Copies the log to the backup path; an existing backup is never
    // overwritten (the copy fails). False on failure.
    static bool createCrashLogBackup();
    // The last 250 lines (pieces between "\n") of the backup when there is
    // one, else of the log; "" when the text cannot be read as UTF-8.
    static std::string recentLogLines();
};
