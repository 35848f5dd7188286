#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"

#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/TextEncoding.h"
#include "platform/security/Crypto.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

const char* const kTag = "TelemetryCrashes";
const char* const kUnknown = "???";

constexpr std::uint64_t kCpuX86 = 7;
constexpr std::uint64_t kCpuArm = 12;
constexpr std::uint64_t kCpuPowerPC = 18;
constexpr std::uint64_t kCpuX86_64 = 0x1000007;
constexpr std::uint64_t kCpuArm64 = 0x100000C;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Every text of a report goes into the log through this: a report holds
// what the crashed process had (a path in a Latin-1 folder, an exception
// message with such a path), and JSON can carry only UTF-8.
std::string reportText(std::string_view text) { return platform::validUtf8(text); }

std::optional<std::string> optionalReportText(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return platform::validUtf8(*text);
}

std::string hex(const char* format, std::uint64_t value) {
    char text[40];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
    return text;
}

// The code type of the crashed process: the machine's, unless an image
// names its own in the Mach encoding.
std::pair<std::uint64_t, std::uint64_t> codeTypeOf(const TLCrashReport& report) {
    std::pair<std::uint64_t, std::uint64_t> type{0, 0};
    if (report.machineInfo() && report.machineInfo()->processorInfo()) {
        type = {report.machineInfo()->processorInfo()->type(), report.machineInfo()->processorInfo()->subtype()};
    }
    for (const auto& image : report.images()) {
        const auto& code = image->codeType();
        if (code && code->typeEncoding() == TLCrashReportProcessorInfo::TypeEncodingMach) {
            return {code->type(), code->subtype()};
        }
    }
    return type;
}

TLMAbstractLog::Timestamp crashTime(const TLCrashReport& report) {
    using namespace std::chrono;
    const auto time = report.systemInfo() && report.systemInfo()->timestamp() ? *report.systemInfo()->timestamp()
                                                                              : platform::Clock::shared()->now();
    // Report times are whole seconds; the crash happened within that second.
    if (duration_cast<nanoseconds>(time.time_since_epoch()) % seconds(1) == nanoseconds(0)) {
        return time_point_cast<system_clock::duration>(time + milliseconds(999));
    }
    return time;
}

}  // namespace

std::string TLMErrorLogFormatter::stableIdForData(const TLCrashReport::Data& data) {
    const auto digest = platform::security::sha256({data.data(), data.size()});
    TLMUuid uuid;
    std::copy_n(digest.begin(), uuid.bytes.size(), uuid.bytes.begin());
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x50);  // name-based
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);
    return TLMUuidString(uuid);
}

std::string TLMErrorLogFormatter::errorIdForCrashReport(const TLCrashReport& report,
                                                        const TLCrashReport::Data& fileData) {
    if (report.uuidRef()) {
        TLMUuid uuid;
        uuid.bytes = *report.uuidRef();
        return TLMUuidString(uuid);
    }
    return stableIdForData(fileData);
}

bool TLMErrorLogFormatter::isCodeType64bit(std::uint64_t type) { return type == kCpuArm64 || type == kCpuX86_64; }

std::string TLMErrorLogFormatter::convertCodeTypeToString(std::uint64_t type) {
    switch (type) {
        case kCpuX86: return "X86";
        case kCpuArm: return "ARM";
        case kCpuPowerPC: return "PPC";
        case kCpuX86_64: return "X86-64";
        case kCpuArm64: return "ARM-64";
        default: return "Unknown (" + std::to_string(type) + ")";
    }
}

std::string TLMErrorLogFormatter::convertArchNameToString(std::uint64_t type, std::uint64_t subtype) {
    const std::uint64_t masked = subtype & 0x00FFFFFF;
    switch (type) {
        case kCpuX86: return "i386";
        case kCpuArm: return masked == 6 ? "armv6" : masked == 9 ? "armv7" : masked == 11 ? "armv7s" : "arm-unknown";
        case kCpuPowerPC: return "powerpc";
        case kCpuX86_64: return "x86_64";
        case kCpuArm64: return masked == 0 ? "arm64" : masked == 1 ? "armv8" : masked == 2 ? "arm64e" : "arm64-unknown";
        default: return kUnknown;
    }
}

std::string TLMErrorLogFormatter::formatAddress(std::uint64_t address, bool is64bit) {
    return hex(is64bit ? "0x%016llx" : "0x%08llx", address);
}

const TLCrashReportThreadInfo* TLMErrorLogFormatter::findCrashedThreadInReport(const TLCrashReport& report) {
    for (const auto& thread : report.threads()) {
        if (thread->crashed()) return thread.get();
    }
    return nullptr;
}

