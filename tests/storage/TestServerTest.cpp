// The blob service stand-in itself, spoken to with plain libcurl and a tiny
// shared-key signer written here from the protocol rules.

#include "tests/storage/support/StorageTestServer.h"

#include "platform/foundation/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <map>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <string>
#include <vector>

namespace {

using testsupport::StorageServerOptions;
using testsupport::StorageTestServer;
using Headers = std::vector<std::pair<std::string, std::string>>;

struct Answer {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    Headers headers;

    std::string header(const std::string& name) const {
        for (const auto& [key, value] : headers) {
            if (platform::ascii::equalsIgnoringCase(key, name)) return value;
        }
        return {};
    }
};

size_t collectBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* target) {
    std::string line(data, size * count);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        static_cast<Headers*>(target)->emplace_back(line.substr(0, colon), value);
    }
    return size * count;
}

// One plain HTTP exchange; `headers` go out in the order given, after curl's Host and Accept.
Answer send(const std::string& method, const std::string& url, const Headers& headers, const std::string& body = {}) {
    Answer answer;
    CURL* curl = curl_easy_init();
    curl_slist* list = curl_slist_append(nullptr, "Expect:");
    list = curl_slist_append(list, "Content-Type:");
    for (const auto& [name, value] : headers) list = curl_slist_append(list, (name + ": " + value).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    answer.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return answer;
}

std::string base64(const unsigned char* data, size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
    out.resize(static_cast<size_t>(length));
    return out;
}

std::string unbase64(const std::string& text) {
    std::string out(3 * text.size() / 4 + 1, '\0');
    const int length =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(static_cast<size_t>(length) - static_cast<size_t>(std::count(text.end() - 2, text.end(), '=')));
    return out;
}

std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) && std::isxdigit(text[i + 2])) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The shared-key string to sign: method, eleven standard header lines (Date empty, a
// Content-Length of "0" empty), the sorted "x-bs-" headers, "/" + account + path, and the
// decoded query pairs sorted by lower-cased name.
std::string stringToSign(const std::string& method, const Headers& headers, const std::string& account,
                         const std::string& path, const std::string& query) {
    auto value = [&](const std::string& name) {
        for (const auto& [key, text] : headers)
            if (platform::ascii::equalsIgnoringCase(key, name)) return text;
        return std::string();
    };
    std::string text = method + "\n";
    for (const char* name :
         {"Content-Encoding", "Content-Language", "Content-Length", "Content-MD5", "Content-Type", "Date",
          "If-Modified-Since", "If-Match", "If-None-Match", "If-Unmodified-Since", "Range"}) {
        std::string line = std::string(name) == "Date" ? std::string() : value(name);
        if (std::string(name) == "Content-Length" && line == "0") line.clear();
        text += line + "\n";
    }
    std::map<std::string, std::string> canonical;
    for (const auto& [key, text2] : headers)
        if (key.starts_with("x-bs-")) canonical[platform::ascii::lowercased(key)] = text2;
    for (const auto& [key, text2] : canonical) text += key + ":" + text2 + "\n";
    text += "/" + account + path;
    std::map<std::string, std::string> pairs;
    size_t start = 0;
    while (!query.empty() && start <= query.size()) {
        const size_t end = std::min(query.find('&', start), query.size());
        const std::string piece = query.substr(start, end - start);
        const size_t eq = piece.find('=');
        pairs[platform::ascii::lowercased(percentDecode(piece.substr(0, eq)))] = percentDecode(piece.substr(eq + 1));
        start = end + 1;
    }
    for (const auto& [key, text2] : pairs) text += "\n" + key + ":" + text2;
    return text;
}

std::string httpDateNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return buffer;
}

