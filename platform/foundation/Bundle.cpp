#include "platform/foundation/Bundle.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Locale.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

namespace {

bool isDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

std::optional<fs::path> findResources() {
    if (const char* env = std::getenv("VEKMONT_RESOURCES"); env != nullptr && *env != '\0') {
        if (isDirectory(env)) return fs::path(env);
    }
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    const fs::path dir = exe.parent_path();
    // Beside the program, or in the build tree's top folder for programs
    // built one or two folders below it (bench/, tools/<name>/).
    for (const fs::path& candidate : {dir / "resources", dir / ".." / "resources", dir / ".." / ".." / "resources"}) {
        if (isDirectory(candidate)) return candidate.lexically_normal();
    }
    return std::nullopt;
}

// A name used as a path component must stay one component.
bool isSafeComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 't') {
                out += '\t';
                ++i;
                continue;
            }
            if (next == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (next == '\\') {
                out += '\\';
                ++i;
                continue;
            }
        }
        out += text[i];  // any other backslash stays as written
    }
    return out;
}

std::map<std::string, std::string> parseStrings(const std::string& text) {
    std::map<std::string, std::string> table;
    std::size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;  // byte-order mark
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;  // not an entry
        table[unescape(line.substr(0, tab))] = unescape(line.substr(tab + 1));
    }
    return table;
}

// "de_DE.UTF-8", "de-DE", "de@euro" -> "de"; "C" and "POSIX" name no language.
std::optional<std::string> languageOf(std::string entry) {
    const std::size_t cut = entry.find_first_of("_.@-");
    if (cut != std::string::npos) entry.resize(cut);
    if (entry.empty() || entry == "C" || entry == "POSIX") return std::nullopt;
    return ascii::lowercased(entry);
}

// Where Locale::preferredLanguages() finds the user's languages.
constexpr const char* kLanguageVariables[] = {"VEKMONT_LANGUAGE", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

std::vector<std::string> environmentLanguages() {
    std::vector<std::string> out;
    for (const std::string& entry : Locale::preferredLanguages()) {
        if (auto language = languageOf(entry)) out.push_back(*language);
    }
    return out;
}

}  // namespace

Bundle* Bundle::main() {
    static const std::unique_ptr<Bundle> bundle = []() -> std::unique_ptr<Bundle> {
        auto resources = findResources();
        if (!resources) return nullptr;
        return std::make_unique<Bundle>(*resources);
    }();
    return bundle.get();
}

Bundle::Bundle(fs::path resources) : mResources(std::move(resources)) {}

std::optional<Value> Bundle::infoValue(const std::string& key) const {
    std::lock_guard lock(mMutex);
    if (!mInfo) {
        mInfo = Value(Value::Dictionary{});
        std::ifstream in(mResources / "Info.json", std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            if (auto parsed = Value::fromJson(text.str()); parsed && parsed->isDictionary()) mInfo = std::move(parsed);
        }
    }
    if (const Value* found = mInfo->find(key)) return *found;
    return std::nullopt;
}

std::vector<std::string> Bundle::localizations() const {
    std::lock_guard lock(mMutex);
    return localizationsLocked();
}

const std::vector<std::string>& Bundle::localizationsLocked() const {
    if (!mLocalizations) {
        std::vector<std::string> out;
        std::error_code ec;
        for (fs::directory_iterator it(mResources, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            if (p.extension() == ".lproj" && isDirectory(p)) out.push_back(p.stem().string());
        }
        std::sort(out.begin(), out.end());
        mLocalizations = std::move(out);
    }
    return *mLocalizations;
}

std::string Bundle::resolveLanguageLocked(const std::optional<std::string>& override) const {
    const auto& available = localizationsLocked();
    auto has = [&](const std::string& language) {
        return std::find(available.begin(), available.end(), language) != available.end();
    };
    if (override) {
        if (has(*override)) return *override;
        if (auto language = languageOf(*override); language && has(*language)) return *language;
        return "en";
    }
    for (const auto& language : environmentLanguages()) {
        if (has(language)) return language;
    }
    return "en";
}

std::string Bundle::preferredLanguage() const {
    // What the answer depends on, as one key; reading it costs no system call.
    std::string from;
    std::lock_guard lock(mMutex);
    if (mLanguageOverride) {
        from = "=" + *mLanguageOverride;
    } else {
        for (const char* name : kLanguageVariables) {
            const char* value = std::getenv(name);
            from += value != nullptr ? "+" : "-";
            if (value != nullptr) from += value;
            from += '\0';
        }
    }
    if (mResolvedFrom != from) {
        mResolvedLanguage = resolveLanguageLocked(mLanguageOverride);
        mResolvedFrom = std::move(from);
    }
    return mResolvedLanguage;
}

const Bundle::Table& Bundle::tableFor(const std::string& language, const std::string& table) const {
    const std::string cacheKey = language + "/" + table;
    auto it = mTables.find(cacheKey);
    if (it != mTables.end()) return it->second;
    Table loaded;
    if (isSafeComponent(language) && isSafeComponent(table)) {
        std::ifstream in(mResources / (language + ".lproj") / (table + ".strings"), std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            loaded = parseStrings(text.str());
        }
    }
    return mTables.emplace(cacheKey, std::move(loaded)).first->second;
}

std::optional<std::string> Bundle::localizedString(const std::string& key, const std::string& table) const {
    const std::string tableName = table.empty() ? std::string("Localizable") : table;
    const std::string language = preferredLanguage();
    std::lock_guard lock(mMutex);
    for (const std::string& candidate : {language, std::string("en")}) {
        const Table& entries = tableFor(candidate, tableName);
        if (auto it = entries.find(key); it != entries.end()) return it->second;
    }
    return std::nullopt;
}

std::map<std::string, std::string> Bundle::strings(const std::string& language, const std::string& table) const {
    std::lock_guard lock(mMutex);
    return tableFor(language, table);
}

void Bundle::setPreferredLanguage(std::optional<std::string> language) {
    std::lock_guard lock(mMutex);
    mLanguageOverride = std::move(language);
}

}  // namespace platform
