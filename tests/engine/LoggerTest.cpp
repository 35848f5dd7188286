// The app log: file, console and memory line formats, the size rule of the
// log file, the memory list's bounds, level gating and message cuts.

#include "engine/services/Logger.h"
#include "engine/services/ZDUtils.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Offset of the message in a memory line: 19 (time) + 1 + 9 ("[WORD...") + 5 ("] :  ").
constexpr std::size_t kMemoryPrefix = 34;

const std::regex kFileStamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
const std::regex kMemoryStamp(R"(\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2})");

fs::path LogPath(const std::string& name = "Vekmont.log") { return platform::Paths::logs() / name; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Lines of `text`, split at '\n'; the piece after the last '\n' is dropped
// (it is empty when the text ends with a line end).
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Checks the time stamp at the front and gives the rest of the line.
std::string AfterStamp(const std::string& line, const std::regex& stamp) {
    EXPECT_GE(line.size(), 19u) << line;
    if (line.size() < 19) return {};
    EXPECT_TRUE(std::regex_match(line.substr(0, 19), stamp)) << "time stamp of: " << line;
    return line.substr(19);
}

std::vector<std::string> RecentLines(int count = 5000) {
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(count, lines);
    return lines;
}

std::string MessageOf(const std::string& memoryLine) {
    return memoryLine.size() >= kMemoryPrefix ? memoryLine.substr(kMemoryPrefix) : std::string();
}

bool MemoryHasMessage(const std::string& message) {
    for (const auto& line : RecentLines()) {
        if (MessageOf(line) == message) return true;
    }
    return false;
}

}  // namespace

TEST(Logger, FileConsoleAndMemoryLinesHaveTheirExactForms) {
    CLogger& logger = CLogger::Instance();
    logger.AddFileSink(LogPath().string(), 250, true);
    logger.SetLevel(2);

    testing::internal::CaptureStdout();
    LogInfo("hello %d", 42);
    LogWarning("careful %s", "now");
    LogError("broken");
    LogDebug("hidden");
    LogWarning("%s", "====\n");
    logger.Flush();
    const std::string console = testing::internal::GetCapturedStdout();

    // Autoflush: every record is in the file when the writer returns.
    const std::vector<std::string> fileLines = SplitLines(ReadFile(LogPath()));
    const std::vector<std::string> expectedFile = {
        ": [info   ]   hello 42",
        ": [warning]   careful now",
        ": [error  ]   broken",
        ": [warning]   ====",
    };
    // The message's own line end is followed by the sink's.
    ASSERT_EQ(fileLines.size(), expectedFile.size() + 1);
    for (std::size_t i = 0; i < expectedFile.size(); ++i) {
        EXPECT_EQ(AfterStamp(fileLines[i], kFileStamp), expectedFile[i]);
    }
    EXPECT_EQ(fileLines.back(), "");

    const std::vector<std::string> consoleLines = SplitLines(console);
    const std::vector<std::string> expectedConsole = {
        ": [info   ]    hello 42",
        ": [warning]    careful now",
        ": [error  ]    broken",
        ": [warning]    ====",
    };
    ASSERT_EQ(consoleLines.size(), expectedConsole.size() + 1) << console;
    for (std::size_t i = 0; i < expectedConsole.size(); ++i) {
        EXPECT_EQ(AfterStamp(consoleLines[i], kFileStamp), expectedConsole[i]);
    }

    const std::vector<std::string> memory = RecentLines();
    const std::vector<std::string> expectedMemory = {
        " [INFO    ] :  hello 42",
        " [WARN    ] :  careful now",
        " [ERROR   ] :  broken",
        " [WARN    ] :  ====\n",
    };
    ASSERT_EQ(memory.size(), expectedMemory.size());
    for (std::size_t i = 0; i < expectedMemory.size(); ++i) {
        EXPECT_EQ(AfterStamp(memory[i], kMemoryStamp), expectedMemory[i]);
    }
}