// A request signed with `keyBase64` for the server's account. `path` starts with the account segment.
Answer signedRequest(const StorageTestServer& server, const std::string& method, const std::string& path,
                     const std::string& query, Headers headers, const std::string& body = {},
                     const std::string& keyBase64 = {}) {
    headers.emplace_back("x-bs-date", httpDateNow());
    if (method == "PUT" || !body.empty()) headers.emplace_back("Content-Length", std::to_string(body.size()));
    const std::string key = unbase64(keyBase64.empty() ? server.keyBase64() : keyBase64);
    const std::string text = stringToSign(method, headers, server.account(), path, query);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(text.data()),
         text.size(), digest, &digestLength);
    headers.emplace_back("Authorization", "SharedKey " + server.account() + ":" + base64(digest, digestLength));
    const std::string url =
        "http://127.0.0.1:" + std::to_string(server.port()) + path + (query.empty() ? "" : "?" + query);
    return send(method, url, headers, body);
}

const Headers kVersion = {{"x-bs-version", "2016-03-14"}};

std::string errorCode(const Answer& answer) {
    const auto open = answer.body.find("<Code>");
    const auto close = answer.body.find("</Code>");
    if (open == std::string::npos || close == std::string::npos) return {};
    return answer.body.substr(open + 6, close - open - 6);
}

TEST(TestServer, StartsReportsAPortAndStops) {
    StorageTestServer server;
    server.start();
    ASSERT_TRUE(server.running());
    const int port = server.port();
    EXPECT_GT(port, 0);
    EXPECT_EQ(server.baseUrl(), "http://127.0.0.1:" + std::to_string(port) + "/vekmonttest");
    EXPECT_EQ(server.connectionString(),
              "DefaultEndpointsProtocol=http;AccountName=vekmonttest;AccountKey=" + StorageTestServer::defaultKey() +
                  ";BlobEndpoint=http://127.0.0.1:" + std::to_string(port) + "/vekmonttest");
    EXPECT_NO_THROW(server.reset());

    server.stop();
    EXPECT_FALSE(server.running());
    const Answer after = send("GET", "http://127.0.0.1:" + std::to_string(port) + "/__control/stats", {});
    EXPECT_EQ(after.code, CURLE_COULDNT_CONNECT);
}

