#include "storage/BLSOperationContext.h"

#include "platform/foundation/UUID.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSRetryPolicy.h"


namespace {

// Process-wide log settings. Reads and writes of the settings take
// settingsMutex; writes through the global client take writeMutex.
struct GlobalLog {
    std::mutex settingsMutex;
    BLSLogLevel level = 0;
    platform::LogClient* logger = nullptr;
    BLSOperationContext::LogFunction function;
    std::mutex writeMutex;
};

GlobalLog& globalLog() {
    static GlobalLog log;
    return log;
}

}  // namespace

BLSOperationContext::BLSOperationContext()
    : mClientRequestId(platform::newUUIDString()), mRetryPolicy(std::make_shared<BLSRetryPolicyExponential>()) {
    mRequestResults.reserve(1);
}

void BLSOperationContext::logAtLevel(BLSLogLevel level, const std::string& message) {
    logAtLevel(level, [&message] { return message; });
}

void BLSOperationContext::logAtLevel(BLSLogLevel level, const std::function<std::string()>& makeMessage) {
    // Level 0 means "no logging"; below it there is nothing to log either.
    if (level <= 0) {
        return;
    }
    std::optional<std::string> message;
    auto text = [&]() -> const std::string& {
        if (!message) {
            message = makeMessage ? makeMessage() : std::string();
        }
        return *message;
    };

    GlobalLog& global = globalLog();
    BLSLogLevel globalLevel;
    platform::LogClient* globalLogger;
    LogFunction globalFunction;
    {
        std::lock_guard lock(global.settingsMutex);
        globalLevel = global.level;
        globalLogger = global.logger;
        globalFunction = global.function;
    }
    if (globalLevel >= level) {
        if (globalFunction) {
            globalFunction(level, text());
        } else if (globalLogger != nullptr && globalLogger->wouldSend(level)) {
            const std::string& line = text();
            std::lock_guard lock(global.writeMutex);
            globalLogger->send(level, line);
        }
    }

    if (mLogLevel >= level) {
        if (mLogFunction) {
            mLogFunction(level, text());
        } else if (mLogger != nullptr && mLoggerCondition != nullptr && mLogger->wouldSend(level)) {
            const std::string& line = text();
            std::lock_guard lock(*mLoggerCondition);
            mLogger->send(level, line);
        }
    }
}

void BLSOperationContext::setLogger(platform::LogClient* logger, std::mutex* loggerCondition) {
    mLogger = logger;
    mLoggerCondition = loggerCondition;
}

void BLSOperationContext::addRequestResult(std::shared_ptr<BLSRequestResult> result) {
    std::lock_guard lock(mResultsMutex);
    mRequestResults.push_back(std::move(result));
}

std::vector<std::shared_ptr<BLSRequestResult>> BLSOperationContext::requestResults() const {
    std::lock_guard lock(mResultsMutex);
    return mRequestResults;
}

BLSLogLevel BLSOperationContext::globalLogLevel() {
    std::lock_guard lock(globalLog().settingsMutex);
    return globalLog().level;
}

void BLSOperationContext::setGlobalLogLevel(BLSLogLevel level) {
    std::lock_guard lock(globalLog().settingsMutex);
    globalLog().level = level;
}

platform::LogClient* BLSOperationContext::globalLogger() {
    std::lock_guard lock(globalLog().settingsMutex);
    return globalLog().logger;
}

void BLSOperationContext::setGlobalLogger(platform::LogClient* logger) {
    std::lock_guard lock(globalLog().settingsMutex);
    globalLog().logger = logger;
}

BLSOperationContext::LogFunction BLSOperationContext::globalLogFunction() {
    std::lock_guard lock(globalLog().settingsMutex);
    return globalLog().function;
}

void BLSOperationContext::setGlobalLogFunction(LogFunction f) {
    std::lock_guard lock(globalLog().settingsMutex);
    globalLog().function = std::move(f);
}

std::optional<BLSOperationContext::Date> BLSOperationContext::startTime() const {
    std::lock_guard lock(mResultsMutex);
    return mStartTime;
}

void BLSOperationContext::setStartTime(std::optional<Date> t) {
    std::lock_guard lock(mResultsMutex);
    mStartTime = t;
}

void BLSOperationContext::setStartTimeIfUnset(Date now) {
    std::lock_guard lock(mResultsMutex);
    if (!mStartTime) mStartTime = now;
}

std::optional<BLSOperationContext::Date> BLSOperationContext::endTime() const {
    std::lock_guard lock(mResultsMutex);
    return mEndTime;
}

void BLSOperationContext::setEndTime(std::optional<Date> t) {
    std::lock_guard lock(mResultsMutex);
    mEndTime = t;
}
