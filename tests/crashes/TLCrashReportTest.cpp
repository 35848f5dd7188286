// The crash report reader: files packed by protobuf-c read back part by
// part, and every way a damaged or incomplete file is refused, with its text.

#include "tests/crashes/support/CrashReportFiles.h"

#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using crashtest::Bytes;
using crashtest::FullReport;
using crashtest::MinimalParts;
using crashtest::minimalReport;
using crashtest::Wire;
using crashtest::withHeader;

namespace {

TLCrashReportDate secondsSince1970(std::int64_t seconds) { return TLCrashReportDate(std::chrono::seconds(seconds)); }

// The reader's error text for the file; "<read>" when it reads.
std::string failureOf(const Bytes& file) {
    TLCrashReport::ErrorOut error;
    const auto report = TLCrashReport::makeWithData(file, &error);
    if (report) return "<read>";
    if (!error) return "<no error>";
    if (error->domain() != TLCrashReporterErrorDomain || error->code() != 2) return "<wrong domain or code>";
    return error->localizedDescription();
}

std::vector<std::uint64_t> pcs(const TLCrashReportStackFrames& frames) {
    std::vector<std::uint64_t> result;
    for (const auto& frame : frames) result.push_back(frame->instructionPointer());
    return result;
}

}  // namespace

