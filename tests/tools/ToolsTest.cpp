// The four command-line tools as a user meets them: what --help says, the
// exit status of each kind of failure (the same in every tool), messages
// without the log's function signatures, and app roots that honour
// $VEKMONT_HOME and leave no temporary folder behind.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/support/ToolsTestSupport.h"

using testsupport::tProgramRun;
using toolstest::RunTool;

namespace {

// The layout header of a given version, and nothing after it.
std::string HeaderOnly(int version) { return std::string("WkSt") + std::string(3, '\0') + static_cast<char>(version); }

// A tool still running after a minute (waiting for a pipe's writer, say)
// fails the test and is killed.
tProgramRun RunToItsEnd(const std::string& tool, const std::vector<std::string>& arguments) {
    toolstest::RunningTool running(tool, arguments);
    if (!toolstest::Eventually([&running] { return !running.running(); }, std::chrono::minutes(1))) {
        ADD_FAILURE() << tool << " did not end";
        running.signal(SIGKILL);
    }
    return running.wait();
}

}  // namespace

TEST(Tools, HelpSaysWhatTheToolDoesItsOptionsAndItsExitStatuses) {
    struct Case {
        const char* tool;
        std::vector<std::string> mentions;  // what the tool does and its options
        std::vector<std::string> statuses;  // lines of the exit status table
    };
    const std::string ok = "  0  done\n";
    const std::string usage = "  1  the command line is wrong\n";
    const std::string cannotOpen = "  2  a file or folder cannot be opened, read or written";
    const std::string notLayout = "  3  the input is not a layout file\n";
    const std::string version = "  4  the layout file's version is not read";
    const std::string damaged = "  5  the input is damaged or holds nothing usable\n";
    const std::string internal = "  6  the tool itself failed unexpectedly\n";
    const Case cases[] = {
        {toolstest::kLayoutInfo,
         {"usage: layoutinfo <layout file>", "prints what the", "part list", "--help", "VEKMONT_HOME"},
         {ok, usage, cannotOpen, notLayout, version, damaged, internal}},
        {toolstest::kLayoutRender,
         {"usage: layoutrender <layout file> -o <output>", "exports its picture", "images", "--width W", "--style BITS",
          "--colorize", "--png, --pdf, --svg", "extension", "VEKMONT_HOME"},
         {ok, usage, cannotOpen, notLayout, version, damaged, internal}},
        {toolstest::kLayoutGen,
         {"usage: layoutgen layout", "layoutgen corpus", "Writes layout data", "--scenario FILE", "--elements N",
          "--seed S", "--version V"},
         {ok, usage, cannotOpen, damaged, internal}},
        {toolstest::kServices,
         {"usage: vekmont-services", "engine's services", "VEKMONT_HOME", "removed at the end"},
         {ok, usage, cannotOpen, internal}},
    };
    for (const Case& c : cases) {
        for (const char* option : {"--help", "-h"}) {
            SCOPED_TRACE(std::string(c.tool) + " " + option);
            const tProgramRun run = RunTool(c.tool, {option});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.err, "");
            const std::size_t table = run.out.find("\nexit status:\n");
            ASSERT_NE(table, std::string::npos) << run.out;
            for (const std::string& text : c.mentions) EXPECT_NE(run.out.find(text), std::string::npos) << text;
            std::size_t at = table;
            for (const std::string& line : c.statuses) {
                const std::size_t found = run.out.find(line, at);
                EXPECT_NE(found, std::string::npos) << line << " in order after the heading";
                if (found != std::string::npos) at = found;
            }
        }
    }
}

TEST(Tools, AWrongCommandLineEndsWithStatusOneInEveryTool) {
    const std::string layout = toolstest::WriteSampleLayout("usage.wkst");
    const std::string picture = toolstest::PathFor("usage.png");
    struct Case {
        const char* name;
        const char* tool;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"layoutinfo without a file", toolstest::kLayoutInfo, {}},
        {"layoutinfo with two files", toolstest::kLayoutInfo, {layout, layout}},
        {"layoutinfo with an unknown option", toolstest::kLayoutInfo, {"--verbose"}},
        {"layoutrender without -o", toolstest::kLayoutRender, {layout}},
        {"layoutrender with a width of 0", toolstest::kLayoutRender, {layout, "-o", picture, "--width", "0"}},
        {"layoutrender with an unknown option", toolstest::kLayoutRender, {layout, "-o", picture, "--colour"}},
        {"layoutgen without a command", toolstest::kLayoutGen, {}},
        {"layoutgen with an unknown command", toolstest::kLayoutGen, {"draw"}},
        {"layoutgen with neither scenario nor elements", toolstest::kLayoutGen, {"layout", picture}},
        {"layoutgen with a version out of range",
         toolstest::kLayoutGen,
         {"layout", toolstest::PathFor("v.wkst"), "--elements", "3", "--version", "14"}},
        {"vekmont-services with an argument", toolstest::kServices, {"--verbose"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tProgramRun run = RunTool(c.tool, c.arguments);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(picture));
}

TEST(Tools, LayoutInfoAndLayoutRenderEndWithTheSameStatusForEachInput) {
    const std::string good = toolstest::WriteSampleLayout("good.wkst");
    const std::string whole = testsupport::ReadWholeFile(good);
    ASSERT_GT(whole.size(), 600u);
    const std::string cut = toolstest::PathFor("cut.wkst");
    toolstest::WriteFile(cut, whole.substr(0, whole.size() / 2));  // inside the element records
    const std::string text = toolstest::PathFor("text.wkst");
    toolstest::WriteFile(text, "this is no layout file at all");
    const std::string old = toolstest::PathFor("v2.wkst");
    toolstest::WriteFile(old, HeaderOnly(2));
    const std::string newer = toolstest::PathFor("v14.wkst");
    toolstest::WriteFile(newer, HeaderOnly(14));
    // As a stalled mount would: nobody writes to it.
    const std::string pipe = toolstest::PathFor("pipe.wkst");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string input;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"a sound layout", good, 0, ""},
        {"a missing file", toolstest::PathFor("missing.wkst"), 2, ": cannot open PATH: No such file or directory\n"},
        {"a folder", toolstest::PathFor(""), 2, ": cannot open PATH: Is a directory\n"},
        {"a pipe", pipe, 2, ": cannot open PATH: not a plain file\n"},
        {"a text file", text, 3, ": PATH: The file is not a layout file.\n"},
        {"version 2", old, 4, ": PATH: The layout file was saved by an old version that is no longer supported.\n"},
        {"version 14", newer, 4, ": PATH: The layout file was saved by a newer version. Please update the app.\n"},
        {"a layout cut short", cut, 5, ": PATH: The elements of the layout could not be read.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string message = c.message;
        if (const std::size_t at = message.find("PATH"); at != std::string::npos) message.replace(at, 4, c.input);
        const tProgramRun info = RunToItsEnd(toolstest::kLayoutInfo, {c.input});
        EXPECT_EQ(info.status, c.status) << info.err;
        const std::string picture = toolstest::PathFor("status.png");
        std::filesystem::remove(picture);
        const tProgramRun render = RunToItsEnd(toolstest::kLayoutRender, {c.input, "-o", picture});
        EXPECT_EQ(render.status, c.status) << render.err;
        EXPECT_EQ(std::filesystem::exists(picture), c.status == 0);
        if (c.status != 0) {
            EXPECT_EQ(info.out, "");
            EXPECT_EQ(info.err.rfind("layoutinfo" + message, 0), 0u) << info.err;
            EXPECT_EQ(render.err.rfind("layoutrender" + message, 0), 0u) << render.err;
        }
    }
}