TEST(TestServer, ChecksSharedKeySignaturesAndTheVersion) {
    StorageTestServer server;
    server.start();
    const std::string wrongKey = base64(reinterpret_cast<const unsigned char*>("another key of thirty-two bytes!"), 32);

    struct Case {
        const char* name;
        bool sign;
        std::string method, path, query;
        Headers headers;
        std::string key;
        long status;
        std::string code;
    };
    const std::vector<Case> cases = {
        {"unsigned create", false, "PUT", "/vekmonttest/layouts", "restype=container", kVersion, "", 403,
         "AuthenticationFailed"},
        {"signed create", true, "PUT", "/vekmonttest/layouts", "restype=container", kVersion, "", 201, ""},
        {"signed create of an existing container", true, "PUT", "/vekmonttest/layouts", "restype=container", kVersion,
         "", 409, "ContainerAlreadyExists"},
        {"signed with another key", true, "GET", "/vekmonttest/layouts", "restype=container", kVersion, wrongKey, 403,
         "AuthenticationFailed"},
        {"query values signed decoded, names sorted", true, "GET", "/vekmonttest", "prefix=lay%20outs&comp=list",
         kVersion, "", 200, ""},
        {"metadata headers are signed",
         true,
         "PUT",
         "/vekmonttest/layouts",
         "restype=container&comp=metadata",
         {{"x-bs-version", "2016-03-14"}, {"x-bs-meta-Author", "Ann"}},
         "",
         200,
         ""},
        {"missing version",
         true,
         "GET",
         "/vekmonttest/layouts",
         "restype=container",
         {},
         "",
         400,
         "MissingRequiredHeader"},
        {"blob in a missing container", true, "GET", "/vekmonttest/nothere/a.txt", "", kVersion, "", 404,
         "ContainerNotFound"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer answer =
            c.sign ? signedRequest(server, c.method, c.path, c.query, c.headers, {}, c.key)
                   : send(c.method, "http://127.0.0.1:" + std::to_string(server.port()) + c.path + "?" + c.query,
                          c.headers);
        ASSERT_EQ(answer.code, CURLE_OK);
        EXPECT_EQ(answer.status, c.status) << answer.body;
        EXPECT_EQ(errorCode(answer), c.code);
        EXPECT_FALSE(answer.header("x-bs-request-id").empty());
        EXPECT_EQ(answer.header("x-bs-version"), "2016-03-14");
    }
    const Answer properties = signedRequest(server, "HEAD", "/vekmonttest/layouts", "restype=container", kVersion);
    EXPECT_EQ(properties.status, 200);
    EXPECT_EQ(properties.header("x-bs-meta-Author"), "Ann");
}

TEST(TestServer, AppliesFaultsTheGivenNumberOfTimesThenAnswersNormally) {
    StorageTestServer server;
    server.start();
    const std::string bytes(1000, 'x');
    server.preloadBlob("layouts", "a.vkm", std::vector<std::uint8_t>(bytes.begin(), bytes.end()), true);
    auto get = [&] { return signedRequest(server, "GET", "/vekmonttest/layouts/a.vkm", "", kVersion); };
    const Answer normal = get();
    ASSERT_EQ(normal.status, 200);
    ASSERT_FALSE(normal.header("Content-MD5").empty());

    server.addFault(R"({"method": "GET", "path_regex": "/a\\.vkm$", "times": 2, "action": {"status": 503}})");
    for (int i = 0; i < 2; ++i) {
        const Answer busy = get();
        EXPECT_EQ(busy.status, 503);
        EXPECT_EQ(errorCode(busy), "ServerBusy");
    }
    EXPECT_EQ(get().body, bytes);

    server.addFault(R"([{"action": {"status": 500, "no_body": true}},
                        {"action": {"status": 503, "body": "<Error><Code>Half"}},
                        {"action": {"drop_after_bytes": 10}},
                        {"action": {"wrong_md5": true}},
                        {"method": "PUT", "action": {"status": 500}}])");
    const Answer empty = get();
    EXPECT_EQ(empty.status, 500);
    EXPECT_EQ(empty.body, "");
    const Answer malformed = get();
    EXPECT_EQ(malformed.status, 503);
    EXPECT_EQ(malformed.body, "<Error><Code>Half");
    const Answer dropped = get();
    EXPECT_EQ(dropped.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(dropped.body, bytes.substr(0, 10));
    const Answer wrong = get();
    EXPECT_EQ(wrong.body, bytes);
    EXPECT_NE(wrong.header("Content-MD5"), normal.header("Content-MD5"));
    const Answer after = get();  // the PUT rule does not match a GET
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.header("Content-MD5"), normal.header("Content-MD5"));

    const auto records = server.requests();
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const auto& r) { return r.faulted; }), 6);
}

TEST(TestServer, ADroppedAnswerStillCarriesTheRequestOut) {
    StorageTestServer server;
    server.start();
    server.preloadBlob("layouts", "a.vkm", {'o', 'l', 'd'});
    server.addFault(R"({"method": "PUT", "action": {"drop_answer": true}})");
    const Answer lost = signedRequest(server, "PUT", "/vekmonttest/layouts/a.vkm", "",
                                      {{"x-bs-version", "2016-03-14"}, {"x-bs-blob-type", "BlockBlob"}}, "new");
    EXPECT_EQ(lost.code, CURLE_GOT_NOTHING);
    EXPECT_EQ(lost.status, 0);
    EXPECT_EQ(server.blobBytes("layouts", "a.vkm"), std::vector<std::uint8_t>({'n', 'e', 'w'}));
    const auto records = server.requests();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].faulted);
    EXPECT_EQ(records[0].status, 201) << "the answer the client never saw";
}

