#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUncaughtCXXExceptionHandlerManager.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "crashes/TelemetryCrashes/TLMCrashesDelegate.h"
#include "crashes/reporter/setup/TLCrashReporter.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "telemetry/Internals/Channel/TLMSenderLock.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMEncrypter.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "tests/crashes/support/CrashReportFiles.h"
#include "tests/crashes/support/SentLogs.h"
#include "tests/support/RunProgram.h"
#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"
#include "tests/telemetry/support/RawDatabase.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

namespace fs = std::filesystem;

using crashtest::sentLogs;
using crashtest::text;

namespace {

const char* const kAppSecret = "3f0c21d7-9a4e-4b6b-8e15-2c90f4a6d7e3";

// The client sends to the test server on a virtual clock, with the links up.
struct Rig {
    Rig() {
        server.start();
        TLMTelemetry::setLogUrl(server.baseUrl());
    }
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    testsupport::ScopedTestLinks links;
    testsupport::IngestionTestServer server;
};

void startClient() {
    TLMTelemetry::start(kAppSecret, {[]() -> TLMServiceAbstract& { return TLMAnalytics::sharedInstance(); },
                                     []() -> TLMServiceAbstract& { return TLMCrashes::sharedInstance(); }});
}

// The app's side: an "App.log" attachment (and any extra) with every report.
class AttachingDelegate : public TLMCrashesDelegate {
public:
    std::vector<std::shared_ptr<TLMErrorAttachmentLog>> attachmentsWithCrashes(TLMCrashes&,
                                                                               const TLMErrorReport&) override {
        std::vector<std::shared_ptr<TLMErrorAttachmentLog>> attachments{
            TLMErrorAttachmentLog::attachmentWithText(std::string("line 1\nline 2\n"), std::string("App.log"))};
        for (const auto& extra : extras) attachments.push_back(extra);
        return attachments;
    }
    void crashesWillSendErrorReport(TLMCrashes&, const TLMErrorReport& report) override {
        if (platform::isMainThread()) events.push_back("will " + report.incidentIdentifier().value_or(""));
    }
    void crashesDidSucceedSendingErrorReport(TLMCrashes&, const TLMErrorReport& report) override {
        if (platform::isMainThread()) events.push_back("sent " + report.incidentIdentifier().value_or(""));
    }
    std::vector<std::shared_ptr<TLMErrorAttachmentLog>> extras;
    std::vector<std::string> events;  // main thread only
};

fs::path reporterDirectory() {
    return TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).crashReportDirectory();
}

void writeFile(const fs::path& path, const crashtest::Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

crashtest::Bytes reportWithUuidByte(std::uint8_t first) {
    crashtest::FullReport full;
    full.uuidBytes[0] = first;
    full.reportInfo.uuid.data = full.uuidBytes.data();
    return full.file();
}

// Stored reports as a crash of an earlier launch left them.
void storeReports(std::initializer_list<std::uint8_t> uuidBytes) {
    const fs::path directory = *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir());
    for (const std::uint8_t byte : uuidBytes)
        writeFile(directory / ("report-" + std::to_string(byte)), reportWithUuidByte(byte));
}

// The device record of the crashes' run, as that run's history kept it.
void recordDeviceOfEarlierRun(std::shared_ptr<TLMDevice> device) {
    TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, TLMDeviceTracker::kHistoryLimit)
        .setCurrent(std::make_shared<TLMDeviceHistoryInfo>(
            std::chrono::system_clock::time_point(std::chrono::seconds(1'699'999'000)), std::move(device)));
}

std::set<std::string> sentIds(const testsupport::IngestionTestServer& server, const std::string& type,
                              const std::string& key) {
    std::set<std::string> ids;
    for (const auto& log : sentLogs(server, type)) ids.insert(text(log, key));
    return ids;
}

bool logged(TLMLogCapture& capture, const std::string& part) {
    for (const auto& line : capture.lines()) {
        if (line.message.find(part) != std::string::npos) return true;
    }
    return false;
}

bool processStoredReports(Rig& rig) {
    rig.clock->advance(std::chrono::seconds(1));
    return TLMCrashes::sharedInstance().waitForProcessing(std::chrono::seconds(10));
}

}  // namespace

#ifdef VEKMONT_CRASH_HELPER_WITH_FP
namespace {

std::vector<fs::path> filesIn(const fs::path& directory) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) files.push_back(entry.path());
    return files;
}

}  // namespace

