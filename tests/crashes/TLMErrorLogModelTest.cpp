// The error log models: their exact JSON, validity with its messages,
// equality and keyed archives read back through the crashes' allowed classes.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"

#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMHandledErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMWrapperException.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/TelemetryCrashes/Model/TLMWrapperExceptionModel.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using tlmtest::fixedTime;
using tlmtest::kValidDeviceJson;
using tlmtest::validDevice;

namespace {

std::string json(const TLMSerializableObject& record) {
    return record.serializeToDictionary().jsonText(false).value_or("<none>");
}

std::shared_ptr<TLMStackFrame> frame(const char* address, const char* method) {
    auto frame = std::make_shared<TLMStackFrame>();
    frame->setAddress(address);
    frame->setMethodName(method);
    return frame;
}

std::shared_ptr<TLMBinary> binary(const char* id, const char* path) {
    auto binary = std::make_shared<TLMBinary>();
    binary->setBinaryId(id);
    binary->setStartAddress("0x100000000");
    binary->setEndAddress("0x10000ffff");
    binary->setName("Vekmont");
    binary->setPath(path);
    binary->setPrimaryArchitectureId(16777228);
    binary->setArchitectureVariantId(0);
    return binary;
}

std::shared_ptr<TLMExceptionModel> exceptionModel() {
    auto model = std::make_shared<TLMExceptionModel>();
    model->setType("NSRangeException");
    model->setMessage("index 3 beyond bounds");
    model->setStackTrace("(\n)");
    model->setFrames(TLMExceptionModel::Frames{frame("0x1", "main")});
    return model;
}

// An apple error log that passes every check.
std::shared_ptr<TLMAppleErrorLog> appleErrorLog() {
    auto log = std::make_shared<TLMAppleErrorLog>();
    log->setTimestamp(fixedTime());
    log->setDevice(validDevice());
    log->setErrorId("5C7E5A2E-1B1D-4F8E-9A55-0D2C6B1E7F00");
    log->setProcessId(4242);
    log->setProcessName("Vekmont");
    log->setPrimaryArchitectureId(16777228);
    log->setApplicationPath("/app/Vekmont");
    log->setOsExceptionType("SIGSEGV");
    log->setOsExceptionCode("SEGV_MAPERR");
    log->setOsExceptionAddress("0xdeadbeef");
    return log;
}

std::shared_ptr<TLMHandledErrorLog> handledErrorLog() {
    auto log = std::make_shared<TLMHandledErrorLog>();
    log->setTimestamp(fixedTime());
    log->setDevice(validDevice());
    log->setErrorId("E1");
    log->setException(exceptionModel());
    return log;
}

template <typename T>
std::shared_ptr<T> archivedAndRead(const std::shared_ptr<T>& record) {
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    const auto bytes = TLMUtility::archiveKeyedData(record);
    if (!bytes) return nullptr;
    const auto value = TLMUtility::unarchiveKeyedData(*bytes);
    if (!value || !value->asObject()) return nullptr;
    return std::dynamic_pointer_cast<T>(*value->asObject());
}

// A record that archives any value as a thread's "frames".
class ForgedThread : public TLMCoding {
public:
    explicit ForgedThread(TLMArchiveValue frames) : mFrames(std::move(frames)) {}
    void encodeWithCoder(TLMKeyedArchiver& coder) const override { coder.encodeObject(mFrames, "frames"); }

private:
    TLMArchiveValue mFrames;
};

// The value read from an archive of a thread with these frames.
std::optional<TLMArchiveValue> threadArchivedWithFrames(TLMArchiveValue::Array frames) {
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    const auto bytes = TLMUtility::archiveKeyedData(std::make_shared<ForgedThread>(std::move(frames)));
    if (!bytes) return std::nullopt;
    // The archive names the class after "TLMA", the version, the object tag
    // and the name's 32-bit length: put the thread's name there.
    const std::size_t nameAt = 4 + 1 + 1 + 4;
    const std::size_t oldLength = TLMClassName(typeid(ForgedThread)).size();
    const std::string name = "TLMThread";
    std::vector<std::uint8_t> renamed(bytes->begin(), bytes->begin() + nameAt - 4);
    for (int shift = 24; shift >= 0; shift -= 8) renamed.push_back(static_cast<std::uint8_t>(name.size() >> shift));
    renamed.insert(renamed.end(), name.begin(), name.end());
    renamed.insert(renamed.end(), bytes->begin() + static_cast<std::ptrdiff_t>(nameAt + oldLength), bytes->end());
    return TLMUtility::unarchiveKeyedData(renamed);
}

const std::string kFrameJson = R"({"address":"0x1","methodName":"main"})";
const std::string kExceptionJson = R"({"type":"NSRangeException","message":"index 3 beyond bounds",)"
                                   R"x("stackTrace":"(\n)","frames":[)x" +
                                   kFrameJson + "]}";

}  // namespace

