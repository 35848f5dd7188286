#pragma once
// The sharing service stand-in (tests/SharingModule/server/sharing_server.py)
// as a child process of one test, handing out signatures for a running blob
// service stand-in; and its control API: users, layouts, faults, the
// signature lifetime, the request log and the counts.

#include "tests/storage/support/StorageTestServer.h"
#include "tests/support/ServerProcess.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

namespace sharingtest {

struct SharingRequest {
    std::string method;
    std::string path;  // as received, percent-encoded
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string header(const std::string& name) const;
};

class SharingTestServer {
public:
    // Starts the server for the blob server's account; throws when it cannot.
    void start(const testsupport::StorageTestServer& blobs);
    void stop() { mProcess.stop(); }
    int port() const { return mProcess.port(); }
    // http://127.0.0.1:<port>/api/v1
    std::string baseUrl() const;

    void reset();
    // {"<id>": {"password": ..., "userName": ..., "profileImage512": ...}, ...}
    void addUsers(const nlohmann::json& users);
    // Layout objects, each with its "id"; a layout added again replaces the earlier one.
    void addLayouts(const std::vector<nlohmann::json>& layouts);
    // One rule or a list: {"method"?, "path_regex"?, "times"?, "action": {"status"?, "body"?, "headers"?,
    // "content_length"?, "stall_before_headers"?, "huge_body"?, "drop_after_bytes"?}}.
    void addFault(const nlohmann::json& rule);
    void setSignatureLifetime(double seconds);
    std::vector<SharingRequest> requests() const;
    // The service requests whose path ends with `suffix`.
    std::vector<SharingRequest> requestsEndingWith(const std::string& suffix) const;
    // {"downloads": {"<layout>": n}, "likes": {"<layout>": [users]}}
    nlohmann::json counts() const;

private:
    testsupport::ServerProcess mProcess;
};

}  // namespace sharingtest
