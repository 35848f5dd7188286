#include "tools/common/ToolMessages.h"

#include "platform/foundation/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <regex>

namespace UToolMessages {

namespace {

// A signature names a member ("CFoo::Bar(...)") or takes pointers or
// references ("Bar(FILE *)"); "count (truncated)" or "'H0(12)'" are not.
const std::string kFunction =
    R"((?:(?:[A-Za-z_~]\w*::)+[A-Za-z_~]\w*\([^()]*\)|[A-Za-z_~]\w*\([^()]*[*&][^()]*\))(?: const)?)";
const std::string kReturnType = R"((?:(?:static|virtual) )?(?:[\w:<>]+ [*&]?)?)";

}  // namespace

std::string WithoutSignatures(const std::string& text) {
    static const std::regex leading("^" + kReturnType + kFunction + "(?::| -)? *");
    static const std::regex inside("(?: (?:in|to|for|from|by))? " + kReturnType + kFunction);
    // The regex engine recurses per character: only the head of a long
    // message, where signatures stand, goes through it; text from a file
    // later in the line is kept as it is.
    constexpr std::size_t kScanned = 512;
    const std::string head = text.substr(0, kScanned);
    const std::string tail = text.size() > kScanned ? text.substr(kScanned) : std::string();
    const std::string rest = std::regex_replace(head, leading, "", std::regex_constants::format_first_only);
    return std::regex_replace(rest, inside, "") + tail;
}

std::string SystemReason(int error) {
    const char* text = std::strerror(error);
    return text != nullptr && *text != '\0' ? text : "error " + std::to_string(error);
}

bool CanRead(const std::filesystem::path& path, std::string& reason) {
    const int descriptor = platform::openRegularFile(path, &reason);
    if (descriptor < 0) return false;
    ::close(descriptor);
    return true;
}

bool CanWrite(const std::filesystem::path& path, std::string& reason) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            reason = SystemReason(EISDIR);
            return false;
        }
        // A device or a pipe would be replaced by the renamed file.
        if (!S_ISREG(status.st_mode)) {
            reason = platform::kNotARegularFile;
            return false;
        }
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (::stat(folder.c_str(), &status) != 0) {
        reason = SystemReason(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        reason = SystemReason(ENOTDIR);
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        reason = SystemReason(errno);
        return false;
    }
    return true;
}

std::FILE* OpenForWriting(const std::filesystem::path& path, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) reason = SystemReason(errno);
    return file;
}

}  // namespace UToolMessages