TEST(TLMErrorLogModel, JsonOfTheErrorLogs) {
    // A new apple error log: its type and "fatal", always written.
    EXPECT_EQ(json(TLMAppleErrorLog()), R"({"type":"appleError","fatal":false})");
    EXPECT_EQ(json(TLMHandledErrorLog()), R"({"type":"handledError"})");

    auto log = appleErrorLog();
    log->setSid("S1");
    log->setProperties({{"k", "v"}});
    log->setParentProcessId(1);
    log->setParentProcessName("launchd");
    log->setErrorThreadId(3);
    log->setErrorThreadName("main");
    log->setFatal(true);
    log->setAppLaunchTimestamp(fixedTime());
    log->setArchitecture("arm64");
    log->setArchitectureVariantId(2);
    log->setExceptionType("NSRangeException");
    log->setExceptionReason("");  // present though empty
    log->setSelectorRegisterValue("objectAtIndex:");
    auto thread = std::make_shared<TLMThread>();
    thread->setThreadId(3);
    thread->setName("main");
    thread->frames()->push_back(frame("0x1", "main"));
    thread->setException(exceptionModel());
    log->setThreads(TLMAppleErrorLog::Threads{thread});
    log->setBinaries(TLMAppleErrorLog::Binaries{binary("B1", "/app/Vekmont")});
    log->setRegisters(TLMAppleErrorLog::Registers{{"x1", "0x2"}, {"x0", "0x1"}});
    log->setException(exceptionModel());
    EXPECT_EQ(json(*log),
              std::string(R"({"type":"appleError","timestamp":"2024-03-05T06:07:08.009Z","sid":"S1","device":)") +
                  kValidDeviceJson +
                  R"(,"properties":{"k":"v"},"id":"5C7E5A2E-1B1D-4F8E-9A55-0D2C6B1E7F00","processId":4242,)"
                  R"("processName":"Vekmont","parentProcessId":1,"parentProcessName":"launchd","errorThreadId":3,)"
                  R"("errorThreadName":"main","fatal":true,"appLaunchTimestamp":"2024-03-05T06:07:08.009Z",)"
                  R"("architecture":"arm64","primaryArchitectureId":16777228,"architectureVariantId":2,)"
                  R"("applicationPath":"/app/Vekmont","osExceptionType":"SIGSEGV","osExceptionCode":"SEGV_MAPERR",)"
                  R"("osExceptionAddress":"0xdeadbeef","exceptionType":"NSRangeException","exceptionReason":"",)"
                  R"("selectorRegisterValue":"objectAtIndex:","threads":[{"id":3,"name":"main","frames":[)" +
                  kFrameJson + R"(],"exception":)" + kExceptionJson +
                  R"(}],"binaries":[{"id":"B1","startAddress":"0x100000000","endAddress":"0x10000ffff",)"
                  R"("name":"Vekmont","path":"/app/Vekmont","primaryArchitectureId":16777228,)"
                  R"("architectureVariantId":0}],"registers":{"x0":"0x1","x1":"0x2"},"exception":)" +
                  kExceptionJson + "}");

    // Empty lists are written, absent ones are not.
    log->setThreads(TLMAppleErrorLog::Threads{});
    log->setBinaries(std::nullopt);
    log->setRegisters(std::nullopt);
    log->setException(nullptr);
    EXPECT_NE(json(*log).find(R"("selectorRegisterValue":"objectAtIndex:","threads":[]})"), std::string::npos);

    auto handled = handledErrorLog();
    EXPECT_EQ(json(*handled),
              std::string(R"({"type":"handledError","timestamp":"2024-03-05T06:07:08.009Z","device":)") +
                  kValidDeviceJson + R"(,"id":"E1","exception":)" + kExceptionJson + "}");
}

