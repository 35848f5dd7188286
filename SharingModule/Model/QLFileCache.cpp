#include "SharingModule/Model/QLFileCache.h"

#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/security/Crypto.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileKey = "file";
constexpr const char* kDateKey = "date";
constexpr const char* kAttributesKey = "attributes";

// The largest index read; one far beyond any real cache is damage.
constexpr std::uintmax_t kMaximumIndexSize = 16 * 1024 * 1024;

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char* kDigits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

// A plain file name: no folder, no parent, nothing hidden.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// An entry of the stored index, or nothing when it is not one.
bool isValidEntry(const platform::Value& entry) {
    const platform::Value* file = entry.find(kFileKey);
    const platform::Value* date = entry.find(kDateKey);
    const platform::Value* attributes = entry.find(kAttributesKey);
    return file != nullptr && file->isString() && isPlainFileName(*file->asString()) && date != nullptr &&
           date->asDate() != nullptr && (attributes == nullptr || attributes->isDictionary());
}

QLFileCache::Date modificationDate(const fs::directory_entry& entry, std::error_code& error) {
    const auto written = entry.last_write_time(error);
    return std::chrono::time_point_cast<QLFileCache::Date::duration>(std::chrono::file_clock::to_sys(written));
}

}  // namespace

QLFileCache::QLFileCache(std::string label, fs::path folder, fs::path indexFile, std::string extension)
    : mFolder(std::move(folder)), mIndexFile(std::move(indexFile)), mExtension(std::move(extension)), mQueue(label) {}

fs::path QLFileCache::pathForKey(const std::string& key) const {
    const auto digest = platform::security::sha256(platform::security::bytesOf(key));
    return mFolder / (hex(digest) + mExtension);
}

void QLFileCache::loadLocked() {
    if (mLoaded) return;
    mLoaded = true;
    std::error_code error;
    const auto size = fs::file_size(mIndexFile, error);
    if (error) return;  // no index yet
    if (size > kMaximumIndexSize) {
        ZDUtils::logWarning("Cache index %s is too large; starting empty", mIndexFile.c_str());
        return;
    }
    std::ifstream in(mIndexFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto stored = platform::Value::fromStoredForm(text);
    const auto* index = stored ? stored->asDictionary() : nullptr;
    if (index == nullptr) {
        ZDUtils::logWarning("Cache index %s is damaged; starting empty", mIndexFile.c_str());
        return;
    }
    for (const auto& [key, entry] : *index) {
        if (isValidEntry(entry)) mIndex.emplace(key, entry);
    }
}

void QLFileCache::scheduleSaveLocked() {
    if (mSaveScheduled) return;
    mSaveScheduled = true;
    mQueue.async([this] { save(); });
}

void QLFileCache::save() {
    mSaveScheduled = false;
    std::error_code ignored;
    fs::create_directories(mIndexFile.parent_path(), ignored);
    if (!platform::writeFileAtomically(mIndexFile, platform::Value(mIndex).toStoredForm())) {
        ZDUtils::logWarning("Cache index %s could not be written", mIndexFile.c_str());
    }
}

std::optional<QLFileCache::Entry> QLFileCache::entryForKey(const std::string& key) {
    std::optional<Entry> found;
    mQueue.sync([&] {
        loadLocked();
        auto it = mIndex.find(key);
        if (it == mIndex.end()) return;
        const fs::path file = mFolder / *it->second.find(kFileKey)->asString();
        std::error_code error;
        if (!fs::is_regular_file(file, error)) {
            mIndex.erase(it);
            scheduleSaveLocked();
            return;
        }
        Entry entry{file, *it->second.find(kDateKey)->asDate(), {}};
        if (const platform::Value* attributes = it->second.find(kAttributesKey)) {
            entry.attributes = *attributes->asDictionary();
        }
        found = std::move(entry);
    });
    return found;
}

std::size_t QLFileCache::count() {
    std::size_t count = 0;
    mQueue.sync([&] {
        loadLocked();
        count = mIndex.size();
    });
    return count;
}

std::vector<std::string> QLFileCache::keys() {
    std::vector<std::string> keys;
    mQueue.sync([&] {
        loadLocked();
        keys.reserve(mIndex.size());
        for (const auto& entry : mIndex) keys.push_back(entry.first);
    });
    return keys;
}

void QLFileCache::record(const std::string& key, platform::Value::Dictionary attributes) {
    const std::string file = pathForKey(key).filename().string();
    const Date now = platform::Clock::shared()->now();
    // Every read goes through the queue after it, so the caller need not wait.
    mQueue.async([this, key, file, now, attributes = std::move(attributes)]() mutable {
        loadLocked();
        mIndex[key] =
            platform::Value::Dictionary{{kFileKey, file}, {kDateKey, now}, {kAttributesKey, std::move(attributes)}};
        scheduleSaveLocked();
    });
}

void QLFileCache::remove(const std::string& key) {
    mQueue.sync([&] {
        loadLocked();
        if (mIndex.erase(key) != 0) scheduleSaveLocked();
        std::error_code ignored;
        fs::remove(pathForKey(key), ignored);
    });
}

void QLFileCache::removeAll() {
    mQueue.sync([&] {
        loadLocked();
        mIndex.clear();
        scheduleSaveLocked();
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(mFolder, error)) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    });
}

std::size_t QLFileCache::dropMissingLocked() {
    std::size_t dropped = 0;
    for (auto it = mIndex.begin(); it != mIndex.end();) {
        std::error_code error;
        if (fs::is_regular_file(mFolder / *it->second.find(kFileKey)->asString(), error)) {
            ++it;
        } else {
            it = mIndex.erase(it);
            ++dropped;
        }
    }
    if (dropped != 0) scheduleSaveLocked();
    return dropped;
}

std::size_t QLFileCache::dropReferencesToMissingFiles() {
    std::size_t dropped = 0;
    mQueue.sync([&] {
        loadLocked();
        dropped = dropMissingLocked();
    });
    return dropped;
}

std::size_t QLFileCache::removeFilesOlderThan(Date cutoff) {
    std::size_t removed = 0;
    mQueue.sync([&] {
        loadLocked();
        std::error_code error;
        std::vector<fs::path> old;
        for (const auto& entry : fs::directory_iterator(mFolder, error)) {
            std::error_code entryError;
            if (!entry.is_regular_file(entryError)) continue;
            const Date changed = modificationDate(entry, entryError);
            if (!entryError && changed < cutoff) old.push_back(entry.path());
        }
        for (const auto& path : old) {
            std::error_code ignored;
            if (fs::remove(path, ignored)) ++removed;
        }
        dropMissingLocked();
    });
    return removed;
}
