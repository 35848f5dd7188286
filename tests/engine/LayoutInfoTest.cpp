// layoutinfo, run as a program on files layoutgen wrote: the figures it
// prints for a known layout, and the exit status and message of each load
// failure.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/TextEncoding.h"
#include "tests/support/EngineServices.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

#ifndef VEKMONT_LAYOUTINFO
#error "VEKMONT_LAYOUTINFO names the layoutinfo program"
#endif

namespace {

struct tRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

using testsupport::PathFor;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs layoutinfo on `file` in a fixed language and locale (US dollars).
tRun RunInfo(const std::string& file) {
    const std::string errPath = PathFor("layoutinfo.err");
    const std::string command = "VEKMONT_LANGUAGE=en LC_ALL=en_US.UTF-8 '" + std::string(VEKMONT_LAYOUTINFO) + "' '" +
                                file + "' 2>'" + errPath + "'";
    tRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadAll(errPath);
    return run;
}

// Writes a scenario as layoutgen does, texts placed by their measured box.
std::string WriteScenario(const std::string& text, const std::string& name) {
    testsupport::RegisteredTextService();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ParseLayoutScenario(text, document, summary, error)) << error;
    const std::string path = PathFor(name);
    EXPECT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));
    return path;
}

std::string WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const std::string path = PathFor(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// The lines of the report, for exact comparisons of whole lines.
bool HasLine(const std::string& text, const std::string& line) {
    std::istringstream lines(text);
    std::string each;
    while (std::getline(lines, each)) {
        if (each == line) return true;
    }
    return false;
}

}  // namespace

TEST(LayoutInfo, PrintsTheFiguresOfAKnownLayout) {
    // Two straights, a right turnout whose branch turns towards +y and a flex
    // track along the through line; a text between them on a second layer.
    const std::string path = WriteScenario(R"(version 11
param author "Known"
param zoom 80
layer "Main"
layer "Notes"
on "Main"
straight length=200 at=0,0 angle=0 product=S200 price=250
straight length=200 product=S200
turnout length=200 radius=500 sweep=20 hand=right product=WR price=1999
flex length=300
on "Notes"
text "Note" at=100,0 size=10
group 0 1
)",
                                           "known.wkst");
    const tRun run = RunInfo(path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string& out = run.out;
    SCOPED_TRACE(out);
    EXPECT_TRUE(HasLine(out, "version          11"));
    EXPECT_TRUE(HasLine(out, "  author           \"Known\""));
    EXPECT_TRUE(HasLine(out, "  zoom             80 % (factor 0.8)"));
    EXPECT_TRUE(HasLine(out, "  display flags    0x00000000")) << "cleared after loading";
    EXPECT_TRUE(HasLine(out, "layers           2"));
    EXPECT_NE(out.find("\"Main\""), std::string::npos);
    EXPECT_NE(out.find("4 elements"), std::string::npos);
    EXPECT_TRUE(HasLine(out, "groups           1"));
    EXPECT_TRUE(HasLine(out, "elements         5"));
    // Straights and flex are tracks of one part; the turnout has two.
    EXPECT_TRUE(HasLine(out,
                        "  tracks 4 (single 3, several track parts 1, flex 1, in tunnel 0), texts 1, shapes 0, "
                        "generated 0, user-created 2"));
    // One track part and two joints make a plain track; a straight and a
    // curve whose joint 0 is the common end make a right turnout.
    EXPECT_TRUE(HasLine(out, "guessed types    4 elements"));
    EXPECT_TRUE(HasLine(out, "     1 Track                        3"));
    EXPECT_TRUE(HasLine(out, "     7 Right turnout                1"));
    // 2 + 2 + 3 + 2 joints; three meetings along the line.
    EXPECT_TRUE(HasLine(out,
                        "joints           9: 3 free, 6 connected (free ends near another: 0, at another height: 0, "
                        "at another angle: 0)"));
    EXPECT_TRUE(HasLine(out, "statistics       3 parts, 4 pieces, track total 4"));
    EXPECT_TRUE(HasLine(out, "  library tracks 3, library others 0, user flex tracks 1, user shapes 0, user texts 1"));
    EXPECT_TRUE(HasLine(out, "part list        3 entries"));
    EXPECT_TRUE(HasLine(out, "  001;FLEX;Flex track;;$0.00;1"));
    EXPECT_TRUE(HasLine(out, "  002;S200;Straight 200 mm;layoutgen;$2.50;2"));
    EXPECT_TRUE(HasLine(out, "  003;WR;Right turnout R500;layoutgen;$19.99;1"));
    EXPECT_TRUE(HasLine(out, "  total: 4 pieces, $24.99")) << "2 x 2.50 + 19.99, the flex track unpriced";
    // x from 0 to 200 + 200 + 200 + 300; y from the bed's edge at -20 to the
    // inner edge of the branch's end, 500 - 480 cos 20 = 48.95. Padding 10.
    EXPECT_TRUE(HasLine(out, "content          x 0.00 to 900.00, y -20.00 to 48.95"));
    EXPECT_TRUE(HasLine(out, "padded content   dx 10.00, dy 30.00, width 920, height 89 (padding 10)"));
}