TEST(TLMErrorLogModel, JsonOfThreadsFramesBinariesAndWrapperExceptions) {
    // A new thread has an empty list of frames.
    EXPECT_EQ(json(TLMThread()), R"({"frames":[]})");
    EXPECT_EQ(TLMThread().description(), R"({"frames":[]})");

    TLMStackFrame full;
    full.setFileName("Vekmont");
    full.setLineNumber(120);
    full.setMethodName("drawRect:");
    full.setClassName("VKMLayoutView");
    full.setCode("");
    full.setAddress("0x10");
    EXPECT_EQ(json(full), R"({"address":"0x10","code":"","className":"VKMLayoutView","methodName":"drawRect:",)"
                          R"("lineNumber":120,"fileName":"Vekmont"})");
    EXPECT_EQ(json(TLMStackFrame()), "{}");

    // Every field but the architecture: seven keys.
    auto withoutArchitecture = binary("B1", "");
    EXPECT_EQ(json(*withoutArchitecture),
              R"({"id":"B1","startAddress":"0x100000000","endAddress":"0x10000ffff","name":"Vekmont","path":"",)"
              R"("primaryArchitectureId":16777228,"architectureVariantId":0})");
    withoutArchitecture->setArchitecture("arm64");
    EXPECT_NE(withoutArchitecture->description().find(R"("path":"","architecture":"arm64",)"), std::string::npos);

    TLMWrapperExceptionModel wrapper;
    wrapper.setType("System.Exception");
    EXPECT_EQ(json(wrapper), R"({"type":"System.Exception"})");
    wrapper.setWrapperSdkName("wrapper.net");
    wrapper.setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{});
    EXPECT_EQ(json(wrapper), R"({"type":"System.Exception","wrapperSdkName":"wrapper.net","innerExceptions":[]})");
    auto inner = std::make_shared<TLMWrapperExceptionModel>();
    inner->setMessage("inner");
    wrapper.setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{inner});
    EXPECT_EQ(json(wrapper),
              R"({"type":"System.Exception","wrapperSdkName":"wrapper.net","innerExceptions":[{"message":"inner"}]})");

    TLMWrapperException saved;
    EXPECT_EQ(json(saved), "{}");
    saved.setExceptionData(TLMWrapperException::Data{'a', 'b', 'c', 'd'});
    saved.setProcessId(4242);
    saved.setModelException(inner);
    EXPECT_EQ(json(saved), R"({"modelException":{"message":"inner"},"processId":4242,"exceptionData":"YWJjZA=="})");
}

