// The log file's writer: lines gathered and written in blocks, in order;
// what waits reaches the file on Flush, a moment later, when the buffer is
// full, on Close and from the crash path, and never twice.

#include "engine/services/LogFileWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/TempRoot.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path Fresh(const std::string& name) {
    const fs::path path = testsupport::processRoot() / name;
    fs::remove(path);
    return path;
}

}  // namespace

TEST(LogFileWriter, LinesWaitForABlockAndReachTheFileInOrderOnce) {
    const fs::path path = Fresh("gathered.log");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path.string(), false));
    writer.Append("one\n");
    writer.Append("two\n");
    EXPECT_EQ(Read(path), "") << "no write per line";
    writer.Flush();
    EXPECT_EQ(Read(path), "one\ntwo\n");
    writer.Flush();
    EXPECT_EQ(Read(path), "one\ntwo\n");

    // A full buffer goes out before the line that does not fit.
    const std::string line(CLogFileWriter::kCapacity / 4, 'x');
    for (int i = 0; i < 4; ++i) writer.Append(line.substr(1) + "\n");
    writer.Append("last\n");
    EXPECT_EQ(Read(path).size(), 8u + 4 * line.size());
    writer.Close();
    const std::string all = Read(path);
    EXPECT_EQ(all.substr(all.size() - 5), "last\n");

    // Each at once when asked for.
    const fs::path immediate = Fresh("immediate.log");
    ASSERT_TRUE(writer.Open(immediate.string(), true));
    writer.Append("now\n");
    EXPECT_EQ(Read(immediate), "now\n");
    EXPECT_FALSE(writer.Open((testsupport::processRoot() / "no such folder" / "x.log").string(), false));
    writer.Append("still here\n");
    EXPECT_EQ(Read(immediate), "now\nstill here\n") << "a file that cannot be opened keeps the one before";
}

TEST(LogFileWriter, ALineThatWaitsGoesOutAMomentLater) {
    const fs::path path = Fresh("idle.log");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path.string(), false));
    writer.Append("alone\n");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Read(path).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Read(path), "alone\n");
}

TEST(LogFileWriter, TheCrashPathWritesWhatWaitsAndTheWriterTakesNoMore) {
    const fs::path path = Fresh("crash.log");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path.string(), false));
    writer.Append("written\n");
    writer.Flush();
    writer.Append("before the crash\n");
    CLogFileWriter::InstallForCrash(&writer);
    CLogFileWriter::WriteInstalledAtCrash();
    CLogFileWriter::InstallForCrash(nullptr);
    EXPECT_EQ(Read(path), "written\nbefore the crash\n");
    writer.WriteAtCrash();
    writer.Append("after\n");
    writer.Close();
    EXPECT_EQ(Read(path), "written\nbefore the crash\n");
}