TEST(TLCrashReport, ReadsEveryPartOfAPackedReport) {
    FullReport full;
    TLCrashReport::ErrorOut error;
    const auto report = TLCrashReport::makeWithData(full.file(), &error);
    ASSERT_TRUE(report) << error->localizedDescription();

    const auto& system = *report->systemInfo();
    EXPECT_EQ(system.operatingSystem(), TLCrashReportSystemInfo::iPhoneOS);
    EXPECT_EQ(system.operatingSystemVersion(), "17.2");
    EXPECT_EQ(system.operatingSystemBuild(), "21C62");
    EXPECT_EQ(system.architecture(), TLCrashReportSystemInfo::Unknown);
    EXPECT_EQ(system.timestamp(), secondsSince1970(1700000000));
    // The machine's processor supersedes the coarse architecture.
    EXPECT_EQ(system.processorInfo(), report->machineInfo()->processorInfo());

    ASSERT_TRUE(report->hasMachineInfo());
    const auto& machine = *report->machineInfo();
    EXPECT_EQ(machine.modelName(), "iPhone15,2");
    EXPECT_EQ(machine.processorInfo()->typeEncoding(), TLCrashReportProcessorInfo::TypeEncodingMach);
    EXPECT_EQ(machine.processorInfo()->type(), 0x100000Cu);
    EXPECT_EQ(machine.processorInfo()->subtype(), 0x80000002u);
    EXPECT_EQ(machine.processorCount(), 6u);
    EXPECT_EQ(machine.logicalProcessorCount(), 6u);

    EXPECT_EQ(report->applicationInfo()->applicationIdentifier(), "com.vekmont.app");
    EXPECT_EQ(report->applicationInfo()->applicationVersion(), "42");
    EXPECT_EQ(report->applicationInfo()->applicationMarketingVersion(), "1.4");

    ASSERT_TRUE(report->hasProcessInfo());
    const auto& process = *report->processInfo();
    EXPECT_EQ(process.processName(), "Vekmont");
    EXPECT_EQ(process.processID(), 4242u);
    EXPECT_EQ(process.processPath(), "/app/Vekmont");
    EXPECT_EQ(process.processStartTime(), secondsSince1970(1699999000));
    EXPECT_EQ(process.parentProcessName(), "launchd");
    EXPECT_EQ(process.parentProcessID(), 1u);
    EXPECT_TRUE(process.native());

    EXPECT_EQ(report->signalInfo()->name(), "SIGSEGV");
    EXPECT_EQ(report->signalInfo()->code(), "SEGV_MAPERR");
    EXPECT_EQ(report->signalInfo()->address(), 0xDEADBEEFu);
    ASSERT_TRUE(report->machExceptionInfo());
    EXPECT_EQ(report->machExceptionInfo()->type(), 1u);
    EXPECT_EQ(report->machExceptionInfo()->codes(), (std::vector<std::uint64_t>{0x1, 0x2A}));

    ASSERT_EQ(report->threads().size(), 2u);
    const auto& first = *report->threads()[0];
    EXPECT_EQ(first.threadNumber(), 0);
    EXPECT_FALSE(first.crashed());
    EXPECT_TRUE(first.registers().empty());
    EXPECT_EQ(pcs(first.stackFrames()), (std::vector<std::uint64_t>{0x100004010, 0x7FF800001234}));
    const auto& symbol = *first.stackFrames()[0]->symbolInfo();
    EXPECT_EQ(symbol.symbolName(), "-[VKMLayoutView drawRect:]");
    EXPECT_EQ(symbol.startAddress(), 0x100004000u);
    EXPECT_EQ(symbol.endAddress(), 0x100004200u);
    EXPECT_EQ(first.stackFrames()[1]->symbolInfo(), nullptr);
    const auto& crashed = *report->threads()[1];
    EXPECT_EQ(crashed.threadNumber(), 1);
    EXPECT_TRUE(crashed.crashed());
    EXPECT_EQ(crashed.stackFrames()[0]->symbolInfo()->symbolName(), "main");
    EXPECT_EQ(crashed.stackFrames()[0]->symbolInfo()->endAddress(), 0u);  // not known
    ASSERT_EQ(crashed.registers().size(), 2u);
    EXPECT_EQ(crashed.registers()[0]->registerName(), "x0");
    EXPECT_EQ(crashed.registers()[0]->registerValue(), 1u);
    EXPECT_EQ(crashed.registers()[1]->registerName(), "pc");
    EXPECT_EQ(crashed.registers()[1]->registerValue(), 0x100008020u);

    ASSERT_EQ(report->images().size(), 2u);
    const auto& app = *report->images()[0];
    EXPECT_EQ(app.imageBaseAddress(), 0x100000000u);
    EXPECT_EQ(app.imageSize(), 0x10000u);
    EXPECT_EQ(app.imageName(), "/app/Vekmont");
    EXPECT_TRUE(app.hasImageUUID());
    EXPECT_EQ(app.imageUUID(), "00112233445566778899aabbccddeeff");
    EXPECT_EQ(app.codeType()->type(), 0x100000Cu);
    EXPECT_EQ(app.codeType()->subtype(), 0u);
    const auto& library = *report->images()[1];
    EXPECT_FALSE(library.hasImageUUID());
    EXPECT_EQ(library.imageUUID(), std::nullopt);
    EXPECT_EQ(library.codeType(), nullptr);

    ASSERT_TRUE(report->hasExceptionInfo());
    EXPECT_EQ(report->exceptionInfo()->exceptionName(), "NSInvalidArgumentException");
    EXPECT_EQ(report->exceptionInfo()->exceptionReason(), "unrecognized selector");
    ASSERT_TRUE(report->exceptionInfo()->stackFrames());
    EXPECT_EQ(pcs(*report->exceptionInfo()->stackFrames()), (std::vector<std::uint64_t>{0x1000040A0, 0x1000040B0}));

    EXPECT_EQ(report->customData(), (Bytes{0x00, 0xFF, 0x10}));
    ASSERT_TRUE(report->uuidRef());
    EXPECT_EQ((*report->uuidRef())[0], 0xA0);
    EXPECT_EQ((*report->uuidRef())[15], 0xAF);
}

