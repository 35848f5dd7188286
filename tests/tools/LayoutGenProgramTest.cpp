// The layoutgen program refuses what would give a file with nothing asked
// for in it: a folder, or a scenario without any statement, as scenario or
// output. Nothing is left behind then.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/tools/support/ToolsTestSupport.h"

using testsupport::tProgramRun;
using toolstest::PathFor;
using toolstest::RunTool;

TEST(LayoutGenProgram, RefusesAFolderAndAnEmptyScenario) {
    const std::string folder = PathFor("scenarios");
    std::filesystem::create_directory(folder);
    const std::string empty = PathFor("empty.scenario");
    toolstest::WriteFile(empty, "");
    const std::string blank = PathFor("blank.scenario");
    toolstest::WriteFile(blank, "# only a comment\n\n   \t\n# and another\n");
    const std::string broken = PathFor("broken.scenario");
    toolstest::WriteFile(broken, "version 13\nstraight length=oops\n");
    const std::string sound = PathFor("sound.scenario");
    toolstest::WriteFile(sound, "straight length=100\n");
    const std::string out = PathFor("out.wkst");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"a folder as the scenario",
         {"layout", out, "--scenario", folder},
         2,
         "layoutgen: cannot read " + folder + ": Is a directory\n"},
        {"a folder as a library scenario",
         {"library", out, "--scenario", folder},
         2,
         "layoutgen: cannot read " + folder + ": Is a directory\n"},
        {"a missing scenario",
         {"layout", out, "--scenario", PathFor("missing")},
         2,
         "layoutgen: cannot read " + PathFor("missing") + ": No such file or directory\n"},
        {"an empty scenario",
         {"layout", out, "--scenario", empty},
         5,
         "layoutgen: " + empty + ": the scenario is empty (no statement)\n"},
        {"comments and blanks only",
         {"layout", out, "--scenario", blank},
         5,
         "layoutgen: " + blank + ": the scenario is empty (no statement)\n"},
        {"an empty library scenario",
         {"library", out, "--scenario", blank},
         5,
         "layoutgen: " + blank + ": the scenario is empty (no statement)\n"},
        {"a bad line", {"layout", out, "--scenario", broken}, 5, "layoutgen: " + broken + ": line 2: "},
        {"a folder as the output",
         {"layout", folder, "--scenario", sound},
         2,
         "layoutgen: cannot write " + folder + ": Is a directory\n"},
        {"a folder as the records file",
         {"records", folder, "--count", "3"},
         2,
         "layoutgen: cannot write " + folder + ": Is a directory\n"},
        {"an output in a missing folder",
         {"layout", PathFor("no/such/out.wkst"), "--elements", "3"},
         2,
         "layoutgen: cannot write " + PathFor("no/such/out.wkst") + ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tProgramRun run = RunTool(toolstest::kLayoutGen, c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    // One statement is enough.
    const tProgramRun run = RunTool(toolstest::kLayoutGen, {"layout", out, "--scenario", sound});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RunTool(toolstest::kLayoutInfo, {out}).status, 0);
}

TEST(LayoutGenProgram, DimensionsShowCentimetresWhateverTheLocale) {
    const std::string scenario = PathFor("dimension.scenario");
    toolstest::WriteFile(scenario, "dimension at=0,0 to=300,0 size=12\n");
    const std::string out = PathFor("dimension.wkst");
    for (const char* locale : {"LANG=C", "LANG=en_US.UTF-8", "LANG=de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        const tProgramRun run = RunTool(toolstest::kLayoutGen, {"layout", out, "--scenario", scenario}, {locale});
        ASSERT_EQ(run.status, 0) << run.err;
        std::ifstream in(out, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The generated text component holds the label as the reader shows it.
        EXPECT_NE(bytes.find("30.0 cm"), std::string::npos);
        EXPECT_EQ(bytes.find("Unsupported"), std::string::npos);
    }
}
