// layoutrender's output: the format follows the output's extension unless an
// option chooses it for another name, contradictions are refused before
// anything is written, and a picture that cannot be written says why.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/support/ToolsTestSupport.h"

using testsupport::tProgramRun;
using toolstest::PathFor;
using toolstest::RunTool;

namespace {

const std::string kPngSignature = "\x89PNG\r\n\x1a\n";

std::string Head(const std::string& path, std::size_t bytes) {
    return testsupport::ReadWholeFile(path).substr(0, bytes);
}

bool IsPng(const std::string& path) { return Head(path, 8) == kPngSignature; }
bool IsPdf(const std::string& path) { return Head(path, 5) == "%PDF-"; }
bool IsSvg(const std::string& path) {
    const std::string text = Head(path, 400);
    return text.starts_with("<?xml") && text.find("<svg") != std::string::npos;
}

}  // namespace

TEST(LayoutRender, TheOutputsExtensionChoosesTheFormatUnlessAnOptionNamesIt) {
    const std::string layout = toolstest::WriteSampleLayout("format.wkst");
    struct Case {
        const char* name;
        std::string output;
        std::vector<std::string> options;
        bool (*is)(const std::string&);
    };
    const Case cases[] = {
        {"a .pdf name", PathFor("picture.pdf"), {}, IsPdf},
        {"a .svg name", PathFor("picture.svg"), {}, IsSvg},
        {"a .png name", PathFor("picture.png"), {}, IsPng},
        {"an extension in capitals", PathFor("PICTURE.PDF"), {}, IsPdf},
        {"no extension", PathFor("picture"), {}, IsPng},
        {"an option that agrees", PathFor("agreed.svg"), {"--svg"}, IsSvg},
        {"an option for another extension", PathFor("picture.out"), {"--pdf"}, IsPdf},
        {"an option for no extension", PathFor("plain"), {"--svg"}, IsSvg},
        {"the same option twice", PathFor("twice.pdf"), {"--pdf", "--pdf"}, IsPdf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments{layout, "-o", c.output};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const tProgramRun run = RunTool(toolstest::kLayoutRender, arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(c.is(c.output)) << Head(c.output, 16);
    }
}

TEST(LayoutRender, RefusesContradictoryOptionsAndWritesNothing) {
    const std::string layout = toolstest::WriteSampleLayout("contradictions.wkst");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* message;
    };
    const std::string pdf = PathFor("x.pdf");
    const std::string png = PathFor("x.png");
    const Case cases[] = {
        {"an option against the extension", {layout, "-o", pdf, "--svg"}, "--svg contradicts the extension of"},
        {"a PNG option against .svg", {layout, "--png", "-o", PathFor("x.svg")}, "--png contradicts the extension"},
        {"two formats", {layout, "-o", PathFor("x"), "--pdf", "--svg"}, "--pdf and --svg contradict each other"},
        {"an extension that names no format", {layout, "-o", PathFor("x.jpg")}, "the extension .jpg names no format"},
        {"two outputs", {layout, "-o", png, "-o", pdf}, "-o given twice with different values"},
        {"two widths",
         {layout, "-o", png, "--width", "100", "--width", "200"},
         "--width given twice with different values (100 and 200)"},
        {"two criteria", {layout, "-o", png, "--colorize", "type", "--colorize", "layer"}, "--colorize given twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tProgramRun run = RunTool(toolstest::kLayoutRender, c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(png)) << "a refused command line wrote its picture";
    }
    // The same value twice is no contradiction.
    const tProgramRun same = RunTool(toolstest::kLayoutRender, {layout, "-o", png, "--width", "64", "--width", "0x40"});
    EXPECT_EQ(same.status, 0) << same.err;
    std::filesystem::remove(png);
    for (const std::string& name : toolstest::FolderEntries(PathFor(""))) {
        EXPECT_NE(name.rfind("x", 0), 0u) << name << ": no picture";
        EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
    }
}

TEST(LayoutRender, APictureThatCannotBeWrittenSaysWhy) {
    const std::string layout = toolstest::WriteSampleLayout("unwritable.wkst");
    std::filesystem::create_directory(PathFor("folder"));
    toolstest::WriteFile(PathFor("file"), "a file, not a folder");
    // Not a device of the system: a tool that replaced it would break more
    // than this test.
    const std::string pipe = PathFor("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string output;
        const char* reason;
    };
    const Case cases[] = {
        {"a missing folder", PathFor("no/such/folder/x.png"), "No such file or directory"},
        {"a folder", PathFor("folder"), "Is a directory"},
        {"a file as the folder", PathFor("file/x.pdf"), "Not a directory"},
        {"a pipe", pipe, "not a plain file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tProgramRun run = RunTool(toolstest::kLayoutRender, {layout, "-o", c.output});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "layoutrender: cannot write " + c.output + ": " + c.reason + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_directory(PathFor("folder")));
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}
