#pragma once
// How the command-line tools start the engine as the app does: an app root
// ($VEKMONT_HOME, else a temporary one removed at the end), the resources
// beside the build tree's binaries, the telemetry client and the engine
// start-up with its log file. The log's console lines are kept off standard
// output so that the tool's own report stays readable.

#include <filesystem>
#include <streambuf>
#include <string>

class CToolSession {
public:
    // `name` names the temporary root and prefixes error lines.
    explicit CToolSession(const char* name);
    // Waits for the log, gives standard output back and removes a temporary
    // root.
    ~CToolSession();

    CToolSession(const CToolSession&) = delete;
    CToolSession& operator=(const CToolSession&) = delete;

    // False when no app root could be made; an error line was printed.
    bool IsReady() const { return mReady; }

    // Starts the telemetry client and the engine with the log under the root.
    void StartEngine();

private:
    class CNullBuffer : public std::streambuf {
    protected:
        int overflow(int c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
    };

    bool mReady = false;
    bool mTemporaryRoot = false;
    std::filesystem::path mRoot;
    CNullBuffer mNowhere;
    std::streambuf* mConsole = nullptr;
};

// The load result code behind the current-layout holder's last failure.
int LastLoadErrorCode();