TEST(TLCrashReport, OptionalPartsLeftOutReadAsAbsent) {
    FullReport full;
    full.report.machine_info = nullptr;
    full.report.process_info = nullptr;
    full.report.exception = nullptr;
    full.report.report_info = nullptr;
    full.report.has_custom_data = 0;
    full.signal.mach_exception = nullptr;
    full.system.has_operating_system = 0;
    full.system.os_build = nullptr;
    full.system.architecture = TLCRASH__ARCHITECTURE__X86_64;
    full.system.timestamp = 0;
    full.application.marketing_version = nullptr;
    full.images[0].has_uuid = 1;
    full.images[0].uuid = {0, nullptr};
    const auto report = TLCrashReport::makeWithData(full.file());
    ASSERT_TRUE(report);

    EXPECT_FALSE(report->hasMachineInfo());
    EXPECT_FALSE(report->hasProcessInfo());
    EXPECT_FALSE(report->hasExceptionInfo());
    EXPECT_EQ(report->machExceptionInfo(), nullptr);
    EXPECT_EQ(report->customData(), std::nullopt);
    EXPECT_EQ(report->uuidRef(), std::nullopt);
    // An absent operating system takes the declared default.
    EXPECT_EQ(report->systemInfo()->operatingSystem(), TLCrashReportSystemInfo::OSUnknown);
    EXPECT_EQ(report->systemInfo()->operatingSystemBuild(), std::nullopt);
    EXPECT_EQ(report->systemInfo()->timestamp(), std::nullopt);
    EXPECT_EQ(report->applicationInfo()->applicationMarketingVersion(), std::nullopt);
    // Without a machine section the processor comes from the architecture.
    const auto& processor = *report->systemInfo()->processorInfo();
    EXPECT_EQ(processor.typeEncoding(), TLCrashReportProcessorInfo::TypeEncodingMach);
    EXPECT_EQ(processor.type(), 0x1000007u);
    EXPECT_EQ(processor.subtype(), 3u);
    // A UUID field present but empty is no UUID.
    EXPECT_FALSE(report->images()[0]->hasImageUUID());

    // Each architecture's processor.
    const struct {
        Tlcrash__Architecture architecture;
        std::uint64_t type;
        std::uint64_t subtype;
    } synthesized[] = {{TLCRASH__ARCHITECTURE__X86_32, 7, 3},        {TLCRASH__ARCHITECTURE__X86_64, 0x1000007, 3},
                       {TLCRASH__ARCHITECTURE__ARMV6, 12, 6},        {TLCRASH__ARCHITECTURE__PPC, 18, 0},
                       {TLCRASH__ARCHITECTURE__PPC64, 0x1000012, 0}, {TLCRASH__ARCHITECTURE__ARMV7, 12, 9}};
    for (const auto& expected : synthesized) {
        full.system.architecture = expected.architecture;
        const auto read = TLCrashReport::makeWithData(full.file());
        ASSERT_TRUE(read) << expected.architecture;
        EXPECT_EQ(read->systemInfo()->processorInfo()->type(), expected.type) << expected.architecture;
        EXPECT_EQ(read->systemInfo()->processorInfo()->subtype(), expected.subtype) << expected.architecture;
    }

    // A start time present as 0 is 1970; an exception without frames has
    // none rather than an empty list.
    full.process.start_time = 0;
    full.report.process_info = &full.process;
    full.exception.n_frames = 0;
    full.report.exception = &full.exception;
    const auto zero = TLCrashReport::makeWithData(full.file());
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->processInfo()->processStartTime(), secondsSince1970(0));
    EXPECT_EQ(zero->exceptionInfo()->stackFrames(), std::nullopt);
    full.process.has_start_time = 0;
    EXPECT_EQ(TLCrashReport::makeWithData(full.file())->processInfo()->processStartTime(), std::nullopt);
}

