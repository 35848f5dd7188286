#pragma once
// Files kept under keys in one folder, with an index (a property list
// beside the folder) of what each key refers to: the file, the date it was
// stored and attributes of the caller's. Keys never become file names:
// a file is named by the digest of its key, so no key can reach outside the
// folder, and an index entry that names anything but a plain file in the
// folder is ignored.
//
// A file enters the cache whole or not at all: the caller commits its
// QLCacheFileOutputStream (a temporary file renamed over pathForKey) and
// then records the key. A crash between the two leaves a file no entry
// refers to, which ages out with the rest; a reference whose file has gone
// is dropped when it is looked up or swept.
//
// Threads: every method may be called from any thread; the index lives on
// the cache's serial queue and is written (atomically) after changes, once
// for a burst of them.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QLFileCache {
public:
    using Date = std::chrono::system_clock::time_point;

    struct Entry {
        std::filesystem::path file;
        // When it was recorded, on Clock::shared()'s date.
        Date date;
        platform::Value::Dictionary attributes;
    };

    // `label` names the queue; files go to `folder` with `extension`
    // (".png"), the index to `indexFile`. Nothing is read before first use.
    QLFileCache(std::string label, std::filesystem::path folder, std::filesystem::path indexFile,
                std::string extension);

    const std::filesystem::path& folder() const { return mFolder; }
    // Where the file of `key` goes.
    std::filesystem::path pathForKey(const std::string& key) const;

    // The key's entry while its file exists; a reference to a missing file
    // is dropped.
    std::optional<Entry> entryForKey(const std::string& key);
    // The keys recorded (their files are not checked).
    std::size_t count();
    // The keys recorded, in order; their files are not checked.
    std::vector<std::string> keys();

    // Records that pathForKey(key) now holds the key's file, dated now.
    // Returns at once; every later call of any thread sees the entry.
    void record(const std::string& key, platform::Value::Dictionary attributes = {});
    // Forgets the key and deletes its file.
    void remove(const std::string& key);
    // Deletes every file of the folder and forgets every key.
    void removeAll();
    // Deletes the folder's files last changed before `cutoff` (temporary
    // files of unfinished writes included), then drops the references to
    // files that are missing. Returns how many files were deleted.
    std::size_t removeFilesOlderThan(Date cutoff);
    // Drops references to missing files; returns how many.
    std::size_t dropReferencesToMissingFiles();

private:
    void loadLocked();
    std::size_t dropMissingLocked();
    void scheduleSaveLocked();
    void save();

    std::filesystem::path mFolder;
    std::filesystem::path mIndexFile;
    std::string mExtension;
    // On the queue only.
    bool mLoaded = false;
    bool mSaveScheduled = false;
    platform::Value::Dictionary mIndex;
    // Last, so that it finishes its blocks (a pending save) before the state goes.
    platform::DispatchQueue mQueue;
};
