// The telemetry utilities: dates in the client's ISO 8601 form, the
// client's folder and its files, event properties, target keys and the
// dispatch helpers.

#include "tests/telemetry/TLMLogCapture.h"

#include "telemetry/core/Util/TLMDispatcherUtil.h"
#include "telemetry/core/Util/TLMUtility.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono;
using Date = TLMUtility::Date;

Date at(int y, unsigned m, unsigned d, int hh, int mm, int ss, int ms) {
    return sys_days{year{y} / m / d} + hours{hh} + minutes{mm} + seconds{ss} + milliseconds{ms};
}

}  // namespace

TEST(TLMUtility, IsoDatesInUtcWithMilliseconds) {
    EXPECT_EQ(TLMUtility::dateToISO8601(at(2024, 2, 29, 23, 59, 59, 999)), "2024-02-29T23:59:59.999Z");
    EXPECT_EQ(TLMUtility::dateToISO8601(Date{}), "1970-01-01T00:00:00.000Z");
    // Below a millisecond is cut, also before 1970, so a date never reads
    // back later than it was.
    EXPECT_EQ(TLMUtility::dateToISO8601(at(2024, 3, 5, 6, 7, 8, 9) + microseconds(999)), "2024-03-05T06:07:08.009Z");
    EXPECT_EQ(TLMUtility::dateToISO8601(Date{} - microseconds(1)), "1969-12-31T23:59:59.999Z");

    const Date date = at(1999, 12, 31, 1, 2, 3, 45);
    EXPECT_EQ(TLMUtility::dateFromISO8601(TLMUtility::dateToISO8601(date)), date);
    EXPECT_EQ(TLMUtility::dateFromISO8601("1969-07-20T20:17:40.000Z"), at(1969, 7, 20, 20, 17, 40, 0));
    for (const char* text : {"2024-02-30T00:00:00.000Z", "2023-02-29T00:00:00.000Z", "2024-13-01T00:00:00.000Z",
                             "2024-01-01T24:00:00.000Z", "2024-01-01T00:60:00.000Z", "2024-01-01T00:00:60.000Z",
                             "2024-01-01T00:00:00.000", "2024-01-01 00:00:00.000Z", "2024-01-01T00:00:00.00Z",
                             "2024-01-01T00:00:00.0000Z", "+024-01-01T00:00:00.000Z", ""}) {
        EXPECT_FALSE(TLMUtility::dateFromISO8601(text).has_value()) << text;
    }

    const double before = duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
    const double now = TLMUtility::nowInMilliseconds();
    EXPECT_GE(now, before);
    EXPECT_LT(now - before, 60'000);
}

TEST(TLMUtility, ClientFolderAndItsFiles) {
    TLMLogCapture capture;
    const auto folder = TLMUtility::telemetryDirectoryURL();
    EXPECT_EQ(folder, platform::Paths::applicationSupport() / "com.vekmont.telemetry");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // A component stays inside the folder, even with a leading "/".
    EXPECT_EQ(TLMUtility::fullURLForPathComponent("/crashes/a.bin"), folder / "crashes/a.bin");
    EXPECT_FALSE(TLMUtility::fullURLForPathComponent("").has_value());
    EXPECT_FALSE(TLMUtility::fileExistsForPathComponent(""));

    const TLMUtility::Data first{1, 2, 3};
    const auto url = TLMUtility::createFileAtPathComponent("crashes/deep/a.bin", first, true, false);
    ASSERT_EQ(url, folder / "crashes/deep/a.bin");
    EXPECT_TRUE(TLMUtility::fileExistsForPathComponent("crashes/deep/a.bin"));
    EXPECT_EQ(TLMUtility::loadDataForPathComponent("crashes/deep/a.bin"), first);
    // Without force an existing file keeps its contents; with it, it is
    // replaced, atomically or not; no data is an empty file.
    EXPECT_EQ(TLMUtility::createFileAtPathComponent("crashes/deep/a.bin", TLMUtility::Data{9}, true, false), url);
    EXPECT_EQ(TLMUtility::loadDataForPathComponent("crashes/deep/a.bin"), first);
    TLMUtility::createFileAtPathComponent("crashes/deep/a.bin", TLMUtility::Data{9}, false, true);
    EXPECT_EQ(TLMUtility::loadDataForPathComponent("crashes/deep/a.bin"), TLMUtility::Data{9});
    TLMUtility::createFileAtPathComponent("crashes/deep/a.bin", std::nullopt, true, true);
    EXPECT_EQ(TLMUtility::loadDataForPathComponent("crashes/deep/a.bin"), TLMUtility::Data{});
    EXPECT_FALSE(TLMUtility::loadDataForPathComponent("crashes/none.bin").has_value());

    EXPECT_EQ(TLMUtility::createDirectoryForPathComponent("crashes/b"), folder / "crashes/b");
    EXPECT_EQ(TLMUtility::contentsOfDirectory("crashes"),
              (std::vector<std::filesystem::path>{folder / "crashes/b", folder / "crashes/deep"}));
    EXPECT_FALSE(TLMUtility::contentsOfDirectory("").has_value());
    EXPECT_FALSE(TLMUtility::contentsOfDirectory("crashes/none").has_value());

    EXPECT_TRUE(TLMUtility::deleteItemForPathComponent("crashes"));
    EXPECT_FALSE(TLMUtility::fileExistsForPathComponent("crashes/deep/a.bin"));
    EXPECT_FALSE(TLMUtility::deleteItemForPathComponent("crashes"));
    EXPECT_FALSE(TLMUtility::deleteFileAtURL({}));

    // A file where a folder must go.
    ASSERT_TRUE(TLMUtility::createFileAtPathComponent("blocker", TLMUtility::Data{1}, false, true));
    EXPECT_FALSE(TLMUtility::createFileAtPathComponent("blocker/a.bin", TLMUtility::Data{1}, false, true));
    EXPECT_FALSE(TLMUtility::createDirectoryForPathComponent("blocker/sub"));

    std::vector<std::string> errors;
    for (const auto& line : capture.linesAt(TLMLogLevelError)) errors.push_back(line.message);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].rfind("Couldn't create directory at " + (folder / "blocker").string() + ": ", 0), 0u);
    EXPECT_EQ(errors[1], "Couldn't create new file at path " + (folder / "blocker/a.bin").string());
    EXPECT_EQ(errors[2].rfind("Couldn't create directory at " + (folder / "blocker/sub").string() + ": ", 0), 0u);
    std::vector<std::string> debug;
    for (const auto& line : capture.linesAt(TLMLogLevelDebug)) debug.push_back(line.message);
    ASSERT_EQ(debug.size(), 2u);
    EXPECT_EQ(debug[0].rfind("Couldn't get files in the directory \"crashes/none\": ", 0), 0u);
    EXPECT_EQ(debug[1], "Couldn't remove item at " + (folder / "crashes").string() + ": No such file or directory");
}

