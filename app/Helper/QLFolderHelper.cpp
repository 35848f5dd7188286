#include "app/Helper/QLFolderHelper.h"

#include <string>
#include <system_error>

#include "engine/services/ZDUtils.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"

namespace fs = std::filesystem;

namespace {

// The bundle's name as a folder name: nothing when it is missing or would
// name anything but one folder.
std::optional<std::string> bundleFolderName() {
    platform::Bundle* bundle = platform::Bundle::main();
    const std::optional<platform::Value> value = bundle ? bundle->infoValue("CFBundleName") : std::nullopt;
    const std::string* name = value ? value->asString() : nullptr;
    if (name == nullptr || name->empty() || *name == "." || *name == ".." ||
        name->find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    return *name;
}

// `folder`, made with its parents when missing; nothing when it cannot be.
std::optional<fs::path> ensureFolder(const fs::path& folder, const char* failure) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        fs::create_directories(folder, error);
        if (error || !fs::is_directory(folder, error)) {
            ZDUtils::logWarningMessage(failure + folder.string());
            return std::nullopt;
        }
    }
    return folder;
}

}  // namespace

std::optional<fs::path> QLFolderHelper::getPathToBundledLibrariesFolder() {
    platform::Bundle* bundle = platform::Bundle::main();
    if (bundle == nullptr) return std::nullopt;
    const fs::path folder = bundle->resourcesPath() / "Libraries";
    std::error_code error;
    if (!fs::exists(folder, error)) return std::nullopt;
    return folder;
}

std::optional<fs::path> QLFolderHelper::getPathToQLAppSupportFolder() {
    const std::optional<std::string> name = bundleFolderName();
    if (!name) return std::nullopt;
    return platform::Paths::applicationSupport() / *name;
}

std::optional<fs::path> QLFolderHelper::getPathToCustomLibrariesFolder() {
    const std::optional<fs::path> support = getPathToQLAppSupportFolder();
    if (!support) return std::nullopt;
    return ensureFolder(*support / "Libraries", "Failed to create custom libraries directory at ");
}

std::optional<fs::path> QLFolderHelper::getPathToAppCacheFolder() {
    const std::optional<std::string> name = bundleFolderName();
    if (!name) return std::nullopt;
    return ensureFolder(platform::Paths::caches() / *name, "Failed to create cache directory at ");
}
