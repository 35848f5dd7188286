// A crash report file from untrusted bytes all the way to what the crashes
// service sends: a report that reads becomes an error log and the error
// report the app sees, and the log must be written as JSON (one that cannot
// be would never leave, and its report would be lost) and read back equal
// from its archive in the log database.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"
#include "crashes/reporter/setup/TLCrashReport.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Paths.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMUtility.h"

using fuzzsupport::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        // The device history and the wrapper exceptions are read from here.
        platform::Paths::setRoot(fuzzsupport::TemporaryRoot());
        TLMLogger::setCurrentLogLevel(TLMLogLevelNone);
        TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
        return true;
    }();
    (void)ready;
    const TLCrashReport::Data bytes(data, data + size);
    const auto report = TLCrashReport::makeWithData(bytes);
    if (!report) return 0;
    const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*report, bytes);
    std::string error;
    if (!log->serializeToDictionary().jsonText(false, &error)) {
        std::fprintf(stderr, "the error log does not serialise: %s\n", error.c_str());
        std::abort();
    }
    Require(TLMErrorLogFormatter::errorReportFromLog(*log) != nullptr, "an error report");
    const auto archive = TLMUtility::archiveKeyedData(TLMArchiveValue(log));
    Require(archive.has_value(), "the error log archives");
    const auto value = TLMUtility::unarchiveKeyedData(*archive);
    Require(value && value->asObject() && *value->asObject() && (*value->asObject())->isEqual(*log),
            "the archived error log reads back equal");
    return 0;
}
