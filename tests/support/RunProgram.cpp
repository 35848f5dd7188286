#include "tests/support/RunProgram.h"

#include "tests/support/TempRoot.h"

#include <fcntl.h>
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

tProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    static std::atomic<int> runs{0};
    const std::string stem = (processRoot() / ("run-" + std::to_string(++runs))).string();
    const std::string outPath = stem + ".out";
    const std::string errPath = stem + ".err";

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
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    tProgramRun run;
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.err = "cannot start " + program + ": " + std::strerror(spawned);
        return run;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    return run;
}

}  // namespace testsupport
