#pragma once
// The telemetry ingestion stand-in (tests/telemetry/server/ingestion_server.py)
// run as a child process of one test, on 127.0.0.1 and a free port. It
// records every request with its headers and body, inflates gzip bodies,
// reads {"logs": [...]} and JSON-lines bodies, and answers from a script
// per path. Written apart from the client, so it checks what went over the
// wire rather than what the client meant to send.

#include "platform/foundation/Value.h"
#include "tests/support/ServerProcess.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// One answer of the script.
struct IngestionAnswer {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    double delaySeconds = 0;      // real time, before answering
    bool dropConnection = false;  // close without a byte of answer

    static IngestionAnswer withStatus(int status) {
        IngestionAnswer answer;
        answer.status = status;
        return answer;
    }
    static IngestionAnswer dropped() {
        IngestionAnswer answer;
        answer.dropConnection = true;
        return answer;
    }
};

// One request as the server received it.
struct IngestionRequest {
    enum class Kind { Empty, Logs, Lines, Other };

    std::string method;
    std::string path;                                          // as received, percent-encoded
    std::string query;                                         // without "?"
    std::vector<std::pair<std::string, std::string>> headers;  // received order and spelling
    std::uint64_t bodyLength = 0;                              // bytes on the wire
    bool gzipped = false;                                      // "Content-Encoding: gzip", inflated before reading
    std::string body;                                          // the inflated body as text
    Kind kind = Kind::Empty;
    // The objects under "logs", or one a line of a JSON-lines body.
    std::vector<platform::Value> logs;
    bool finalNewline = false;
    // The first problem with the body (no gzip, no UTF-8, a line without
    // its line feed or that is no JSON); empty when there was none.
    std::string bodyError;
    int status = 0;  // the status answered; 0 when dropped or not answered yet

    // The value of the first header of that name (case-insensitive).
    std::optional<std::string> header(const std::string& name) const;
};

class IngestionTestServer {
public:
    // Starts the server; throws std::runtime_error when it cannot.
    void start();
    void stop() { mProcess.stop(); }
    int port() const { return mProcess.port(); }
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;

    // Forgets requests and scripts.
    void reset();
    // The answers for `path` ("*" for every path without a script of its
    // own), used in turn, then `then` for every later request.
    void script(const std::string& path, const std::vector<IngestionAnswer>& answers,
                const IngestionAnswer& then = IngestionAnswer{});
    std::vector<IngestionRequest> requests() const;
    // Waits until `count` requests have been answered or dropped; false on
    // time-out (real time).
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    // A call to the server's control API under "/__control/"; `requireSuccess`
    // also throws for an answer outside 2xx.
    ControlAnswer control(bool requireSuccess, const std::string& method, const std::string& pathAndQuery,
                          const std::string& body = {}) const;

    ServerProcess mProcess;
};

}  // namespace testsupport
