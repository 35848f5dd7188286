#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace {

const char* const kCrashesTag = "TelemetryCrashes";
const char* const kSdkTag = "Telemetry";

struct Store {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<TLMWrapperException>> exceptions;
    std::shared_ptr<TLCrashReporter> reporter;
};

Store& store() {
    static Store* instance = new Store();
    return *instance;
}

std::string pathComponent(const std::string& baseFilename) {
    return TLMCrashesUtil::wrapperExceptionsDir() + "/" + baseFilename;
}

}  // namespace

void TLMWrapperExceptionManager::setCrashReporter(std::shared_ptr<TLCrashReporter> reporter) {
    std::lock_guard guard(store().mutex);
    store().reporter = std::move(reporter);
}

void TLMWrapperExceptionManager::saveWrapperException(const std::shared_ptr<TLMWrapperException>& exception) {
    saveWrapperException(exception, kLastSavedBaseFilename);
}

void TLMWrapperExceptionManager::saveWrapperException(const std::shared_ptr<TLMWrapperException>& exception,
                                                      const std::string& baseFilename) {
    const auto data = TLMUtility::archiveKeyedData(TLMArchiveValue(exception));
    TLMUtility::createFileAtPathComponent(pathComponent(baseFilename), data, true, true);
}

void TLMWrapperExceptionManager::saveWrapperExceptionAndCrashReport(
    const std::shared_ptr<TLMWrapperException>& exception) {
    std::shared_ptr<TLCrashReporter> reporter;
    {
        std::lock_guard guard(store().mutex);
        reporter = store().reporter;
    }
    if (!reporter) {
        TLMLogError(kSdkTag, "Failed to save the crash report. CrashReporter wasn't initialized.");
        return;
    }
    saveWrapperException(exception);
    const std::filesystem::path path = reporter->crashReportPath();
    // The folder is the path's parent, whatever the file's name repeats.
    const std::filesystem::path directory = path.parent_path();
    if (!TLMUtility::createDirectoryAtURL(directory)) {
        const std::string shown = "file://" + directory.string();
        TLMLogError(kSdkTag, "Couldn't create a directory at path %s", shown.c_str());
        return;
    }
    const auto report = reporter->generateLiveReport();
    const std::string shown = path.string();
    if (report && TLMUtility::createFileAtPath(path, *report)) {
        TLMLogError(kSdkTag, "Crash report was saved successfully at path %s", shown.c_str());
    } else {
        TLMLogError(kSdkTag, "Couldn't save crash report at path %s", shown.c_str());
    }
}

bool TLMWrapperExceptionManager::hasWrapperExceptionWithUUIDString(const std::string& uuidString) {
    {
        std::lock_guard guard(store().mutex);
        if (store().exceptions.count(uuidString) != 0) return true;
    }
    return TLMUtility::fileExistsForPathComponent(pathComponent(uuidString));
}

std::shared_ptr<TLMWrapperException> TLMWrapperExceptionManager::loadWrapperExceptionWithUUIDString(
    const std::string& uuidString) {
    {
        std::lock_guard guard(store().mutex);
        const auto found = store().exceptions.find(uuidString);
        if (found != store().exceptions.end()) return found->second;
    }
    return loadWrapperExceptionWithBaseFilename(uuidString);
}

std::shared_ptr<TLMWrapperException> TLMWrapperExceptionManager::loadWrapperExceptionWithBaseFilename(
    const std::string& baseFilename) {
    const std::string component = pathComponent(baseFilename);
    if (!TLMUtility::fileExistsForPathComponent(component)) {
        TLMLogError(kCrashesTag, "Exception data report doesn't exist on disk. File name: %s", baseFilename.c_str());
        return nullptr;
    }
    std::shared_ptr<TLMWrapperException> exception;
    if (const auto data = TLMUtility::loadDataForPathComponent(component)) {
        if (const auto value = TLMUtility::unarchiveKeyedData(*data); value && value->asObject()) {
            exception = std::dynamic_pointer_cast<TLMWrapperException>(*value->asObject());
        }
    }
    if (!exception) {
        TLMLogError(kCrashesTag, "Could not read exception data stored on disk with file name %s",
                    baseFilename.c_str());
        TLMUtility::deleteItemForPathComponent(component);
    }
    return exception;
}

void TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
    const std::vector<std::shared_ptr<TLMErrorReport>>& reports) {
    if (!TLMUtility::fileExistsForPathComponent(pathComponent(kLastSavedBaseFilename))) return;
    const std::shared_ptr<TLMWrapperException> exception = loadWrapperExceptionWithBaseFilename(kLastSavedBaseFilename);
    // Nothing loaded: there is no process id to match against.
    if (!exception || !exception->processId()) return;
    const auto processId = static_cast<std::uint64_t>(*exception->processId());
    for (const auto& report : reports) {
        if (!report || report->appProcessIdentifier() != processId || !report->incidentIdentifier()) continue;
        const std::string& incident = *report->incidentIdentifier();
        {
            std::lock_guard guard(store().mutex);
            store().exceptions[incident] = exception;
        }
        saveWrapperException(exception, incident);
        // Kept under the report's identifier now; the last-saved file may go.
        deleteWrapperExceptionWithBaseFilename(kLastSavedBaseFilename);
        return;
    }
}

void TLMWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(const std::string& uuidString) {
    deleteWrapperExceptionWithBaseFilename(uuidString);
}

void TLMWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename) {
    const std::string component = pathComponent(baseFilename);
    if (TLMUtility::fileExistsForPathComponent(component)) TLMUtility::deleteItemForPathComponent(component);
}

void TLMWrapperExceptionManager::deleteAllWrapperExceptions() {
    TLMUtility::deleteItemForPathComponent(TLMCrashesUtil::wrapperExceptionsDir());
}

void TLMWrapperExceptionManager::reset() {
    std::lock_guard guard(store().mutex);
    store().exceptions.clear();
    store().reporter.reset();
}
