// A log database from untrusted bytes (a "Logs.sqlite" an earlier run left
// damaged, cut short or edited): set-up, then what a start does with it
// (count, load a batch, delete it, delete a group, save). Nothing crashes or
// hangs, the file is made anew at most once after set-up, and telemetry goes
// on: a log saved afterwards loads back, or, when saving or reading found
// the file damaged and made it anew (losing what it held), one saved on the
// new file does. A file of a later version that could not be used was set
// aside and a new one made, so it too saves.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/TokenFuzzSupport.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMUtility.h"

using fuzzsupport::Require;

namespace {

const char* const kGroup = "Analytics";

// The files deleted and made anew since the count was last taken.
std::atomic<int> gRebuilds{0};

int TakeRebuilds() {
    TLMLogger::waitUntilIdle();
    return gRebuilds.exchange(0);
}

bool SavedLogLoadsBack(TLMLogDBStorage& storage) {
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setServices(std::vector<std::string>{"after the damage"});
    if (!storage.saveLog(log, kGroup, TLMFlagsCritical)) return false;
    bool found = false;
    storage.loadLogsWithGroupId(kGroup, UINT64_MAX, std::nullopt, [&](const auto& logs, const auto&) {
        for (const auto& loaded : logs) found |= loaded->isEqual(*log);
    });
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file = [] {
        // The keys the seeds' target tokens were encrypted with.
        fuzzsupport::InstallTokenKeys();
        TLMArchiverUtil::addAllowedTelemetryModuleClasses();
        TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses();
        TLMLogger::setCurrentLogLevel(TLMLogLevelWarning);
        TLMLogger::setLogHandler([](const TLMLogMessageProvider& provider, TLMLogLevel level, const std::string&,
                                    const std::string&, const std::string&, int) {
            if (level != TLMLogLevelWarning) return;
            // Damaged, or in the way of our schema.
            const std::string message = provider();
            if (message.rfind("The \"Logs.sqlite\" database ", 0) == 0 &&
                message.ends_with("; it is deleted and created anew.")) {
                ++gRebuilds;
            }
        });
        return *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
    }();
    // A journal of the last input would be played into this one; what the
    // last input set aside would change where this one is set aside.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::remove(file.string() + suffix, ignored);
    }
    for (int n = 1; n <= TLMDBStorage::kMaxSetAside; ++n) {
        std::error_code ignored;
        std::filesystem::remove(TLMDBStorage::setAsideFile(file, n), ignored);
    }
    Require(fuzzsupport::WriteFile(file, data, size), "the input is written");

    TLMLogDBStorage storage;
    Require(TakeRebuilds() <= 1, "set-up makes the file anew at most once");
    storage.countLogs();
    storage.countLogsWithGroupId(kGroup);
    std::optional<std::string> batchId;
    storage.loadLogsWithGroupId(kGroup, 50, std::vector<std::string>{"paused"},
                                [&](const auto&, const std::optional<std::string>& id) { batchId = id; });
    if (batchId) storage.deleteLogsWithBatchId(*batchId, kGroup);
    storage.deleteLogsWithGroupId("Crashes");
    int rebuilds = TakeRebuilds();

    if (!SavedLogLoadsBack(storage)) {
        const int whileSaving = TakeRebuilds();
        Require(rebuilds == 0 && whileSaving == 1, "a log is lost only with the damaged file it was saved in");
        rebuilds += whileSaving;
        Require(SavedLogLoadsBack(storage), "a log saved on the new file loads back");
    }
    Require(rebuilds + TakeRebuilds() <= 1, "after set-up the file is made anew at most once");
    return 0;
}