TEST(CrashesService, ACrashIsSentAtTheNextStartWithTheLogAndTheLogsInFlight) {
    Rig rig;
    const testsupport::tProgramRun run =
        testsupport::RunProgram(VEKMONT_CRASH_HELPER_WITH_FP, {"service-inflight-segv", rig.server.baseUrl()});
    ASSERT_EQ(run.status, -1) << run.err;
    const long crashedPid = std::stol(run.out);
    ASSERT_EQ(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().size(), 1u);
    // The events held at the crash were written, the last with its token.
    const fs::path buffer = *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::logBufferDir());
    const std::string token = testsupport::ReadWholeFile((buffer / "3.targettoken").string());
    EXPECT_EQ(TLMEncrypter().decryptString(token), std::optional<std::string>("inflightkey-token"));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(fs::exists(buffer / (std::to_string(i) + ".targettoken")));
    TLMLogCapture capture;

    auto appDelegate = std::make_shared<AttachingDelegate>();
    TLMCrashes::setDelegate(appDelegate);
    startClient();
    EXPECT_TRUE(TLMCrashes::hasCrashedInLastSession());
    const auto lastReport = TLMCrashes::lastSessionCrashReport();
    ASSERT_NE(lastReport, nullptr);
    ASSERT_TRUE(lastReport->incidentIdentifier());
    EXPECT_EQ(lastReport->signal(), std::optional<std::string>("SIGSEGV"));
    EXPECT_TRUE(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().empty());
    const auto stored = TLMCrashes::sharedInstance().persistedCrashReports();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].filename().string(), *lastReport->incidentIdentifier());

    // The events held at the crash wait on the buffer's own unit (the one for
    // a target only goes to the collector); the token was taken in and its
    // file removed.
    EXPECT_EQ(testsupport::storedLogs(*TLMTelemetry::sharedInstance().channelGroup(), "CrashesBuffer").size(), 3u);
    for (const fs::path& file : filesIn(buffer)) EXPECT_EQ(file.extension(), ".tlcrasheslogbuffer") << file;
    bool tokenRefused = false;
    for (const auto& line : capture.lines()) tokenRefused |= line.message == "Failed to decrypt the target token.";
    EXPECT_FALSE(tokenRefused);

    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] {
        return sentLogs(rig.server, "appleError").size() == 1 && sentLogs(rig.server, "errorAttachment").size() == 1 &&
               sentLogs(rig.server, "event").size() == 3;
    }));
    const auto error = sentLogs(rig.server, "appleError")[0];
    EXPECT_EQ(text(error, "id"), *lastReport->incidentIdentifier());
    EXPECT_EQ(error.at("fatal"), platform::Value(true));
    EXPECT_EQ(text(error, "osExceptionType"), "SIGSEGV");
    EXPECT_EQ(error.at("processId"), platform::Value(static_cast<std::int64_t>(crashedPid)));
    ASSERT_TRUE(error.at("threads").asArray());
    EXPECT_FALSE(error.at("threads").asArray()->empty());
    ASSERT_TRUE(error.at("binaries").asArray());
    EXPECT_FALSE(error.at("binaries").asArray()->empty());
    const auto attachment = sentLogs(rig.server, "errorAttachment")[0];
    EXPECT_EQ(text(attachment, "fileName"), "App.log");
    EXPECT_EQ(text(attachment, "errorId"), text(error, "id"));
    std::vector<std::string> names;
    for (const auto& event : sentLogs(rig.server, "event")) names.push_back(text(event, "name"));
    EXPECT_EQ(names, (std::vector<std::string>{"InFlight0", "InFlight1", "InFlight2"}));

    // The report leaves the folder once its log is stored; the buffer is empty.
    EXPECT_TRUE(testsupport::eventually([] { return TLMCrashes::sharedInstance().persistedCrashReports().empty(); }));
    for (const fs::path& file : filesIn(buffer)) EXPECT_EQ(fs::file_size(file), 0u) << file;
}

TEST(CrashesService, AKilledProcessLeavesNoReport) {
    Rig rig;
    const testsupport::tProgramRun run =
        testsupport::RunProgram(VEKMONT_CRASH_HELPER_WITH_FP, {"service-kill", rig.server.baseUrl()});
    ASSERT_EQ(run.status, -1) << run.err;
    startClient();
    EXPECT_FALSE(TLMCrashes::hasCrashedInLastSession());
    EXPECT_EQ(TLMCrashes::lastSessionCrashReport(), nullptr);
    EXPECT_TRUE(TLMCrashes::sharedInstance().persistedCrashReports().empty());
}

#endif

