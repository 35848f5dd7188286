#include "platform/foundation/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

int openRegularFile(const std::filesystem::path& path, std::string* reason) {
    const auto fail = [reason](const char* why) {
        if (reason != nullptr) *reason = why;
        return -1;
    };
    // Non-blocking: a pipe's open would otherwise wait for a writer.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return fail(std::strerror(errno));
    struct stat status {};
    int error = 0;
    if (::fstat(descriptor, &status) != 0) {
        error = errno;
    } else if (S_ISDIR(status.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return fail(kNotARegularFile);
    } else if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    }
    if (error == 0) return descriptor;
    ::close(descriptor);
    return fail(std::strerror(error));
}

}  // namespace platform
