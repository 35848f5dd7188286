#include "tests/support/RunProgram.h"

#include "tests/support/TempRoot.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testsupport {

namespace {

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

tRunningProgram StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
    static std::atomic<int> runs{0};
    const std::string stem = (processRoot() / ("run-" + std::to_string(++runs))).string();
    tRunningProgram running;
    running.outPath = stem + ".out";
    running.errPath = stem + ".err";

    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const std::string& change : environment) replaced = replaced || NameOf(change) == NameOf(*entry);
        if (!replaced) variables.emplace_back(*entry);
    }
    for (const std::string& change : environment) {
        if (change.find('=') != std::string::npos) variables.push_back(change);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, running.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, running.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        running.startError = "cannot start " + program + ": " + std::strerror(spawned);
        return running;
    }
    running.pid = child;
    return running;
}

bool IsRunning(const tRunningProgram& running) {
    if (running.pid <= 0) return false;
    siginfo_t info{};
    // WNOWAIT: the program stays waitable for WaitForProgram.
    if (waitid(P_PID, static_cast<id_t>(running.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

tProgramRun WaitForProgram(const tRunningProgram& running, int signal, int* endingSignal) {
    tProgramRun run;
    if (running.pid <= 0) {
        run.err = running.startError;
        return run;
    }
    if (signal != 0) kill(running.pid, signal);
    int status = 0;
    while (waitpid(running.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (endingSignal != nullptr) *endingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = ReadWholeFile(running.outPath);
    run.err = ReadWholeFile(running.errPath);
    return run;
}

tProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    return WaitForProgram(StartProgram(program, arguments, environment));
}

}  // namespace testsupport