TEST(CrashesService, EveryPendingReportIsTakenInUnderItsOwnName) {
    Rig rig;
    const fs::path pending = reporterDirectory();
    // Two crashes in the same second, then a damaged third report.
    writeFile(pending / "live_report.tlcrash", reportWithUuidByte(0x11));
    writeFile(pending / "live_report.1.tlcrash", reportWithUuidByte(0x22));
    writeFile(pending / "live_report.2.tlcrash", {'t', 'l', 'c', 'r', 'a', 's', 'h', 1, 0x0A, 0x05});
    TLMLogCapture capture;
    startClient();

    EXPECT_TRUE(TLMCrashes::hasCrashedInLastSession());
    EXPECT_TRUE(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().empty());
    std::vector<std::string> names;
    for (const fs::path& file : TLMCrashes::sharedInstance().persistedCrashReports()) {
        names.push_back(file.filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"11A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF",
                                               "22A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"}));
    // The last one read whole is the last session's.
    ASSERT_NE(TLMCrashes::lastSessionCrashReport(), nullptr);
    EXPECT_EQ(TLMCrashes::lastSessionCrashReport()->incidentIdentifier(),
              std::optional<std::string>("22A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"));
    bool damagedLogged = false;
    for (const auto& line : capture.lines()) {
        damagedLogged |= line.message.rfind("Couldn't parse crash report: ", 0) == 0;
    }
    EXPECT_TRUE(damagedLogged);
    EXPECT_FALSE(TLMUtility::fileExistsForPathComponent(TLMCrashesUtil::crashesDir() + "/TLCrashes.analyzer"));
}

TEST(CrashesService, APendingReportStaysWhenItsCopyCannotBeWritten) {
    Rig rig;
    writeFile(reporterDirectory() / "live_report.tlcrash", reportWithUuidByte(0x71));
    // A file where the crashes folder should be: nothing can be stored in it.
    writeFile(*TLMUtility::fullURLForPathComponent("crashes"), {'x'});
    startClient();
    EXPECT_TRUE(TLMCrashes::hasCrashedInLastSession());
    EXPECT_EQ(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().size(), 1u);
}

TEST(CrashesService, AReportPendingAtAStartWithADamagedLogDatabaseIsSent) {
    Rig rig;
    storeReports({0xA1});
    // The earlier run's log database with a page of its logs zeroed: set-up
    // reads nothing of it, but every save reaches it.
    fs::path database;
    {
        TLMLogDBStorage storage;
        database = storage.dbFileURL();
        ASSERT_TRUE(storage.saveLog(testsupport::makeEvent("Earlier"), "Analytics", TLMFlagsNormal));
        // And its sender lock, made on the new home: a lock file missing
        // beside a database would hold the start's sending back.
        const TLMSenderLock senderLock(TLMSenderLock::pathFor(database), true);
    }
    rawdb::ZeroPage(database, rawdb::RootPage(database, "logs"));
    TLMLogCapture capture;
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] {
        return sentIds(rig.server, "appleError", "id") == std::set<std::string>{"A1A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"};
    })) << sentLogs(rig.server, "appleError").size();
    EXPECT_TRUE(testsupport::eventually([] { return TLMCrashes::sharedInstance().persistedCrashReports().empty(); }));
    EXPECT_TRUE(logged(capture, "The \"Logs.sqlite\" database is damaged"));
}

