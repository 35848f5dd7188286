#pragma once
// The application bundle: the resources/ folder installed beside the
// binaries ($VEKMONT_RESOURCES overrides it), its localised string tables and
// its info values (resources/Info.json: "CFBundleName",
// "CFBundleIdentifier", "CFBundleVersion", ...).
//
// String tables: resources/<language>.lproj/<Table>.strings, UTF-8, one entry
// a line: key, a tab, the translation. "\t", "\n" and "\\" are escapes in
// both; blank lines and lines starting with "#" are ignored.

#include "platform/foundation/Value.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Bundle {
public:
    // The main bundle, or nullptr when no resources folder can be found.
    static Bundle* main();

    explicit Bundle(std::filesystem::path resources);

    const std::filesystem::path& resourcesPath() const { return mResources; }

    // Info value for a key, nullopt when missing.
    std::optional<Value> infoValue(const std::string& key) const;

    // Languages that have a ".lproj" folder, as the folder held them when
    // first asked: the resources are installed with the program and read as
    // one snapshot, as the string tables are.
    std::vector<std::string> localizations() const;

    // The language whose tables are used: the first of the user's preferred
    // languages ($VEKMONT_LANGUAGE, then $LANGUAGE, $LC_ALL, $LC_MESSAGES,
    // $LANG) that the bundle has, else "en".
    std::string preferredLanguage() const;

    // Translation of `key` in `table` ("Localizable" when empty) for the
    // preferred language, falling back to "en"; nullopt when neither has it.
    std::optional<std::string> localizedString(const std::string& key, const std::string& table) const;

    // Every entry of `table` in `language` as the file holds it, none when
    // there is no such table: for checking that the languages agree.
    std::map<std::string, std::string> strings(const std::string& language, const std::string& table) const;

    // Test hook: use this language instead of the environment's.
    void setPreferredLanguage(std::optional<std::string> language);

private:
    using Table = std::map<std::string, std::string>;
    const Table& tableFor(const std::string& language, const std::string& table) const;
    const std::vector<std::string>& localizationsLocked() const;
    std::string resolveLanguageLocked(const std::optional<std::string>& override) const;

    std::filesystem::path mResources;
    mutable std::mutex mMutex;
    mutable std::optional<Value> mInfo;
    mutable std::map<std::string, Table> mTables;  // key: language + "/" + table
    std::optional<std::string> mLanguageOverride;
    mutable std::optional<std::vector<std::string>> mLocalizations;
    // The last answer of preferredLanguage() and what it was found from (the
    // override and the language variables' values): a lookup asks again
    // only when one of those has changed.
    mutable std::optional<std::string> mResolvedFrom;
    mutable std::string mResolvedLanguage;
};

}  // namespace platform
