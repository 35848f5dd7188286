#include "app/Utilities/System/PreferredLocaleHelper.h"

#include "platform/foundation/Locale.h"

std::optional<std::string> PreferredLocaleHelper::preferredLanguageCode() {
    const auto languages = platform::Locale::preferredLanguages();
    if (languages.empty()) return std::nullopt;
    std::string code = platform::Locale(languages.front()).languageCode();
    if (code.empty()) return std::nullopt;
    return code;
}