TEST(CrashesService, AnUnknownAnswerDeletesTheReportsUnsent) {
    Rig rig;
    storeReports({0x31, 0x32});
    // A stored file that is no report is logged and removed, not asked about.
    const fs::path junk = *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir()) / "junk";
    writeFile(junk, {'n', 'o', 'p', 'e'});
    std::atomic<int> asked{0};
    TLMCrashes::setUserConfirmationHandler([&](const TLMCrashes::Reports& reports) {
        asked = static_cast<int>(reports.size());
        return true;
    });
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    // The question is asked on the main thread.
    ASSERT_TRUE(platform::RunLoop::main()->runUntil([&] { return asked.load() == 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(TLMCrashes::sharedInstance().unprocessedCrashReports().size(), 2u);
    EXPECT_FALSE(fs::exists(junk));

    TLMLogCapture capture;
    TLMCrashes::notifyWithUserConfirmation(5);
    EXPECT_TRUE(TLMCrashes::sharedInstance().persistedCrashReports().empty());
    EXPECT_TRUE(TLMCrashes::sharedInstance().unprocessedCrashReports().empty());
    bool logged = false;
    for (const auto& line : capture.lines()) logged |= line.level == TLMLogLevelError && line.tag == "TelemetryCrashes";
    EXPECT_TRUE(logged);
    // A report sent would have been handed to the channel by now; once the
    // clock has passed its interval and the sending queues are drained, it
    // would be on the wire or at the server.
    const auto group = TLMTelemetry::sharedInstance().channelGroup();
    group->logsDispatchQueue()->sync([] {});  // stored, its flush timer running
    ASSERT_TRUE(testsupport::eventually([&] { return testsupport::callsOnTheWire(*group->httpClient()) == 0; }));
    rig.clock->advance(std::chrono::seconds(2));
    ASSERT_TRUE(testsupport::drainSending(*group));
    EXPECT_EQ(testsupport::callsOnTheWire(*group->httpClient()), 0u);
    EXPECT_TRUE(sentLogs(rig.server, "appleError").empty());
}

TEST(CrashesService, AlwaysSendIsRememberedAndOversizedAttachmentsAreDropped) {
    Rig rig;
    storeReports({0x41});
    auto appDelegate = std::make_shared<AttachingDelegate>();
    appDelegate->extras.push_back(TLMErrorAttachmentLog::attachmentWithBinary(
        TLMErrorAttachmentLog::Data(TLMCrashes::kMaxAttachmentSize + 1, 0x5A), std::string("big.bin"),
        std::string("application/octet-stream")));
    TLMCrashes::setDelegate(appDelegate);
    TLMCrashes::setUserConfirmationHandler([](const TLMCrashes::Reports&) { return true; });
    TLMLogCapture capture;
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(
        testsupport::eventually([] { return TLMCrashes::sharedInstance().unprocessedCrashReports().size() == 1; }));

    TLMCrashes::notifyWithUserConfirmation(TLMUserConfirmationAlways);
    EXPECT_TRUE(TLMTelemetryUserDefaults::shared().boolForKey(TLMCrashes::kUserConfirmationKey, false));
    ASSERT_TRUE(testsupport::eventually([&] {
        return sentLogs(rig.server, "appleError").size() == 1 && sentLogs(rig.server, "errorAttachment").size() == 1;
    }));
    EXPECT_EQ(text(sentLogs(rig.server, "errorAttachment")[0], "fileName"), "App.log");
    // The app hears of the crash log's transmission on the main thread, and
    // of nothing else.
    const std::string id = text(sentLogs(rig.server, "appleError")[0], "id");
    EXPECT_TRUE(
        platform::RunLoop::main()->runUntil([&] { return appDelegate->events.size() >= 2; }, std::chrono::seconds(10)));
    EXPECT_EQ(appDelegate->events, (std::vector<std::string>{"will " + id, "sent " + id}));
    EXPECT_TRUE(testsupport::eventually([] { return TLMCrashes::sharedInstance().persistedCrashReports().empty(); }));
    bool dropped = false;
    for (const auto& line : capture.lines()) {
        dropped |=
            line.message == "Discarding attachment with size above 7340032 bytes: size=7340033, fileName=big.bin.";
    }
    EXPECT_TRUE(dropped);
}

TEST(CrashesService, ACrashWhileDisabledIsPurgedAndADamagedBufferFileIsEmptied) {
    Rig rig;
    const fs::path damaged =
        *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::logBufferDir()) / "7.tlcrasheslogbuffer";
    writeFile(damaged, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'});
    TLMLogCapture capture;
    startClient();
    EXPECT_EQ(fs::file_size(damaged), 0u);
    bool logged = false;
    for (const auto& line : capture.lines()) logged |= line.message.rfind("Deserialization failed for log: ", 0) == 0;
    EXPECT_TRUE(logged);

    TLMCrashes::setEnabled(false);
    writeFile(reporterDirectory() / "live_report.tlcrash", reportWithUuidByte(0x51));
    TLMCrashes::setEnabled(true);
    EXPECT_FALSE(TLMCrashes::hasCrashedInLastSession());
    EXPECT_TRUE(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().empty());
    EXPECT_TRUE(TLMCrashes::sharedInstance().persistedCrashReports().empty());
}

TEST(CrashesService, HandledErrorsGoOutWithTheirAttachments) {
    Rig rig;
    EXPECT_EQ(TLMCrashes::trackError(platform::Error("VKMTest", 3)), std::nullopt);
    startClient();
    const auto first =
        TLMCrashes::trackError(platform::Error("VKMTest", 3), {{"Layout", "42"}},
                               {TLMErrorAttachmentLog::attachmentWithText(std::string("x"), std::string("note.txt"))});
    const auto second = TLMCrashes::trackError(platform::Error("VKMTest", 4));
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    ASSERT_TRUE(testsupport::eventually([&] {
        return sentLogs(rig.server, "handledError").size() == 2 && sentLogs(rig.server, "errorAttachment").size() == 1;
    }));
    EXPECT_EQ(text(sentLogs(rig.server, "errorAttachment")[0], "errorId"), *first);
    TLMCrashes::setEnabled(false);
    EXPECT_EQ(TLMCrashes::trackError(platform::Error("VKMTest", 5)), std::nullopt);
}

TEST(CrashesService, TheQueuesThreadsTakeSignalsOnStacksOfTheirOwn) {
    Rig rig;
    startClient();
    const auto signalStack = [] {
        stack_t stack{};
        sigaltstack(nullptr, &stack);
        return stack;
    };
    platform::DispatchQueue queue("com.vekmont.test.signalstack");
    stack_t first{};
    queue.sync([&] { first = signalStack(); });
    EXPECT_EQ(first.ss_flags & SS_DISABLE, 0);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer gives every thread a smaller one of its own, which is kept.
    EXPECT_GE(first.ss_size, 64u * 1024);
#endif
    stack_t second{};
    platform::DispatchQueue other("com.vekmont.test.signalstack2");
    other.sync([&] { second = signalStack(); });
    EXPECT_NE(first.ss_sp, second.ss_sp);
}

TEST(CrashesService, AMemoryWarningIsReportedByTheNextLaunchOnly) {
    Rig rig;
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(true), TLMCrashes::kMemoryWarningKey);
    startClient();
    EXPECT_TRUE(TLMCrashes::hasReceivedMemoryWarningInLastSession());
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().objectForKey(TLMCrashes::kMemoryWarningKey));

    platform::NotificationCenter::defaultCenter().postNotificationName(
        "UIApplicationDidReceiveMemoryWarningNotification", nullptr);
    EXPECT_TRUE(TLMTelemetryUserDefaults::shared().boolForKey(TLMCrashes::kMemoryWarningKey, false));
}

