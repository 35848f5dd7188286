#pragma once
// Reading a file that another program may be writing. A coordinated read
// holds a shared lock (flock) on the item while the accessor runs, so a
// writer that takes the exclusive lock never changes it midway. Where the
// platform would wait for such a writer, a read that cannot have the lock
// at once fails, rather than stall the main thread behind another program.

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/foundation/Error.h"

namespace platform {

class FileCoordinator {
public:
    using Accessor = std::function<void(const std::filesystem::path& url)>;

    // Runs `accessor` with the URL to read while the item is held, and
    // returns nothing. When the item cannot be opened or is locked by a
    // writer, the accessor is not run and the error is returned (POSIX
    // domain, the errno value as code, the reason as description).
    std::optional<Error> coordinateReadingItemAtURL(const std::filesystem::path& url, const Accessor& accessor);
};

}  // namespace platform
