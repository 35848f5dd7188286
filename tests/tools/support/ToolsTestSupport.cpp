#include "tests/tools/support/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/TempRoot.h"

namespace toolstest {

namespace {

const std::vector<std::string> kFixedEnvironment{"VEKMONT_LANGUAGE=en", "LC_ALL=C.UTF-8"};

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
    std::vector<std::string> changes = kFixedEnvironment;
    changes.insert(changes.end(), environment.begin(), environment.end());
    mProgram = testsupport::StartProgram(tool, arguments, changes);
}

RunningTool::~RunningTool() {
    // A test that stops early leaves no program behind.
    if (running()) testsupport::WaitForProgram(mProgram, SIGKILL);
}

void RunningTool::signal(int number) {
    if (running()) kill(mProgram.pid, number);
}

const testsupport::tProgramRun& RunningTool::wait(int* endingSignal) {
    if (!mRun) mRun = testsupport::WaitForProgram(mProgram, 0, &mEndingSignal);
    if (endingSignal != nullptr) *endingSignal = mEndingSignal;
    return *mRun;
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