TEST(Logger, FileOverTheLimitIsKeptAsThePreviousLogAtTheBoundary) {
    struct Case {
        const char* name;
        std::size_t existingBytes;
        bool survives;
    };
    const Case cases[] = {
        {"exactly 250 KiB survives", 256000, true},
        {"one byte over moves aside", 256001, false},
        {"small file survives", 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = LogPath(std::string(c.name) + ".log");
        const fs::path previous = CLogger::PreviousLogPath(path.string());
        const std::string old(c.existingBytes, 'x');
        WriteFile(path, old);
        WriteFile(previous, "an older generation");

        CLogger::Instance().AddFileSink(path.string(), 250, true);
        LogInfo("appended after %zu", c.existingBytes);

        const std::string content = ReadFile(path);
        const std::string line = ": [info   ]   appended after " + std::to_string(c.existingBytes) + "\n";
        if (c.survives) {
            ASSERT_EQ(content.size(), c.existingBytes + 19 + line.size());
            EXPECT_EQ(content.substr(0, c.existingBytes), old);
            EXPECT_EQ(content.substr(c.existingBytes + 19), line);
            EXPECT_EQ(ReadFile(previous), "an older generation");
        } else {
            ASSERT_EQ(content.size(), 19 + line.size());
            EXPECT_EQ(content.substr(19), line);
            EXPECT_EQ(ReadFile(previous), old) << "the whole log moved aside, replacing the older one";
        }
    }

    // A missing file is simply begun.
    const fs::path fresh = LogPath("fresh.log");
    CLogger::Instance().AddFileSink(fresh.string(), 250, true);
    LogInfo("first");
    EXPECT_EQ(ReadFile(fresh).substr(19), ": [info   ]   first\n");
}

TEST(Logger, UnopenableFileIsReportedAndLoggingGoesOn) {
    const fs::path blocker = platform::Paths::root() / "not-a-folder";
    WriteFile(blocker, "plain file");
    const fs::path path = blocker / "Vekmont.log";

    EXPECT_NO_THROW(CLogger::Instance().AddFileSink(path.string(), 250, true));
    EXPECT_NO_THROW(LogInfo("still logging"));

    EXPECT_TRUE(MemoryHasMessage("Failed to open log file '" + path.string() + "'"));
    EXPECT_TRUE(MemoryHasMessage("still logging"));
    EXPECT_EQ(ReadFile(blocker), "plain file");
}

TEST(Logger, MemoryListKeepsTheLast4096Lines) {
    for (int i = 1; i <= 4097; ++i) LogInfo("line %d", i);

    const std::vector<std::string> lines = RecentLines(10000);
    ASSERT_EQ(lines.size(), 4096u);
    EXPECT_EQ(MessageOf(lines.front()), "line 2");
    EXPECT_EQ(MessageOf(lines.back()), "line 4097");
    EXPECT_FALSE(MemoryHasMessage("line 1"));
}

TEST(Logger, GetRecentLinesGivesTheNewestOldestFirst) {
    for (int i = 1; i <= 50; ++i) LogInfo("entry %d", i);

    struct Case {
        const char* name;
        int count;
        int expectedSize;
        int firstEntry;
    };
    const Case cases[] = {
        {"more asked than held", 200, 50, 1}, {"exactly what is held", 50, 50, 1},
        {"fewer than held", 10, 10, 41},      {"none asked", 0, 0, 0},
        {"negative count", -5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = {"stale"};
        CLogger::Instance().GetRecentLines(c.count, lines);
        ASSERT_EQ(static_cast<int>(lines.size()), c.expectedSize);
        for (int i = 0; i < c.expectedSize; ++i) {
            EXPECT_EQ(MessageOf(lines[i]), "entry " + std::to_string(c.firstEntry + i));
        }
    }
}

TEST(Logger, LevelGatesDebugAndInfoButNeverTheMemoryWarnings) {
    CLogger& logger = CLogger::Instance();
    logger.AddFileSink(LogPath().string(), 250, true);

    struct Name {
        int level;
        const char* name;
    };
    for (const Name& n : {Name{1, "debug"}, Name{2, "info"}, Name{3, "warning"}, Name{4, "error"}}) {
        logger.SetLevel(n.level);
        EXPECT_EQ(logger.GetLevel(), n.level);
        EXPECT_EQ(logger.GetLevelName(), n.name);
    }

    logger.SetLevel(2);
    LogDebug("debug at info level");
    logger.SetLevel(4);
    LogInfo("info at error level");
    LogWarning("warning at error level");
    LogError("error at error level");
    logger.SetLevel(1);
    LogDebug("debug at debug level");

    const std::vector<std::string> file = SplitLines(ReadFile(LogPath()));
    ASSERT_EQ(file.size(), 2u);
    EXPECT_EQ(AfterStamp(file[0], kFileStamp), ": [error  ]   error at error level");
    EXPECT_EQ(AfterStamp(file[1], kFileStamp), ": [debug  ]   debug at debug level");

    const std::vector<std::string> memory = RecentLines();
    ASSERT_EQ(memory.size(), 3u);
    EXPECT_EQ(AfterStamp(memory[0], kMemoryStamp), " [WARN    ] :  warning at error level");
    EXPECT_EQ(AfterStamp(memory[1], kMemoryStamp), " [ERROR   ] :  error at error level");
    EXPECT_EQ(AfterStamp(memory[2], kMemoryStamp), " [DEBUG   ] :  debug at debug level");
}

TEST(Logger, WarningSearchIsCappedAndCountsOnlyWarnings) {
    EXPECT_EQ(ZDUtils::numberOfWarnings(), 0);
    for (int i = 1; i <= 5; ++i) {
        LogWarning("warning %d", i);
        for (int k = 0; k < 6; ++k) LogError("error %d.%d", i, k);
    }
    LogInfo("a line that mentions WARN");
    EXPECT_EQ(ZDUtils::numberOfWarnings(), 5);

    for (int i = 6; i <= 150; ++i) LogWarning("warning %d", i);
    EXPECT_EQ(ZDUtils::numberOfWarnings(), 101);

    std::vector<std::string> found;
    CLogger::Instance().FindRecentLines(101, 3, found);
    ASSERT_EQ(found.size(), 101u);
    EXPECT_EQ(MessageOf(found.front()), "warning 50");
    EXPECT_EQ(MessageOf(found.back()), "warning 150");

    CLogger::Instance().FindRecentLines(3, 4, found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(MessageOf(found[0]), "error 5.3");
    EXPECT_EQ(MessageOf(found[2]), "error 5.5");

    CLogger::Instance().FindRecentLines(0, 3, found);
    EXPECT_TRUE(found.empty());
}

TEST(Logger, LongMessagesAreCutAtACharacterBoundary) {
    CLogger::Instance().AddFileSink(LogPath().string(), 250, true);
    const std::string a2046(2046, 'a');
    struct Case {
        const char* name;
        int severity;  // 2 info, 3 warning, 4 error
        std::string text;
        std::string stored;
    };
    const std::string e = "\xC3\xA9";             // é, two bytes
    const std::string euro = "\xE2\x82\xAC";      // €, three bytes
    const std::string grin = "\xF0\x9F\x98\x80";  // four bytes
    const std::vector<Case> cases = {
        {"3,000-byte warning cut to 2,047", 3, std::string(3000, 'w'), std::string(2047, 'w')},
        {"3,000-byte info kept whole", 2, std::string(3000, 'i'), std::string(3000, 'i')},
        {"5,000-byte info cut to 4,095", 2, std::string(5000, 'i'), std::string(4095, 'i')},
        {"2,047-byte error kept whole", 4, std::string(2047, 'r'), std::string(2047, 'r')},
        {"two-byte character across the cut", 4, a2046 + e, a2046},
        {"three-byte character across the cut", 3, a2046 + euro + "tail", a2046},
        {"four-byte character across the cut", 3, std::string(2045, 'a') + grin, std::string(2045, 'a')},
        {"four-byte character ending at the cut", 3, std::string(2043, 'a') + grin + "b",
         std::string(2043, 'a') + grin},
        {"info with a character across 4,095", 2, std::string(4094, 'a') + e, std::string(4094, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.severity == 2) LogInfo("%s", c.text.c_str());
        if (c.severity == 3) LogWarning("%s", c.text.c_str());
        if (c.severity == 4) LogError("%s", c.text.c_str());
        const std::string stored = MessageOf(RecentLines(1).at(0));
        EXPECT_EQ(stored.size(), c.stored.size());
        EXPECT_EQ(stored, c.stored);
        EXPECT_TRUE(platform::isValidUtf8(stored));
    }
    // The file gets the same cut text.
    const std::vector<std::string> file = SplitLines(ReadFile(LogPath()));
    ASSERT_EQ(file.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string line = file[i];
        // 19 (time) + ": [" + 7 + "]   " = 33 bytes before the message.
        ASSERT_GE(line.size(), 33u);
        EXPECT_EQ(line.substr(33), cases[i].stored) << cases[i].name;
    }
}

TEST(Logger, PlainConversionsAreWrittenAsPrintfWritesThem) {
    // Formats of bare %s, %d and %% are made without vsnprintf; others with it.
    const char* volatile missing = nullptr;
    LogWarning("%d|%d|%d|%d|%s|%%|%s%s", INT_MIN, -7, 0, INT_MAX, missing, "", "end");
    LogWarning("100%% of %s", "it");
    LogWarning("%5d|%-3s|%x|%s", 42, "a", 255, "mixed");
    // A cut inside a number's digits.
    LogError("%s%d", std::string(2044, 'n').c_str(), -12345);
    LogInfo("no conversion");

    const std::vector<std::string> memory = RecentLines();
    ASSERT_EQ(memory.size(), 5u);
    EXPECT_EQ(MessageOf(memory[0]), "-2147483648|-7|0|2147483647|(null)|%|end");
    EXPECT_EQ(MessageOf(memory[1]), "100% of it");
    EXPECT_EQ(MessageOf(memory[2]), "   42|a  |ff|mixed");
    EXPECT_EQ(MessageOf(memory[3]), std::string(2044, 'n') + "-12");
    EXPECT_EQ(MessageOf(memory[4]), "no conversion");
}

TEST(Logger, SilencedConsoleIsSkippedAndWrittenAgainOnceLive) {
    CLogger& logger = CLogger::Instance();
    logger.AddFileSink(LogPath().string(), 250, true);
    logger.SetLevel(2);

    testing::internal::CaptureStdout();
    logger.SetConsoleOutput(false);
    EXPECT_FALSE(logger.IsConsoleOutputOn());
    LogWarning("while silenced");
    logger.SetConsoleOutput(false);
    LogInfo("still silenced");
    logger.SetConsoleOutput(true);
    EXPECT_TRUE(logger.IsConsoleOutputOn());
    LogWarning("live again");
    std::streambuf* const console = std::cout.rdbuf(nullptr);
    LogInfo("without a buffer");
    std::cout.rdbuf(console);
    LogInfo("with its buffer back");
    logger.Flush();
    const std::vector<std::string> consoleLines = SplitLines(testing::internal::GetCapturedStdout());

    ASSERT_EQ(consoleLines.size(), 2u);
    EXPECT_EQ(AfterStamp(consoleLines[0], kFileStamp), ": [warning]    live again");
    EXPECT_EQ(AfterStamp(consoleLines[1], kFileStamp), ": [info   ]    with its buffer back");
    // The file and the memory list miss nothing.
    EXPECT_EQ(SplitLines(ReadFile(LogPath())).size(), 5u);
    EXPECT_EQ(RecentLines().size(), 5u);
}

namespace {

// Standard output into a pipe for the test's length; what reaches its
// other end is read with a generous timeout.
class StdoutPipe {
public:
    StdoutPipe() {
        std::fflush(stdout);
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        mRead = ends[0];
        mSaved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        ::fcntl(mRead, F_SETFL, ::fcntl(mRead, F_GETFL) | O_NONBLOCK);
    }
    ~StdoutPipe() {
        std::fflush(stdout);
        ::dup2(mSaved, STDOUT_FILENO);
        ::close(mSaved);
        ::close(mRead);
    }
    // What has arrived, waiting until it holds `text` or 20 s have passed.
    std::string ReadUntil(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (mGot.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd readable{mRead, POLLIN, 0};
            if (::poll(&readable, 1, 50) <= 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(mRead, buffer, sizeof buffer);
            if (got > 0) mGot.append(buffer, static_cast<std::size_t>(got));
        }
        return mGot;
    }

private:
    int mRead = -1;
    int mSaved = -1;
    std::string mGot;
};

}  // namespace

// A burst of console lines reaches standard output in blocks (a write(2)
// every 64 KiB, where a pipe took one every 4 KiB and a terminal one every
// line), yet a line alone is there a moment later without a flush, and the
// lines keep their place among what the program itself writes there.
TEST(Logger, ConsoleLinesGoOutInBlocksAndStillAppearSoonInTheirPlace) {
    CLogger& logger = CLogger::Instance();
    logger.SetLevel(2);
    std::size_t bufferSize = 0;
    int lineBuffered = -1;
    std::string arrived;
    {
        // Checked once standard output is back, where failures are told.
        StdoutPipe out;
        std::printf("before\n");
        LogInfo("the console's first line");
        std::printf("after\n");
        bufferSize = __fbufsize(stdout);
        lineBuffered = __flbf(stdout);
        arrived = out.ReadUntil("after\n");
    }
    EXPECT_EQ(bufferSize, 64u * 1024u);
    EXPECT_EQ(lineBuffered, 0) << "flushed line by line";
    const std::size_t before = arrived.find("before\n");
    const std::size_t line = arrived.find(": [info   ]    the console's first line\n");
    const std::size_t after = arrived.find("after\n", before + 1);
    ASSERT_NE(line, std::string::npos) << "not written out without a flush: " << arrived;
    EXPECT_LT(before, line);
    EXPECT_LT(line, after);
}

TEST(Logger, ConcurrentWritersLoseNoLine) {
    CLogger::Instance().AddFileSink(LogPath().string(), 250, true);
    constexpr int kThreads = 8;
    constexpr int kPerThread = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int n = 0; n < kPerThread; ++n) {
                if (n % 2 == 0) LogInfo("t%d n%d", t, n);
                else LogWarning("t%d n%d", t, n);
            }
        });
    }
    for (auto& writer : writers) writer.join();

    const std::vector<std::string> memory = RecentLines();
    ASSERT_EQ(memory.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::vector<int> next(kThreads, 0);
    for (const auto& line : memory) {
        int t = -1, n = -1;
        ASSERT_EQ(std::sscanf(MessageOf(line).c_str(), "t%d n%d", &t, &n), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        // Each thread's lines arrive complete and in its own order.
        EXPECT_EQ(n, next[t]) << line;
        next[t] = n + 1;
    }

    std::set<std::string> fileMessages;
    for (const auto& line : SplitLines(ReadFile(LogPath()))) {
        const auto bracket = line.find("]   ");
        ASSERT_NE(bracket, std::string::npos) << line;
        fileMessages.insert(line.substr(bracket + 4));
    }
    EXPECT_EQ(fileMessages.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

// Threads the process does not wait for (a pool's) may still log while the
// process ends and takes the logger apart. A race: each end gives it a
// chance to show, so the test ends several processes.
TEST(LoggerDeathTest, ThreadsStillWritingAtTheProcesssEndFindTheLoggerWholeOrGone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int end = 0; end < 8; ++end) {
        EXPECT_EXIT(
            {
                CLogger::Instance().AddFileSink(LogPath().string(), 250, false);
                CLogger::Instance().SetConsoleOutput(false);
                constexpr int kThreads = 6;
                static std::atomic<int> started{0};
                for (int t = 0; t < kThreads; ++t) {
                    std::thread([t] {
                        started.fetch_add(1);
                        for (long n = 0;; ++n) {
                            if (n % 2 == 0) LogInfo("t%d n%ld", t, n);
                            else LogWarning("t%d n%ld", t, n);
                        }
                    }).detach();
                }
                while (started.load() < kThreads) std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));  // all of them busy writing
                std::exit(0);
            },
            testing::ExitedWithCode(0), "")
            << "end " << end;
    }
}

// The process's end waits for a writer inside the logger: its line arrives.
TEST(LoggerDeathTest, TheEndWaitsForAWriterInsideAndItsLineArrives) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);  // where the death test reads
            CLogger::Instance().SetConsoleOutput(true);
            static std::atomic<bool> parked{false};
            CLogger::ParkWritersForTests([](std::string_view message) {
                if (message != "the parked writer's line") return;
                parked.store(true);
                // Time for an end that did not wait to take the logger apart.
                while (LogEnabled(4)) std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            });
            std::thread([] { CLogger::Instance().Write(3, "the parked writer's line"); }).detach();
            while (!parked.load()) std::this_thread::yield();
            std::exit(0);
        },
        testing::ExitedWithCode(0), "\\[warning\\] +the parked writer's line");
}

