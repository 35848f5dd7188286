#pragma once
// The device record of this host and app, as every log carries it.

#include "telemetry/Model/TLMDevice.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class TLMDeviceTracker {
public:
    static TLMDeviceTracker& sharedInstance();

    // The record of this host and app, read on first use. Thread-safe.
    std::shared_ptr<TLMDevice> device();

    // A record read now: the client's name and version; the machine and
    // kernel release from uname; the system's name and version from
    // os-release; the current locale and time zone; the app's version, build
    // and identifier from its bundle. A host has no carrier and no screen
    // of its own to report.
    static std::shared_ptr<TLMDevice> hostDevice();

    // The variables of an os-release file (KEY=value lines, values quoted or
    // not, shell escapes undone); empty when it cannot be read.
    static std::map<std::string, std::string> osReleaseValues(const std::filesystem::path& path);

    // A locale identifier in the record's form: language, "-" and script
    // when there is one, "_" and country when there is one ("de_DE",
    // "sr-Latn_RS", "fr").
    static std::string localeText(const std::string& identifier);

private:
    TLMDeviceTracker() = default;

    std::mutex mMutex;
    std::shared_ptr<TLMDevice> mDevice;
};