std::string TLMErrorLogFormatter::formatStackFrame(const TLCrashReportStackFrameInfo& frame,
                                                   const TLCrashReport& report) {
    const std::uint64_t pc = frame.instructionPointer();
    const auto image = report.imageForAddress(pc);
    std::uint64_t base = 0;
    std::uint64_t offset = 0;
    if (image) {
        base = image->imageBaseAddress();
        offset = pc - base;
    } else if (pc != 0) {
        TLMLogWarning(kTag, "Cannot find image for 0x%llx", static_cast<unsigned long long>(pc));
    }
    std::optional<std::string> processPath;
    if (report.processInfo()) processPath = report.processInfo()->processPath();
    const int type = image ? imageTypeForImagePath(image->imageName(), processPath) : 2;
    if (type == 2 && frame.symbolInfo()) {
        std::string name = reportText(frame.symbolInfo()->symbolName());
        if (name.size() >= 2 && name[0] == '_' && report.systemInfo()) {
            switch (report.systemInfo()->operatingSystem()) {
                case TLCrashReportSystemInfo::MacOSX:
                case TLCrashReportSystemInfo::iPhoneOS:
                case TLCrashReportSystemInfo::iPhoneSimulator:
                case TLCrashReportSystemInfo::AppleTVOS: name.erase(0, 1); break;
                case TLCrashReportSystemInfo::OSUnknown:
                    TLMLogWarning(kTag, "Symbol \"%s\" prefix rules are unknown for this OS!", name.c_str());
                    break;
                default: break;
            }
        }
        const auto distance = static_cast<long long>(pc - frame.symbolInfo()->startAddress());
        return name + " + " + std::to_string(distance);
    }
    return hex("0x%llx", base) + " + " + std::to_string(static_cast<long long>(offset));
}

TLMAppleErrorLog::Registers TLMErrorLogFormatter::extractRegistersFromCrashedThread(
    const TLCrashReportThreadInfo* thread, bool is64bit) {
    TLMAppleErrorLog::Registers registers;
    if (!thread) return registers;
    for (const auto& reg : thread->registers()) {
        registers[reportText(reg->registerName())] = formatAddress(reg->registerValue(), is64bit);
    }
    return registers;
}

TLMAppleErrorLog::Threads TLMErrorLogFormatter::extractThreadsFromReport(const TLCrashReport& report,
                                                                         const TLCrashReportThreadInfo* crashedThread,
                                                                         bool is64bit) {
    std::shared_ptr<TLMExceptionModel> exception;
    const auto& info = report.exceptionInfo();
    if (info && info->stackFrames() && !info->stackFrames()->empty()) {
        exception = std::make_shared<TLMExceptionModel>();
        exception->setMessage(reportText(info->exceptionReason()));
        exception->setType(reportText(info->exceptionName()));
        TLMExceptionModel::Frames frames;
        for (const auto& frame : *info->stackFrames()) {
            auto model = std::make_shared<TLMStackFrame>();
            model->setAddress(formatAddress(frame->instructionPointer(), is64bit));
            frames.push_back(std::move(model));
        }
        exception->setFrames(std::move(frames));
    }
    TLMAppleErrorLog::Threads threads;
    for (const auto& thread : report.threads()) {
        auto model = std::make_shared<TLMThread>();
        model->setThreadId(thread->threadNumber());
        if (exception && crashedThread && thread->threadNumber() == crashedThread->threadNumber()) {
            model->setException(exception);
        }
        TLMThread::Frames frames;
        for (const auto& frame : thread->stackFrames()) {
            auto stackFrame = std::make_shared<TLMStackFrame>();
            stackFrame->setAddress(formatAddress(frame->instructionPointer(), is64bit));
            stackFrame->setCode(formatStackFrame(*frame, report));
            frames.push_back(std::move(stackFrame));
        }
        model->setFrames(std::move(frames));
        threads.push_back(std::move(model));
    }
    return threads;
}

TLMErrorLogFormatter::Addresses TLMErrorLogFormatter::addressesFromReport(const TLCrashReport& report) {
    Addresses addresses;
    const auto& info = report.exceptionInfo();
    if (info && info->stackFrames()) {
        for (const auto& frame : *info->stackFrames()) addresses.push_back(frame->instructionPointer());
    }
    for (const auto& thread : report.threads()) {
        for (const auto& frame : thread->stackFrames()) addresses.push_back(frame->instructionPointer());
        for (const auto& reg : thread->registers()) addresses.push_back(reg->registerValue());
    }
    return addresses;
}

bool TLMErrorLogFormatter::isBinaryWithStart(std::uint64_t start, std::uint64_t end, const Addresses& addresses) {
    return std::any_of(addresses.begin(), addresses.end(),
                       [&](std::uint64_t address) { return address >= start && address <= end; });
}

