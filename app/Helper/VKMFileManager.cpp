#include "app/Helper/VKMFileManager.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <system_error>

#include "engine/services/VKMSoftAssert.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderName = "Local Track Plans";
// Names tried for a copy before giving up.
constexpr int kMaxCopyNames = 1000;
// 2001-01-01 00:00:00 UTC in Unix time: the platform's reference date.
constexpr std::int64_t kReferenceDate = 978307200;

// A bare name of an entry of the folder, and nothing else.
bool isPlainName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool hasPathExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot != 0 && dot + 1 < name.size();
}

bool isLayoutFileName(const std::string& name) { return isPlainName(name) && !hasPathExtension(name); }

bool refused(const std::string& name) {
    if (isPlainName(name)) return false;
    ZDUtils::logWarning("Refused the file name '%s': not a plain name", name.c_str());
    return true;
}

fs::path folderResolved() {
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(VKMFileManager::pathToVKMDocumentsFolder(), error);
    return error ? VKMFileManager::pathToVKMDocumentsFolder() : folder;
}

// Whether `resolved` lies strictly below the folder.
bool isBelowFolder(const fs::path& resolved) {
    const fs::path folder = folderResolved();
    const auto [folderEnd, pathAt] = std::mismatch(folder.begin(), folder.end(), resolved.begin(), resolved.end());
    return folderEnd == folder.end() && pathAt != resolved.end();
}

// The item's place with its folders resolved; a last component that is a
// link stays the link. Nothing for a path that names no item of a folder.
std::optional<fs::path> resolveItem(const fs::path& path) {
    std::error_code error;
    const fs::path normal = fs::absolute(path, error).lexically_normal();
    if (error) return std::nullopt;
    const fs::path name = normal.filename();
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    const fs::path parent = fs::weakly_canonical(normal.parent_path(), error);
    if (error) return std::nullopt;
    return parent / name;
}

std::string describe(const std::error_code& error) { return error.message(); }

}  // namespace

fs::path VKMFileManager::pathToVKMDocumentsFolder() { return platform::Paths::documents() / kFolderName; }

fs::path VKMFileManager::pathForAutoSaveFile() { return platform::Paths::documents() / "AUTOSAVE"; }

void VKMFileManager::createVKMDocumentsFolderIfNotExists() {
    const fs::path folder = pathToVKMDocumentsFolder();
    std::error_code error;
    if (fs::exists(folder, error)) {
        ZDUtils::logInfo("Local layouts folder located at: %s", folder.c_str());
        return;
    }
    const bool rc = fs::create_directory(folder, error) && !error;
    if (rc) {
        ZDUtils::logInfo("Document folder created.");
        return;
    }
    VKM_SOFT_ASSERT(rc);
    ZDUtils::logWarning("Failed to create directory at %s: %s", folder.c_str(), describe(error).c_str());
}

std::optional<fs::path> VKMFileManager::absolutePathToPlan(const std::string& name) {
    if (refused(name)) return std::nullopt;
    return pathToVKMDocumentsFolder() / name;
}

bool VKMFileManager::fileExists(const std::string& name) {
    const std::optional<fs::path> path = absolutePathToPlan(name);
    std::error_code error;
    return path && fs::exists(*path, error);
}

void VKMFileManager::deleteFile(const std::string& name) {
    const std::optional<fs::path> path = absolutePathToPlan(name);
    if (!path) return;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(*path, error))) {
        ZDUtils::logWarning("No file named '%s' at %s", name.c_str(), path->c_str());
        return;
    }
    deleteFileAtAbsolutePath(*path);
}

void VKMFileManager::deleteFileAtAbsolutePath(const fs::path& path) {
    const std::optional<fs::path> item = resolveItem(path);
    if (!item || !isBelowFolder(*item)) {
        ZDUtils::logWarning("Refused to delete %s: it is not in the local layouts folder", path.c_str());
        return;
    }
    std::error_code error;
    bool rc = fs::exists(fs::symlink_status(*item, error));
    if (!rc) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    } else {
        fs::remove_all(*item, error);
        rc = !error;
    }
    if (rc) return;
    VKM_SOFT_ASSERT(rc);
    ZDUtils::logWarning("Failed to delete plan at %s: %s", path.c_str(), describe(error).c_str());
}

