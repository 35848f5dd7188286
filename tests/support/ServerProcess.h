#pragma once
// A test server run as a child process of one test (a Python script of
// the tests' own): it listens on 127.0.0.1 on a free port and prints
// "PORT <n>" as its first line once it does. The server dies with the
// thread that started it (PR_SET_PDEATHSIG), so start it from the test's
// own thread, not from a short-lived worker. Also the plain HTTP calls of
// the servers' control APIs.

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs argv[0] with the arguments and waits until it reports its port.
    // Throws std::runtime_error (naming `what`) when it cannot.
    void start(const std::vector<std::string>& argv, const std::string& what);
    // SIGTERM, then waits (SIGKILL after a few seconds). Also done by the destructor.
    void stop();
    bool running() const { return mPid > 0; }
    int port() const { return mPort; }

private:
    pid_t mPid = -1;
    int mStdout = -1;
    int mPort = 0;
};

struct ControlAnswer {
    long status = 0;
    std::string body;
};

// One HTTP request to http://127.0.0.1:<port>/<pathAndQuery> with the body
// (sent for POST); throws std::runtime_error when the server cannot be
// reached, and with `requireSuccess` also for a status outside 2xx.
ControlAnswer controlRequest(int port, const std::string& method, const std::string& pathAndQuery,
                             const std::string& body = {}, bool requireSuccess = true);

// Percent-encodes everything but the unreserved characters.
std::string escapeQueryValue(const std::string& text);

}  // namespace testsupport
