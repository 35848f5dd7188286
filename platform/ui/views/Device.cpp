#include "platform/ui/views/Device.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Notifications.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>

namespace platform::ui {

namespace {

// A value of os-release: unquoted, or in single quotes (taken as is) or
// double quotes (backslash escapes the next character).
std::string unquote(const std::string& raw) {
    if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') return raw.substr(1, raw.size() - 2);
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return raw;
    std::string out;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
        out += raw[i];
    }
    return out;
}

}  // namespace

Device& Device::currentDevice() {
    static Device* device = new Device();  // lives as long as the process
    return *device;
}

Device::Device() : mSystem(readSystemInfo("/etc/os-release")) {
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) == 0) mName = host;
}

void Device::setOrientation(DeviceOrientation orientation) {
    if (orientation == mOrientation) return;
    mOrientation = orientation;
    NotificationCenter::defaultCenter().postNotificationName(kDeviceOrientationDidChangeNotification, this);
}

Device::SystemInfo Device::readSystemInfo(const std::filesystem::path& osRelease) {
    SystemInfo info;
    std::ifstream in(osRelease);
    std::string line;
    // Lines are short; a longer one is not os-release and is skipped.
    while (in && std::getline(in, line)) {
        if (line.size() > 4096) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        if (key == "NAME") info.name = unquote(line.substr(equals + 1));
        if (key == "VERSION_ID") info.version = unquote(line.substr(equals + 1));
    }
    if (info.name.empty() || info.version.empty()) {
        utsname host{};
        if (uname(&host) == 0) {
            if (info.name.empty()) info.name = host.sysname;
            if (info.version.empty()) info.version = host.release;
        }
    }
    return info;
}

}  // namespace platform::ui
