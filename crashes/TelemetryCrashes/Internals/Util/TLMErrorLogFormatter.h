#pragma once
// Turns a decoded crash report into the error log that is sent and the
// error report the app's delegate sees: identifiers and times, processor
// names, the signal and exception, every thread's frames, the crashed
// thread's registers, the images worth sending and the device of the time.
// Stateless; it never fails: what the report lacks becomes "???", an empty
// text, 0 or absent.

#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/reporter/setup/TLCrashReport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMErrorLogFormatter {
public:
    using Addresses = std::vector<std::uint64_t>;

    // `fileData` is the report file's bytes: a report without a uuid gets an
    // identifier derived from them, so that every conversion of the same
    // file agrees.
    static std::shared_ptr<TLMAppleErrorLog> errorLogFromCrashReport(const TLCrashReport& report,
                                                                     const TLCrashReport::Data& fileData);
    static std::shared_ptr<TLMErrorReport> errorReportFromCrashReport(const TLCrashReport* report,
                                                                      const TLCrashReport::Data& fileData);
    static std::shared_ptr<TLMErrorReport> errorReportFromLog(const TLMAppleErrorLog& log);

    // The report's uuid as upper-case canonical text, else the stable id of
    // the file's bytes.
    static std::string errorIdForCrashReport(const TLCrashReport& report, const TLCrashReport::Data& fileData);
    // A UUID text (version 5 layout) from the SHA-256 of the bytes.
    static std::string stableIdForData(const TLCrashReport::Data& data);

    static bool isCodeType64bit(std::uint64_t type);
    static std::string convertCodeTypeToString(std::uint64_t type);
    static std::string convertArchNameToString(std::uint64_t type, std::uint64_t subtype);
    static std::string formatAddress(std::uint64_t address, bool is64bit);
    static std::string formatStackFrame(const TLCrashReportStackFrameInfo& frame, const TLCrashReport& report);
    static TLMAppleErrorLog::Registers extractRegistersFromCrashedThread(const TLCrashReportThreadInfo* thread,
                                                                         bool is64bit);
    static TLMAppleErrorLog::Threads extractThreadsFromReport(const TLCrashReport& report,
                                                              const TLCrashReportThreadInfo* crashedThread,
                                                              bool is64bit);
    static Addresses addressesFromReport(const TLCrashReport& report);
    static bool isBinaryWithStart(std::uint64_t start, std::uint64_t end, const Addresses& addresses);
    static TLMAppleErrorLog::Binaries extractBinaryImagesFromReport(const TLCrashReport& report, bool is64bit);
    // 0 the process's executable, 1 an image under the folder the program
    // is installed in, 2 anything else (or a path missing).
    static int imageTypeForImagePath(const std::optional<std::string>& imagePath,
                                     const std::optional<std::string>& processPath);
    static const TLCrashReportThreadInfo* findCrashedThreadInReport(const TLCrashReport& report);
    static std::shared_ptr<TLMDevice> deviceForTimestamp(const TLMAbstractLog::Timestamp& timestamp,
                                                         const TLCrashReport& report);
    // "/Users/<name>/" becomes "/Users/USER/"; a path naming "Users"
    // elsewhere gives an empty text.
    static std::string anonymizedPathFromPath(const std::string& path);
};