TEST(TLCrashReport, RefusesDamagedFilesNamingWhatIsWrong) {
    const Bytes whole = FullReport().file();
    Bytes badHeader = whole;
    badHeader[6] = 'H';
    Bytes cut = whole;
    cut.resize(whole.size() - 3);

    // Pieces of a report with one required field left out.
    MinimalParts noOsVersion;
    noOsVersion.system = Wire().varint(3, 1).varint(4, 1700000000);
    MinimalParts noArchitecture;
    noArchitecture.system = Wire().text(2, "17.2").varint(4, 1700000000);
    MinimalParts noAppVersion;
    noAppVersion.application = Wire().text(1, "com.vekmont.app");
    MinimalParts noCrashedFlag;
    noCrashedFlag.thread = Wire().varint(1, 0);
    // A frame written with the numbers 1 and 2 has no pc (field 3).
    MinimalParts frameWithoutPc;
    frameWithoutPc.thread = Wire().varint(1, 0).varint(3, 1).message(2, Wire().varint(1, 0x1000).varint(2, 5));
    MinimalParts symbolWithoutName;
    symbolWithoutName.thread =
        Wire().varint(1, 0).varint(3, 1).message(2, Wire().varint(3, 0x1000).message(6, Wire().varint(2, 0x1000)));
    MinimalParts registerWithoutValue;
    registerWithoutValue.thread = Wire().varint(1, 0).varint(3, 1).message(4, Wire().text(1, "x0"));
    MinimalParts imageWithoutName;
    imageWithoutName.image = Wire().varint(1, 0x1000).varint(2, 0x100);
    MinimalParts codeTypeWithoutSubtype;
    codeTypeWithoutSubtype.image = Wire(imageWithoutName.image).text(3, "/app").message(5, Wire().varint(2, 7));
    MinimalParts signalWithoutAddress;
    signalWithoutAddress.signal = Wire().text(1, "SIGSEGV").text(2, "SEGV_MAPERR");
    MinimalParts machWithoutType;
    machWithoutType.signal = Wire(signalWithoutAddress.signal).varint(3, 0).message(4, Wire().varint(2, 1));
    MinimalParts exceptionWithoutReason;
    exceptionWithoutReason.extra = Wire().message(5, Wire().text(1, "NSRangeException"));
    MinimalParts processWithoutNative;
    processWithoutNative.extra = Wire().message(7, Wire().varint(2, 10).varint(5, 1));
    MinimalParts machineWithoutProcessor;
    machineWithoutProcessor.extra = Wire().message(8, Wire().varint(3, 2).varint(4, 2));
    MinimalParts reportInfoWithoutFlag;
    reportInfoWithoutFlag.extra = Wire().message(9, Wire().bytes(2, Bytes(16, 1)));
    MinimalParts noSystem;
    noSystem.system = Wire();

    // Complete files that still lack a part the reader needs.
    MinimalParts shortUuid;
    shortUuid.extra = Wire().message(9, Wire().varint(1, 0).bytes(2, Bytes(15, 1)));
    MinimalParts longUuid;
    longUuid.extra = Wire().message(9, Wire().varint(1, 0).bytes(2, Bytes(17, 1)));
    MinimalParts unknownArchitecture;
    unknownArchitecture.system = Wire().text(2, "17.2").varint(3, 6).varint(4, 0);
    MinimalParts negativeArchitecture;
    negativeArchitecture.system = Wire().text(2, "17.2").varint(3, ~std::uint64_t{0}).varint(4, 0);
    MinimalParts noThread;
    noThread.withThread = false;
    MinimalParts noImage;
    noImage.withImage = false;
    std::vector<std::uint64_t> codes(256, 7);
    MinimalParts tooManyCodes;
    tooManyCodes.signal =
        Wire(signalWithoutAddress.signal).varint(3, 0).message(4, Wire().varint(1, 1).packed(2, codes));

    const std::string unknown = "An unknown error occured decoding the crash report";
    const struct {
        const char* name;
        Bytes file;
        std::string expected;
    } cases[] = {
        {"an empty file", {}, "Could not decode truncated crash log"},
        {"the header alone", withHeader({}), "Could not decode truncated crash log"},
        {"a header of seven bytes", Bytes(whole.begin(), whole.begin() + 7), "Could not decode truncated crash log"},
        {"another name in the header", badHeader, "Could not decode invalid crash log header"},
        {"version 0", withHeader(Bytes(whole.begin() + 8, whole.end()), 0),
         "Could not decode unsupported crash report version: 0"},
        {"version 2", withHeader(Bytes(whole.begin() + 8, whole.end()), 2),
         "Could not decode unsupported crash report version: 2"},
        {"a message cut short", cut, unknown},
        {"bytes that are no message", withHeader({0xFF, 0xFF, 0xFF}), unknown},
        {"no system section", minimalReport(noSystem), unknown},
        {"a system section without OS version", minimalReport(noOsVersion), unknown},
        // protobuf-c lets a required field with a declared default take it.
        {"a system section without architecture", minimalReport(noArchitecture),
         "Crash report has an unknown architecture"},
        {"an application without version", minimalReport(noAppVersion), unknown},
        {"a thread without crashed flag", minimalReport(noCrashedFlag), unknown},
        {"a frame with fields 1 and 2 instead of 3", minimalReport(frameWithoutPc), unknown},
        {"a symbol without name", minimalReport(symbolWithoutName), unknown},
        {"a register without value", minimalReport(registerWithoutValue), unknown},
        {"an image without name", minimalReport(imageWithoutName), unknown},
        {"an image's processor without subtype", minimalReport(codeTypeWithoutSubtype), unknown},
        {"a signal without address", minimalReport(signalWithoutAddress), unknown},
        {"a Mach exception without type", minimalReport(machWithoutType), unknown},
        {"an exception without reason", minimalReport(exceptionWithoutReason), unknown},
        {"a process without native flag", minimalReport(processWithoutNative), unknown},
        {"a machine without processor", minimalReport(machineWithoutProcessor), unknown},
        {"report information without user flag", minimalReport(reportInfoWithoutFlag), unknown},
        {"a report UUID of 15 bytes", minimalReport(shortUuid), "Report UUID value is not a standard 16 bytes"},
        {"a report UUID of 17 bytes", minimalReport(longUuid), "Report UUID value is not a standard 16 bytes"},
        {"an unknown architecture and no machine", minimalReport(unknownArchitecture),
         "Crash report has an unknown architecture"},
        {"a negative architecture and no machine", minimalReport(negativeArchitecture),
         "Crash report has an unknown architecture"},
        {"no thread", minimalReport(noThread), "Crash report is missing thread state information"},
        {"no image", minimalReport(noImage), "Crash report is missing binary image information"},
        {"256 Mach exception codes", minimalReport(tooManyCodes),
         "Crash report includes too many Mach Exception codes"},
    };
    for (const auto& c : cases) EXPECT_EQ(failureOf(c.file), c.expected) << c.name;

    // The minimal report itself reads, and without an error out-parameter
    // a refusal is just null.
    EXPECT_EQ(failureOf(minimalReport(MinimalParts())), "<read>");
    EXPECT_EQ(TLCrashReport::makeWithData(badHeader), nullptr);
}

