#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "tests/crashes/support/CrashReportFiles.h"
#include "tests/telemetry/TLMTestRecords.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

std::shared_ptr<TLCrashReport> parse(const crashtest::Bytes& file) {
    auto report = TLCrashReport::makeWithData(file);
    if (!report) throw std::runtime_error("test report does not parse");
    return report;
}

std::vector<std::string> frameCodes(const TLMThread& thread) {
    std::vector<std::string> codes;
    for (const auto& frame : *thread.frames()) codes.push_back(frame->code().value_or("<none>"));
    return codes;
}

}  // namespace

TEST(ErrorLogFormatter, AFullReportBecomesTheLogThatIsSent) {
    crashtest::FullReport full;
    const crashtest::Bytes file = full.file();
    const auto report = parse(file);
    const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*report, file);

    EXPECT_EQ(log->errorId(), std::optional<std::string>("A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF"));
    EXPECT_EQ(log->processId(), std::optional<std::int64_t>(4242));
    EXPECT_EQ(log->processName(), std::optional<std::string>("Vekmont"));
    EXPECT_EQ(log->errorThreadId(), std::optional<std::int64_t>(1));
    EXPECT_TRUE(log->isFatal());
    EXPECT_EQ(log->osExceptionType(), std::optional<std::string>("SIGSEGV"));
    // Whole-second report times are moved to the end of their second.
    EXPECT_EQ(log->timestamp(), std::optional(std::chrono::system_clock::time_point(
                                    std::chrono::seconds(1'700'000'000) + std::chrono::milliseconds(999))));
    // The image's Mach code type wins over the machine's: 64-bit ARM.
    EXPECT_EQ(log->primaryArchitectureId(), std::optional<std::uint64_t>(0x100000C));

    ASSERT_TRUE(log->threads());
    ASSERT_EQ(log->threads()->size(), 2u);
    const TLMThread& first = *(*log->threads())[0];
    const TLMThread& crashed = *(*log->threads())[1];
    // Frames of the program's own image are base and offset even with a
    // symbol; a system frame without symbol is too.
    EXPECT_EQ(frameCodes(first), (std::vector<std::string>{"0x100000000 + 16400", "0x7ff800000000 + 4660"}));
    EXPECT_EQ(frameCodes(crashed), (std::vector<std::string>{"0x100000000 + 32800"}));
    EXPECT_EQ((*first.frames())[0]->address(), std::optional<std::string>("0x0000000100004010"));
    EXPECT_EQ(first.exception(), nullptr);
    ASSERT_NE(crashed.exception(), nullptr);
    EXPECT_EQ(crashed.exception()->frames()->size(), 2u);

    ASSERT_TRUE(log->registers());
    EXPECT_EQ(*log->registers(),
              (TLMAppleErrorLog::Registers{{"x0", "0x0000000000000001"}, {"pc", "0x0000000100008020"}}));
    ASSERT_TRUE(log->binaries());
    ASSERT_EQ(log->binaries()->size(), 2u);
    EXPECT_EQ((*log->binaries())[0]->name(), std::optional<std::string>("Vekmont"));
    EXPECT_EQ((*log->binaries())[0]->endAddress(), std::optional<std::string>("0x000000010000ffff"));

    const auto errorReport = TLMErrorLogFormatter::errorReportFromLog(*log);
    EXPECT_EQ(errorReport->incidentIdentifier(), log->errorId());
    EXPECT_EQ(errorReport->codeType(), std::optional<std::string>("ARM-64"));
    EXPECT_EQ(errorReport->archName(), std::optional<std::string>("arm64"));
    EXPECT_EQ(errorReport->appProcessIdentifier(), 4242u);
}

TEST(ErrorLogFormatter, AReportWithoutUuidIsNamedByItsBytesEveryTime) {
    crashtest::FullReport full;
    full.reportInfo.has_uuid = 0;
    const crashtest::Bytes file = full.file();
    const auto report = parse(file);
    ASSERT_FALSE(report->uuidRef());

    const auto first = TLMErrorLogFormatter::errorLogFromCrashReport(*report, file);
    const auto second = TLMErrorLogFormatter::errorLogFromCrashReport(*report, file);
    const auto errorReport = TLMErrorLogFormatter::errorReportFromCrashReport(report.get(), file);
    ASSERT_TRUE(first->errorId());
    EXPECT_EQ(first->errorId(), second->errorId());
    EXPECT_EQ(errorReport->incidentIdentifier(), first->errorId());
    EXPECT_EQ(first->errorId()->size(), 36u);
    EXPECT_EQ((*first->errorId())[14], '5');

    full.process.process_id = 4243;
    const crashtest::Bytes other = full.file();
    EXPECT_NE(TLMErrorLogFormatter::errorIdForCrashReport(*parse(other), other), *first->errorId());
}

TEST(ErrorLogFormatter, ImagesOfTheProgramAreThoseOfItsInstallFolder) {
    const std::optional<std::string> process = "/opt/vekmont/bin/vekmont";
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath("/opt/vekmont/bin/vekmont", process), 0);
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath("/OPT/Vekmont/lib/../bin/vekmont", process), 0);
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath("/opt/vekmont/bin/libcrashes.so", process), 1);
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath("/usr/lib/x86_64-linux-gnu/libc.so.6", process), 2);
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath("/opt/vekmont/binaries/libx.so", process), 2);
    EXPECT_EQ(TLMErrorLogFormatter::imageTypeForImagePath(std::nullopt, process), 2);

    // A system image nothing points into is left out; the program's are kept.
    crashtest::FullReport full;
    full.frames[1].pc = 0x100004020;
    const crashtest::Bytes file = full.file();
    const auto binaries = TLMErrorLogFormatter::extractBinaryImagesFromReport(*parse(file), true);
    ASSERT_EQ(binaries.size(), 1u);
    EXPECT_EQ(binaries[0]->path(), std::optional<std::string>("/app/Vekmont"));
}

