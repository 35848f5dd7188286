#include "engine/services/PerformanceCounters.h"

#include "engine/services/Logger.h"
#include "engine/services/ServiceLocator.h"

#include "platform/foundation/Paths.h"

#include "tests/support/LogWatch.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

using testsupport::RecentMessages;

// The service the app side finds, registered on first need like the
// start-up does (never deleted).
PerformanceCountersServiceBase& AppService() {
    if (QLPerformanceCounters::performanceService() == nullptr)
        CServiceLocator::Instance().RegisterService(new QLPerformanceCountersService());
    PerformanceCountersServiceBase* service = QLPerformanceCounters::performanceService();
    EXPECT_NE(service, nullptr);
    return *service;
}

std::vector<std::string> TempFolderEntries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(platform::Paths::tmp())) names.push_back(entry.path().filename());
    return names;
}

}  // namespace

TEST(PerformanceCounters, TimeSpanTextPadsMillisecondsAndSplitsMinutes) {
    struct Case {
        const char* name;
        std::int32_t milliseconds;
        const char* expected;
    };
    const Case cases[] = {
        {"seconds with milliseconds", 1234, " 1.234s"},
        {"few milliseconds keep three digits", 5, " 0.005s"},
        {"exactly one minute stays in seconds", 60000, "60.000s"},
        {"one millisecond over a minute", 60001, "1m  0.001s"},
        {"minute, second and five milliseconds", 61005, "1m  1.005s"},
        {"ten minutes and more", 754321, "12m 34.321s"},
        {"zero", 0, " 0.000s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTimeSpanStatisticsCounter(c.milliseconds).ToString(), c.expected) << c.name;
    }
    EXPECT_EQ(CIntStatisticsCounter(42).ToString(), "42");
    EXPECT_EQ(CIntStatisticsCounter(-7).ToString(), "-7");
}

TEST(PerformanceCounters, CountersCompareAndAddByIntValue) {
    CIntStatisticsCounter a(5);
    CTimeSpanStatisticsCounter b(7);
    EXPECT_TRUE(a.IsLessThan(b));
    EXPECT_FALSE(b.IsLessThan(a));
    EXPECT_TRUE(b.IsGreaterThan(a));
    EXPECT_FALSE(a.IsGreaterThan(CIntStatisticsCounter(5)));
    a.Add(b);
    EXPECT_EQ(a.GetIntValue(), 12);
    EXPECT_DOUBLE_EQ(a.GetDoubleValue(), 12.0);
    a.Assign(CIntStatisticsCounter(-3));
    EXPECT_EQ(a.GetIntValue(), -3);

    // Sums saturate instead of wrapping round.
    CIntStatisticsCounter big(std::numeric_limits<std::int32_t>::max() - 1);
    big.Add(CIntStatisticsCounter(10));
    EXPECT_EQ(big.GetIntValue(), std::numeric_limits<std::int32_t>::max());
    CIntStatisticsCounter small(std::numeric_limits<std::int32_t>::min() + 1);
    small.Add(CIntStatisticsCounter(-10));
    EXPECT_EQ(small.GetIntValue(), std::numeric_limits<std::int32_t>::min());
}

TEST(PerformanceCounters, SeriesKeepsOrderExtremesAndTotals) {
    CStatisticsCounterSeries series("Draw");
    EXPECT_EQ(series.GetLargest(), nullptr);
    EXPECT_EQ(series.GetSmallest(), nullptr);
    EXPECT_DOUBLE_EQ(series.GetAverage(), 0.0);

    for (int ms : {10, 30, 20}) series.AddSample(std::make_unique<CTimeSpanStatisticsCounter>(ms));
    ASSERT_EQ(series.GetCount(), 3u);
    EXPECT_EQ(series.GetSample(0)->GetIntValue(), 10);
    EXPECT_EQ(series.GetSample(1)->GetIntValue(), 30);
    EXPECT_EQ(series.GetSample(2)->GetIntValue(), 20);
    EXPECT_EQ(series.GetLargest()->GetIntValue(), 30);
    EXPECT_EQ(series.GetSmallest()->GetIntValue(), 10);
    CIntStatisticsCounter total(999);
    series.GetTotal(total);
    EXPECT_EQ(total.GetIntValue(), 60);
    EXPECT_DOUBLE_EQ(series.GetAverage(), 20.0);

    // Ties keep the earlier sample.
    CStatisticsCounterSeries ties("Ties");
    ties.AddSample(std::make_unique<CTimeSpanStatisticsCounter>(5));
    ties.AddSample(std::make_unique<CTimeSpanStatisticsCounter>(5));
    EXPECT_EQ(ties.GetLargest(), ties.GetSample(0));
    EXPECT_EQ(ties.GetSmallest(), ties.GetSample(0));
}

TEST(PerformanceCounters, DumpWritesHeaderAndOneLinePerNameInOrder) {
    CLogger::Instance().SetLevel(2);
    QLPerformanceCountersService service;
    EXPECT_EQ(service.GetServiceName(), "PerformanceCountersService");
    EXPECT_FALSE(service.IsEnabled());
    service.Enable();
    EXPECT_TRUE(service.IsEnabled());
    service.AddToCounter("LoadLayout", 12);
    for (int ms : {10, 30, 20}) service.AddToCounter("DrawLayoutView", ms);
    service.AddLibraryLoadTime(7);
    service.AddToCounter(nullptr, 3);  // ignored

    service.DumpCounters();
    const std::vector<std::string> expected = {
        "==  Statistic Counters  ==",
        " * DrawLayoutView [3\u2A09] (60ms):  30ms > 20.0ms > 10ms",
        " * LibraryLoadTime :  7ms",
        " * LoadLayout :  12ms",
    };
    EXPECT_EQ(RecentMessages(4), expected);
}

TEST(PerformanceCounters, CsvHasExactBytesAndReplacesTheFile) {
    QLPerformanceCountersService service;
    service.Enable();
    service.AddToCounter("LoadLayout", 12);
    for (int ms : {10, 30, 21}) service.AddToCounter("DrawLayoutView", ms);
    service.Disable();
    service.AddToCounter("LoadLayout", 1000);  // dropped while disabled

    const fs::path path = testsupport::processRoot() / "counters.csv";
    {
        std::ofstream(path) << "old contents that are longer than the table will ever be "
                               ".................................................................\n";
    }
    ASSERT_TRUE(service.WriteToCsv(path.string()));
    EXPECT_EQ(ReadFile(path),
              "Name,Calls,Total (ms),Average (ms)\n"
              "DrawLayoutView,3\u00D7,61,20.3\n"
              "LoadLayout,1\u00D7,12,12.0\n");
}

TEST(PerformanceCounters, CsvReportsOpenAndWriteFailures) {
    QLPerformanceCountersService service;
    EXPECT_FALSE(service.WriteToCsv((testsupport::processRoot() / "missing-folder" / "c.csv").string()));
    EXPECT_FALSE(service.WriteToCsv(testsupport::processRoot().string()));  // a folder
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(service.WriteToCsv("/dev/full"));  // no space left
    }
}

