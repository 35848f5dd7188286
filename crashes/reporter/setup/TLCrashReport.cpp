#include "crashes/reporter/setup/TLCrashReport.h"

#include "crashes/reporter/setup/TLCrashReporterError.h"
#include "crashes/reporter/tlcrash.pb-c.h"
#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

using Message = Tlcrash__CrashReport;

constexpr char kMagic[7] = {'t', 'l', 'c', 'r', 'a', 's', 'h'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = sizeof kMagic + 1;
constexpr std::size_t kMaxMachExceptionCodes = 255;

// 64-bit ARM with pointer authentication keeps a signature in the bits above
// the 36-bit address; only that processor's frames are masked.
constexpr std::uint64_t kCpuTypeArm64 = 0x100000C;
constexpr std::uint64_t kCpuSubtypeArm64e = 2;
constexpr std::uint64_t kArm64ePointerMask = 0xFFFFFFFFFULL;

struct MessageFree {
    void operator()(Message* message) const {
        protobuf_c_message_free_unpacked(reinterpret_cast<ProtobufCMessage*>(message), nullptr);
    }
};
using MessagePtr = std::unique_ptr<Message, MessageFree>;

// The application may translate the texts; untranslated they stand as written.
std::string localized(const char* key) {
    if (const platform::Bundle* bundle = platform::Bundle::main()) {
        if (std::optional<std::string> text = bundle->localizedString(key, "")) {
            if (!text->empty()) return *text;
        }
    }
    return key;
}

// The number in an enum field. protobuf-c stores whatever number the file
// holds, and loading an enum of a value outside its enumerators is
// undefined in C++, so the field is read as the int it is stored as.
template <typename Enum>
std::int32_t enumValue(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(std::int32_t));
    std::int32_t value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

std::optional<std::string> optionalText(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

// None for seconds beyond what a date holds (about 1678 to 2262): a damaged
// time is no time rather than a wrapped one.
std::optional<TLCrashReportDate> dateFromSeconds(std::int64_t seconds) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 33;
    if (seconds < -kLimit || seconds > kLimit) return std::nullopt;
    return TLCrashReportDate(std::chrono::seconds(seconds));
}

}  // namespace

// One reading of a file: each step converts one part of the decoded message
// and, on failure, leaves the error and returns null.
class TLCrashReport::Reader {
public:
    explicit Reader(ErrorOut* error) : mError(error) {}

    std::shared_ptr<TLCrashReport> read(const std::uint8_t* data, std::size_t size);

private:
    // Leaves the error (code 2) for the caller that asked for one.
    std::nullptr_t fail(std::string description) {
        if (mError != nullptr) {
            *mError = TLCrashReporterMakeError(TLCrashReporterError::CrashReportInvalid, std::move(description));
        }
        return nullptr;
    }
    // The same with a text the application may translate.
    std::nullptr_t failWith(const char* key) { return fail(localized(key)); }

    MessagePtr decodeCrashData(const std::uint8_t* data, std::size_t size);
    std::shared_ptr<TLCrashReportProcessorInfo> synthesizeProcessorInfoFromArchitecture(std::int32_t architecture);
    std::shared_ptr<TLCrashReportSystemInfo> extractSystemInfo(
        const Tlcrash__CrashReport__SystemInfo* systemInfo,
        const std::shared_ptr<TLCrashReportProcessorInfo>& processorInfo);
    std::shared_ptr<TLCrashReportMachineInfo> extractMachineInfo(const Tlcrash__CrashReport__MachineInfo* machineInfo);
    std::shared_ptr<TLCrashReportProcessorInfo> extractProcessorInfo(const Tlcrash__CrashReport__Processor* processor);
    std::shared_ptr<TLCrashReportApplicationInfo> extractApplicationInfo(
        const Tlcrash__CrashReport__ApplicationInfo* applicationInfo);
    std::shared_ptr<TLCrashReportProcessInfo> extractProcessInfo(const Tlcrash__CrashReport__ProcessInfo* processInfo);
    std::shared_ptr<TLCrashReportSignalInfo> extractSignalInfo(const Tlcrash__CrashReport__Signal* signal);
    std::shared_ptr<TLCrashReportMachExceptionInfo> extractMachExceptionInfo(
        const Tlcrash__CrashReport__Signal__MachException* machException);
    std::optional<Threads> extractThreadInfo(const Message& report);
    std::optional<Images> extractImageInfo(const Message& report);
    std::shared_ptr<TLCrashReportExceptionInfo> extractExceptionInfo(const Tlcrash__CrashReport__Exception* exception);
    std::optional<TLCrashReportStackFrames> extractStackFrames(Tlcrash__CrashReport__Thread__StackFrame* const* frames,
                                                               std::size_t count);
    std::shared_ptr<TLCrashReportStackFrameInfo> extractStackFrameInfo(
        const Tlcrash__CrashReport__Thread__StackFrame* frame);
    std::shared_ptr<TLCrashReportSymbolInfo> extractSymbolInfo(const Tlcrash__CrashReport__Symbol* symbol);

