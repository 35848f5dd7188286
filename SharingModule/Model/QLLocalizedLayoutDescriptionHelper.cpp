#include "SharingModule/Model/QLLocalizedLayoutDescriptionHelper.h"

#include "engine/services/LanguageList.h"
#include "engine/services/LanguageListHelper.h"

std::optional<std::string> QLLocalizedLayoutDescriptionHelper::localizedLanguageNameForTwoLetterCode(
    const std::string& code) {
    // The list answers "???" for a code it does not have.
    if (ULanguageList::GetLanguageName(code) == "???") return std::nullopt;
    const auto names = QLLanguageListHelper::buildLetterCodeToLanguageMap({code}, false);
    auto it = names.find(code);
    if (it == names.end()) return std::nullopt;
    return it->second;
}
