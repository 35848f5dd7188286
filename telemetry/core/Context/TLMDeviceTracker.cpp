#include "telemetry/core/Context/TLMDeviceTracker.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TextEncoding.h"
#include "telemetry/core/Util/TLMSharedInstance.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <sys/utsname.h>

#include <cctype>
#include <ctime>
#include <fstream>
#include <vector>

namespace {

const char* const kUnknown = "Unknown";

std::string infoText(const char* key) {
    const platform::Bundle* bundle = platform::Bundle::main();
    if (bundle == nullptr) return {};
    const auto value = bundle->infoValue(key);
    return value && value->asString() ? *value->asString() : std::string();
}

// A value as the shell reads it: quotes removed, and a backslash escapes
// the next character (inside double quotes only one of "\$`).
std::string unquoted(const std::string& value) {
    const bool doubleQuoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    const bool singleQuoted = value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
    if (singleQuoted) return value.substr(1, value.size() - 2);
    const std::string inner = doubleQuoted ? value.substr(1, value.size() - 2) : value;
    std::string text;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const bool escapes = inner[i] == '\\' && i + 1 < inner.size() &&
                             (!doubleQuoted || std::string("\"\\$`").find(inner[i + 1]) != std::string::npos);
        if (escapes) ++i;
        text.push_back(inner[i]);
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> localeParts(const std::string& identifier) {
    std::vector<std::string> parts(1);
    for (char c : identifier) {
        if (c == '_' || c == '-') {
            parts.emplace_back();
        } else if (c == '.' || c == '@') {
            break;  // "de_DE.UTF-8", "de_DE@euro"
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

bool allOf(const std::string& text, int (*test)(int)) {
    for (unsigned char c : text) {
        if (!test(c)) return false;
    }
    return true;
}

}  // namespace

TLMDeviceTracker& TLMDeviceTracker::sharedInstance() {
    return sharedInstanceHolder<TLMDeviceTracker>().get([] { return new TLMDeviceTracker(); });
}

void TLMDeviceTracker::resetSharedInstanceForTests() { sharedInstanceHolder<TLMDeviceTracker>().reset(); }

TLMDeviceTracker::TLMDeviceTracker() : mHistory(kHistoryKey, kHistoryLimit) {}

std::shared_ptr<TLMDevice> TLMDeviceTracker::device() {
    std::lock_guard lock(mMutex);
    if (!mDevice) {
        mDevice = hostDevice(mOsReleaseFiles);
        const auto newest = mHistory.last();
        if (!newest || !newest->device() || !newest->device()->isEqual(*mDevice)) {
            mHistory.setCurrent(std::make_shared<TLMDeviceHistoryInfo>(platform::Clock::shared()->now(), mDevice));
        }
    }
    return mDevice;
}

std::shared_ptr<TLMDevice> TLMDeviceTracker::deviceForTimestamp(const std::optional<Date>& timestamp) {
    if (timestamp) {
        const auto entry = mHistory.entryAt(*timestamp, true);
        if (entry && entry->device()) return entry->device();
    }
    return device();
}

void TLMDeviceTracker::clearDevices() { mHistory.clear(false); }

void TLMDeviceTracker::setOsReleaseFiles(std::vector<std::filesystem::path> files) {
    std::lock_guard lock(mMutex);
    mOsReleaseFiles = std::move(files);
}

std::vector<std::filesystem::path> TLMDeviceTracker::defaultOsReleaseFiles() {
    return {"/etc/os-release", "/usr/lib/os-release"};
}

std::shared_ptr<TLMDevice> TLMDeviceTracker::hostDevice() { return hostDevice(defaultOsReleaseFiles()); }

std::shared_ptr<TLMDevice> TLMDeviceTracker::hostDevice(const std::vector<std::filesystem::path>& osReleaseFiles) {
    // The host's texts are bytes in whatever encoding it was set up with;
    // one that is not UTF-8 would keep every log from being written.
    auto device = std::make_shared<TLMDevice>();
    device->setSdkName(TLMUtility::sdkName());
    device->setSdkVersion(TLMUtility::sdkVersion());

    utsname host{};
    const bool hostKnown = uname(&host) == 0;
    device->setModel(platform::validUtf8(hostKnown ? host.machine : kUnknown));
    device->setOsBuild(platform::validUtf8(hostKnown ? host.release : kUnknown));

    std::map<std::string, std::string> release;
    for (const std::filesystem::path& file : osReleaseFiles) {
        release = osReleaseValues(file);
        if (!release.empty()) break;
    }
    const std::string name = release["NAME"];
    const std::string version = release["VERSION_ID"];
    device->setOsName(platform::validUtf8(!name.empty() ? name : hostKnown ? host.sysname : kUnknown));
    device->setOsVersion(platform::validUtf8(!version.empty() ? version : hostKnown ? host.release : kUnknown));

    device->setLocale(platform::validUtf8(localeText(platform::Locale::current().identifier())));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) device->setTimeZoneOffset(local.tm_gmtoff / 60);

    device->setAppVersion(platform::validUtf8(infoText("CFBundleShortVersionString")));
    device->setAppBuild(platform::validUtf8(infoText("CFBundleVersion")));
    device->setAppNamespace(platform::validUtf8(infoText("CFBundleIdentifier")));
    return device;
}

std::map<std::string, std::string> TLMDeviceTracker::osReleaseValues(const std::filesystem::path& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string::npos || equals == 0) continue;
        values[line.substr(0, equals)] = unquoted(line.substr(equals + 1));
    }
    return values;
}

std::string TLMDeviceTracker::localeText(const std::string& identifier) {
    const std::vector<std::string> parts = localeParts(identifier);
    std::string text = parts[0];
    std::size_t next = 1;
    if (next < parts.size() && parts[next].size() == 4 && allOf(parts[next], std::isalpha)) {
        text += "-" + parts[next++];
    }
    if (next < parts.size() && !parts[next].empty()) text += "_" + parts[next];
    return text;
}