    ErrorOut* mError;
    bool mMaskArm64ePointers = false;
};

std::shared_ptr<TLCrashReport> TLCrashReport::makeWithData(const std::uint8_t* data, std::size_t size,
                                                           ErrorOut* error) {
    return Reader(error).read(data, size);
}

std::shared_ptr<TLCrashReport> TLCrashReport::Reader::read(const std::uint8_t* data, std::size_t size) {
    const MessagePtr message = decodeCrashData(data, size);
    if (!message) return nullptr;
    std::shared_ptr<TLCrashReport> report(new TLCrashReport());

    if (message->report_info != nullptr && message->report_info->has_uuid) {
        const ProtobufCBinaryData& uuid = message->report_info->uuid;
        if (uuid.len != sizeof(Uuid)) return fail("Report UUID value is not a standard 16 bytes");
        std::memcpy(report->mUuid.emplace().data(), uuid.data, uuid.len);
    }
    if (message->machine_info != nullptr) {
        if (!(report->mMachineInfo = extractMachineInfo(message->machine_info))) return nullptr;
        const auto& processor = report->mMachineInfo->processorInfo();
        mMaskArm64ePointers = processor && processor->typeEncoding() == TLCrashReportProcessorInfo::TypeEncodingMach &&
                              processor->type() == kCpuTypeArm64 && processor->subtype() == kCpuSubtypeArm64e;
    }
    const auto machineProcessor = report->mMachineInfo ? report->mMachineInfo->processorInfo() : nullptr;
    if (!(report->mSystemInfo = extractSystemInfo(message->system_info, machineProcessor))) return nullptr;
    if (!(report->mApplicationInfo = extractApplicationInfo(message->application_info))) return nullptr;
    if (message->process_info != nullptr && !(report->mProcessInfo = extractProcessInfo(message->process_info))) {
        return nullptr;
    }
    if (!(report->mSignalInfo = extractSignalInfo(message->signal))) return nullptr;
    if (message->signal->mach_exception != nullptr &&
        !(report->mMachExceptionInfo = extractMachExceptionInfo(message->signal->mach_exception))) {
        return nullptr;
    }
    std::optional<Threads> threads = extractThreadInfo(*message);
    if (!threads) return nullptr;
    report->mThreads = std::move(*threads);
    std::optional<Images> images = extractImageInfo(*message);
    if (!images) return nullptr;
    report->mImages = std::move(*images);
    if (message->exception != nullptr && !(report->mExceptionInfo = extractExceptionInfo(message->exception))) {
        return nullptr;
    }
    if (message->has_custom_data) {
        const ProtobufCBinaryData& custom = message->custom_data;
        report->mCustomData.emplace(custom.data, custom.data + custom.len);
    }
    return report;
}