TEST(TLMErrorLogModel, JsonOfAttachmentsAndErrorReports) {
    auto attachment = TLMErrorAttachmentLog::attachmentWithText("line 1\nline 2", "App.log");
    attachment->setTimestamp(fixedTime());
    attachment->setErrorId("E1");
    EXPECT_EQ(json(*attachment), R"({"type":"errorAttachment","timestamp":"2024-03-05T06:07:08.009Z","id":")" +
                                     *attachment->attachmentId() +
                                     R"(","errorId":"E1","contentType":"text/plain","fileName":"App.log",)"
                                     R"("data":"bGluZSAxCmxpbmUgMg=="})");
    // The identifier is a new upper-case UUID for every attachment.
    const std::string& id = *attachment->attachmentId();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_of("abcdef"), std::string::npos);
    EXPECT_NE(TLMErrorAttachmentLog::attachmentWithText("line 1\nline 2", "App.log")->attachmentId(), id);

    // Empty text is empty data; long data has no line breaks.
    EXPECT_NE(json(*TLMErrorAttachmentLog::attachmentWithText("", "e.txt")).find(R"("data":"")"), std::string::npos);
    const auto big = TLMErrorAttachmentLog::attachmentWithBinary(TLMErrorAttachmentLog::Data(3000, 0xAB), std::nullopt,
                                                                 "application/octet-stream");
    const std::string bigJson = json(*big);
    EXPECT_EQ(bigJson.find("\\n"), std::string::npos);
    EXPECT_EQ(bigJson.find("fileName"), std::string::npos);
    EXPECT_NE(bigJson.find(R"("contentType":"application/octet-stream","data":"q6ur)"), std::string::npos);

    auto thread = std::make_shared<TLMThread>();
    thread->setThreadId(0);
    TLMErrorReport crash("E1", "", "SIGSEGV", std::nullopt, std::nullopt, fixedTime(), fixedTime(), "ARM-64", "arm64",
                         "/app/Vekmont", TLMErrorReport::Threads{thread}, TLMErrorReport::Binaries{}, validDevice(),
                         4242);
    EXPECT_EQ(crash.description(),
              std::string(R"({"incidentIdentifier":"E1","reporterKey":"","signal":"SIGSEGV",)"
                          R"("appStartTime":"2024-03-05T06:07:08.009Z","appErrorTime":"2024-03-05T06:07:08.009Z",)"
                          R"("codeType":"ARM-64","archName":"arm64","applicationPath":"/app/Vekmont",)"
                          R"("threads":[{"id":0,"frames":[]}],"binaries":[],"device":)") +
                  kValidDeviceJson + R"(,"appProcessIdentifier":"4242"})");
    // A handled error's report: identifier, times and device, no process.
    TLMErrorReport handled("E2", std::nullopt, std::nullopt, std::nullopt, std::nullopt, fixedTime(), fixedTime(),
                           std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, nullptr, 0);
    EXPECT_EQ(handled.description(), R"({"incidentIdentifier":"E2","appStartTime":"2024-03-05T06:07:08.009Z",)"
                                     R"("appErrorTime":"2024-03-05T06:07:08.009Z"})");

    const struct {
        std::optional<std::string> signal;
        bool appKill;
    } kills[] = {{"SIGKILL", true}, {"sigkill", true}, {"SigKill", true}, {"SIGSEGV", false}, {std::nullopt, false}};
    for (const auto& kill : kills) {
        handled.setSignal(kill.signal);
        EXPECT_EQ(handled.isAppKill(), kill.appKill) << kill.signal.value_or("<none>");
    }
}

