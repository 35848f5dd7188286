#include "platform/foundation/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

std::mutex& pathsMutex() {
    static std::mutex m;
    return m;
}

// Never destroyed: services' queues still find their files while the
// process exits.
std::optional<fs::path>& rootOverride() {
    static auto* root = new std::optional<fs::path>;
    return *root;
}

std::optional<fs::path> envPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

fs::path homeFolder() {
    if (auto home = envPath("HOME")) return *home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return fs::path(found->pw_dir);
    }
    return fs::temp_directory_path();
}

// An XDG base folder: the variable when it holds an absolute path (relative
// values are to be ignored), else the default under the home folder.
fs::path xdgFolder(const char* variable, const char* fallbackUnderHome) {
    if (auto value = envPath(variable); value && value->is_absolute()) return *value;
    return homeFolder() / fallbackUnderHome;
}

// The explicit root (setRoot or $VEKMONT_HOME), when there is one.
std::optional<fs::path> explicitRoot() {
    {
        std::lock_guard lock(pathsMutex());
        if (rootOverride()) return rootOverride();
    }
    return envPath("VEKMONT_HOME");
}

fs::path ensured(fs::path folder) {
    std::error_code ignored;  // a folder that cannot be made shows up when it is written to
    fs::create_directories(folder, ignored);
    return folder;
}

fs::path rootUncreated() {
    if (auto root = explicitRoot()) return *root;
    return xdgFolder("XDG_DATA_HOME", ".local/share") / "vekmont";
}

}  // namespace

fs::path Paths::root() { return ensured(rootUncreated()); }
fs::path Paths::documents() { return ensured(rootUncreated() / "Documents"); }
fs::path Paths::library() { return ensured(rootUncreated() / "Library"); }
fs::path Paths::logs() { return ensured(rootUncreated() / "Library" / "Logs"); }
fs::path Paths::preferences() { return ensured(rootUncreated() / "Library" / "Preferences"); }
fs::path Paths::applicationSupport() { return ensured(rootUncreated() / "Library" / "Application Support"); }
fs::path Paths::tmp() { return ensured(rootUncreated() / "tmp"); }

fs::path Paths::caches() {
    if (auto root = explicitRoot()) return ensured(*root / "Library" / "Caches");
    return ensured(xdgFolder("XDG_CACHE_HOME", ".cache") / "vekmont");
}

void Paths::setRoot(const fs::path& root) {
    std::lock_guard lock(pathsMutex());
    rootOverride() = root;
}

}  // namespace platform