MessagePtr TLCrashReport::Reader::decodeCrashData(const std::uint8_t* data, std::size_t size) {
    if (size <= kHeaderSize) return failWith("Could not decode truncated crash log");
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return failWith("Could not decode invalid crash log header");
    if (data[sizeof kMagic] != kVersion) {
        std::string text = localized("Could not decode unsupported crash report version: %d");
        const std::size_t at = text.find("%d");
        if (at != std::string::npos) text.replace(at, 2, std::to_string(data[sizeof kMagic]));
        return fail(std::move(text));
    }
    MessagePtr message(tlcrash__crash_report__unpack(nullptr, size - kHeaderSize, data + kHeaderSize));
    if (!message) return failWith("An unknown error occured decoding the crash report");
    return message;
}

std::shared_ptr<TLCrashReportProcessorInfo> TLCrashReport::Reader::synthesizeProcessorInfoFromArchitecture(
    std::int32_t architecture) {
    struct MachType {
        std::uint64_t type;
        std::uint64_t subtype;
    };
    // By the file's architecture values 0 (x86) to 5 (ARMv7).
    static constexpr MachType kTypes[] = {{7, 3}, {0x1000007, 3}, {12, 6}, {18, 0}, {0x1000012, 0}, {12, 9}};
    const auto index = static_cast<std::uint32_t>(architecture);
    if (index >= std::size(kTypes)) return failWith("Crash report has an unknown architecture");
    return std::make_shared<TLCrashReportProcessorInfo>(TLCrashReportProcessorInfo::TypeEncodingMach,
                                                        kTypes[index].type, kTypes[index].subtype);
}

std::shared_ptr<TLCrashReportSystemInfo> TLCrashReport::Reader::extractSystemInfo(
    const Tlcrash__CrashReport__SystemInfo* systemInfo,
    const std::shared_ptr<TLCrashReportProcessorInfo>& processorInfo) {
    if (systemInfo == nullptr) return failWith("Crash report is missing System Information section");
    if (systemInfo->os_version == nullptr)
        return failWith("Crash report is missing System Information OS version field");
    std::shared_ptr<TLCrashReportProcessorInfo> processor = processorInfo;
    const std::int32_t architecture = enumValue(systemInfo->architecture);
    if (!processor && !(processor = synthesizeProcessorInfoFromArchitecture(architecture))) return nullptr;
    std::optional<TLCrashReportDate> timestamp;
    if (systemInfo->timestamp != 0) timestamp = dateFromSeconds(systemInfo->timestamp);
    return std::make_shared<TLCrashReportSystemInfo>(enumValue(systemInfo->operating_system), systemInfo->os_version,
                                                     optionalText(systemInfo->os_build), architecture,
                                                     std::move(processor), timestamp);
}

std::shared_ptr<TLCrashReportMachineInfo> TLCrashReport::Reader::extractMachineInfo(
    const Tlcrash__CrashReport__MachineInfo* machineInfo) {
    if (machineInfo == nullptr) return failWith("Crash report is missing Machine Information section");
    std::shared_ptr<TLCrashReportProcessorInfo> processor;
    if (machineInfo->processor != nullptr && !(processor = extractProcessorInfo(machineInfo->processor))) {
        return nullptr;
    }
    return std::make_shared<TLCrashReportMachineInfo>(optionalText(machineInfo->model), std::move(processor),
                                                      machineInfo->processor_count,
                                                      machineInfo->logical_processor_count);
}

std::shared_ptr<TLCrashReportProcessorInfo> TLCrashReport::Reader::extractProcessorInfo(
    const Tlcrash__CrashReport__Processor* processor) {
    if (processor == nullptr) return failWith("Crash report is missing processor info section");
    return std::make_shared<TLCrashReportProcessorInfo>(enumValue(processor->encoding), processor->type,
                                                        processor->subtype);
}

std::shared_ptr<TLCrashReportApplicationInfo> TLCrashReport::Reader::extractApplicationInfo(
    const Tlcrash__CrashReport__ApplicationInfo* applicationInfo) {
    if (applicationInfo == nullptr) return failWith("Crash report is missing Application Information section");
    if (applicationInfo->identifier == nullptr) {
        return failWith("Crash report is missing Application Information app identifier field");
    }
    if (applicationInfo->version == nullptr) {
        return failWith("Crash report is missing Application Information app version field");
    }
    return std::make_shared<TLCrashReportApplicationInfo>(applicationInfo->identifier, applicationInfo->version,
                                                          optionalText(applicationInfo->marketing_version));
}