TEST(TLMErrorLogModel, ValidityNamesTheFirstMissingField) {
    TLMLogCapture capture;
    const auto messageOf = [&capture](bool valid) {
        const auto lines = capture.lines();
        capture.clear();
        if (valid) return lines.empty() ? std::string("<valid>") : "<valid, but logged " + lines[0].message + ">";
        if (lines.size() != 1) return std::string("<invalid with ") + std::to_string(lines.size()) + " messages>";
        if (lines[0].level != TLMLogLevelVerbose || lines[0].tag != "Telemetry") return std::string("<wrong level>");
        return lines[0].message;
    };

    auto log = appleErrorLog();
    EXPECT_EQ(messageOf(log->isValid()), "<valid>");  // no threads, binaries or exception needed
    log->setProcessName(std::nullopt);
    EXPECT_EQ(messageOf(log->isValid()), R"(TLMAppleErrorLog: "processName" is not valid.)");
    log = appleErrorLog();
    log->setErrorId(std::nullopt);
    EXPECT_EQ(messageOf(log->isValid()), R"(TLMAppleErrorLog: "errorId" is not valid.)");
    log = appleErrorLog();
    log->setOsExceptionAddress(std::nullopt);
    EXPECT_EQ(messageOf(log->isValid()), R"(TLMAppleErrorLog: "osExceptionAddress" is not valid.)");
    log = appleErrorLog();
    log->setProcessName("");  // the crash report knew no name: still a log to send
    log->setApplicationPath("");
    EXPECT_EQ(messageOf(log->isValid()), "<valid>");
    log->setDevice(nullptr);  // the base's checks come first
    log->setPrimaryArchitectureId(std::nullopt);
    EXPECT_EQ(messageOf(log->isValid()), R"(TLMAppleErrorLog: "device" is not valid.)");

    auto handled = handledErrorLog();
    EXPECT_EQ(messageOf(handled->isValid()), "<valid>");
    handled->setException(nullptr);
    EXPECT_EQ(messageOf(handled->isValid()), R"(TLMHandledErrorLog: "exception" is not valid.)");
    handled->setErrorId(std::nullopt);
    EXPECT_EQ(messageOf(handled->isValid()), R"(TLMHandledErrorLog: "errorId" is not valid.)");

    TLMThread thread;
    thread.setThreadId(0);
    EXPECT_EQ(messageOf(thread.isValid()), R"(TLMThread: "frames" is not valid.)");
    thread.frames()->push_back(frame("0x1", "main"));
    EXPECT_EQ(messageOf(thread.isValid()), "<valid>");
    thread.setThreadId(std::nullopt);
    EXPECT_EQ(messageOf(thread.isValid()), R"(TLMThread: "threadId" is not valid.)");

    TLMExceptionModel model;
    EXPECT_EQ(messageOf(model.isValid()), R"(TLMExceptionModel: "type" is not valid.)");
    model.setType("NSRangeException");
    model.setFrames(TLMExceptionModel::Frames{});
    EXPECT_EQ(messageOf(model.isValid()), R"(TLMExceptionModel: "frames" is not valid.)");
    TLMWrapperExceptionModel wrapper;
    EXPECT_EQ(messageOf(wrapper.isValid()), R"(TLMWrapperExceptionModel: "type" is not valid.)");

    auto withoutPath = binary("B1", "");
    EXPECT_EQ(messageOf(withoutPath->isValid()), "<valid>");
    withoutPath->setPath(std::nullopt);
    EXPECT_EQ(messageOf(withoutPath->isValid()), R"(TLMBinary: "path" is not valid.)");
    withoutPath->setStartAddress(std::nullopt);
    EXPECT_EQ(messageOf(withoutPath->isValid()), R"(TLMBinary: "startAddress" is not valid.)");

    auto attachment = TLMErrorAttachmentLog::attachmentWithText("", "empty.txt");
    attachment->setTimestamp(fixedTime());
    attachment->setDevice(validDevice());
    EXPECT_EQ(messageOf(attachment->isValid()), R"(TLMErrorAttachmentLog: "errorId" is not valid.)");
    attachment->setErrorId("E1");
    EXPECT_EQ(messageOf(attachment->isValid()), "<valid>");  // empty data counts
    auto noText = TLMErrorAttachmentLog::attachmentWithText(std::nullopt, "none.txt");
    noText->setTimestamp(fixedTime());
    noText->setDevice(validDevice());
    noText->setErrorId("E1");
    EXPECT_EQ(messageOf(noText->isValid()), R"(TLMErrorAttachmentLog: "data" is not valid.)");
    noText->setData(TLMErrorAttachmentLog::Data{});
    noText->setContentType(std::nullopt);
    EXPECT_EQ(messageOf(noText->isValid()), R"(TLMErrorAttachmentLog: "contentType" is not valid.)");
}