TEST(Logger, AppSideWritersPassTheirTextUnchanged) {
    CLogger::Instance().SetLevel(2);
    ZDUtils::logInfo("%s has %d parts", "layout", 12);
    ZDUtils::logWarningMessage("100% sure %d %s");
    ZDUtils::logErrorMessage("failed");
    ZDUtils::logDebug("invisible %d", 1);
    ZDUtils::logDebugMessage("invisible too");
    ZDUtils::logInfoMessage(std::string(5000, 'z'));

    const std::vector<std::string> memory = RecentLines();
    ASSERT_EQ(memory.size(), 4u);
    EXPECT_EQ(AfterStamp(memory[0], kMemoryStamp), " [INFO    ] :  layout has 12 parts");
    EXPECT_EQ(AfterStamp(memory[1], kMemoryStamp), " [WARN    ] :  100% sure %d %s");
    EXPECT_EQ(AfterStamp(memory[2], kMemoryStamp), " [ERROR   ] :  failed");
    EXPECT_EQ(MessageOf(memory[3]), std::string(4095, 'z'));
}

// Tests that run one after another in a process begin each with the log as
// a new process finds it.
TEST(Logger, AResetForTheNextTestClosesTheFileAndRestoresTheStart) {
    CLogger& logger = CLogger::Instance();
    logger.AddFileSink(LogPath().string(), 250, false);
    logger.SetLevel(4);
    logger.SetConsoleOutput(false);
    LogError("before the reset");

    logger.ResetForTests();
    EXPECT_EQ(logger.GetLevel(), 2);
    EXPECT_TRUE(logger.IsConsoleOutputOn());
    EXPECT_TRUE(RecentLines().empty());
    testing::internal::CaptureStdout();
    LogInfo("after the reset");
    logger.Flush();
    const std::vector<std::string> console = SplitLines(testing::internal::GetCapturedStdout());
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(AfterStamp(console[0], kFileStamp), ": [info   ]    after the reset");
    // The gathered line was written at the close; nothing came after it.
    const std::vector<std::string> file = SplitLines(ReadFile(LogPath()));
    ASSERT_EQ(file.size(), 1u);
    EXPECT_EQ(AfterStamp(file[0], kFileStamp), ": [error  ]   before the reset");
}

TEST(Logger, DebugFlagsStartOff) {
    CDebugFlags& flags = CDebugFlags::Get();
    EXPECT_EQ(&flags, &CDebugFlags::Get());
    EXPECT_EQ(CDebugFlags::kCount, 19);
    for (int i = 0; i < CDebugFlags::kCount; ++i) EXPECT_FALSE(flags.IsOn(i)) << i;
}
