#pragma once
// The store of fatal exceptions handed over by a wrapper SDK (another
// runtime embedding the client). An exception is saved with a live report of
// the dying process; at the next launch it is matched to that report by
// process id and kept under the report's incident identifier until the
// report has been sent or dropped.
//
// Threads: the crashes service's processing, one step at a time; the
// in-memory store takes a lock of its own all the same.

#include "crashes/TelemetryCrashes/Internals/Model/TLMWrapperException.h"

#include <memory>
#include <string>
#include <vector>

class TLCrashReporter;
class TLMErrorReport;

class TLMWrapperExceptionManager {
public:
    static constexpr const char* kLastSavedBaseFilename = "last_saved_wrapper_exception";

    static void setCrashReporter(std::shared_ptr<TLCrashReporter> reporter);

    static void saveWrapperException(const std::shared_ptr<TLMWrapperException>& exception);
    static void saveWrapperException(const std::shared_ptr<TLMWrapperException>& exception,
                                     const std::string& baseFilename);
    // Saves the exception as the last one and writes a live report of this
    // process where the reporter keeps its pending report.
    static void saveWrapperExceptionAndCrashReport(const std::shared_ptr<TLMWrapperException>& exception);

    // Whether an exception is kept for that report, in memory or in a file
    // of that name. Asks the disk, logs nothing.
    static bool hasWrapperExceptionWithUUIDString(const std::string& uuidString);
    // The in-memory store first, else the file of that name.
    static std::shared_ptr<TLMWrapperException> loadWrapperExceptionWithUUIDString(const std::string& uuidString);
    // Null, logged, for a missing file; an unreadable file is logged and
    // deleted.
    static std::shared_ptr<TLMWrapperException> loadWrapperExceptionWithBaseFilename(const std::string& baseFilename);

    // Matches the last saved exception to the first report of its process
    // and keeps it under that report's identifier. Its file is removed only
    // once it is kept elsewhere; with nothing saved nothing is matched.
    static void correlateLastSavedWrapperExceptionToReport(const std::vector<std::shared_ptr<TLMErrorReport>>& reports);

    static void deleteWrapperExceptionWithUUIDString(const std::string& uuidString);
    static void deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename);
    static void deleteAllWrapperExceptions();

    // Forgets the in-memory store (tests).
    static void reset();
};
