#include "platform/foundation/FileCoordinator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

namespace {

Error posixError(int code, const std::filesystem::path& url) {
    return Error(
        POSIXErrorDomain, code,
        {{Error::LocalizedDescriptionKey, std::string("Cannot read ") + url.string() + ": " + std::strerror(code)}});
}

}  // namespace

std::optional<Error> FileCoordinator::coordinateReadingItemAtURL(const std::filesystem::path& url,
                                                                 const Accessor& accessor) {
    // Non-blocking, so that a FIFO handed in cannot hang the open.
    const int fd = ::open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return posixError(errno, url);
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        return posixError(code, url);
    }
    struct Held {
        int fd;
        ~Held() { ::close(fd); }  // closing lets the lock go
    } held{fd};
    if (accessor) accessor(url);
    return std::nullopt;
}

}  // namespace platform