TEST(TLMErrorLogModel, EqualityFieldByFieldAndInOrder) {
    auto one = appleErrorLog();
    auto other = appleErrorLog();
    one->setBinaries(TLMAppleErrorLog::Binaries{binary("B1", "/a"), binary("B2", "/b")});
    other->setBinaries(TLMAppleErrorLog::Binaries{binary("B2", "/b"), binary("B1", "/a")});
    EXPECT_FALSE(one->isEqual(*other));
    other->setBinaries(TLMAppleErrorLog::Binaries{binary("B1", "/a"), binary("B2", "/b")});
    EXPECT_TRUE(one->isEqual(*other));
    other->setRegisters(TLMAppleErrorLog::Registers{});
    EXPECT_FALSE(one->isEqual(*other));  // an empty dictionary is not an absent one
    EXPECT_FALSE(one->isEqual(*handledErrorLog()));

    TLMExceptionModel first = *exceptionModel();
    TLMExceptionModel second = *exceptionModel();
    EXPECT_TRUE(first.isEqual(second));
    second.setStackTrace("(\n    other\n)");
    EXPECT_FALSE(first.isEqual(second));
    second = first;
    first.setFrames(TLMExceptionModel::Frames{frame("0x1", "a"), frame("0x2", "b")});
    second.setFrames(TLMExceptionModel::Frames{frame("0x2", "b"), frame("0x1", "a")});
    EXPECT_FALSE(first.isEqual(second));

    // A wrapper model differs from the plain one by its own fields.
    TLMWrapperExceptionModel wrapper;
    wrapper.setType("T");
    TLMWrapperExceptionModel sameWrapper;
    sameWrapper.setType("T");
    EXPECT_TRUE(wrapper.isEqual(sameWrapper));
    sameWrapper.setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{});
    EXPECT_FALSE(wrapper.isEqual(sameWrapper));
    TLMExceptionModel plain;
    plain.setType("T");
    EXPECT_FALSE(wrapper.isEqual(plain));

    // Numbers: both absent are equal, absent and 0 are not.
    auto noArchitecture = binary("B1", "/a");
    auto alsoNone = binary("B1", "/a");
    noArchitecture->setPrimaryArchitectureId(std::nullopt);
    alsoNone->setPrimaryArchitectureId(std::nullopt);
    EXPECT_TRUE(noArchitecture->isEqual(*alsoNone));
    alsoNone->setPrimaryArchitectureId(0);
    EXPECT_FALSE(noArchitecture->isEqual(*alsoNone));

    // Attachments of the same text have their own identifiers.
    auto text = TLMErrorAttachmentLog::attachmentWithText("x", "a.txt");
    auto sameText = TLMErrorAttachmentLog::attachmentWithText("x", "a.txt");
    EXPECT_FALSE(text->isEqual(*sameText));
    sameText->setAttachmentId(text->attachmentId());
    EXPECT_TRUE(text->isEqual(*sameText));
    sameText->setData(TLMErrorAttachmentLog::Data{'y'});
    EXPECT_FALSE(text->isEqual(*sameText));
}

