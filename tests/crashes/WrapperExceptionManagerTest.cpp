#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"
#include "platform/foundation/TemporaryFolder.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::shared_ptr<TLMWrapperException> exceptionOf(std::int64_t processId, const std::string& message) {
    auto model = std::make_shared<TLMExceptionModel>();
    model->setType(std::string("WrapperError"));
    model->setMessage(message);
    auto exception = std::make_shared<TLMWrapperException>();
    exception->setModelException(model);
    exception->setProcessId(processId);
    return exception;
}

std::shared_ptr<TLMErrorReport> reportOf(const std::string& id, std::uint64_t processId) {
    return std::make_shared<TLMErrorReport>(id, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                            std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                            std::nullopt, nullptr, processId);
}

bool exists(const std::string& name) {
    return TLMUtility::fileExistsForPathComponent(TLMCrashesUtil::wrapperExceptionsDir() + "/" + name);
}

}  // namespace

TEST(WrapperExceptionManager, TheSavedExceptionMovesOnlyToTheReportOfItsProcess) {
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    // Nothing saved: nothing is matched, even a report of process 0.
    TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({reportOf("A", 0)});
    EXPECT_FALSE(exists("A"));

    TLMWrapperExceptionManager::saveWrapperException(exceptionOf(77, "first"));
    // No report of that process: the exception stays for a later match.
    TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({reportOf("B", 76)});
    EXPECT_TRUE(exists(TLMWrapperExceptionManager::kLastSavedBaseFilename));
    EXPECT_FALSE(exists("B"));

    TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
        {reportOf("C", 76), reportOf("D", 77), reportOf("E", 77)});
    EXPECT_FALSE(exists(TLMWrapperExceptionManager::kLastSavedBaseFilename));
    EXPECT_TRUE(exists("D"));
    EXPECT_FALSE(exists("E"));
    const auto loaded = TLMWrapperExceptionManager::loadWrapperExceptionWithUUIDString("D");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->modelException()->message(), std::optional<std::string>("first"));
    // Kept in memory: deleting the file does not lose it for this launch.
    TLMWrapperExceptionManager::deleteWrapperExceptionWithUUIDString("D");
    EXPECT_FALSE(exists("D"));
    EXPECT_TRUE(TLMWrapperExceptionManager::hasWrapperExceptionWithUUIDString("D"));
    EXPECT_NE(TLMWrapperExceptionManager::loadWrapperExceptionWithUUIDString("D"), nullptr);
    // A file of an earlier launch counts too; nothing else does.
    TLMWrapperExceptionManager::saveWrapperException(exceptionOf(78, "earlier"), "F");
    EXPECT_TRUE(TLMWrapperExceptionManager::hasWrapperExceptionWithUUIDString("F"));
    EXPECT_FALSE(TLMWrapperExceptionManager::hasWrapperExceptionWithUUIDString("E"));
}

TEST(WrapperExceptionManager, TheLiveReportGoesIntoTheFolderOfThePendingReport) {
    // A folder whose name repeats the report's file name.
    platform::TemporaryFolder folder("wrapper");
    const fs::path base = folder.path() / "live_report.tlcrash.d";
    auto config = std::make_shared<TLCrashReporterConfig>(TLCrashReporterConfig::BSD, TLCrashReporterConfig::None, true,
                                                          base.string());
    auto reporter = std::make_shared<TLCrashReporter>("com.vekmont.test", "1", std::nullopt, config);
    TLMWrapperExceptionManager::saveWrapperExceptionAndCrashReport(exceptionOf(5, "before"));
    EXPECT_FALSE(exists(TLMWrapperExceptionManager::kLastSavedBaseFilename));

    TLMWrapperExceptionManager::setCrashReporter(reporter);
    TLMWrapperExceptionManager::saveWrapperExceptionAndCrashReport(exceptionOf(5, "after"));
    EXPECT_TRUE(exists(TLMWrapperExceptionManager::kLastSavedBaseFilename));
    EXPECT_TRUE(reporter->hasPendingCrashReport());
    EXPECT_TRUE(fs::is_regular_file(reporter->crashReportPath()));
}