std::optional<std::string> VKMFileManager::cloneFile(const std::string& name) {
    const std::optional<fs::path> source = absolutePathToPlan(name);
    if (!source) return std::nullopt;
    std::error_code error;
    if (!fs::exists(*source, error)) {
        ZDUtils::logWarning("No file named '%s' at %s", name.c_str(), source->c_str());
        return std::nullopt;
    }
    // What a link in the folder points to must be in the folder too.
    const fs::path resolved = fs::weakly_canonical(*source, error);
    if (error || !isBelowFolder(resolved)) {
        ZDUtils::logWarning("Refused to clone %s: it is not in the local layouts folder", source->c_str());
        return std::nullopt;
    }
    const std::string base = "Copy of " + name;
    std::string copyName = base;
    for (int n = 2; fs::exists(fs::symlink_status(pathToVKMDocumentsFolder() / copyName, error)); ++n) {
        if (n > kMaxCopyNames) {
            ZDUtils::logWarning("Failed to clone file at %s: no free name", source->c_str());
            return std::nullopt;
        }
        copyName = base + " " + std::to_string(n);
    }
    const fs::path target = pathToVKMDocumentsFolder() / copyName;
    fs::copy(resolved, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (!error) return copyName;
    ZDUtils::logWarning("Failed to clone file at %s as '%s': %s", source->c_str(), copyName.c_str(),
                        describe(error).c_str());
    // The name was free: whatever the copy left there is its own.
    std::error_code ignored;
    fs::remove_all(target, ignored);
    return std::nullopt;
}

std::vector<std::string> VKMFileManager::contentsOfVKMDocumentsFolder() {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(pathToVKMDocumentsFolder(), error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (isLayoutFileName(name)) names.push_back(std::move(name));
    }
    const platform::Locale& locale = platform::Locale::current();
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return locale.localizedCaseInsensitiveCompare(a, b) < 0;
    });
    return names;
}

std::optional<std::size_t> VKMFileManager::folderIndexOfFile(const std::string& name) {
    const std::vector<std::string> names = contentsOfVKMDocumentsFolder();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return std::nullopt;
    return static_cast<std::size_t>(found - names.begin());
}

std::optional<std::string> VKMFileManager::nameOfFirstLayoutFile() {
    const std::vector<std::string> names = contentsOfVKMDocumentsFolder();
    if (names.empty()) return std::nullopt;
    return names.front();
}

bool VKMFileManager::isValidNewFilename(const std::string& name) {
    return isPlainName(name) && isUniqueFilename(name) &&
           platform::holdsOnly(name, platform::kAlphanumerics | platform::kWhitespace, "._+-#()[]");
}

bool VKMFileManager::isUniqueFilename(const std::string& name) {
    const std::vector<std::string> names = contentsOfVKMDocumentsFolder();
    return std::find(names.begin(), names.end(), name) == names.end();
}

std::int64_t VKMFileManager::modificationTimeForFile(const std::string& name) {
    const std::optional<fs::path> path = absolutePathToPlan(name);
    if (!path) return 0;
    std::error_code error;
    const fs::file_time_type modified = fs::last_write_time(*path, error);
    if (error) return 0;
    const auto sinceReference =
        std::chrono::file_clock::to_sys(modified).time_since_epoch() - std::chrono::seconds(kReferenceDate);
    // duration_cast cuts toward zero, as the platform's integer value does.
    return std::chrono::duration_cast<std::chrono::seconds>(sinceReference).count();
}

namespace {

// A shared lock on the file of its own, taken while the coordination holds
// one: it keeps writers off from the coordination's end until the read on
// the load queue is over. Null when the file cannot be held.
std::shared_ptr<const void> holdForReading(const fs::path& readable) {
    const int fd = ::open(readable.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    // Closing the descriptor lets the lock go.
    return std::shared_ptr<const void>(new int(fd), [](const void* held) {
        const int* descriptor = static_cast<const int*>(held);
        ::close(*descriptor);
        delete descriptor;
    });
}

}  // namespace

void VKMFileManager::openFileAtURL(const fs::path& url) {
    ZDUtils::logInfo("Loading local layout file at '%s'", url.c_str());
    // Files handed in are read where they lie: this platform has no sandbox,
    // so there is no security scope to enter or leave.
    const std::optional<platform::Error> error =
        platform::FileCoordinator().coordinateReadingItemAtURL(url, [](const fs::path& readable) {
            // Read off the main thread; the screens show they are busy. The
            // open closes the current layout (once) before it reads, and the
            // file stays held until it has been read.
            VKMLayoutDocumentHelper::openLayoutFile(
                readable.string(),
                [](bool loaded) {
                    if (loaded) QLActivityAnalytics::trackEvent("LocalLayoutLoaded");
                },
                holdForReading(readable));
            VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
        });
    if (!error) return;
    ZDUtils::logWarning("Failed to read local layout file at '%s': %s", url.c_str(),
                        error->localizedDescription().c_str());
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutDocumentHelper::kDocumentLoadFailedNotification, VKMLayoutDocumentHelper::notificationObject());
    VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"),
                                  ZDUtils::localizedString("FailedToOpenFile"), "OK", [] {});
}
