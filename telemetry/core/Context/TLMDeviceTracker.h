#pragma once
// The device record of this host and app, as every log carries it, and the
// history of the records of earlier runs, kept in the telemetry user
// defaults ("PastDevices") so that a log made in an earlier run (a crash)
// gets the device of its time.

#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLMDeviceTracker {
public:
    using Date = std::chrono::system_clock::time_point;
    static constexpr const char* kHistoryKey = "PastDevices";
    // Records kept; the oldest go first.
    static constexpr std::size_t kHistoryLimit = 5;

    static TLMDeviceTracker& sharedInstance();
    // Lets the shared instance go; the next use makes a new one (reading
    // what is stored, as a new process would). For tests that run one after
    // another in a process.
    static void resetSharedInstanceForTests();

    // Reads the stored history. The app has one, `sharedInstance`; another
    // reads the history as a new run would.
    TLMDeviceTracker();

    // The record of this host and app, read on first use; it joins the
    // history, with the time it was read, when it differs from the newest
    // record there. Thread-safe.
    std::shared_ptr<TLMDevice> device();

    // The record current at the date: the last one recorded at or before it,
    // the oldest for an earlier date; the current record without a date or
    // without a history.
    std::shared_ptr<TLMDevice> deviceForTimestamp(const std::optional<Date>& timestamp);

    // Forgets the stored history; lookups give the current record until
    // another one is recorded.
    void clearDevices();

    // Where the system's name and version are read, the first file that
    // gives values counting (tests). For a record not read yet.
    void setOsReleaseFiles(std::vector<std::filesystem::path> files);

    // The system's own os-release files, in the order they are read.
    static std::vector<std::filesystem::path> defaultOsReleaseFiles();

    // A record read now: the client's name and version; the machine and
    // kernel release from uname; the system's name and version from
    // os-release; the current locale and time zone; the app's version, build
    // and identifier from its bundle. A host has no carrier and no screen
    // of its own to report. Every text is valid UTF-8: a byte that is not
    // (a Latin-1 LANG or os-release) becomes U+FFFD, as JSON must carry it.
    static std::shared_ptr<TLMDevice> hostDevice();
    static std::shared_ptr<TLMDevice> hostDevice(const std::vector<std::filesystem::path>& osReleaseFiles);

    // The variables of an os-release file (KEY=value lines, values quoted or
    // not, shell escapes undone); empty when it cannot be read.
    static std::map<std::string, std::string> osReleaseValues(const std::filesystem::path& path);

    // A locale identifier in the record's form: language, "-" and script
    // when there is one, "_" and country when there is one ("de_DE",
    // "sr-Latn_RS", "fr").
    static std::string localeText(const std::string& identifier);

private:
    std::mutex mMutex;
    std::shared_ptr<TLMDevice> mDevice;
    std::vector<std::filesystem::path> mOsReleaseFiles = defaultOsReleaseFiles();
    TLMHistory<TLMDeviceHistoryInfo> mHistory;
};
