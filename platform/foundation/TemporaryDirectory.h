#pragma once
// A folder of one's own for files that must not outlive their user: made
// with a unique name under a parent folder and removed, with everything in
// it, when the object goes away.

#include <filesystem>
#include <string>

namespace platform {

class TemporaryDirectory {
public:
    // "<parent>/<prefix>XXXXXX" with a unique suffix. Throws
    // std::system_error when the folder cannot be made.
    explicit TemporaryDirectory(const std::string& prefix,
                                const std::filesystem::path& parent = std::filesystem::temp_directory_path());
    // Removal errors are ignored: there is no one left to tell.
    ~TemporaryDirectory();

    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

}  // namespace platform