TEST(ErrorLogFormatter, EveryTextOfAReportReachesTheLogAsUtf8) {
    // Each text of the report with a Latin-1 letter, as a process in a
    // folder of that name or an exception about such a path leaves them.
    char* const latin1 = const_cast<char*>("Caf\xE9");
    crashtest::FullReport full;
    full.process.process_name = latin1;
    full.process.process_path = const_cast<char*>("/opt/Caf\xE9/Vekmont");
    full.process.parent_process_name = latin1;
    full.images[0].name = const_cast<char*>("/opt/Caf\xE9/Vekmont");
    full.images[1].name = const_cast<char*>("/usr/lib/lib\xE9.so");
    full.exception.name = latin1;
    full.exception.reason = const_cast<char*>("cannot open [/tmp/Caf\xE9.layout]");
    full.symbols[1].name = const_cast<char*>("lay\xE9_out");
    full.symbols[1].start_address = 0x7FF800001000;
    full.frames[1].symbol = &full.symbols[1];
    full.registers[0].name = const_cast<char*>("x\xE9");
    full.signal.name = latin1;
    full.signal.code = latin1;
    full.system.os_version = latin1;
    full.system.os_build = latin1;
    full.machine.model = latin1;
    full.application.identifier = latin1;
    full.application.version = latin1;
    full.application.marketing_version = latin1;
    const crashtest::Bytes file = full.file();
    const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*parse(file), file);

    const std::string mended = "Caf\xEF\xBF\xBD";
    EXPECT_EQ(log->processName(), mended);
    EXPECT_EQ(log->parentProcessName(), mended);
    EXPECT_EQ(log->applicationPath(), "/opt/" + mended + "/Vekmont");
    EXPECT_EQ(log->osExceptionType(), mended);
    EXPECT_EQ(log->osExceptionCode(), mended);
    EXPECT_EQ(log->exceptionType(), mended);
    EXPECT_EQ(log->exceptionReason(), "cannot open [/tmp/" + mended + ".layout]");
    const auto& crashed = *(*log->threads())[1];
    EXPECT_EQ(crashed.exception()->type(), mended);
    EXPECT_EQ(crashed.exception()->message(), log->exceptionReason());
    EXPECT_EQ(frameCodes(*(*log->threads())[0])[1], "lay\xEF\xBF\xBD_out + 564");
    EXPECT_EQ(log->registers()->count("x\xEF\xBF\xBD"), 1u);
    ASSERT_EQ(log->binaries()->size(), 2u);
    EXPECT_EQ((*log->binaries())[0]->path(), "/opt/" + mended + "/Vekmont");
    EXPECT_EQ((*log->binaries())[1]->path(), "/usr/lib/lib\xEF\xBF\xBD.so");
    EXPECT_EQ((*log->binaries())[1]->name(), "lib\xEF\xBF\xBD.so");
    const TLMDevice& device = *log->device();
    for (const std::string& text : {device.osVersion(), device.osBuild(), device.model(), device.appNamespace(),
                                    device.appBuild(), device.appVersion()}) {
        EXPECT_EQ(text, mended);
    }
    std::string error;
    EXPECT_TRUE(log->serializeToDictionary().jsonText(false, &error)) << error;
}

