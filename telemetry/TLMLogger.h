#pragma once
// The telemetry client's own logger. Messages go to one handler on a serial
// queue, so logging never blocks the caller; the default handler prints to
// standard error the messages at or above the current level.

#include <functional>
#include <string>

enum TLMLogLevel : int {
    TLMLogLevelVerbose = 2,
    TLMLogLevelDebug = 3,
    TLMLogLevelInfo = 4,
    TLMLogLevelWarning = 5,
    TLMLogLevelError = 6,
    TLMLogLevelAssert = 7,
    TLMLogLevelNone = 99,
};

// Builds the message text; called only by a handler that wants the text.
using TLMLogMessageProvider = std::function<std::string()>;

// Receives every message: the text provider, level, tag, source file,
// function and line.
using TLMLogHandler =
    std::function<void(const TLMLogMessageProvider& messageProvider, TLMLogLevel logLevel, const std::string& tag,
                       const std::string& file, const std::string& function, int line)>;

class TLMLogger {
public:
    // Queues the installed handler with the six values; nothing happens when
    // no handler is installed.
    static void logMessage(TLMLogMessageProvider messageProvider, TLMLogLevel logLevel, std::string tag,
                           std::string file, std::string function, int line);

    static TLMLogLevel currentLogLevel();
    static void setCurrentLogLevel(TLMLogLevel logLevel);
    // True once the app has chosen a level through setCurrentLogLevel.
    static bool isUserDefinedLogLevel();

    // Replaces the handler; an empty handler silences the logger. The
    // default handler is installed from the start.
    static void setLogHandler(TLMLogHandler logHandler);
    static void resetLogHandler();
    // Once the messages queued so far have reached their handler: the level
    // no one chose and the default handler, as a new process has them. For
    // tests that run one after another in a process.
    static void resetForTests();

    // "VERBOSE", "DEBUG", "INFO", "WARNING", "ERROR", "ASSERT"; empty for
    // any other number.
    static std::string levelName(TLMLogLevel logLevel);

    // printf-style text for the logging macros.
    static std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Blocks until every message queued so far has reached the handler
    // (tests read captured lines after it; a tool calls it before exiting).
    static void waitUntilIdle();
};

// The tags of the client's own messages and of its analytics service's.
inline constexpr const char* kTLMLogTag = "Telemetry";
inline constexpr const char* kTLMAnalyticsLogTag = "TelemetryAnalytics";

// The message is formatted on the logger's queue, and only when a handler
// asks for it: arguments are captured by value.
#define TLM_LOG(level, tag, ...)                                                                                   \
    TLMLogger::logMessage([=]() { return TLMLogger::formatMessage(__VA_ARGS__); }, level, tag, __FILE__, __func__, \
                          __LINE__)
#define TLMLogVerbose(tag, ...) TLM_LOG(TLMLogLevelVerbose, tag, __VA_ARGS__)
#define TLMLogDebug(tag, ...) TLM_LOG(TLMLogLevelDebug, tag, __VA_ARGS__)
#define TLMLogInfo(tag, ...) TLM_LOG(TLMLogLevelInfo, tag, __VA_ARGS__)
#define TLMLogWarning(tag, ...) TLM_LOG(TLMLogLevelWarning, tag, __VA_ARGS__)
#define TLMLogError(tag, ...) TLM_LOG(TLMLogLevelError, tag, __VA_ARGS__)
