#pragma once
// The user's language for texts chosen outside the string tables.

#include <optional>
#include <string>

class PreferredLocaleHelper {
public:
    // The language code of the first preferred language ("de" for
    // "de-CH"); nothing when there is none or it names no language.
    static std::optional<std::string> preferredLanguageCode();
};