// Texts of older files are often Latin-1: the report mends them as the app
// shows them, each sequence that is not UTF-8 becoming "*", so that it is
// UTF-8 throughout.
TEST(LayoutInfo, TextsThatAreNotUtf8AreMendedAsTheAppShowsThem) {
    const std::string path = WriteScenario(
        "version 13\n"
        "param author \"Gr\xFCn \xE2\x82\"\n"
        "layer \"B\xE4hnhof\"\n"
        "on \"B\xE4hnhof\"\n"
        "straight length=200 at=0,0 angle=0 product=S\xE9rie\n",
        "latin1.wkst");
    const tRun run = RunInfo(path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(platform::isValidUtf8(run.out)) << run.out;
    EXPECT_TRUE(HasLine(run.out, "  author           \"Gr*n *\"")) << run.out;
    EXPECT_NE(run.out.find(" \"B*hnhof\" "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(";S*rie;"), std::string::npos) << run.out;
}

TEST(LayoutInfo, EachFailedLoadExitsWithItsCodeAndMessage) {
    std::vector<std::uint8_t> header = {'W', 'k', 'S', 't', 0, 0, 0, 13};
    // The parameters without tag 417.
    std::vector<std::uint8_t> badParameters;
    {
        char* buffer = nullptr;
        std::size_t size = 0;
        FILE* stream = open_memstream(&buffer, &size);
        ULayoutFileWriter::WriteHeader(stream, "WkSt", 13);
        ULayoutFileWriter::WriteParameters(stream, CLayoutParameters(), 13, 417);
        std::fclose(stream);
        badParameters.assign(buffer, buffer + size);
        std::free(buffer);
    }
    // Sound parameters and layers, one element announced, and a record whose
    // first tag claims 100 bytes and holds 10.
    ULayoutFileWriter::tLayoutFile cut;
    cut.elementCount = 1;
    std::vector<std::uint8_t> badElements = ULayoutFileWriter::LayoutFileBytes(cut);
    const std::uint8_t record[] = {'R', 'C', 'i', 'g', 0, 0, 0, 13, 0, 200, 0, 100};
    badElements.insert(badElements.end(), std::begin(record), std::end(record));
    badElements.insert(badElements.end(), 10, 0x41);

    struct Case {
        const char* name;
        std::string path;
        int code;
        const char* message;
    };
    std::vector<std::uint8_t> version2 = header;
    version2[7] = 2;
    std::vector<std::uint8_t> version14 = header;
    version14[7] = 14;
    std::vector<std::uint8_t> wrongMagic = header;
    wrongMagic[0] = 'w';
    const Case cases[] = {
        {"missing file", PathFor("no-such.wkst"), 2, "cannot open PATH: No such file or directory"},
        {"wrong magic", WriteBytes(wrongMagic, "magic.wkst"), 3, "PATH: The file is not a layout file."},
        {"empty file", WriteBytes({}, "empty.wkst"), 3, "PATH: The file is not a layout file."},
        {"version 2", WriteBytes(version2, "v2.wkst"), 4,
         "PATH: The layout file was saved by an old version that is no longer supported."},
        {"version 14", WriteBytes(version14, "v14.wkst"), 4,
         "PATH: The layout file was saved by a newer version. Please update the app."},
        {"element cut short", WriteBytes(badElements, "elements.wkst"), 5,
         "PATH: The elements of the layout could not be read."},
        {"parameter missing", WriteBytes(badParameters, "parameters.wkst"), 5,
         "PATH: The settings of the layout could not be read."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tRun run = RunInfo(c.path);
        EXPECT_EQ(run.status, c.code);
        EXPECT_EQ(run.out, "") << "nothing on standard output";
        std::string message = c.message;
        message.replace(message.find("PATH"), 4, c.path);
        EXPECT_EQ(run.err.rfind("layoutinfo: " + message + "\n", 0), 0u) << run.err;
    }
}

TEST(LayoutInfo, NeverCrashesOnAFileCutAnywhereAndNamesTheSectionWhereALoadedOneIsCut) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    ASSERT_TRUE(
        ULayoutGen::ParseLayoutScenario("version 11\nlayer \"A\"\nlayer \"B\" type=baseboard\n"
                                        "straight length=100 at=0,0\ncurve radius=300 sweep=30\n"
                                        "baseboard \"X\" rect=0,0,500,500\ngroup 0 1\n",
                                        document, summary, error))
        << error;
    const std::vector<std::uint8_t> whole = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    ASSERT_GT(whole.size(), 400u);
    for (const std::size_t cut :
         {std::size_t{9}, std::size_t{100}, whole.size() / 2, whole.size() - 30, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const tRun run = RunInfo(
            WriteBytes(std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)), "cut.wkst"));
        EXPECT_GE(run.status, 0) << "exited normally";
        EXPECT_LE(run.status, 5) << "a load result, never an unexpected failure";
    }

    // Cut by its last byte, in the baseboards: loaded, and said so.
    const std::string incomplete = "incomplete       baseboards section: the file is cut short or damaged there";
    const tRun cutRun = RunInfo(WriteBytes(std::vector<std::uint8_t>(whole.begin(), whole.end() - 1), "cut-last.wkst"));
    ASSERT_EQ(cutRun.status, 0) << cutRun.err;
    EXPECT_TRUE(HasLine(cutRun.out, incomplete)) << cutRun.out;
    const tRun wholeRun = RunInfo(WriteBytes(whole, "whole.wkst"));
    ASSERT_EQ(wholeRun.status, 0) << wholeRun.err;
    EXPECT_EQ(wholeRun.out.find("incomplete"), std::string::npos);
}
