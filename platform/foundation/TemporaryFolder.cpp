#include "platform/foundation/TemporaryFolder.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace platform {

std::filesystem::path temporaryDirectory() {
    std::error_code unusable;
    std::filesystem::path directory = std::filesystem::temp_directory_path(unusable);
    return unusable ? std::filesystem::path("/tmp") : directory;
}

TemporaryFolder::TemporaryFolder(std::string_view prefix) : TemporaryFolder(prefix, temporaryDirectory()) {}

TemporaryFolder::TemporaryFolder(std::string_view prefix, const std::filesystem::path& parent) {
    std::string pattern = (parent / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot make a temporary folder in " + parent.string());
    }
    mPath = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
}

}  // namespace platform