TEST(TLMErrorLogModel, ArchivesReadBackEveryField) {
    // Launch time with nanoseconds: archived as a date, not as text.
    const auto launch = fixedTime() + std::chrono::nanoseconds(123456);
    auto log = appleErrorLog();
    log->setProperties({{"k", "v"}});
    log->setParentProcessId(1);
    log->setParentProcessName("");
    log->setErrorThreadId(3);
    log->setErrorThreadName("main");
    log->setFatal(true);
    log->setAppLaunchTimestamp(launch);
    log->setArchitecture("arm64");
    log->setArchitectureVariantId(2);
    log->setExceptionType("NSRangeException");
    log->setExceptionReason("");
    log->setSelectorRegisterValue("objectAtIndex:");
    auto thread = std::make_shared<TLMThread>();
    thread->setThreadId(3);
    thread->frames()->push_back(frame("0x1", "main"));
    thread->setException(exceptionModel());
    log->setThreads(TLMAppleErrorLog::Threads{thread, std::make_shared<TLMThread>()});
    log->setBinaries(TLMAppleErrorLog::Binaries{binary("B1", ""), binary("B2", "/b")});
    log->setRegisters(TLMAppleErrorLog::Registers{});
    auto wrapperModel = std::make_shared<TLMWrapperExceptionModel>();
    wrapperModel->setWrapperSdkName("wrapper.net");
    wrapperModel->setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{});
    log->setException(wrapperModel);
    const auto read = archivedAndRead(log);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isEqual(*log));
    EXPECT_EQ(read->appLaunchTimestamp(), launch);
    EXPECT_EQ(read->exceptionReason(), "");  // empty texts stay present
    EXPECT_EQ(read->binaries()->at(0)->path(), "");
    EXPECT_EQ(read->registers(), TLMAppleErrorLog::Registers{});
    ASSERT_TRUE(std::dynamic_pointer_cast<TLMWrapperExceptionModel>(read->exception()));
    EXPECT_EQ(json(*read), json(*log));

    // A new log without anything of its own reads back without it.
    auto bare = std::make_shared<TLMAppleErrorLog>();
    const auto readBare = archivedAndRead(bare);
    ASSERT_TRUE(readBare);
    EXPECT_TRUE(readBare->isEqual(*bare));
    EXPECT_EQ(readBare->threads(), std::nullopt);

    auto handled = handledErrorLog();
    const auto readHandled = archivedAndRead(handled);
    ASSERT_TRUE(readHandled);
    EXPECT_TRUE(readHandled->isEqual(*handled));

    // The attachment keeps its identifier and its bytes.
    auto attachment = TLMErrorAttachmentLog::attachmentWithBinary(TLMErrorAttachmentLog::Data{0, 1, 0xFF}, "a.bin",
                                                                  "application/octet-stream");
    attachment->setErrorId("E1");
    const auto readAttachment = archivedAndRead(attachment);
    ASSERT_TRUE(readAttachment);
    EXPECT_TRUE(readAttachment->isEqual(*attachment));
    EXPECT_EQ(readAttachment->attachmentId(), attachment->attachmentId());

    auto saved = std::make_shared<TLMWrapperException>();
    saved->setModelException(exceptionModel());
    saved->setExceptionData(TLMWrapperException::Data{'d', 'a', 't', 'a'});
    saved->setProcessId(4242);
    const auto readSaved = archivedAndRead(saved);
    ASSERT_TRUE(readSaved);
    EXPECT_TRUE(readSaved->modelException()->isEqual(*saved->modelException()));
    EXPECT_EQ(readSaved->exceptionData(), saved->exceptionData());
    EXPECT_EQ(readSaved->processId(), 4242);

    TLMStackFrame everyField;
    everyField.setAddress("0x1");
    everyField.setCode("");
    everyField.setClassName("C");
    everyField.setMethodName("m");
    everyField.setLineNumber(7);
    everyField.setFileName("f.m");
    const auto readFrame = archivedAndRead(std::make_shared<TLMStackFrame>(everyField));
    ASSERT_TRUE(readFrame);
    EXPECT_TRUE(readFrame->isEqual(everyField));
}

TEST(TLMErrorLogModel, ArchivesOfThreadsKeepWhatTheyHold) {
    // An archived thread with no list of frames reads back without one.
    auto thread = std::make_shared<TLMThread>();
    thread->setThreadId(1);
    thread->setFrames(std::nullopt);
    const auto read = archivedAndRead(thread);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->frames(), std::nullopt);
    EXPECT_EQ(json(*read), R"({"id":1})");

    // A list of frames holding something else is refused whole.
    EXPECT_EQ(threadArchivedWithFrames(TLMArchiveValue::Array{std::make_shared<TLMBinary>()}), std::nullopt);
    EXPECT_EQ(threadArchivedWithFrames(TLMArchiveValue::Array{TLMArchiveValue()}), std::nullopt);
    const auto value = threadArchivedWithFrames(TLMArchiveValue::Array{frame("0x1", "main")});
    ASSERT_TRUE(value && value->asObject());
    EXPECT_EQ(json(*std::dynamic_pointer_cast<TLMThread>(*value->asObject())),
              std::string(R"({"frames":[)") + kFrameJson + "]}");
}