TEST(CrashesService, AReportStaysOnDiskUntilItsLogIsStored) {
    Rig rig;
    storeReports({0x61});
    TLMCrashes::setUserConfirmationHandler([](const TLMCrashes::Reports&) { return true; });
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(platform::RunLoop::main()->runUntil(
        [] { return TLMCrashes::sharedInstance().unprocessedCrashReports().size() == 1; }, std::chrono::seconds(10)));

    // A unit that drops what it is given: the log never reaches the database.
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    group->channelUnitForGroupId("Crashes")->setEnabled(false, false);
    TLMCrashes::notifyWithUserConfirmation(TLMUserConfirmationSend);
    group->logsDispatchQueue()->sync([] {});
    EXPECT_EQ(TLMCrashes::sharedInstance().persistedCrashReports().size(), 1u);
    EXPECT_TRUE(testsupport::storedLogs(*group, "Crashes").empty());
}

#ifdef VEKMONT_CRASH_HELPER_WITH_FP

TEST(CrashesService, ReportsWithTextThatIsNotUtf8AreSentWithReplacementCharacters) {
    Rig rig;
    // An uncaught filesystem error about a Latin-1 path, then a program
    // started from a folder whose name is Latin-1.
    testsupport::tProgramRun run =
        testsupport::RunProgram(VEKMONT_CRASH_HELPER_WITH_FP, {"service-cxx-latin1", rig.server.baseUrl()});
    ASSERT_EQ(run.status, -1) << run.err;
    const fs::path folder = platform::Paths::root() / "Caf\xE9";
    fs::create_directories(folder);
    const fs::path program = folder / "crash_helper";
    fs::copy_file(VEKMONT_CRASH_HELPER_WITH_FP, program);
    // The copy finds the same resources, so it keeps its reports where the
    // program does.
    run = testsupport::RunProgram(program.string(), {"service-segv", rig.server.baseUrl()},
                                  {"VEKMONT_RESOURCES=" + platform::Bundle::main()->resourcesPath().string()});
    ASSERT_EQ(run.status, -1) << run.err;

    auto appDelegate = std::make_shared<AttachingDelegate>();
    TLMCrashes::setDelegate(appDelegate);
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] {
        return sentLogs(rig.server, "appleError").size() == 2 && sentLogs(rig.server, "errorAttachment").size() == 2;
    }));
    const std::string mended = "Caf\xEF\xBF\xBD";
    const std::string mendedProgram = (platform::Paths::root() / mended / "crash_helper").string();
    bool exceptionSeen = false;
    bool folderSeen = false;
    for (const auto& log : sentLogs(rig.server, "appleError")) {
        if (text(log, "osExceptionType") == "SIGABRT") {
            exceptionSeen = true;
            EXPECT_NE(text(log, "exceptionType").find("filesystem_error"), std::string::npos);
            EXPECT_NE(text(log, "exceptionReason").find("[/tmp/" + mended + ".layout]"), std::string::npos)
                << text(log, "exceptionReason");
        } else {
            folderSeen = true;
            EXPECT_EQ(text(log, "applicationPath"), mendedProgram);
            bool binarySeen = false;
            for (const auto& binary : *log.at("binaries").asArray()) {
                binarySeen |= text(*binary.asDictionary(), "path") == mendedProgram;
            }
            EXPECT_TRUE(binarySeen);
        }
    }
    EXPECT_TRUE(exceptionSeen && folderSeen);
    // Each attachment names an error the service received.
    EXPECT_EQ(sentIds(rig.server, "errorAttachment", "errorId"), sentIds(rig.server, "appleError", "id"));
    EXPECT_TRUE(testsupport::eventually([] { return TLMCrashes::sharedInstance().persistedCrashReports().empty(); }));
}

