#pragma once
// The version of the host's kernel, from uname's release text. Set-up time
// only.

#include <memory>
#include <string_view>

struct TLCrashHostVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned revision = 0;
    bool operator==(const TLCrashHostVersion&) const = default;
};

class TLCrashHostInfo {
public:
    // The running kernel's; null (after a diagnostic) when uname fails.
    static std::shared_ptr<TLCrashHostInfo> currentHostInfo();

    // Scans "major.minor.revision" from the front of `release` (anything may
    // follow, as in "6.1.0-13-amd64"). A text of another shape is reported in
    // a diagnostic and keeps the numbers scanned before the mismatch, the rest
    // 0.
    explicit TLCrashHostInfo(std::string_view release);

    // The kernel's version, under the name the reporter's callers know.
    TLCrashHostVersion darwinVersion() const { return _darwinVersion; }

private:
    TLCrashHostVersion _darwinVersion;
};