TEST(TLMUtility, PropertiesAreLimitedAndCutBetweenCharacters) {
    TLMLogCapture capture;
    const std::string a125(125, 'a');
    const std::string emoji = "\xF0\x9F\x98\x80";  // one character, two UTF-16 units
    std::map<std::string, std::string> properties{
        {"", "skipped"},
        {"exact", a125},
        {"long", a125 + "b"},
        {"pair", std::string(124, 'a') + emoji},  // 126 units: the pair is left out whole
        {"pairFits", std::string(123, 'a') + emoji},
        {"umlaut", std::string(124, 'a') + "\xC3\xA4\xC3\xA4"},
        {std::string(124, 'k') + emoji + "tail", "v"},
    };
    const auto valid = TLMUtility::validateProperties(properties, "LayoutLoaded", "Event");
    EXPECT_EQ(valid, (std::map<std::string, std::string>{
                         {"exact", a125},
                         {"long", a125},
                         {"pair", std::string(124, 'a')},
                         {"pairFits", std::string(123, 'a') + emoji},
                         {"umlaut", std::string(124, 'a') + "\xC3\xA4"},
                         {std::string(124, 'k'), "v"},
                     }));

    // 21 valid properties: the 21st stops the check; a key that cuts to one
    // already there replaces it.
    std::map<std::string, std::string> many;
    for (int i = 0; i < 21; ++i) many[std::string(1, static_cast<char>('a' + i))] = "v";
    many[std::string(125, 'A') + "1"] = "first";
    many[std::string(125, 'A') + "2"] = "second";
    const auto limited = TLMUtility::validateProperties(many, "Many", "Event");
    EXPECT_EQ(limited.size(), 20u);
    EXPECT_EQ(limited.at(std::string(125, 'A')), "second");
    EXPECT_EQ(limited.count("s"), 1u);
    EXPECT_EQ(limited.count("t"), 0u);

    std::vector<std::string> warnings;
    for (const auto& line : capture.linesAt(TLMLogLevelWarning)) warnings.push_back(line.message);
    ASSERT_EQ(warnings.size(), 8u);
    EXPECT_EQ(warnings[0], "Event 'LayoutLoaded' : a property key cannot be null or empty. Property will be skipped.");
    EXPECT_EQ(warnings[2],
              "Event 'LayoutLoaded' : property 'long' : property value cannot be longer than 125 "
              "characters. Property value will be truncated.");
    EXPECT_EQ(warnings[1], "Event 'LayoutLoaded' : property " + std::string(124, 'k') + emoji +
                               "tail : property key length cannot be longer than 125 characters. Property key will "
                               "be truncated.");
    EXPECT_EQ(warnings[7], "Event 'Many' : properties cannot contain more than 20 items. Skipping other properties.");
}

