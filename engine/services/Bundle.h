#pragma once
// The engine's view of the application's main bundle: its name, identifier
// and version for error reports and diagnostics.

#include <string>

namespace platform {
class Bundle;
}

class CBundle {
public:
    // The one instance, made on first use. A missing main bundle ends the
    // process through UErrorHandling::CheckAllocation.
    static CBundle& Instance();

    virtual ~CBundle() = default;

    CBundle(const CBundle&) = delete;
    CBundle& operator=(const CBundle&) = delete;

    // Info value "CFBundleName" when present, else the name of the bundle's
    // resources folder; empty when neither is known.
    std::string GetBundleName() const;
    // Info value "CFBundleIdentifier"; empty when missing or not a string.
    std::string GetIdentifier() const;
    // Info value "CFBundleVersion"; empty when missing, "?" when not a string.
    std::string GetVersion() const;

private:
    CBundle();

    platform::Bundle* mBundle;  // not owned: lives as long as the process
};