std::shared_ptr<TLCrashReportProcessInfo> TLCrashReport::Reader::extractProcessInfo(
    const Tlcrash__CrashReport__ProcessInfo* processInfo) {
    if (processInfo == nullptr) return failWith("Crash report is missing Process Information section");
    std::optional<TLCrashReportDate> startTime;
    if (processInfo->has_start_time &&
        processInfo->start_time <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        startTime = dateFromSeconds(static_cast<std::int64_t>(processInfo->start_time));
    }
    return std::make_shared<TLCrashReportProcessInfo>(optionalText(processInfo->process_name), processInfo->process_id,
                                                      optionalText(processInfo->process_path), startTime,
                                                      optionalText(processInfo->parent_process_name),
                                                      processInfo->parent_process_id, processInfo->native != 0);
}

std::shared_ptr<TLCrashReportSignalInfo> TLCrashReport::Reader::extractSignalInfo(
    const Tlcrash__CrashReport__Signal* signal) {
    if (signal == nullptr) return failWith("Crash report is missing Signal Information section");
    if (signal->name == nullptr) return failWith("Crash report is missing signal name field");
    if (signal->code == nullptr) return failWith("Crash report is missing signal code field");
    return std::make_shared<TLCrashReportSignalInfo>(signal->name, signal->code, signal->address);
}

std::shared_ptr<TLCrashReportMachExceptionInfo> TLCrashReport::Reader::extractMachExceptionInfo(
    const Tlcrash__CrashReport__Signal__MachException* machException) {
    if (machException == nullptr) return failWith("Crash report is missing Mach Exception Information section");
    if (machException->n_codes > kMaxMachExceptionCodes) {
        return failWith("Crash report includes too many Mach Exception codes");
    }
    return std::make_shared<TLCrashReportMachExceptionInfo>(
        machException->type,
        std::vector<std::uint64_t>(machException->codes, machException->codes + machException->n_codes));
}

std::optional<TLCrashReport::Threads> TLCrashReport::Reader::extractThreadInfo(const Message& report) {
    if (report.n_threads == 0) {
        failWith("Crash report is missing thread state information");
        return std::nullopt;
    }
    Threads threads;
    threads.reserve(report.n_threads);
    for (std::size_t i = 0; i < report.n_threads; ++i) {
        const Tlcrash__CrashReport__Thread& thread = *report.threads[i];
        std::optional<TLCrashReportStackFrames> frames = extractStackFrames(thread.frames, thread.n_frames);
        if (!frames) return std::nullopt;
        TLCrashReportThreadInfo::Registers registers;
        registers.reserve(thread.n_registers);
        for (std::size_t r = 0; r < thread.n_registers; ++r) {
            const Tlcrash__CrashReport__Thread__RegisterValue& value = *thread.registers[r];
            if (value.name == nullptr) {
                fail("Missing register name in register value");
                return std::nullopt;
            }
            registers.push_back(std::make_shared<TLCrashReportRegisterInfo>(value.name, value.value));
        }
        threads.push_back(std::make_shared<TLCrashReportThreadInfo>(thread.thread_number, std::move(*frames),
                                                                    thread.crashed != 0, std::move(registers)));
    }
    return threads;
}

std::optional<TLCrashReport::Images> TLCrashReport::Reader::extractImageInfo(const Message& report) {
    if (report.n_binary_images == 0) {
        failWith("Crash report is missing binary image information");
        return std::nullopt;
    }
    Images images;
    images.reserve(report.n_binary_images);
    for (std::size_t i = 0; i < report.n_binary_images; ++i) {
        const Tlcrash__CrashReport__BinaryImage& image = *report.binary_images[i];
        if (image.name == nullptr) {
            fail("Missing image name in image record");
            return std::nullopt;
        }
        std::shared_ptr<TLCrashReportProcessorInfo> codeType;
        if (image.code_type != nullptr && !(codeType = extractProcessorInfo(image.code_type))) return std::nullopt;
        std::optional<Data> uuid;
        if (image.has_uuid && image.uuid.len > 0) uuid.emplace(image.uuid.data, image.uuid.data + image.uuid.len);
        images.push_back(std::make_shared<TLCrashReportBinaryImageInfo>(std::move(codeType), image.base_address,
                                                                        image.size, image.name, uuid));
    }
    return images;
}

