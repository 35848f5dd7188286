// The index files of the sharing caches from untrusted bytes (a damaged or
// foreign file under the caches folder): the same bytes as the downloaded
// layouts' index, a picture cache's index and the user names' file. Every
// file the index names in a plain way is there. A file cache keeps only
// entries of files inside its folder, offers a layout file for reuse only
// when its download is at most two days old on the clock and not before its
// upload, and what it writes back reads back as the same keys. The user
// names are the texts the file holds.
//
// Input: the index file.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "engine/services/Logger.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::Value;
namespace fs = std::filesystem;
using Date = QLFileCache::Date;

namespace {

// The clock's date: 1 March 2026, 09:00 UTC.
const Date kNow = std::chrono::sys_days{std::chrono::year{2026} / std::chrono::March / 1} + std::chrono::hours{9};

void SetUp() {
    static const bool ready = [] {
        CLogger::Instance().SetLevel(4);
        static const auto clock = std::make_shared<platform::VirtualClock>(kNow);
        static const platform::ScopedClock installed(clock);
        return true;
    }();
    (void)ready;
}

// A name the harness makes a file of: plain, and short enough for any file
// system.
bool PlainName(const std::string& name) {
    return !name.empty() && name.size() < 200 && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void CheckFileCache(QLFileCache& cache, const fs::path& folder) {
    const std::vector<std::string> keys = cache.keys();
    Require(keys.size() == cache.count(), "as many keys as entries");
    for (const std::string& key : keys) {
        const auto entry = cache.entryForKey(key);
        if (!entry) continue;
        Require(entry->file.parent_path() == folder, "an entry's file lies in the cache's folder");
        Require(fs::is_regular_file(entry->file), "an entry's file is there");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetUp();
    static int run = 0;
    const fs::path root = fuzzsupport::TemporaryRoot() / ("caches-" + std::to_string(++run));
    const fs::path layouts = root / "CloudLayouts";
    const fs::path pictures = root / "ProfileImages";
    fs::create_directories(layouts);
    fs::create_directories(pictures);
    const fs::path index = root / "CloudLayouts.plist";
    const fs::path pictureIndex = root / "ProfileImages.plist";
    const fs::path names = root / "UserNames.plist";
    for (const fs::path& file : {index, pictureIndex, names}) {
        Require(fuzzsupport::WriteFile(file, data, size), "the input is written");
    }

    // What the file holds, read straight from its value.
    const auto stored = Value::fromStoredForm(fuzzsupport::Text(data, size));
    const Value::Dictionary* entries = stored ? stored->asDictionary() : nullptr;
    if (entries != nullptr) {
        for (const auto& [key, entry] : *entries) {
            const Value* file = entry.find("file");
            if (file == nullptr || !file->isString() || !PlainName(*file->asString())) continue;
            fuzzsupport::WriteFile(layouts / *file->asString(), data, 0);
            fuzzsupport::WriteFile(pictures / *file->asString(), data, 0);
        }
    }

    std::vector<std::string> kept;
    {
        QLCloudLayoutsCache cache(layouts, index);
        CheckFileCache(cache.files(), layouts);
        for (const std::string& key : cache.cachedLayoutIds()) {
            const auto entry = cache.files().entryForKey(key);
            for (const std::optional<Date>& upload :
                 {std::optional<Date>{}, std::optional<Date>{kNow - std::chrono::hours{24}}}) {
                const auto file = cache.reusableFileForLayout(key, upload);
                if (!file) continue;
                Require(entry.has_value() && *file == entry->file, "a reused file is its entry's");
                Require(entry->date <= kNow && entry->date >= kNow - QLCloudLayoutsCache::kReuseAge,
                        "a reused download is at most two days old");
                Require(!upload || entry->date >= *upload, "a reused download is no older than its upload");
            }
        }
        cache.files().removeFilesOlderThan(kNow - std::chrono::hours{24 * 7});
        cache.files().dropReferencesToMissingFiles();
        cache.recordDownload("fuzz-new");
        kept = cache.cachedLayoutIds();
    }
    // Written back when the cache went: a restart reads the same keys.
    QLCloudLayoutsCache restarted(layouts, index);
    Require(restarted.cachedLayoutIds() == kept, "the index written back reads as the same keys");

    QLProfileImageCache pictureCache(pictures, pictureIndex);
    CheckFileCache(pictureCache.files(), pictures);
    for (const std::string& key : pictureCache.files().keys()) {
        Require(pictureCache.profileImageForUserId(key) == nullptr, "an empty file is no picture");
    }

    QLUserNameCache userNames(names);
    if (entries != nullptr) {
        for (const auto& [key, name] : *entries) {
            const auto found = userNames.userNameForUserId(key);
            Require(found.has_value() == name.isString(), "a user has a name exactly when the file holds a text");
            if (found) Require(*found == *name.asString(), "the name is the file's");
        }
    }

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
