#pragma once
// The languages of layout descriptions by their translated names.

#include <optional>
#include <string>

class QLLocalizedLayoutDescriptionHelper {
public:
    // The translated name of the language of a two-letter code from the
    // engine's language list (compared exactly: "de", not "DE"); nothing
    // for a code the list does not have.
    static std::optional<std::string> localizedLanguageNameForTwoLetterCode(const std::string& code);
};
