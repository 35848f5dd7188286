#pragma once
// Replaces a file so that readers see either the old file or the whole new
// one, never a mix: the bytes go to a temporary file in the same folder
// (mode 0600 from its creation on), which is synced and renamed over the
// target; the folder is synced after the rename.

#include <filesystem>
#include <string_view>

namespace platform {

class AtomicFile {
public:
    // Creates the temporary file beside `target`; isOpen() tells whether
    // that worked (the folder must exist and be writable).
    explicit AtomicFile(std::filesystem::path target);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool isOpen() const { return mFd >= 0; }
    const std::filesystem::path& temporaryPath() const { return mTemporary; }

    // Appends the bytes; false when they could not all be written.
    bool write(std::string_view bytes);
    // Syncs, closes and renames the temporary file over the target. On
    // false the target is untouched and the temporary file removed; after
    // a failed write, commit fails.
    bool commit();

private:
    void discard();

    std::filesystem::path mTarget;
    std::filesystem::path mTemporary;
    int mFd = -1;
    bool mFailed = false;
};

// The whole of `bytes` as the new content of `target`; false (and the old
// file untouched) when it could not be written.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace platform
