#pragma once
// Opening a file that is to be read whole. A named pipe nobody writes to
// (or a device, or a socket) in the file's place would block the open or
// the first read for good, so anything but a regular file is refused
// before a byte is read.

#include <filesystem>
#include <string>

namespace platform {

// The reason openRegularFile gives for a pipe, device or socket.
inline constexpr const char* kNotARegularFile = "not a plain file";

// A descriptor (close-on-exec, blocking) open for reading `path`, or -1.
// The open never waits for a writer, and the kind is checked on the
// descriptor opened, so nothing put in the file's place meanwhile is read.
// On -1, `reason` (when given) is the system's text ("No such file or
// directory", "Is a directory") or kNotARegularFile.
int openRegularFile(const std::filesystem::path& path, std::string* reason = nullptr);

}  // namespace platform
