#include "engine/model/Translations.h"

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/services/Logger.h"

#include <set>

namespace {

constexpr std::uint16_t kCountTag = 800;
constexpr std::uint16_t kKeyTag = 801;
constexpr std::uint16_t kTextTag = 802;

constexpr const char* kAddSignature =
    "static void UTranslationsMap::AddTranslation(tTranslationsMap &, string, string, string)";

// The part after the first "#" up to a further "#"; false for a combined key
// without "#", which has no language.
bool LanguageOf(const std::string& combinedKey, std::string& language) {
    const auto start = combinedKey.find('#');
    if (start == std::string::npos) return false;
    const auto end = combinedKey.find('#', start + 1);
    language = combinedKey.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    return true;
}

// One step of the fallback: `language`, then English, then the map's first
// language, each tried once per lookup.
std::string Resolve(const tTranslationsMap& map, const std::string& key, const std::string& language,
                    std::set<std::string>& tried) {
    tried.insert(language);
    std::string text = UTranslationsMap::Lookup(map, key, language);
    if (!text.empty()) return text;

    const std::vector<std::string> languages = UTranslationsMap::GetLanguagesForKey(map, key);
    if (languages.size() == 1 && languages.front() == language) return text;

    if (language != "en" && tried.count("en") == 0) {
        std::string english = Resolve(map, key, "en", tried);
        if (!english.empty()) return english;
    }

    const std::vector<std::string> all = UTranslationsMap::GetAllLanguages(map);
    if (!all.empty() && tried.count(all.front()) == 0) return Resolve(map, key, all.front(), tried);
    return {};
}

}  // namespace

namespace UTranslationsMap {

void AddTranslation(tTranslationsMap& map, const std::string& key, const std::string& language,
                    const std::string& text) {
    if (key.empty()) LogWarning("Invalid empty key supplied in %s", kAddSignature);
    if (language.empty()) LogWarning("Invalid empty language supplied in %s", kAddSignature);
    map[MakeKey(key, language)] = text;
}

bool ReadTranslations(tTranslationsMap& map, CTaggedFile& file) {
    std::int32_t count = 0;
    if (!file.ReadInt(kCountTag, count)) {
        LogWarning("Failed to read the translation count: %s", ReadStatusName(file.LastStatus()));
        return false;
    }
    if (count > kMaxTranslations) {
        LogWarning("Translation count %d out of range", count);
        return false;
    }
    // Nothing is sized by the count: a forged one ends at the first record
    // that is not there.
    for (std::int32_t index = 0; index < count; ++index) {
        std::string key;
        std::string text;
        if (!file.ReadString(kKeyTag, key) || !file.ReadString(kTextTag, text)) {
            LogWarning("Failed to read translation %d of %d: %s", index + 1, count, ReadStatusName(file.LastStatus()));
            return false;
        }
        if (key.empty() || text.empty()) {
            LogWarning("Invalid translation encountered for key = '%s', translation = '%s'", key.c_str(), text.c_str());
            continue;
        }
        map[key] = text;
    }
    return true;
}

bool ReadTranslations(tTranslationsMap& map, FILE* file) {
    if (file == nullptr) {
        LogWarning("Failed to read translations: no file");
        return false;
    }
    CTaggedFile reader(file);
    return ReadTranslations(map, reader);
}

bool WriteTranslations(const tTranslationsMap& map, CTaggedFile& file) {
    if (map.size() > static_cast<std::size_t>(kMaxTranslations)) return false;
    if (!file.WriteInt(kCountTag, static_cast<std::int32_t>(map.size()))) return false;
    for (const auto& [key, text] : map) {
        if (!file.WriteString(kKeyTag, key) || !file.WriteString(kTextTag, text)) return false;
    }
    return true;
}

std::string GetTranslation(const tTranslationsMap& map, const std::string& key, const std::string& language,
                           const std::string& defaultText) {
    if (map.empty()) return defaultText;
    std::set<std::string> tried;
    return Resolve(map, key, language, tried);
}

std::string MakeKey(const std::string& key, const std::string& language) { return key + "#" + language; }

std::string Lookup(const tTranslationsMap& map, const std::string& key, const std::string& language) {
    const auto found = map.find(MakeKey(key, language));
    return found == map.end() ? std::string() : found->second;
}

int CountLanguagesForKey(const tTranslationsMap& map, const std::string& key) {
    const std::string prefix = key + "#";
    int count = 0;
    for (auto it = map.lower_bound(prefix); it != map.end() && it->first.starts_with(prefix); ++it) ++count;
    return count;
}

std::vector<std::string> GetLanguagesForKey(const tTranslationsMap& map, const std::string& key) {
    const std::string prefix = key + "#";
    std::vector<std::string> languages;
    for (auto it = map.lower_bound(prefix); it != map.end() && it->first.starts_with(prefix); ++it) {
        std::string language;
        if (LanguageOf(it->first, language)) languages.push_back(std::move(language));
    }
    return languages;
}

std::vector<std::string> GetAllLanguages(const tTranslationsMap& map) {
    std::set<std::string> distinct;
    for (const auto& entry : map) {
        std::string language;
        if (LanguageOf(entry.first, language)) distinct.insert(std::move(language));
    }
    return {distinct.begin(), distinct.end()};
}

}  // namespace UTranslationsMap