TEST(CrashesService, AnAnalyzerMarkerDropsOnlyTheReportItGuarded) {
    Rig rig;
    const fs::path pending = reporterDirectory();
    const fs::path marker = *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir()) / "TLCrashes.analyzer";
    const auto startInChild = [&] {
        const testsupport::tProgramRun run =
            testsupport::RunProgram(VEKMONT_CRASH_HELPER_WITH_FP, {"service-start", rig.server.baseUrl()});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()).pendingCrashReportPaths().empty());
        EXPECT_FALSE(fs::exists(marker));
    };
    // The start that died was reading the second of two reports.
    writeFile(pending / "live_report.tlcrash", reportWithUuidByte(0x81));
    writeFile(pending / "live_report.1.tlcrash", reportWithUuidByte(0x82));
    writeFile(marker, {'l', 'i', 'v', 'e', '_', 'r', 'e', 'p', 'o', 'r', 't',
                       '.', '1', '.', 't', 'l', 'c', 'r', 'a', 's', 'h'});
    startInChild();
    // An empty marker, as earlier releases left it: the first report goes.
    writeFile(pending / "live_report.tlcrash", reportWithUuidByte(0x84));
    writeFile(pending / "live_report.1.tlcrash", reportWithUuidByte(0x85));
    writeFile(marker, {});
    startInChild();

    // The next start is a normal one.
    writeFile(pending / "live_report.tlcrash", reportWithUuidByte(0x86));
    TLMLogCapture capture;
    startClient();
    ASSERT_NE(TLMCrashes::lastSessionCrashReport(), nullptr);
    EXPECT_EQ(TLMCrashes::lastSessionCrashReport()->incidentIdentifier(),
              std::optional<std::string>("86A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"));
    EXPECT_FALSE(logged(capture, "Error on loading the crash report"));
    ASSERT_TRUE(processStoredReports(rig));
    const std::set<std::string> expected{"81A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF", "85A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF",
                                         "86A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"};
    ASSERT_TRUE(testsupport::eventually([&] { return sentIds(rig.server, "appleError", "id") == expected; }))
        << sentLogs(rig.server, "appleError").size();
    EXPECT_FALSE(fs::exists(marker));
}

TEST(CrashesService, AThreadStartedOutsideTheQueuesReportsItsStackOverflow) {
    Rig rig;
    const testsupport::tProgramRun run = testsupport::RunProgram(
        VEKMONT_CRASH_HELPER_WITH_FP, {"service-overflow-started-thread", rig.server.baseUrl()});
    ASSERT_EQ(run.status, -1) << run.err;
    startClient();
    ASSERT_TRUE(TLMCrashes::hasCrashedInLastSession());
    const auto report = TLMCrashes::lastSessionCrashReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->signal(), std::optional<std::string>("SIGSEGV"));
}

