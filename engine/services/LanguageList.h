#pragma once
// The fixed list of languages: English name and ISO 639-1 code.

#include <map>
#include <string>

namespace ULanguageList {

// The English name of a two-letter code, compared exactly (case-sensitive);
// "???" for an unknown code. "az" names "South Azerbaijani".
std::string GetLanguageName(const std::string& code);

// Every language, English name to code, ordered by the name's bytes.
const std::map<std::string, std::string>& GetLanguageTable();

}  // namespace ULanguageList
