#include "engine/services/LanguageListHelper.h"

#include "engine/services/LanguageList.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/AsciiText.h"

std::map<std::string, std::string> QLLanguageListHelper::buildLetterCodeToLanguageMap(
    const std::vector<std::string>& codes, bool useUpperCase) {
    std::map<std::string, std::string> map;
    for (const std::string& code : codes) {
        const std::string key = useUpperCase ? platform::ascii::uppercased(code) : code;
        map[key] = ZDUtils::localizedString(ULanguageList::GetLanguageName(code));
    }
    return map;
}

std::optional<std::string> QLLanguageListHelper::languageCodeForLanguage(
    const std::string& name, const std::map<std::string, std::string>& map) {
    for (const auto& [code, language] : map) {
        if (language == name) return code;
    }
    return std::nullopt;
}
