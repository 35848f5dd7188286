#include "bench/TransferBench.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace transferbench {

namespace {

const char* gProgram = "bench";

}  // namespace

void setProgramName(const char* name) { gProgram = name; }

void die(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", gProgram, what.c_str());
    std::exit(1);
}

std::string runCurlOutput(const std::vector<std::string>& args, const std::string& workingFolder) {
    int out[2];
    if (::pipe(out) != 0) die("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) die("fork failed");
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(126);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execvp("curl", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die("curl failed: " + text);
    return text;
}

int runCurl(const std::vector<std::string>& args) { return std::atoi(runCurlOutput(args).c_str()); }

double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::map<std::string, std::vector<double>>& wallMeans() {
    static std::map<std::string, std::vector<double>> means;
    return means;
}

std::string loadAverage() {
    char load[64] = {};
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(load, sizeof load, file) == nullptr) load[0] = '\0';
        std::fclose(file);
    }
    return load[0] != '\0' ? load : "unknown\n";
}

void printRatio(const std::string& ours, const std::string& theirs) {
    const auto& means = wallMeans();
    const auto a = means.find(ours);
    const auto b = means.find(theirs);
    if (a == means.end() || b == means.end()) return;
    const double mine = median(a->second);
    const double other = median(b->second);
    std::printf("%-30s %6.0f ms vs %-21s %6.0f ms (medians of %zu and %zu): %.2fx\n", ours.c_str(), mine * 1000,
                theirs.c_str(), other * 1000, a->second.size(), b->second.size(), mine / other);
}

}  // namespace transferbench
