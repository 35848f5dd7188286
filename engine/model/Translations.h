#pragma once
// Texts of the layout data in several languages, such as an element's
// description. Each entry sits under a combined key, the text key, "#" and
// the language code ("Description#en"); the language of an entry is the part
// after the first "#", up to a further "#" if any.
//
// In a file the translations are the records 800 (int, the count), then per
// translation 801 (text, the combined key) and 802 (text, the translation).

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

class CTaggedFile;

// Ascending byte order of the combined keys.
using tTranslationsMap = std::map<std::string, std::string>;

namespace UTranslationsMap {

// More translations than one element or library can sensibly hold; a larger
// count in a file is damage.
constexpr std::int32_t kMaxTranslations = 100000;

// Stores `text` under MakeKey(key, language), replacing an earlier text. An
// empty key or language is warned about and stored all the same.
void AddTranslation(tTranslationsMap& map, const std::string& key, const std::string& language,
                    const std::string& text);

// Reads the records 800 to 802 at the reader's position into `map`. Pairs
// with an empty key or text are warned about and dropped. A count below 1
// reads nothing. False when a record is missing or damaged, or the count is
// above kMaxTranslations; the pairs read before the failure stay in the map.
bool ReadTranslations(tTranslationsMap& map, CTaggedFile& file);
// The same over a FILE handle at the position of record 800; false for a
// null handle.
bool ReadTranslations(tTranslationsMap& map, FILE* file);

// Writes the records 800 to 802 for every entry in map order; false when a
// record cannot be written or the map is too large for the count.
bool WriteTranslations(const tTranslationsMap& map, CTaggedFile& file);

// The text of `key` in `language`, falling back to English and then to the
// first language of the map. The default is given only for an empty map; a
// map with texts answers the empty text when nothing fits.
std::string GetTranslation(const tTranslationsMap& map, const std::string& key, const std::string& language,
                           const std::string& defaultText);

// key + "#" + language.
std::string MakeKey(const std::string& key, const std::string& language);

// The text under the combined key, or the empty text.
std::string Lookup(const tTranslationsMap& map, const std::string& key, const std::string& language);

// The entries whose combined key begins with key + "#".
int CountLanguagesForKey(const tTranslationsMap& map, const std::string& key);
// Their languages, in map order.
std::vector<std::string> GetLanguagesForKey(const tTranslationsMap& map, const std::string& key);

// The distinct languages of all entries, ascending.
std::vector<std::string> GetAllLanguages(const tTranslationsMap& map);

}  // namespace UTranslationsMap
