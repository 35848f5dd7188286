#include "platform/foundation/TemporaryDirectory.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace platform {

TemporaryDirectory::TemporaryDirectory(const std::string& prefix, const std::filesystem::path& parent) {
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot make a folder " + pattern);
    }
    mPath = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
}

}  // namespace platform
