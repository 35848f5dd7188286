#pragma once
// How the command-line tools start the engine as the app does: an app root
// ($VEKMONT_HOME, else a temporary one in $TMPDIR or /tmp, removed at the
// end), the resources beside the build tree's binaries, the telemetry client
// and the engine start-up with its log file. The log's console lines are
// kept off standard output so that the tool's own report stays readable.

#include "platform/foundation/TemporaryFolder.h"

#include <filesystem>
#include <optional>
#include <string>

class CToolSession {
public:
    // `name` names the temporary root and prefixes error lines.
    explicit CToolSession(const char* name);
    // Waits for the log, turns its console lines back on and removes a temporary
    // root.
    ~CToolSession();

    CToolSession(const CToolSession&) = delete;
    CToolSession& operator=(const CToolSession&) = delete;

    // False when no app root could be made; an error line was printed.
    bool IsReady() const { return mReady; }
    // The app root and whether it is a temporary one.
    const std::filesystem::path& Root() const { return mRoot; }
    bool IsTemporaryRoot() const { return mTemporaryRoot.has_value(); }

    // Starts the telemetry client and the engine with the log under the root.
    void StartEngine();

    // Loads the file into the current document as the app opens it. On
    // failure prints why (with the warnings the load logged) and returns the
    // exit status of ExitCodes.h; kExitOk when loaded.
    int LoadLayout(const std::string& path);

    // Prints an unexpected failure and returns kExitInternal.
    int ReportFailure(const char* what);

private:
    std::string mName;
    bool mReady = false;
    // Removed after the destructor's body has let go of the log.
    std::optional<platform::TemporaryFolder> mTemporaryRoot;
    std::filesystem::path mRoot;
};

// The load result code behind the current-layout holder's last failure.
int LastLoadErrorCode();

// The exit status (ExitCodes.h) of a load result code.
int ExitCodeForLoadError(int loadErrorCode);