TEST(TLMUtility, TargetKeysOfTokens) {
    EXPECT_EQ(TLMUtility::targetKeyFromTargetToken("abc123-def-456"), "abc123");
    EXPECT_EQ(TLMUtility::iKeyFromTargetToken("abc123-def-456"), "o:abc123");
    EXPECT_EQ(TLMUtility::targetKeyFromTargetToken("whole"), "whole");
    EXPECT_FALSE(TLMUtility::targetKeyFromTargetToken("-leading").has_value());
    EXPECT_FALSE(TLMUtility::iKeyFromTargetToken("-leading").has_value());
    EXPECT_FALSE(TLMUtility::iKeyFromTargetToken("").has_value());
}

TEST(TLMDispatcherUtil, MainThreadBlocksRunAtOnceOrOnTheMainLoop) {
    // The test runs on the main thread: the block runs before the call returns.
    int ran = 0;
    TLMDispatcherUtil::performBlockOnMainThread([&ran] { ++ran; });
    EXPECT_EQ(ran, 1);

    // From another thread it waits for the main loop, and runs there.
    std::atomic<int> posted{0};
    std::thread::id ranOn;
    std::thread([&] {
        TLMDispatcherUtil::performBlockOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            ++posted;
        });
    }).join();
    EXPECT_EQ(posted.load(), 0);
    EXPECT_TRUE(platform::RunLoop::current()->runUntil([&] { return posted.load() == 1; }, seconds(5)));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(TLMDispatcherUtil, SyncWithTimeoutReturnsAtTheLimitAndTheBlockStillRuns) {
    platform::DispatchQueue queue("com.vekmont.test.dispatcher");
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    const auto start = steady_clock::now();
    TLMDispatcherUtil::dispatchSyncWithTimeout(0.05, queue, [&] {
        while (!release) std::this_thread::sleep_for(milliseconds(1));
        finished = true;
    });
    EXPECT_GE(steady_clock::now() - start, milliseconds(50));
    EXPECT_FALSE(finished.load());
    release = true;
    queue.sync([] {});
    EXPECT_TRUE(finished.load());

    // A quick block: the wait ends with it, long before the limit.
    int ran = 0;
    TLMDispatcherUtil::dispatchSyncWithTimeout(30.0, queue, [&ran] { ran = 1; });
    EXPECT_EQ(ran, 1);
}
