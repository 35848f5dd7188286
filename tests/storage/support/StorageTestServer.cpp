#include "tests/storage/support/StorageTestServer.h"

#include "platform/foundation/AsciiText.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef VEKMONT_PYTHON
#define VEKMONT_PYTHON "python3"
#endif
#ifndef VEKMONT_STORAGE_TEST_DIR
#define VEKMONT_STORAGE_TEST_DIR "tests/storage"
#endif

namespace testsupport {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(5);

struct ControlAnswer {
    long status = 0;
    std::string body;
};

size_t appendToString(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

std::string escapeQuery(const std::string& text) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// One call to the control API; throws when the server cannot be reached.
ControlAnswer control(int port, const std::string& method, const std::string& pathAndQuery,
                      const std::string& body = {}) {
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/__control/" + pathAndQuery;
    ControlAnswer answer;
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    headers = curl_slist_append(headers, "Content-Type:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToString);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK)
        throw std::runtime_error("blob test server control " + pathAndQuery + ": " + curl_easy_strerror(code));
    return answer;
}

ControlAnswer controlOk(int port, const std::string& method, const std::string& pathAndQuery,
                        const std::string& body = {}) {
    ControlAnswer answer = control(port, method, pathAndQuery, body);
    if (answer.status < 200 || answer.status > 299)
        throw std::runtime_error("blob test server control " + pathAndQuery + " answered " +
                                 std::to_string(answer.status) + ": " + answer.body);
    return answer;
}

// Reads the "PORT <n>" line the server prints once it listens.
int readPortLine(int fd, pid_t pid) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error("blob test server did not report its port in time");
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            int status = 0;
            ::waitpid(pid, &status, WNOHANG);
            throw std::runtime_error("blob test server exited before listening");
        }
        line.append(buffer, static_cast<size_t>(count));
    }
    line.resize(line.find('\n'));
    int port = 0;
    if (std::sscanf(line.c_str(), "PORT %d", &port) != 1 || port <= 0)
        throw std::runtime_error("blob test server printed an unexpected first line: " + line);
    return port;
}

}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (platform::ascii::equalsIgnoringCase(key, name)) return value;
    return std::nullopt;
}

std::string StorageTestServer::defaultKey() {
    // 32 bytes: "vekmont blob test server key 001".
    return "dmVrbW9udCBibG9iIHRlc3Qgc2VydmVyIGtleSAwMDE=";
}

StorageTestServer::~StorageTestServer() { stop(); }

void StorageTestServer::start(const std::string& account, const std::string& keyBase64,
                              const StorageServerOptions& options) {
    if (running()) throw std::runtime_error("blob test server already running");
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    const std::string python = VEKMONT_PYTHON;
    const std::string script = std::string(VEKMONT_STORAGE_TEST_DIR) + "/server/blob_server.py";
    std::vector<std::string> args = {python, script, "--port", "0", "--account", account, "--key", keyBase64};
    if (options.secondary) args.emplace_back("--secondary");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // The server must not outlive the test, even when the test crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        // Signal mask and dispositions survive exec; the server must see SIGTERM.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGTERM, SIG_DFL);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    mPid = pid;
    mStdout = pipeFds[0];
    mAccount = account;
    mKey = keyBase64;
    try {
        mPort = readPortLine(mStdout, mPid);
    } catch (...) {
        stop();
        throw;
    }
}

void StorageTestServer::stop() {
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        while (true) {
            const pid_t done = ::waitpid(mPid, &status, WNOHANG);
            if (done == mPid || (done < 0 && errno != EINTR)) break;
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(mPid, SIGKILL);
                ::waitpid(mPid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        mPid = -1;
    }
    if (mStdout >= 0) {
        ::close(mStdout);
        mStdout = -1;
    }
    mPort = 0;
}

std::string StorageTestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(mPort) + "/" + mAccount; }

std::string StorageTestServer::secondaryBaseUrl() const { return baseUrl() + "-secondary"; }

std::string StorageTestServer::connectionString() const {
    return "DefaultEndpointsProtocol=http;AccountName=" + mAccount + ";AccountKey=" + mKey +
           ";BlobEndpoint=" + baseUrl();
}

void StorageTestServer::reset() { controlOk(mPort, "POST", "reset"); }

void StorageTestServer::addFault(const std::string& jsonText) { controlOk(mPort, "POST", "faults", jsonText); }

std::vector<RecordedRequest> StorageTestServer::requests() const {
    const auto answer = controlOk(mPort, "GET", "requests");
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
    const auto answer = controlOk(mPort, "GET", "stats");
    const auto value = nlohmann::json::parse(answer.body);
    StorageServerStats stats;
    for (const auto& [kind, count] : value.at("max_in_flight").items()) stats.maxInFlight[kind] = count.get<int>();
    for (const auto& [kind, count] : value.at("count").items()) stats.count[kind] = count.get<int>();
    return stats;
}

std::optional<std::vector<std::uint8_t>> StorageTestServer::blobBytes(const std::string& container,
                                                                      const std::string& blob) const {
    const auto answer =
        control(mPort, "GET", "blob?container=" + escapeQuery(container) + "&blob=" + escapeQuery(blob));
    if (answer.status == 404) return std::nullopt;
    if (answer.status != 200)
        throw std::runtime_error("blob test server control blob answered " + std::to_string(answer.status));
    return std::vector<std::uint8_t>(answer.body.begin(), answer.body.end());
}

void StorageTestServer::preloadBlob(const std::string& container, const std::string& blob,
                                    const std::vector<std::uint8_t>& bytes, bool storeContentMD5) {
    std::string query = "blob?container=" + escapeQuery(container) + "&blob=" + escapeQuery(blob);
    if (storeContentMD5) query += "&md5=true";
    controlOk(mPort, "POST", query, std::string(bytes.begin(), bytes.end()));
}

}  // namespace testsupport
