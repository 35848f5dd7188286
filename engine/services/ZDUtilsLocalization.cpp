// The localisation half of the ZDUtils string helpers; the logging half
// lives with the log.

#include "engine/services/ZDUtils.h"

#include "engine/services/LocalizationService.h"

namespace ZDUtils {

std::string localizedString(const char* key) {
    if (key == nullptr) return {};
    return ULocalization::GetLocalizedString(key);
}

std::string localizedFormattedStringV(const char* key, va_list arguments) {
    if (key == nullptr) return {};
    return ULocalization::GetLocalizedFormattedStringV(key, arguments);
}

std::string localizedFormattedString(const char* key, ...) {
    va_list arguments;
    va_start(arguments, key);
    std::string result = localizedFormattedStringV(key, arguments);
    va_end(arguments);
    return result;
}

}  // namespace ZDUtils
