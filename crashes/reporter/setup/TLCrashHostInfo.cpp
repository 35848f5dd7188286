#include "crashes/reporter/setup/TLCrashHostInfo.h"

#include "crashes/reporter/setup/TLCrashLog.h"

#include <sys/utsname.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

std::shared_ptr<TLCrashHostInfo> TLCrashHostInfo::currentHostInfo() {
    utsname name;
    if (uname(&name) != 0) {
        const int error = errno;
        tlcrash_log("Failed to fetch the kernel release value %d: %s", error, std::strerror(error));
        return nullptr;
    }
    return std::make_shared<TLCrashHostInfo>(name.release);
}

TLCrashHostInfo::TLCrashHostInfo(std::string_view release) {
    unsigned* parts[] = {&_darwinVersion.major, &_darwinVersion.minor, &_darwinVersion.revision};
    const char* at = release.data();
    const char* end = release.data() + release.size();
    bool matched = true;
    for (size_t i = 0; i < 3 && matched; ++i) {
        if (i > 0) {
            matched = at != end && *at == '.';
            if (!matched) break;
            ++at;
        }
        // Digits only: no sign, no blanks, nothing too large for the field.
        unsigned value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        matched = error == std::errc() && next != at;
        if (matched) *parts[i] = value;
        at = next;
    }
    if (!matched) tlcrash_log("Unexpected kernel release string format: %s", std::string(release).c_str());
}
