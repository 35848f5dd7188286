#include "tests/tools/support/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/TempRoot.h"

namespace toolstest {

std::string PathFor(const std::string& name) { return (testsupport::processRoot() / name).string(); }

testsupport::tProgramRun RunTool(const std::string& tool, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment) {
    std::vector<std::string> fixed{"VEKMONT_LANGUAGE=en", "LC_ALL=C.UTF-8"};
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

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace toolstest
