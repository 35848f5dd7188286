#include "telemetry/TLMLogger.h"

#include "platform/dispatch/DispatchQueue.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

void defaultLogHandler(const TLMLogMessageProvider& messageProvider, TLMLogLevel logLevel, const std::string& tag,
                       const std::string& file, const std::string& function, int line) {
    if (logLevel < TLMLogger::currentLogLevel() || logLevel == TLMLogLevelNone) return;
    const std::string message = messageProvider ? messageProvider() : std::string();
    std::fprintf(stderr, "[%s] %s: %s/%d %s\n", tag.c_str(), TLMLogger::levelName(logLevel).c_str(), function.c_str(),
                 line, message.c_str());
}

struct LoggerState {
    static constexpr TLMLogLevel kStartLevel = TLMLogLevelAssert;

    std::mutex mutex;
    TLMLogLevel level = kStartLevel;
    bool userDefinedLevel = false;
    std::shared_ptr<const TLMLogHandler> handler = std::make_shared<const TLMLogHandler>(defaultLogHandler);
    platform::DispatchQueue queue{"com.vekmont.telemetry.logger"};
};

void drainAtExit();

// Never destroyed: services may still log while other statics are torn down.
// Messages still queued when the process exits are handed over first.
LoggerState& state() {
    static LoggerState* instance = [] {
        auto* made = new LoggerState();
        std::atexit(drainAtExit);
        return made;
    }();
    return *instance;
}

void drainAtExit() {
    try {
        TLMLogger::waitUntilIdle();
    } catch (...) {
        // exit() from a handler itself: nothing left to wait for.
    }
}

}  // namespace

void TLMLogger::logMessage(TLMLogMessageProvider messageProvider, TLMLogLevel logLevel, std::string tag,
                           std::string file, std::string function, int line) {
    LoggerState& s = state();
    std::shared_ptr<const TLMLogHandler> handler;
    {
        std::lock_guard lock(s.mutex);
        handler = s.handler;
    }
    if (!handler || !*handler) return;
    s.queue.async([handler, messageProvider = std::move(messageProvider), logLevel, tag = std::move(tag),
                   file = std::move(file), function = std::move(function),
                   line] { (*handler)(messageProvider, logLevel, tag, file, function, line); });
}

TLMLogLevel TLMLogger::currentLogLevel() {
    LoggerState& s = state();
    std::lock_guard lock(s.mutex);
    return s.level;
}

void TLMLogger::setCurrentLogLevel(TLMLogLevel logLevel) {
    LoggerState& s = state();
    std::lock_guard lock(s.mutex);
    s.level = logLevel;
    s.userDefinedLevel = true;
}

bool TLMLogger::isUserDefinedLogLevel() {
    LoggerState& s = state();
    std::lock_guard lock(s.mutex);
    return s.userDefinedLevel;
}

void TLMLogger::setLogHandler(TLMLogHandler logHandler) {
    LoggerState& s = state();
    std::lock_guard lock(s.mutex);
    s.handler = logHandler ? std::make_shared<const TLMLogHandler>(std::move(logHandler)) : nullptr;
}

void TLMLogger::resetLogHandler() { setLogHandler(defaultLogHandler); }

void TLMLogger::resetForTests() {
    waitUntilIdle();
    LoggerState& s = state();
    std::lock_guard lock(s.mutex);
    s.level = LoggerState::kStartLevel;
    s.userDefinedLevel = false;
    s.handler = std::make_shared<const TLMLogHandler>(defaultLogHandler);
}

std::string TLMLogger::levelName(TLMLogLevel logLevel) {
    switch (logLevel) {
        case TLMLogLevelVerbose: return "VERBOSE";
        case TLMLogLevelDebug: return "DEBUG";
        case TLMLogLevelInfo: return "INFO";
        case TLMLogLevelWarning: return "WARNING";
        case TLMLogLevelError: return "ERROR";
        case TLMLogLevelAssert: return "ASSERT";
        default: return "";
    }
}

std::string TLMLogger::formatMessage(const char* format, ...) {
    if (format == nullptr) return {};
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    return text;
}

void TLMLogger::waitUntilIdle() {
    LoggerState& s = state();
    if (s.queue.isCurrent()) return;
    s.queue.sync([] {});
}
