#pragma once
// Languages shown by their translated names: a map from code to translated
// name, and the way back from a shown name to its code.

#include <map>
#include <optional>
#include <string>
#include <vector>

class QLLanguageListHelper {
public:
    // For each code in order: key the code (upper-cased when `useUpperCase`
    // is set), value the translation of the code's English name (the code is
    // looked up as given). A later equal key replaces an earlier one.
    static std::map<std::string, std::string> buildLetterCodeToLanguageMap(const std::vector<std::string>& codes,
                                                                           bool useUpperCase);

    // The first key, in the map's order, whose value equals `name` exactly.
    static std::optional<std::string> languageCodeForLanguage(const std::string& name,
                                                              const std::map<std::string, std::string>& map);
};