std::shared_ptr<TLCrashReportExceptionInfo> TLCrashReport::Reader::extractExceptionInfo(
    const Tlcrash__CrashReport__Exception* exception) {
    if (exception == nullptr) return failWith("Crash report is missing Exception Information section");
    if (exception->name == nullptr) return failWith("Crash report is missing exception name field");
    if (exception->reason == nullptr) return failWith("Crash report is missing exception reason field");
    std::optional<TLCrashReportStackFrames> frames;
    if (exception->n_frames > 0 && !(frames = extractStackFrames(exception->frames, exception->n_frames))) {
        return nullptr;
    }
    return std::make_shared<TLCrashReportExceptionInfo>(exception->name, exception->reason, std::move(frames));
}

std::optional<TLCrashReportStackFrames> TLCrashReport::Reader::extractStackFrames(
    Tlcrash__CrashReport__Thread__StackFrame* const* frames, std::size_t count) {
    TLCrashReportStackFrames converted;
    converted.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::shared_ptr<TLCrashReportStackFrameInfo> frame = extractStackFrameInfo(frames[i]);
        if (!frame) return std::nullopt;
        converted.push_back(std::move(frame));
    }
    return converted;
}

std::shared_ptr<TLCrashReportStackFrameInfo> TLCrashReport::Reader::extractStackFrameInfo(
    const Tlcrash__CrashReport__Thread__StackFrame* frame) {
    if (frame == nullptr) return failWith("Crash report is missing stack frame information");
    std::shared_ptr<TLCrashReportSymbolInfo> symbol;
    if (frame->symbol != nullptr && !(symbol = extractSymbolInfo(frame->symbol))) return nullptr;
    const std::uint64_t pc = mMaskArm64ePointers ? frame->pc & kArm64ePointerMask : frame->pc;
    return std::make_shared<TLCrashReportStackFrameInfo>(pc, std::move(symbol));
}

std::shared_ptr<TLCrashReportSymbolInfo> TLCrashReport::Reader::extractSymbolInfo(
    const Tlcrash__CrashReport__Symbol* symbol) {
    if (symbol == nullptr || symbol->name == nullptr) return failWith("Crash report is missing symbol information");
    return std::make_shared<TLCrashReportSymbolInfo>(symbol->name, symbol->start_address,
                                                     symbol->has_end_address ? symbol->end_address : 0);
}

std::shared_ptr<TLCrashReportBinaryImageInfo> TLCrashReport::imageForAddress(std::uint64_t address) const {
    const auto found = std::find_if(mImages.begin(), mImages.end(), [address](const auto& image) {
        // Written as a difference so that a range reaching past 2^64 cannot wrap.
        return address >= image->imageBaseAddress() && address - image->imageBaseAddress() < image->imageSize();
    });
    return found == mImages.end() ? nullptr : *found;
}

TLCrashReportBinaryImageInfo::TLCrashReportBinaryImageInfo(std::shared_ptr<TLCrashReportProcessorInfo> codeType,
                                                           std::uint64_t imageBaseAddress, std::uint64_t imageSize,
                                                           std::string imageName,
                                                           const std::optional<std::vector<std::uint8_t>>& uuid)
    : mProcessorInfo(std::move(codeType)),
      mBaseAddress(imageBaseAddress),
      mImageSize(imageSize),
      mImageName(std::move(imageName)) {
    if (!uuid || uuid->empty()) return;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string& hex = mImageUUID.emplace();
    hex.reserve(uuid->size() * 2);
    for (const std::uint8_t byte : *uuid) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0x0F]);
    }
}
