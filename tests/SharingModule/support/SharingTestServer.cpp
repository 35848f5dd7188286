#include "tests/SharingModule/support/SharingTestServer.h"

#include "platform/foundation/AsciiText.h"

#ifndef VEKMONT_PYTHON
#define VEKMONT_PYTHON "python3"
#endif
#ifndef VEKMONT_SHARING_TEST_DIR
#define VEKMONT_SHARING_TEST_DIR "tests/SharingModule"
#endif

namespace sharingtest {

namespace {

nlohmann::json control(int port, const std::string& method, const std::string& route, const std::string& body = {}) {
    const auto answer = testsupport::controlRequest(port, method, "__control/" + route, body);
    return nlohmann::json::parse(answer.body);
}

}  // namespace

std::string SharingRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (platform::ascii::equalsIgnoringCase(key, name)) return value;
    return {};
}

void SharingTestServer::start(const testsupport::StorageTestServer& blobs) {
    const std::string script = std::string(VEKMONT_SHARING_TEST_DIR) + "/server/sharing_server.py";
    mProcess.start({VEKMONT_PYTHON, script, "--port", "0", "--blob-base", blobs.baseUrl(), "--account", blobs.account(),
                    "--key", blobs.keyBase64()},
                   "sharing test server");
}

std::string SharingTestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port()) + "/api/v1"; }

void SharingTestServer::reset() { control(port(), "POST", "reset"); }
void SharingTestServer::addUsers(const nlohmann::json& users) { control(port(), "POST", "users", users.dump()); }
void SharingTestServer::addLayouts(const std::vector<nlohmann::json>& layouts) {
    control(port(), "POST", "layouts", nlohmann::json(layouts).dump());
}
void SharingTestServer::addFault(const nlohmann::json& rule) { control(port(), "POST", "faults", rule.dump()); }
void SharingTestServer::setSignatureLifetime(double seconds) {
    control(port(), "POST", "sas_lifetime", nlohmann::json(seconds).dump());
}

std::vector<SharingRequest> SharingTestServer::requests() const {
    std::vector<SharingRequest> result;
    for (const auto& item : control(port(), "GET", "requests")) {
        SharingRequest request;
        request.method = item.at("method");
        request.path = item.at("path");
        request.query = item.at("query");
        for (const auto& pair : item.at("headers")) request.headers.emplace_back(pair.at(0), pair.at(1));
        request.body = item.at("body");
        result.push_back(std::move(request));
    }
    return result;
}

std::vector<SharingRequest> SharingTestServer::requestsEndingWith(const std::string& suffix) const {
    std::vector<SharingRequest> matching;
    for (auto& request : requests()) {
        if (request.path.size() >= suffix.size() &&
            request.path.compare(request.path.size() - suffix.size(), suffix.size(), suffix) == 0) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

nlohmann::json SharingTestServer::counts() const { return control(port(), "GET", "counts"); }

}  // namespace sharingtest
