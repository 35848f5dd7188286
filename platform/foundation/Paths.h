#pragma once
// The app's folders under one root. The root is $VEKMONT_HOME when set,
// otherwise $XDG_DATA_HOME/vekmont (~/.local/share/vekmont). Caches go to
// $XDG_CACHE_HOME/vekmont when no $VEKMONT_HOME is set. Folders are created
// on first use.

#include <filesystem>

namespace platform {

class Paths {
public:
    static std::filesystem::path root();
    static std::filesystem::path documents();           // <root>/Documents
    static std::filesystem::path library();             // <root>/Library
    static std::filesystem::path logs();                // <root>/Library/Logs
    static std::filesystem::path preferences();         // <root>/Library/Preferences
    static std::filesystem::path applicationSupport();  // <root>/Library/Application Support
    static std::filesystem::path caches();              // <root>/Library/Caches or XDG cache
    static std::filesystem::path tmp();                 // <root>/tmp

    // Replaces the root for this process (tests give every process its own).
    static void setRoot(const std::filesystem::path& root);
};

}  // namespace platform
