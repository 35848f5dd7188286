#include "tests/support/ServerProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(5);

size_t appendToString(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Reads the "PORT <n>" line the server prints once it listens.
int readPortLine(const std::string& name, int fd, pid_t pid) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error(name + " did not report its port in time");
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
            throw std::runtime_error(name + " exited before listening");
        }
        line.append(buffer, static_cast<size_t>(count));
    }
    line.resize(line.find('\n'));
    int port = 0;
    if (std::sscanf(line.c_str(), "PORT %d", &port) != 1 || port <= 0)
        throw std::runtime_error(name + " printed an unexpected first line: " + line);
    return port;
}

}  // namespace

ServerProcess::~ServerProcess() { stop(); }

void ServerProcess::start(std::vector<std::string> args) {
    if (running()) throw std::runtime_error(mName + " already running");
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
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
    try {
        mPort = readPortLine(mName, mStdout, mPid);
    } catch (...) {
        stop();
        throw;
    }
}

void ServerProcess::stop() {
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

ControlAnswer ServerProcess::control(const std::string& method, const std::string& pathAndQuery,
                                     const std::string& body) const {
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    const std::string url = "http://127.0.0.1:" + std::to_string(mPort) + "/__control/" + pathAndQuery;
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
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK)
        throw std::runtime_error(mName + " control " + pathAndQuery + ": " + curl_easy_strerror(code));
    return answer;
}

ControlAnswer ServerProcess::controlOk(const std::string& method, const std::string& pathAndQuery,
                                       const std::string& body) const {
    ControlAnswer answer = control(method, pathAndQuery, body);
    if (answer.status < 200 || answer.status > 299)
        throw std::runtime_error(mName + " control " + pathAndQuery + " answered " + std::to_string(answer.status) +
                                 ": " + answer.body);
    return answer;
}

}  // namespace testsupport
