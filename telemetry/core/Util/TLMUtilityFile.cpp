// The client's folder and the files in it.

#include "telemetry/core/Util/TLMUtility.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Paths.h"
#include "telemetry/TLMLogger.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Named by a reverse-DNS label of the client's maker.
const char* const kFolderName = "com.vekmont.telemetry";

std::recursive_mutex& fileLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::string_view asText(const TLMUtility::Data& data) {
    return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

// The client's folder once it was made; guarded by its mutex.
std::mutex gFolderMutex;
std::optional<TLMUtility::Path> gFolder;

}  // namespace

TLMUtility::Path TLMUtility::telemetryDirectoryURL() {
    std::lock_guard lock(gFolderMutex);
    if (!gFolder) {
        gFolder = platform::Paths::applicationSupport() / kFolderName;
        createDirectoryAtURL(*gFolder);
    }
    return *gFolder;
}

void TLMUtility::forgetTelemetryDirectoryForTests() {
    std::lock_guard lock(gFolderMutex);
    gFolder.reset();
}

std::optional<TLMUtility::Path> TLMUtility::fullURLForPathComponent(const std::string& pathComponent) {
    if (pathComponent.empty()) return std::nullopt;
    return telemetryDirectoryURL() / Path(pathComponent).relative_path();
}

bool TLMUtility::fileExistsForPathComponent(const std::string& pathComponent) {
    const auto url = fullURLForPathComponent(pathComponent);
    std::error_code error;
    return url && fs::exists(*url, error);
}

std::optional<TLMUtility::Path> TLMUtility::createFileAtPathComponent(const std::string& pathComponent,
                                                                      const std::optional<Data>& data, bool atomically,
                                                                      bool forceOverwrite) {
    std::lock_guard lock(fileLock());
    const auto url = fullURLForPathComponent(pathComponent);
    if (!url) return std::nullopt;
    std::error_code error;
    if (!forceOverwrite && fs::exists(*url, error)) return url;
    const Data& contents = data ? *data : Data{};
    bool written = createDirectoryAtURL(url->parent_path());
    if (written && atomically) {
        written = platform::writeFileAtomically(*url, asText(contents));
    } else if (written) {
        written = createFileAtPath(*url, contents);
    }
    if (!written) {
        const std::string shown = url->string();
        TLMLogError("Telemetry", "Couldn't create new file at path %s", shown.c_str());
        return std::nullopt;
    }
    return url;
}

std::optional<TLMUtility::Path> TLMUtility::createDirectoryForPathComponent(const std::string& pathComponent) {
    std::lock_guard lock(fileLock());
    const auto url = fullURLForPathComponent(pathComponent);
    if (!url || !createDirectoryAtURL(*url)) return std::nullopt;
    return url;
}

std::optional<TLMUtility::Data> TLMUtility::loadDataForPathComponent(const std::string& pathComponent) {
    std::lock_guard lock(fileLock());
    const auto url = fullURLForPathComponent(pathComponent);
    if (!url) return std::nullopt;
    std::ifstream in(*url, std::ios::binary);
    if (!in) return std::nullopt;
    Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return data;
}

bool TLMUtility::deleteItemForPathComponent(const std::string& pathComponent) {
    const auto url = fullURLForPathComponent(pathComponent);
    return url && deleteFileAtURL(*url);
}

bool TLMUtility::deleteFileAtURL(const Path& url) {
    std::lock_guard lock(fileLock());
    std::error_code error;
    if (url.empty()) return false;
    // A missing item is an error here, as the removal found nothing.
    const bool removed = fs::exists(fs::symlink_status(url, error)) && fs::remove_all(url, error) > 0 && !error;
    if (!removed) {
        const std::string shown = url.string();
        const std::string reason = error ? error.message() : "No such file or directory";
        TLMLogDebug("Telemetry", "Couldn't remove item at %s: %s", shown.c_str(), reason.c_str());
    }
    return removed;
}

std::optional<std::vector<TLMUtility::Path>> TLMUtility::contentsOfDirectory(const std::string& pathComponent) {
    std::lock_guard lock(fileLock());
    const auto url = fullURLForPathComponent(pathComponent);
    if (!url) return std::nullopt;
    std::error_code error;
    std::vector<Path> entries;
    for (fs::directory_iterator it(*url, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error) {
        const std::string reason = error.message();
        TLMLogDebug("Telemetry", "Couldn't get files in the directory \"%s\": %s", pathComponent.c_str(),
                    reason.c_str());
        return std::nullopt;
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool TLMUtility::createFileAtPath(const Path& path, const Data& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    out.close();
    return !out.fail();
}

bool TLMUtility::createDirectoryAtURL(const Path& url) {
    if (url.empty()) return false;
    std::error_code error;
    fs::create_directories(url, error);
    std::error_code checked;
    if (error || !fs::is_directory(url, checked)) {
        const std::string shown = url.string();
        const std::string reason = error ? error.message() : "Not a directory";
        TLMLogError("Telemetry", "Couldn't create directory at %s: %s", shown.c_str(), reason.c_str());
        return false;
    }
    return true;
}