TEST(Tools, MessagesToTheUserShowNoFunctionSignatures) {
    // Cut inside an element record: the log's warning names the reading
    // function with its parameter types.
    const std::string whole = testsupport::ReadWholeFile(toolstest::WriteSampleLayout("whole.wkst"));
    const std::string cut = toolstest::PathFor("cut.wkst");
    toolstest::WriteFile(cut, whole.substr(0, whole.size() / 2));
    const tProgramRun info = RunTool(toolstest::kLayoutInfo, {cut});
    const tProgramRun render = RunTool(toolstest::kLayoutRender, {cut, "-o", toolstest::PathFor("cut.png")});
    for (const tProgramRun* run : {&info, &render}) {
        EXPECT_EQ(run->status, 5);
        EXPECT_NE(run->err.find("\n  Failed to load layout, "), std::string::npos) << run->err;
        EXPECT_EQ(run->err.find("::"), std::string::npos) << run->err;
        EXPECT_EQ(run->err.find("FILE *"), std::string::npos) << run->err;
    }
    // The log keeps them for developers.
    const std::string log = testsupport::ReadWholeFile(toolstest::PathFor("Library/Logs/Vekmont.log"));
    EXPECT_NE(log.find("CLayout::LoadElements(FILE *, int): Failed to load layout"), std::string::npos);
}

TEST(Tools, AppRootsHonourVekmontHomeAndNoTemporaryFolderStaysBehind) {
    const std::string layout = toolstest::WriteSampleLayout("roots.wkst");
    // Without $VEKMONT_HOME each tool makes its root in $TMPDIR and removes it.
    const std::string temporary = toolstest::PathFor("tmp");
    std::filesystem::create_directory(temporary);
    const std::vector<std::string> noHome{"VEKMONT_HOME", "TMPDIR=" + temporary};
    const tProgramRun services = RunTool(toolstest::kServices, {}, noHome);
    EXPECT_EQ(services.status, 0) << services.err;
    EXPECT_NE(services.out.find("App root: " + temporary + "/vekmont-services-"), std::string::npos) << services.out;
    EXPECT_NE(services.out.find("(temporary, removed at the end)"), std::string::npos);
    EXPECT_NE(services.out.find("== Registered services =="), std::string::npos);
    EXPECT_EQ(RunTool(toolstest::kLayoutInfo, {layout}, noHome).status, 0);
    EXPECT_EQ(RunTool(toolstest::kLayoutInfo, {toolstest::PathFor("missing.wkst")}, noHome).status, 2);
    EXPECT_EQ(RunTool(toolstest::kLayoutRender, {layout, "-o", toolstest::PathFor("roots.png")}, noHome).status, 0);
    EXPECT_EQ(toolstest::FolderEntries(temporary), std::vector<std::string>{});

    // With it, the log stays there to be read.
    const std::string home = toolstest::PathFor("home");
    std::filesystem::create_directory(home);
    const tProgramRun kept = RunTool(toolstest::kServices, {}, {"VEKMONT_HOME=" + home, "TMPDIR=" + temporary});
    EXPECT_EQ(kept.status, 0) << kept.err;
    EXPECT_NE(kept.out.find("App root: " + home + "\n"), std::string::npos) << kept.out;
    const std::string log = testsupport::ReadWholeFile(home + "/Library/Logs/Vekmont.log");
    EXPECT_NE(log.find("Logging established at " + home + "/Library/Logs/Vekmont.log"), std::string::npos) << log;
    EXPECT_NE(kept.out.find("  file: " + home + "/Library/Logs/Vekmont.log\n"), std::string::npos) << kept.out;
    EXPECT_EQ(toolstest::FolderEntries(temporary), std::vector<std::string>{});
}
