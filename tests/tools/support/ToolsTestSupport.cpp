#include "tests/tools/support/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/TempRoot.h"

extern char** environ;

namespace toolstest {

namespace {

const std::vector<std::string> kFixedEnvironment{"VEKMONT_LANGUAGE=en", "LC_ALL=C.UTF-8"};

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::string PathFor(const std::string& name) { return (testsupport::processRoot() / name).string(); }

testsupport::tProgramRun RunTool(const std::string& tool, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment) {
    std::vector<std::string> fixed = kFixedEnvironment;
    fixed.insert(fixed.end(), environment.begin(), environment.end());
    return testsupport::RunProgram(tool, arguments, fixed);
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }


std::string WriteSampleLayout(const std::string& name) {
    const std::string scenario = PathFor(name + ".scenario");
    WriteFile(scenario, R"(version 13
layer "Tracks"
layer "Boards" type=baseboard
on "Tracks"
straight length=200 at=0,0 angle=0 product=S200
curve radius=400 sweep=30 product=R400
text "Halt" at=100,60 size=20
baseboard "Board" rect=-50,-100,600,300 layer="Boards"
)");
    const std::string path = PathFor(name);
    const testsupport::tProgramRun run = RunTool(kLayoutGen, {"layout", path, "--scenario", scenario});
    EXPECT_EQ(run.status, 0) << run.err;
    return path;
}

RunningTool::RunningTool(const std::string& tool, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
    static std::atomic<int> starts{0};
    const std::string stem = PathFor("started-" + std::to_string(++starts));
    mErrPath = stem + ".err";
    std::vector<std::string> changes = kFixedEnvironment;
    changes.insert(changes.end(), environment.begin(), environment.end());
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const bool changed = std::any_of(changes.begin(), changes.end(),
                                         [&](const std::string& change) { return NameOf(change) == NameOf(*entry); });
        if (!changed) variables.emplace_back(*entry);
    }
    for (const std::string& change : changes) {
        if (change.find('=') != std::string::npos) variables.push_back(change);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{tool};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (stem + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    if (posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) mPid = child;
    posix_spawn_file_actions_destroy(&actions);
}

RunningTool::~RunningTool() {
    if (running()) {
        kill(mPid, SIGKILL);
        wait();
    }
}

bool RunningTool::running() {
    if (!started() || mEnded) return false;
    int status = 0;
    const pid_t done = waitpid(mPid, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return true;
    mEnded = true;
    mStatus = done == mPid ? status : -1;
    return false;
}

void RunningTool::signal(int number) {
    if (started() && !mEnded) kill(mPid, number);
}

int RunningTool::wait() {
    if (!started() || mEnded) return mStatus;
    int status = 0;
    while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
    }
    mEnded = true;
    mStatus = status;
    return mStatus;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace toolstest