TEST(CrashesService, AStackOverflowOnAThreadStartedBeforeCaptureIsSentAtTheNextStart) {
    Rig rig;
    // Each started before telemetry, or by its start, and left to overflow.
    const struct {
        const char* thread;
        const char* label;
    } cases[] = {
        {"the telemetry logger", "com.vekmont.telemetry.logger"},
        {"the logs queue", "com.vekmont.telemetry.logs"},
        {"the HTTP queue", "com.vekmont.telemetry.http"},
        {"the URL session's worker", "url.session"},
        {"the clock's timers", "clock.timers"},
        {"the layouts cache's queue", "com.vekmont.sharing.layouts-cache"},
    };
    std::map<std::int64_t, std::string> threadOfProcess;
    for (const auto& c : cases) {
        const testsupport::tProgramRun run = testsupport::RunProgram(
            VEKMONT_CRASH_HELPER_WITH_FP, {std::string("service-overflow-on:") + c.label, rig.server.baseUrl()});
        ASSERT_EQ(run.status, -1) << c.thread << ": " << run.err;
        threadOfProcess[std::stol(run.out)] = c.thread;
    }

    // One start takes every report in and sends it.
    startClient();
    const std::size_t stored = TLMCrashes::sharedInstance().persistedCrashReports().size();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] { return sentLogs(rig.server, "appleError").size() >= stored; }));
    std::set<std::string> reported;
    for (const auto& log : sentLogs(rig.server, "appleError")) {
        const auto pid = log.at("processId").asInteger();
        ASSERT_TRUE(pid);
        const std::string thread = threadOfProcess[*pid];
        EXPECT_EQ(text(log, "osExceptionType"), "SIGSEGV") << thread;
        reported.insert(thread);
    }
    std::set<std::string> expected;
    for (const auto& c : cases) expected.insert(c.thread);
    EXPECT_EQ(reported, expected);
}

#endif

TEST(CrashesService, AStartTakingInACrashReportLooksOnlyForWrapperExceptionsThatAreKept) {
    Rig rig;
    // A wrapper runtime's exception from the crashed process (4242), and a
    // report of an earlier launch that has none.
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    auto model = std::make_shared<TLMExceptionModel>();
    model->setType(std::string("WrapperError"));
    model->setMessage(std::string("wrapped"));
    auto exception = std::make_shared<TLMWrapperException>();
    exception->setModelException(model);
    exception->setProcessId(4242);
    TLMWrapperExceptionManager::saveWrapperException(exception);
    writeFile(reporterDirectory() / "live_report.tlcrash", reportWithUuidByte(0xA1));
    storeReports({0xA2});
    TLMLogCapture capture;
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] { return sentLogs(rig.server, "appleError").size() == 2; }));
    for (const auto& log : sentLogs(rig.server, "appleError")) {
        const bool wrapped = text(log, "id") == "A1A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF";
        ASSERT_EQ(log.count("exception"), wrapped ? 1u : 0u) << text(log, "id");
        if (wrapped) {
            EXPECT_EQ(text(*log.at("exception").asDictionary(), "message"), "wrapped");
        }
    }
    EXPECT_FALSE(logged(capture, "Exception data report doesn't exist on disk"));

    // Asked for by name, a file that is not there is still an error.
    EXPECT_EQ(TLMWrapperExceptionManager::loadWrapperExceptionWithUUIDString("A2A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"),
              nullptr);
    EXPECT_TRUE(capture.hasMessage(
        TLMLogLevelError,
        "Exception data report doesn't exist on disk. File name: A2A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"));
}

TEST(CrashesService, ACrashOfARunWhoseDeviceRecordHoldsBytesThatAreNotUtf8IsSentWithThemMended) {
    Rig rig;
    // The crash's run was of a build that kept the host's Latin-1 texts.
    auto device = tlmtest::validDevice();
    device->setLocale("de_D\xE9");
    device->setOsName("Syst\xE8me");
    device->setTimeZoneOffset(-150);
    recordDeviceOfEarlierRun(device);
    storeReports({0x93});
    auto appDelegate = std::make_shared<AttachingDelegate>();
    TLMCrashes::setDelegate(appDelegate);
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    ASSERT_TRUE(testsupport::eventually([&] { return sentLogs(rig.server, "appleError").size() == 1; }));
    const std::vector<platform::Value::Dictionary> logs = sentLogs(rig.server, "appleError");
    const auto& sent = *logs.front().at("device").asDictionary();
    EXPECT_EQ(text(sent, "locale"), "de_D\xEF\xBF\xBD");
    EXPECT_EQ(text(sent, "osName"), "Syst\xEF\xBF\xBDme");
    EXPECT_EQ(sent.at("timeZoneOffset").numberAsInteger(), -150);
    EXPECT_TRUE(testsupport::eventually([] { return TLMCrashes::sharedInstance().persistedCrashReports().empty(); }));
}

