#include "platform/foundation/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace fs = std::filesystem;

AtomicFile::AtomicFile(fs::path target) : mTarget(std::move(target)) {
    std::string pattern = (mTarget.parent_path() / ("." + mTarget.filename().string() + ".XXXXXX")).string();
    // mkstemp creates the file with mode 0600 (before the umask, which can
    // only narrow it), so the bytes are never readable by others.
    mFd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (mFd >= 0) mTemporary = pattern;
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() {
    if (mFd >= 0) {
        ::close(mFd);
        mFd = -1;
    }
    if (!mTemporary.empty()) {
        ::unlink(mTemporary.c_str());
        mTemporary.clear();
    }
}

bool AtomicFile::write(std::string_view bytes) {
    if (mFd < 0 || mFailed) return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(mFd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            mFailed = true;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AtomicFile::commit() {
    if (mFd < 0) return false;
    bool ok = !mFailed && ::fsync(mFd) == 0;
    ok = ::close(mFd) == 0 && ok;
    mFd = -1;
    if (ok) ok = ::rename(mTemporary.c_str(), mTarget.c_str()) == 0;
    if (!ok) {
        discard();
        return false;
    }
    mTemporary.clear();
    // Make the rename itself durable.
    const int dir = ::open(mTarget.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool writeFileAtomically(const fs::path& target, std::string_view bytes) {
    AtomicFile file(target);
    return file.write(bytes) && file.commit();
}

}  // namespace platform
