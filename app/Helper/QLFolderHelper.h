#pragma once
// The app's folders for track libraries and caches, named after the
// bundle's "CFBundleName". Each is nothing when it cannot be had; failures
// to create one are logged at warning level.

#include <filesystem>
#include <optional>

class QLFolderHelper {
public:
    // The bundle's resource folder "Libraries", when it is there.
    static std::optional<std::filesystem::path> getPathToBundledLibrariesFolder();
    // Application Support/<bundle name>; not created here.
    static std::optional<std::filesystem::path> getPathToQLAppSupportFolder();
    // Application Support/<bundle name>/Libraries, created when missing.
    static std::optional<std::filesystem::path> getPathToCustomLibrariesFolder();
    // Caches/<bundle name>, created when missing.
    static std::optional<std::filesystem::path> getPathToAppCacheFolder();
};