TLMAppleErrorLog::Binaries TLMErrorLogFormatter::extractBinaryImagesFromReport(const TLCrashReport& report,
                                                                               bool is64bit) {
    const Addresses addresses = addressesFromReport(report);
    TLCrashReport::Images images = report.images();
    std::stable_sort(images.begin(), images.end(),
                     [](const auto& a, const auto& b) { return a->imageBaseAddress() < b->imageBaseAddress(); });
    std::optional<std::string> processPath;
    if (report.processInfo()) processPath = report.processInfo()->processPath();
    TLMAppleErrorLog::Binaries binaries;
    for (const auto& image : images) {
        const std::uint64_t start = image->imageBaseAddress();
        const std::uint64_t end = start + std::max<std::uint64_t>(image->imageSize(), 1) - 1;
        if (imageTypeForImagePath(image->imageName(), processPath) == 2 && !isBinaryWithStart(start, end, addresses)) {
            continue;
        }
        auto binary = std::make_shared<TLMBinary>();
        binary->setBinaryId(reportText(image->imageUUID().value_or(kUnknown)));
        binary->setStartAddress(formatAddress(start, is64bit));
        binary->setEndAddress(formatAddress(end, is64bit));
        const std::string path = reportText(image->imageName());
        binary->setPath(path);
        const std::string name = std::filesystem::path(path).filename().string();
        binary->setName(name.empty() ? std::string(kUnknown) : name);
        const auto& code = image->codeType();
        binary->setPrimaryArchitectureId(code ? code->type() : 0);
        binary->setArchitectureVariantId(code ? code->subtype() : 0);
        binaries.push_back(std::move(binary));
    }
    return binaries;
}

int TLMErrorLogFormatter::imageTypeForImagePath(const std::optional<std::string>& imagePath,
                                                const std::optional<std::string>& processPath) {
    if (!imagePath || !processPath || imagePath->empty() || processPath->empty()) return 2;
    const std::string image = lowercase(std::filesystem::path(*imagePath).lexically_normal().string());
    const std::string process = lowercase(std::filesystem::path(*processPath).lexically_normal().string());
    if (image == process) return 0;
    // The program's own libraries lie in the folder it is installed in.
    std::string folder = std::filesystem::path(process).parent_path().string();
    if (folder.empty() || folder == "/") return 2;
    if (folder.back() != '/') folder += '/';
    return startsWith(image, folder) ? 1 : 2;
}

std::shared_ptr<TLMDevice> TLMErrorLogFormatter::deviceForTimestamp(const TLMAbstractLog::Timestamp& timestamp,
                                                                    const TLCrashReport& report) {
    const std::shared_ptr<TLMDevice> tracked = TLMDeviceTracker::sharedInstance().deviceForTimestamp(timestamp);
    auto device = tracked ? std::make_shared<TLMDevice>(*tracked) : std::make_shared<TLMDevice>();
    if (const auto& system = report.systemInfo()) {
        if (!system->operatingSystemVersion().empty()) {
            device->setOsVersion(reportText(system->operatingSystemVersion()));
        }
        if (system->operatingSystemBuild()) device->setOsBuild(reportText(*system->operatingSystemBuild()));
    }
    if (report.machineInfo() && report.machineInfo()->modelName()) {
        device->setModel(reportText(*report.machineInfo()->modelName()));
    }
    if (const auto& application = report.applicationInfo()) {
        if (!application->applicationVersion().empty()) {
            device->setAppBuild(reportText(application->applicationVersion()));
        }
        // An empty version is none: a device without one is not valid, and
        // its log would be refused at every start.
        if (const auto& marketing = application->applicationMarketingVersion(); marketing && !marketing->empty()) {
            device->setAppVersion(reportText(*marketing));
        }
        if (!application->applicationIdentifier().empty()) {
            device->setAppNamespace(reportText(application->applicationIdentifier()));
        }
    }
    return device;
}

std::string TLMErrorLogFormatter::anonymizedPathFromPath(const std::string& path) {
    if (path.empty()) return "";
    if (startsWith(path, "/Users/")) {
        std::string result;
        std::size_t position = 0;
        while (true) {
            const std::size_t found = path.find("/Users/", position);
            if (found == std::string::npos) break;
            const std::size_t nameEnd = path.find('/', found + 7);
            if (nameEnd == std::string::npos || nameEnd == found + 7) {
                result += path.substr(position, found + 7 - position);
                position = found + 7;
                continue;
            }
            result += path.substr(position, found - position) + "/Users/USER/";
            position = nameEnd + 1;
        }
        return result + path.substr(position);
    }
    return path.find("Users") == std::string::npos ? path : "";
}

