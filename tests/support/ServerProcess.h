#pragma once
// A test server written in Python, run as a child process of one test: it
// listens on 127.0.0.1 on a free port, prints "PORT <n>" once it listens and
// answers a JSON control API under "/__control/".
//
// The server dies with the thread that started it (PR_SET_PDEATHSIG), so
// start it from the test's own thread, not from a short-lived worker.

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

struct ControlAnswer {
    long status = 0;
    std::string body;
};

class ServerProcess {
public:
    // `name` names the server in error messages.
    explicit ServerProcess(std::string name) : mName(std::move(name)) {}
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs `argv` (the interpreter, the script and its arguments) and waits
    // until it reports its port. Throws std::runtime_error when it cannot.
    void start(std::vector<std::string> argv);
    // SIGTERM, then waits (SIGKILL after a few seconds). Also done by the
    // destructor.
    void stop();
    bool running() const { return mPid > 0; }
    int port() const { return mPort; }

    // One call to "/__control/<pathAndQuery>"; throws when the server cannot
    // be reached. controlOk also throws for an answer outside 2xx.
    ControlAnswer control(const std::string& method, const std::string& pathAndQuery,
                          const std::string& body = {}) const;
    ControlAnswer controlOk(const std::string& method, const std::string& pathAndQuery,
                            const std::string& body = {}) const;

private:
    std::string mName;
    pid_t mPid = -1;
    int mStdout = -1;
    int mPort = 0;
};

}  // namespace testsupport