TEST(PerformanceCounters, AddsFromManyThreadsAreAllCounted) {
    QLPerformanceCountersService service;
    service.Enable();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&service] {
            for (int i = 0; i < 250; ++i) service.AddToCounter("Concurrent", 1);
        });
    }
    for (auto& thread : threads) thread.join();
    const fs::path path = testsupport::processRoot() / "concurrent.csv";
    ASSERT_TRUE(service.WriteToCsv(path.string()));
    EXPECT_EQ(ReadFile(path), "Name,Calls,Total (ms),Average (ms)\nConcurrent,1000\u00D7,1000,1.0\n");
}

TEST(PerformanceCounters, StopwatchStopTwiceMeasuresUpToEachStop) {
    CStopwatch watch;
    watch.Start();
    EXPECT_TRUE(watch.IsRunning());
    const double running = watch.ElapsedMilliseconds();
    const double first = watch.Stop();
    EXPECT_FALSE(watch.IsRunning());
    EXPECT_GE(first, running);
    EXPECT_GE(first, 0.0);
    // Stopped: the elapsed time no longer moves.
    EXPECT_EQ(watch.ElapsedMilliseconds(), first);
    const double second = watch.Stop();
    EXPECT_GE(second, first);
    EXPECT_EQ(watch.ElapsedMilliseconds(), second);
    watch.Start();
    EXPECT_LE(watch.ElapsedMilliseconds(), watch.Stop());
}

TEST(PerformanceCounters, AppSideFindsServiceOnlyOnceRegistered) {
    if (QLPerformanceCounters::performanceService() != nullptr)
        GTEST_SKIP() << "a service is registered already in this process";
    // Nothing registered: callers get null and nothing breaks.
    QLPerformanceCounters::addToCounter("LoadLayout", 3.0);
    QLPerformanceCounters::dumpCounters();
    EXPECT_FALSE(QLPerformanceCounters::writeToCsv((testsupport::processRoot() / "x.csv").string()));
    EXPECT_EQ(QLPerformanceCounters::getCountersAsStrings(), std::nullopt);

    auto* registered = new QLPerformanceCountersService();
    CServiceLocator::Instance().RegisterService(registered);
    EXPECT_EQ(QLPerformanceCounters::performanceService(), registered);
}

TEST(PerformanceCounters, AppSideRoundsHalvesAwayFromZero) {
    PerformanceCountersServiceBase& service = AppService();
    service.Enable();
    QLPerformanceCounters::addToCounter("RoundUp", 12.5);
    QLPerformanceCounters::addToCounter("RoundDown", 12.4);
    QLPerformanceCounters::addToCounter("RoundNegative", -2.5);
    QLPerformanceCounters::addToCounter("NotANumber", std::numeric_limits<double>::quiet_NaN());

    const auto before = TempFolderEntries();
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (std::vector<std::string>{"Name,Calls,Total (ms),Average (ms)", "RoundDown,1\u00D7,12,12.0",
                                                "RoundNegative,1\u00D7,-3,-3.0", "RoundUp,1\u00D7,13,13.0"}));
    // The temporary table does not stay behind.
    EXPECT_EQ(TempFolderEntries(), before);
    service.Disable();
}

TEST(PerformanceCounters, AppSideDisabledGivesHeaderOnly) {
    // Each test normally runs in a process of its own, where the service
    // starts empty; run together with others, it only must not grow.
    const bool fresh = QLPerformanceCounters::performanceService() == nullptr;
    PerformanceCountersServiceBase& service = AppService();
    service.Disable();
    const auto before = QLPerformanceCounters::getCountersAsStrings();
    QLPerformanceCounters::addToCounter("LoadLayout", 40.0);
    service.AddToCounter("LoadLayout", 40);
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines, before);
    if (fresh) {
        EXPECT_EQ(*lines, std::vector<std::string>{"Name,Calls,Total (ms),Average (ms)"});
    }
}

TEST(PerformanceCounters, AppSideUnwritableTableGivesNothing) {
    AppService();
    // A root whose "tmp" is a plain file: the table cannot be created.
    const fs::path blocked = testsupport::processRoot() / "blocked-root";
    fs::create_directories(blocked);
    { std::ofstream(blocked / "tmp") << "not a folder"; }
    platform::Paths::setRoot(blocked);
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    platform::Paths::setRoot(testsupport::processRoot());
    EXPECT_EQ(lines, std::nullopt);
}