TEST(TLCrashReport, MachExceptionCodesPackedOrOneByOne) {
    std::vector<std::uint64_t> codes(255);
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = i * 1000;
    Wire oneByOne = Wire().varint(1, 5);
    for (const std::uint64_t code : codes) oneByOne.varint(2, code);
    const Wire packed = Wire().varint(1, 5).packed(2, codes);
    for (const Wire* mach : std::vector<const Wire*>{&oneByOne, &packed}) {
        MinimalParts parts;
        parts.signal = Wire().text(1, "SIGBUS").text(2, "BUS_ADRERR").varint(3, 8).message(4, *mach);
        TLCrashReport::ErrorOut error;
        const auto report = TLCrashReport::makeWithData(minimalReport(parts), &error);
        ASSERT_TRUE(report) << error->localizedDescription();
        EXPECT_EQ(report->machExceptionInfo()->type(), 5u);
        EXPECT_EQ(report->machExceptionInfo()->codes(), codes);
    }
}

TEST(TLCrashReport, MasksFramePointersOfArm64eReportsOnly) {
    const std::uint64_t signedPc = 0xFFFF00010000ABCD;
    const std::uint64_t maskedPc = 0x10000ABCD;
    const struct {
        const char* name;
        bool withMachine;
        std::uint64_t type;
        std::uint64_t subtype;
        std::uint64_t expected;
    } cases[] = {
        {"64-bit ARM of subtype 2", true, 0x100000C, 2, maskedPc},
        {"64-bit ARM of subtype 2 with a capability bit", true, 0x100000C, 0x80000002, signedPc},
        {"64-bit ARM of subtype 0", true, 0x100000C, 0, signedPc},
        {"x86-64 of subtype 2", true, 0x1000007, 2, signedPc},
        {"x86-64 of subtype 3", true, 0x1000007, 3, signedPc},
        {"no machine section", false, 0, 0, signedPc},
    };
    for (const auto& c : cases) {
        FullReport full;
        full.frames[0].pc = signedPc;
        full.exceptionFrames[1].pc = signedPc;
        full.machineProcessor.type = c.type;
        full.machineProcessor.subtype = c.subtype;
        full.system.architecture = TLCRASH__ARCHITECTURE__X86_64;
        if (!c.withMachine) full.report.machine_info = nullptr;
        const auto report = TLCrashReport::makeWithData(full.file());
        ASSERT_TRUE(report) << c.name;
        EXPECT_EQ(report->threads()[0]->stackFrames()[0]->instructionPointer(), c.expected) << c.name;
        EXPECT_EQ((*report->exceptionInfo()->stackFrames())[1]->instructionPointer(), c.expected) << c.name;
        // Frames without high bits stay as written either way.
        EXPECT_EQ(report->threads()[1]->stackFrames()[0]->instructionPointer(), 0x100008020u) << c.name;
    }

    // A processor of unknown encoding is no ARM processor, whatever its numbers.
    FullReport unknownEncoding;
    unknownEncoding.frames[0].pc = signedPc;
    unknownEncoding.machineProcessor.subtype = 2;
    unknownEncoding.machineProcessor.has_encoding = 0;
    EXPECT_EQ(TLCrashReport::makeWithData(unknownEncoding.file())->threads()[0]->stackFrames()[0]->instructionPointer(),
              signedPc);
}

