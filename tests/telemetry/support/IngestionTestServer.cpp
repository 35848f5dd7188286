#include "tests/telemetry/support/IngestionTestServer.h"

#include "platform/foundation/AsciiText.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

#ifndef VEKMONT_PYTHON
#define VEKMONT_PYTHON "python3"
#endif
#ifndef VEKMONT_TELEMETRY_TEST_DIR
#define VEKMONT_TELEMETRY_TEST_DIR "tests/telemetry"
#endif

namespace testsupport {

namespace {

nlohmann::json answerJson(const IngestionAnswer& answer) {
    nlohmann::json headers = nlohmann::json::object();
    for (const auto& [name, value] : answer.headers) headers[name] = value;
    return {{"status", answer.status},
            {"body", answer.body},
            {"headers", headers},
            {"delay", answer.delaySeconds},
            {"drop", answer.dropConnection}};
}

IngestionRequest::Kind kindOf(const std::string& text) {
    if (text == "logs") return IngestionRequest::Kind::Logs;
    if (text == "lines") return IngestionRequest::Kind::Lines;
    if (text == "other") return IngestionRequest::Kind::Other;
    return IngestionRequest::Kind::Empty;
}

}  // namespace

std::optional<std::string> IngestionRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (platform::ascii::equalsIgnoringCase(key, name)) return value;
    return std::nullopt;
}

void IngestionTestServer::start() {
    mProcess.start(
        {VEKMONT_PYTHON, std::string(VEKMONT_TELEMETRY_TEST_DIR) + "/server/ingestion_server.py", "--port", "0"},
        "ingestion test server");
}

std::string IngestionTestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port()); }

void IngestionTestServer::reset() { control(true, "POST", "reset"); }

void IngestionTestServer::script(const std::string& path, const std::vector<IngestionAnswer>& answers,
                                 const IngestionAnswer& then) {
    nlohmann::json list = nlohmann::json::array();
    for (const IngestionAnswer& answer : answers) list.push_back(answerJson(answer));
    const nlohmann::json spec = {{"path", path}, {"answers", list}, {"default", answerJson(then)}};
    control(true, "POST", "script", spec.dump());
}

std::vector<IngestionRequest> IngestionTestServer::requests() const {
    const nlohmann::json list = nlohmann::json::parse(control(true, "GET", "requests").body).at("requests");
    std::vector<IngestionRequest> result;
    result.reserve(list.size());
    for (const auto& item : list) {
        IngestionRequest request;
        request.method = item.at("method").get<std::string>();
        request.path = item.at("path").get<std::string>();
        request.query = item.at("query").get<std::string>();
        for (const auto& pair : item.at("headers"))
            request.headers.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
        request.bodyLength = item.at("body_length").get<std::uint64_t>();
        request.gzipped = item.at("gzip").get<bool>();
        request.body = item.at("body").get<std::string>();
        request.kind = kindOf(item.at("kind").get<std::string>());
        for (const auto& log : item.at("logs")) {
            std::optional<platform::Value> value = platform::Value::fromJson(log.dump());
            if (!value) throw std::runtime_error("ingestion test server sent a log that is no JSON");
            request.logs.push_back(std::move(*value));
        }
        request.finalNewline = item.at("final_newline").get<bool>();
        request.bodyError = item.at("error").is_null() ? "" : item.at("error").get<std::string>();
        request.status = item.at("status").get<int>();
        result.push_back(std::move(request));
    }
    return result;
}

bool IngestionTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    const double seconds = std::chrono::duration<double>(timeout).count();
    const ControlAnswer answer =
        control(false, "GET", "wait?count=" + std::to_string(count) + "&timeout=" + std::to_string(seconds));
    return answer.status == 200;
}

ControlAnswer IngestionTestServer::control(bool requireSuccess, const std::string& method,
                                           const std::string& pathAndQuery, const std::string& body) const {
    return controlRequest(port(), method, "__control/" + pathAndQuery, body, requireSuccess);
}

}  // namespace testsupport
