#include "engine/services/Logger.h"
#include "engine/services/ZDUtils.h"

#include <cstdio>
#include <vector>

namespace ZDUtils {

namespace {

// The app side formats without a length limit of its own; the engine writer
// then applies its cut.
std::string FormatWhole(const char* format, va_list args) {
    if (format == nullptr) return {};
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool Enabled(int severity) { return CLogger::Instance().GetLevel() <= severity; }

}  // namespace

void logDebug(const char* format, ...) {
    if (!Enabled(1)) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatWhole(format, args);
    va_end(args);
    LogDebug("%s", text.c_str());
}

void logInfo(const char* format, ...) {
    if (!Enabled(2)) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatWhole(format, args);
    va_end(args);
    LogInfo("%s", text.c_str());
}

void logWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatWhole(format, args);
    va_end(args);
    LogWarning("%s", text.c_str());
}

void logError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatWhole(format, args);
    va_end(args);
    LogError("%s", text.c_str());
}

void logDebugMessage(const std::string& message) { logDebug("%s", message.c_str()); }
void logInfoMessage(const std::string& message) { logInfo("%s", message.c_str()); }
void logWarningMessage(const std::string& message) { logWarning("%s", message.c_str()); }
void logErrorMessage(const std::string& message) { logError("%s", message.c_str()); }

int numberOfWarnings() {
    std::vector<std::string> lines;
    CLogger::Instance().FindRecentLines(101, 3, lines);
    return static_cast<int>(lines.size());
}

}  // namespace ZDUtils
