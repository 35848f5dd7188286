#include "tests/storage/support/StorageTestServer.h"

#include "platform/foundation/AsciiText.h"
#include "platform/net/URL.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#ifndef VEKMONT_PYTHON
#define VEKMONT_PYTHON "python3"
#endif
#ifndef VEKMONT_STORAGE_TEST_DIR
#define VEKMONT_STORAGE_TEST_DIR "tests/storage"
#endif

namespace testsupport {

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (platform::ascii::equalsIgnoringCase(key, name)) return value;
    return std::nullopt;
}

std::string StorageTestServer::defaultKey() {
    // 32 bytes: "vekmont blob test server key 001".
    return "dmVrbW9udCBibG9iIHRlc3Qgc2VydmVyIGtleSAwMDE=";
}

void StorageTestServer::start(const std::string& account, const std::string& keyBase64,
                              const StorageServerOptions& options) {
    std::vector<std::string> args = {VEKMONT_PYTHON, std::string(VEKMONT_STORAGE_TEST_DIR) + "/server/blob_server.py",
                                     "--port",       "0",
                                     "--account",    account,
                                     "--key",        keyBase64};
    if (options.secondary) args.emplace_back("--secondary");
    mProcess.start(std::move(args));
    mAccount = account;
    mKey = keyBase64;
}

void StorageTestServer::stop() { mProcess.stop(); }

std::string StorageTestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port()) + "/" + mAccount; }

std::string StorageTestServer::secondaryBaseUrl() const { return baseUrl() + "-secondary"; }

std::string StorageTestServer::connectionString() const {
    return "DefaultEndpointsProtocol=http;AccountName=" + mAccount + ";AccountKey=" + mKey +
           ";BlobEndpoint=" + baseUrl();
}

void StorageTestServer::reset() { mProcess.controlOk("POST", "reset"); }

void StorageTestServer::addFault(const std::string& jsonText) { mProcess.controlOk("POST", "faults", jsonText); }

std::vector<RecordedRequest> StorageTestServer::requests() const {
    const auto answer = mProcess.controlOk("GET", "requests");
    const auto list = nlohmann::json::parse(answer.body);
    std::vector<RecordedRequest> result;
    result.reserve(list.size());
    for (const auto& item : list) {
        RecordedRequest record;
        record.method = item.at("method").get<std::string>();
        record.path = item.at("path").get<std::string>();
        record.query = item.at("query").get<std::string>();
        for (const auto& pair : item.at("headers"))
            record.headers.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
        record.bodyLength = item.at("body_length").get<std::uint64_t>();
        record.bodyMD5 = item.at("body_md5").get<std::string>();
        record.time = item.at("time").get<double>();
        record.status = item.at("status").is_null() ? 0 : item.at("status").get<int>();
        record.operation = item.at("operation").is_null() ? "" : item.at("operation").get<std::string>();
        record.faulted = !item.at("fault").is_null();
        result.push_back(std::move(record));
    }
    return result;
}

StorageServerStats StorageTestServer::stats() const {
    const auto answer = mProcess.controlOk("GET", "stats");
    const auto value = nlohmann::json::parse(answer.body);
    StorageServerStats stats;
    for (const auto& [kind, count] : value.at("max_in_flight").items()) stats.maxInFlight[kind] = count.get<int>();
    for (const auto& [kind, count] : value.at("count").items()) stats.count[kind] = count.get<int>();
    return stats;
}

std::optional<std::vector<std::uint8_t>> StorageTestServer::blobBytes(const std::string& container,
                                                                      const std::string& blob) const {
    const auto answer = mProcess.control("GET", "blob?container=" + platform::net::percentEncodeUnreserved(container) +
                                                    "&blob=" + platform::net::percentEncodeUnreserved(blob));
    if (answer.status == 404) return std::nullopt;
    if (answer.status != 200)
        throw std::runtime_error("blob test server control blob answered " + std::to_string(answer.status));
    return std::vector<std::uint8_t>(answer.body.begin(), answer.body.end());
}

void StorageTestServer::preloadBlob(const std::string& container, const std::string& blob,
                                    const std::vector<std::uint8_t>& bytes, bool storeContentMD5) {
    std::string query = "blob?container=" + platform::net::percentEncodeUnreserved(container) +
                        "&blob=" + platform::net::percentEncodeUnreserved(blob);
    if (storeContentMD5) query += "&md5=true";
    mProcess.controlOk("POST", query, std::string(bytes.begin(), bytes.end()));
}

}  // namespace testsupport