TEST(TestServer, RecordsRequestsWithTheirExactQueryAndHeaderOrder) {
    StorageTestServer server;
    server.start();
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) +
                            "/vekmonttest/layouts/dir%2Fa%20b?comp=block&blockid=QUJD&z=%2F&a=1";
    const Answer answer = send("PUT", url,
                               {{"x-bs-zeta", "1"},
                                {"X-Custom", "two"},
                                {"x-bs-alpha", "3"},
                                {"x-bs-version", "2016-03-14"},
                                {"x-bs-client-request-id", "abc-1"}},
                               "hello");
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(answer.header("x-bs-client-request-id"), "abc-1");
    signedRequest(server, "GET", "/vekmonttest", "comp=list", kVersion);

    const auto records = server.requests();
    ASSERT_EQ(records.size(), 2u);
    const auto& put = records[0];
    EXPECT_EQ(put.method, "PUT");
    EXPECT_EQ(put.path, "/vekmonttest/layouts/dir%2Fa%20b");
    EXPECT_EQ(put.query, "comp=block&blockid=QUJD&z=%2F&a=1");
    EXPECT_EQ(put.operation, "putblock");
    EXPECT_EQ(put.status, 403);
    EXPECT_EQ(put.bodyLength, 5u);
    EXPECT_EQ(put.bodyMD5, "XUFAKrxLKna5cZ2REBfFkg==");  // MD5 of "hello"
    std::vector<std::string> ours;
    for (const auto& [name, value] : put.headers)
        if (name == "x-bs-zeta" || name == "X-Custom" || name == "x-bs-alpha" || name == "x-bs-client-request-id")
            ours.push_back(name + "=" + value);
    EXPECT_EQ(ours, (std::vector<std::string>{"x-bs-zeta=1", "X-Custom=two", "x-bs-alpha=3",
                                              "x-bs-client-request-id=abc-1"}));
    EXPECT_EQ(put.header("x-custom"), "two");
    EXPECT_EQ(records[1].operation, "listcontainers");
    EXPECT_EQ(records[1].status, 200);
    EXPECT_LE(records[0].time, records[1].time);
}

TEST(TestServer, ServesPreloadedBytesWholeAndByRange) {
    StorageTestServer server;
    server.start(StorageTestServer::kDefaultAccount, StorageTestServer::defaultKey(), StorageServerOptions{true});
    std::vector<std::uint8_t> bytes(1024 * 1024 + 7);
    std::uint32_t state = 12345;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    server.preloadBlob("big", "dir/data.bin", bytes);
    const std::string all(bytes.begin(), bytes.end());

    struct Case {
        const char* name;
        std::string path;
        Headers headers;
        long status;
        std::string body;
        std::string contentRange;
    };
    const std::vector<Case> cases = {
        {"whole", "/vekmonttest/big/dir/data.bin", kVersion, 200, all, ""},
        {"x-bs-range",
         "/vekmonttest/big/dir/data.bin",
         {{"x-bs-version", "2016-03-14"}, {"x-bs-range", "bytes=1000-1999"}},
         206,
         all.substr(1000, 1000),
         "bytes 1000-1999/1048583"},
        {"Range past the end is cut",
         "/vekmonttest/big/dir/data.bin",
         {{"x-bs-version", "2016-03-14"}, {"Range", "bytes=1048576-2000000"}},
         206,
         all.substr(1048576),
         "bytes 1048576-1048582/1048583"},
        {"secondary reads the same data",
         "/vekmonttest-secondary/big/dir/data.bin",
         {{"x-bs-version", "2016-03-14"}, {"x-bs-range", "bytes=0-9"}},
         206,
         all.substr(0, 10),
         "bytes 0-9/1048583"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer answer = signedRequest(server, "GET", c.path, "", c.headers);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_TRUE(answer.body == c.body);
        EXPECT_EQ(answer.header("Content-Range"), c.contentRange);
    }
    const Answer past = signedRequest(server, "GET", "/vekmonttest/big/dir/data.bin", "",
                                      {{"x-bs-version", "2016-03-14"}, {"x-bs-range", "bytes=1048583-"}});
    EXPECT_EQ(past.status, 416);
    EXPECT_EQ(errorCode(past), "InvalidRange");
    const Answer write = signedRequest(server, "PUT", "/vekmonttest-secondary/big/other", "",
                                       {{"x-bs-version", "2016-03-14"}, {"x-bs-blob-type", "BlockBlob"}}, "abc");
    EXPECT_EQ(write.status, 403);

    EXPECT_EQ(server.blobBytes("big", "dir/data.bin"), bytes);
    EXPECT_EQ(server.blobBytes("big", "missing"), std::nullopt);
    EXPECT_EQ(server.stats().count.at("getblob"), 5);
}

}  // namespace