std::shared_ptr<TLMAppleErrorLog> TLMErrorLogFormatter::errorLogFromCrashReport(const TLCrashReport& report,
                                                                                const TLCrashReport::Data& fileData) {
    auto log = std::make_shared<TLMAppleErrorLog>();
    log->setErrorId(errorIdForCrashReport(report, fileData));

    log->setProcessId(0);
    log->setProcessName(std::string(kUnknown));
    log->setParentProcessName(std::string(kUnknown));
    log->setApplicationPath(std::string(kUnknown));
    if (const auto& process = report.processInfo()) {
        log->setProcessId(static_cast<std::int64_t>(process->processID()));
        if (process->processName()) log->setProcessName(optionalReportText(process->processName()));
        if (process->processPath()) log->setApplicationPath(optionalReportText(process->processPath()));
        if (process->parentProcessName()) log->setParentProcessName(optionalReportText(process->parentProcessName()));
        log->setParentProcessId(static_cast<std::int64_t>(process->parentProcessID()));
    }

    const TLCrashReportThreadInfo* crashed = findCrashedThreadInReport(report);
    log->setErrorThreadId(crashed ? crashed->threadNumber() : 0);
    log->setFatal(true);

    const TLMAbstractLog::Timestamp timestamp = crashTime(report);
    if (report.processInfo()) {
        if (report.processInfo()->processStartTime()) {
            log->setAppLaunchTimestamp(std::chrono::time_point_cast<TLMAbstractLog::Timestamp::duration>(
                *report.processInfo()->processStartTime()));
        }
    } else if (report.systemInfo() && report.systemInfo()->timestamp()) {
        log->setAppLaunchTimestamp(
            std::chrono::time_point_cast<TLMAbstractLog::Timestamp::duration>(*report.systemInfo()->timestamp()));
    }
    log->setTimestamp(timestamp);

    const auto [type, subtype] = codeTypeOf(report);
    const bool is64bit = isCodeType64bit(type);
    log->setPrimaryArchitectureId(type);
    log->setArchitectureVariantId(subtype);

    if (const auto& signal = report.signalInfo()) {
        log->setOsExceptionType(reportText(signal->name()));
        log->setOsExceptionCode(reportText(signal->code()));
        log->setOsExceptionAddress(hex("0x%llx", signal->address()));
    }
    if (const auto& exception = report.exceptionInfo()) {
        log->setExceptionReason(reportText(exception->exceptionReason()));
        log->setExceptionType(reportText(exception->exceptionName()));
    }
    // No object runtime here, so no selector name is ever found.
    log->setThreads(extractThreadsFromReport(report, crashed, is64bit));
    log->setRegisters(extractRegistersFromCrashedThread(crashed, is64bit));
    log->setBinaries(extractBinaryImagesFromReport(report, is64bit));
    log->setDevice(deviceForTimestamp(timestamp, report));

    // Only a wrapper runtime keeps exceptions, so most crashes have none: a
    // missing one is no error here, and only one that is kept is loaded.
    const std::string& errorId = *log->errorId();
    if (TLMWrapperExceptionManager::hasWrapperExceptionWithUUIDString(errorId)) {
        if (const auto wrapper = TLMWrapperExceptionManager::loadWrapperExceptionWithUUIDString(errorId)) {
            log->setException(wrapper->modelException());
        }
    }
    return log;
}

std::shared_ptr<TLMErrorReport> TLMErrorLogFormatter::errorReportFromCrashReport(const TLCrashReport* report,
                                                                                 const TLCrashReport::Data& fileData) {
    if (!report) return nullptr;
    return errorReportFromLog(*errorLogFromCrashReport(*report, fileData));
}

std::shared_ptr<TLMErrorReport> TLMErrorLogFormatter::errorReportFromLog(const TLMAppleErrorLog& log) {
    std::optional<std::string> codeType = kUnknown;
    std::optional<std::string> archName = kUnknown;
    if (log.primaryArchitectureId()) {
        const std::uint64_t type = *log.primaryArchitectureId();
        codeType = convertCodeTypeToString(type);
        if (log.architectureVariantId()) archName = convertArchNameToString(type, *log.architectureVariantId());
    }
    return std::make_shared<TLMErrorReport>(
        log.errorId(), TLMTelemetry::installId(), log.osExceptionType(), log.exceptionType(), log.exceptionReason(),
        log.appLaunchTimestamp(), log.timestamp(), codeType, archName, log.applicationPath(), log.threads(),
        log.binaries(), log.device(), static_cast<std::uint64_t>(log.processId().value_or(0)));
}