TEST(ErrorLogFormatter, AnEmptyAppVersionInTheReportLeavesTheDevicesOwn) {
    // The device of the crash's time, as the history of that run kept it.
    auto earlier = tlmtest::validDevice();
    earlier->setAppVersion("7.1");
    TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, TLMDeviceTracker::kHistoryLimit)
        .setCurrent(std::make_shared<TLMDeviceHistoryInfo>(
            std::chrono::system_clock::time_point(std::chrono::seconds(1'699'999'000)), earlier));
    crashtest::FullReport full;
    full.application.marketing_version = const_cast<char*>("");
    const crashtest::Bytes file = full.file();
    const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*parse(file), file);
    EXPECT_EQ(log->device()->appVersion(), "7.1");
    EXPECT_TRUE(log->isValid());
}

TEST(ErrorLogFormatter, ProcessorCodesAreWrittenUnsigned) {
    // A subtype with its capability bit set, widened with its sign.
    crashtest::FullReport full;
    full.imageProcessor.subtype = 0xFFFFFFFF80000002;
    const crashtest::Bytes file = full.file();
    const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*parse(file), file);
    const std::string text = log->serializeToDictionary().jsonText(false).value_or("");
    EXPECT_NE(text.find(R"("primaryArchitectureId":16777228,"architectureVariantId":18446744071562067970,)"),
              std::string::npos)
        << text;
    const std::string binary = (*log->binaries())[0]->serializeToDictionary().jsonText(false).value_or("");
    EXPECT_NE(binary.find(R"("primaryArchitectureId":16777228,"architectureVariantId":18446744071562067970})"),
              std::string::npos)
        << binary;
    EXPECT_EQ(TLMErrorLogFormatter::errorReportFromLog(*log)->archName(), std::optional<std::string>("arm64e"));

    // Archived as the signed number of the same bits, as before; read back whole.
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    const auto archive = TLMUtility::archiveKeyedData(TLMArchiveValue(log));
    ASSERT_TRUE(archive);
    const auto value = TLMUtility::unarchiveKeyedData(*archive);
    ASSERT_TRUE(value && value->asObject());
    const auto restored = std::dynamic_pointer_cast<TLMAppleErrorLog>(*value->asObject());
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->architectureVariantId(), std::optional<std::uint64_t>(0xFFFFFFFF80000002));
    EXPECT_EQ((*restored->binaries())[0]->architectureVariantId(), std::optional<std::uint64_t>(0xFFFFFFFF80000002));
    EXPECT_TRUE(restored->isEqual(*log));
}