TEST(CrashesService, ACrashLogThatCannotBeWrittenAsJsonKeepsItsReport) {
    Rig rig;
    // A session id of the crash's run that JSON cannot hold: a damaged
    // history (device records and user ids are made valid as they are read).
    TLMHistory<TLMSessionHistoryInfo>(TLMSessionContext::kHistoryKey, TLMSessionContext::kHistoryLimit)
        .setCurrent(std::make_shared<TLMSessionHistoryInfo>(
            std::chrono::system_clock::time_point(std::chrono::seconds(1'699'999'000)), "b\xE9r"));
    storeReports({0x91});
    auto appDelegate = std::make_shared<AttachingDelegate>();
    TLMCrashes::setDelegate(appDelegate);
    TLMLogCapture capture;
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    // What was enqueued is stored (and its report deleted) once the logs
    // queue got there.
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    group->logsDispatchQueue()->sync([] {});
    // Nothing went out, not even the attachment; the report waits.
    EXPECT_EQ(TLMCrashes::sharedInstance().persistedCrashReports().size(), 1u);
    EXPECT_TRUE(testsupport::storedLogs(*group, "Crashes").empty());
    EXPECT_TRUE(logged(capture, "cannot be written as JSON"));
}

TEST(CrashesService, ACrashLogThatIsNotValidDeletesItsReportUnsent) {
    Rig rig;
    // The crash's run had no app version, nor does the report.
    auto device = tlmtest::validDevice();
    device->setAppVersion("");
    recordDeviceOfEarlierRun(device);
    crashtest::FullReport full;
    full.application.marketing_version = nullptr;
    writeFile(*TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir()) / "report", full.file());
    auto appDelegate = std::make_shared<AttachingDelegate>();
    TLMCrashes::setDelegate(appDelegate);
    TLMLogCapture capture;
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    group->logsDispatchQueue()->sync([] {});
    // It would be refused again at every start: it is gone, and its
    // attachment did not go without it.
    EXPECT_TRUE(TLMCrashes::sharedInstance().persistedCrashReports().empty());
    EXPECT_TRUE(testsupport::storedLogs(*group, "Crashes").empty());
    EXPECT_TRUE(logged(capture, "gives an error log that is not valid"));
}

TEST(CrashesService, ThreadsStartedOutsideTheQueuesTakeSignalsOnStacksOfTheirOwn) {
    Rig rig;
    startClient();
    stack_t stack{};
    stack.ss_flags = SS_DISABLE;
    platform::startThread([&stack] { sigaltstack(nullptr, &stack); }).join();
    EXPECT_EQ(stack.ss_flags & SS_DISABLE, 0);
#ifndef __SANITIZE_ADDRESS__
    EXPECT_GE(stack.ss_size, 64u * 1024);
#endif
}

TEST(CrashesService, AMarkerLeftWithNothingPendingIsRemoved) {
    Rig rig;
    // It would name the next crash's report, which takes the same name.
    const fs::path marker = *TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir()) / "TLCrashes.analyzer";
    writeFile(marker, {'l', 'i', 'v', 'e', '_', 'r', 'e', 'p', 'o', 'r', 't', '.', 't', 'l', 'c', 'r', 'a', 's', 'h'});
    startClient();
    EXPECT_FALSE(fs::exists(marker));
}

TEST(CrashesService, AResetLetsTheNextInstanceTakeInTheStoredReportsAnew) {
    Rig rig;
    storeReports({0xA1});
    // Asked about and never answered: the report stays stored.
    const auto ask = [](const TLMCrashes::Reports&) { return true; };
    TLMCrashes::setUserConfirmationHandler(ask);
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    TLMCrashes& first = TLMCrashes::sharedInstance();
    EXPECT_EQ(first.unprocessedCrashReports().size(), 1u);
    EXPECT_EQ(TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), 1u);

    TLMCrashes::resetSharedInstance();
    EXPECT_EQ(TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), 0u);
    // The old instance no longer observes the application.
    platform::NotificationCenter::defaultCenter().postNotificationName(
        TLMCrashes::kApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().objectForKey(TLMCrashes::kMemoryWarningKey));

    TLMCrashes& second = TLMCrashes::sharedInstance();
    ASSERT_NE(&second, &first);
    EXPECT_FALSE(second.started());
    EXPECT_FALSE(second.waitForProcessing(std::chrono::milliseconds(0)));
    TLMCrashes::setUserConfirmationHandler(ask);
    startClient();
    ASSERT_TRUE(processStoredReports(rig));
    EXPECT_EQ(second.unprocessedCrashReports().size(), 1u);
    EXPECT_EQ(TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), 1u);
}
