#pragma once
// The app side's string helpers for logging and localisation (the string
// category of the app). Formats are printf-style.

#include <cstdarg>
#include <string>

namespace ZDUtils {

// Logging: format, then hand the text to the matching engine writer.
void logDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logDebugMessage(const std::string& message);
void logInfoMessage(const std::string& message);
void logWarningMessage(const std::string& message);
void logErrorMessage(const std::string& message);
// Warning lines among the recent memory lines, at most 101.
int numberOfWarnings();

// Localisation: a null key gives the empty text without a lookup. The
// translation of a formatted key is a printf format for the arguments; the
// result is cut to 511 bytes.
std::string localizedString(const char* key);
inline std::string localizedString(const std::string& key) { return localizedString(key.c_str()); }
std::string localizedFormattedString(const char* key, ...);
std::string localizedFormattedStringV(const char* key, va_list arguments);

}  // namespace ZDUtils