TEST(TLCrashReport, FindsTheImageHoldingAnAddress) {
    FullReport full;
    // A third image overlapping the first: the first in file order wins.
    Tlcrash__CrashReport__BinaryImage overlapping;
    tlcrash__crash_report__binary_image__init(&overlapping);
    overlapping.base_address = 0x100008000;
    overlapping.size = 0x100000;
    overlapping.name = const_cast<char*>("/app/Overlay");
    // Reaches past the top of the address space.
    Tlcrash__CrashReport__BinaryImage top;
    tlcrash__crash_report__binary_image__init(&top);
    top.base_address = 0xFFFFFFFFFFFFF000;
    top.size = 0x2000;
    top.name = const_cast<char*>("/top");
    std::vector<Tlcrash__CrashReport__BinaryImage*> images{&full.images[0], &full.images[1], &overlapping, &top};
    full.report.binary_images = images.data();
    full.report.n_binary_images = images.size();
    const auto report = TLCrashReport::makeWithData(full.file());
    ASSERT_TRUE(report);

    const auto nameAt = [&report](std::uint64_t address) {
        const auto image = report->imageForAddress(address);
        return image ? image->imageName() : std::string("<none>");
    };
    EXPECT_EQ(nameAt(0x100000000), "/app/Vekmont");
    EXPECT_EQ(nameAt(0x10000FFFF), "/app/Vekmont");
    EXPECT_EQ(nameAt(0x100009000), "/app/Vekmont");
    EXPECT_EQ(nameAt(0x100010000), "/app/Overlay");  // base plus size is past the first
    EXPECT_EQ(nameAt(0x7FF800001FFF), "/usr/lib/libSystem.B.dylib");
    EXPECT_EQ(nameAt(0x7FF800002000), "<none>");
    EXPECT_EQ(nameAt(0xFFFFFFFFFFFFFFFF), "/top");
    EXPECT_EQ(nameAt(0xFFFFFFFFFFFFEFFF), "<none>");
    EXPECT_EQ(nameAt(0), "<none>");
}

TEST(TLCrashReport, KeepsEnumNumbersTheFormatHasNoNameFor) {
    // The numbers stand as the file has them (an enum field holds 32 bits).
    MinimalParts parts;
    parts.system = Wire().varint(1, 99).text(2, "17.2").varint(3, 40).varint(4, 1700000000);
    parts.extra = Wire().message(
        8, Wire().message(2, Wire().varint(1, 0x80000002).varint(2, 7).varint(3, 3)).varint(3, 1).varint(4, 1));
    TLCrashReport::ErrorOut error;
    const auto report = TLCrashReport::makeWithData(minimalReport(parts), &error);
    ASSERT_TRUE(report) << error->localizedDescription();
    EXPECT_EQ(report->systemInfo()->operatingSystem(), 99);
    EXPECT_EQ(report->systemInfo()->architecture(), 40);
    EXPECT_EQ(report->machineInfo()->processorInfo()->typeEncoding(), static_cast<std::int32_t>(0x80000002u));
    EXPECT_EQ(report->machineInfo()->processorInfo()->type(), 7u);
}
