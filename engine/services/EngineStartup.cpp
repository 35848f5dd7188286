#include "engine/services/EngineStartup.h"

#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"

namespace UEngineStartup {

namespace {

constexpr int kLogFileLimitKiB = 250;
constexpr int kInfoLevel = 2;

}  // namespace

void Start(const char* logFilePath) {
    const std::string path = logFilePath != nullptr ? logFilePath : "";
    SetUpLogging(path);
    RegisterServices();
}

bool SetUpLogging(const std::string& path) {
    CLogger& logger = CLogger::Instance();
    logger.SetLevel(kInfoLevel);
    if (path.empty()) {
        LogWarning("No folder for the log file: logging to the console only");
        return true;
    }
    // Lines are written in blocks; the crash path writes out what waits.
    logger.AddFileSink(path, kLogFileLimitKiB, false);
    LogInfo("Logging established at %s (level: %s)", path.c_str(), logger.GetLevelName().c_str());
    return true;
}

void RegisterServices() {
    LogInfo("Registering services");
    CServiceLocator& registry = CServiceLocator::Instance();
    // Made once and never deleted: accessors keep raw pointers to them.
    registry.RegisterService(new VKMTelemetryActivityAnalyticsService());
    registry.RegisterService(new LocalizationService());
    registry.RegisterService(new VKMPreferencesService());
    registry.RegisterService(new VKMTextCalculationService());
    registry.RegisterService(new QLPerformanceCountersService());
}

}  // namespace UEngineStartup
