#pragma once
// The blob service stand-in (tests/storage/server/blob_server.py) run as a
// child process of one test: it listens on 127.0.0.1 on a free port, checks
// signatures itself, keeps its state in memory and offers a JSON control API
// for resets, injected faults, the request log and direct blob access.
//
// The server dies with the thread that started it (PR_SET_PDEATHSIG), so
// start it from the test's own thread, not from a short-lived worker.

#include "tests/support/ServerProcess.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct StorageServerOptions {
    // Also serve "<account>-secondary": read-only, the same data.
    bool secondary = false;
};

// One service request as the server received it (control requests are not recorded).
struct RecordedRequest {
    std::string method;
    std::string path;                                          // as received, percent-encoded
    std::string query;                                         // as received, without "?"
    std::vector<std::pair<std::string, std::string>> headers;  // in received order, names as written
    std::uint64_t bodyLength = 0;
    std::string bodyMD5;    // base64 MD5 of the body
    double time = 0;        // arrival, CLOCK_MONOTONIC seconds (comparable with std::chrono::steady_clock)
    int status = 0;         // status sent; 0 while not answered
    std::string operation;  // e.g. "putblock", "getblob"; empty when the request named no operation
    bool faulted = false;   // an injected fault applied to this request

    // The value of the first header of that name (case-insensitive), if any.
    std::optional<std::string> header(const std::string& name) const;
};

struct StorageServerStats {
    std::map<std::string, int> maxInFlight;  // per operation, the most requests served at once
    std::map<std::string, int> count;        // per operation, requests received
};

class StorageTestServer {
public:
    static constexpr const char* kDefaultAccount = "vekmonttest";
    // A fixed 32-byte account key in base64.
    static std::string defaultKey();

    StorageTestServer() = default;
    StorageTestServer(const StorageTestServer&) = delete;
    StorageTestServer& operator=(const StorageTestServer&) = delete;

    // Starts the server and waits until it listens. Throws std::runtime_error when it cannot.
    void start(const std::string& account = kDefaultAccount, const std::string& keyBase64 = defaultKey(),
               const StorageServerOptions& options = {});
    // SIGTERM, then waits (SIGKILL after a few seconds). Also done by the destructor.
    void stop();
    bool running() const { return mProcess.running(); }

    int port() const { return mProcess.port(); }
    const std::string& account() const { return mAccount; }
    const std::string& keyBase64() const { return mKey; }
    std::string baseUrl() const;           // http://127.0.0.1:<port>/<account>
    std::string secondaryBaseUrl() const;  // http://127.0.0.1:<port>/<account>-secondary
    std::string connectionString() const;

    // Control API. Each throws std::runtime_error when the server refuses or cannot be reached.
    void reset();  // state, faults, request log and stats
    // One fault rule (a JSON object) or a list of them, appended to the rules in force:
    // {"method"?, "path_regex"?, "query_contains"?, "operation"?, "skip"?, "times"?, "action": {...}}
    void addFault(const std::string& jsonText);
    std::vector<RecordedRequest> requests() const;
    StorageServerStats stats() const;
    // The committed bytes of a blob, or nothing when there is no such committed blob.
    std::optional<std::vector<std::uint8_t>> blobBytes(const std::string& container, const std::string& blob) const;
    // Stores a committed block blob without authorisation, creating the container when needed.
    void preloadBlob(const std::string& container, const std::string& blob, const std::vector<std::uint8_t>& bytes,
                     bool storeContentMD5 = false);

private:
    ServerProcess mProcess{"blob test server"};
    std::string mAccount;
    std::string mKey;
};

}  // namespace testsupport
