#pragma once
// A folder of its own for a tool run, a test process or a benchmark: made
// new and empty, removed with everything in it when the object goes away.

#include <filesystem>
#include <string_view>

namespace platform {

// $TMPDIR when it names a folder, else /tmp.
std::filesystem::path temporaryDirectory();

class TemporaryFolder {
public:
    // Makes "<prefix>-XXXXXX" in temporaryDirectory(), or in `parent`, which
    // must exist. Throws std::system_error with the errno when it cannot.
    explicit TemporaryFolder(std::string_view prefix);
    TemporaryFolder(std::string_view prefix, const std::filesystem::path& parent);
    // Removes the folder and all it holds; what cannot be removed stays.
    ~TemporaryFolder();

    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

}  // namespace platform
