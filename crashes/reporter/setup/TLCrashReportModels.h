#pragma once
// The parts of a decoded crash report: immutable value holders, made once by
// the report reader (TLCrashReport) and then only read. Object fields are
// shared, not copied; a field that may be missing is null or none.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TLCrashReportDate = std::chrono::system_clock::time_point;

// A processor type in a given encoding; with encoding 1 (Mach) a Mach-O CPU
// type and subtype, the subtype's top 8 bits being capability flags.
class TLCrashReportProcessorInfo {
public:
    static constexpr std::int32_t TypeEncodingUnknown = 0;
    static constexpr std::int32_t TypeEncodingMach = 1;

    TLCrashReportProcessorInfo(std::int32_t typeEncoding, std::uint64_t type, std::uint64_t subtype)
        : mTypeEncoding(typeEncoding), mType(type), mSubtype(subtype) {}

    std::int32_t typeEncoding() const { return mTypeEncoding; }
    std::uint64_t type() const { return mType; }
    std::uint64_t subtype() const { return mSubtype; }

private:
    std::int32_t mTypeEncoding;
    std::uint64_t mType;
    std::uint64_t mSubtype;
};

class TLCrashReportSystemInfo {
public:
    // The values of the file's operating system and architecture enums.
    enum OperatingSystem : std::int32_t { MacOSX = 0, iPhoneOS = 1, iPhoneSimulator = 2, OSUnknown = 3, AppleTVOS = 4 };
    enum Architecture : std::int32_t { X86_32 = 0, X86_64 = 1, ARMv6 = 2, PPC = 3, PPC64 = 4, ARMv7 = 5, Unknown = 6 };

    TLCrashReportSystemInfo(std::int32_t operatingSystem, std::string operatingSystemVersion,
                            std::optional<std::string> operatingSystemBuild, std::int32_t architecture,
                            std::shared_ptr<TLCrashReportProcessorInfo> processorInfo,
                            std::optional<TLCrashReportDate> timestamp)
        : mOperatingSystem(operatingSystem),
          mOsVersion(std::move(operatingSystemVersion)),
          mOsBuild(std::move(operatingSystemBuild)),
          mArchitecture(architecture),
          mProcessorInfo(std::move(processorInfo)),
          mTimestamp(timestamp) {}
    // Without build and processor.
    TLCrashReportSystemInfo(std::int32_t operatingSystem, std::string operatingSystemVersion, std::int32_t architecture,
                            std::optional<TLCrashReportDate> timestamp)
        : TLCrashReportSystemInfo(operatingSystem, std::move(operatingSystemVersion), std::nullopt, architecture,
                                  nullptr, timestamp) {}
    // Without processor.
    TLCrashReportSystemInfo(std::int32_t operatingSystem, std::string operatingSystemVersion,
                            std::optional<std::string> operatingSystemBuild, std::int32_t architecture,
                            std::optional<TLCrashReportDate> timestamp)
        : TLCrashReportSystemInfo(operatingSystem, std::move(operatingSystemVersion), std::move(operatingSystemBuild),
                                  architecture, nullptr, timestamp) {}

    std::int32_t operatingSystem() const { return mOperatingSystem; }
    const std::string& operatingSystemVersion() const { return mOsVersion; }
    const std::optional<std::string>& operatingSystemBuild() const { return mOsBuild; }
    std::int32_t architecture() const { return mArchitecture; }
    const std::shared_ptr<TLCrashReportProcessorInfo>& processorInfo() const { return mProcessorInfo; }
    // None when the report does not know the time.
    const std::optional<TLCrashReportDate>& timestamp() const { return mTimestamp; }

private:
    std::int32_t mOperatingSystem;
    std::string mOsVersion;
    std::optional<std::string> mOsBuild;
    std::int32_t mArchitecture;
    std::shared_ptr<TLCrashReportProcessorInfo> mProcessorInfo;
    std::optional<TLCrashReportDate> mTimestamp;
};

class TLCrashReportMachineInfo {
public:
    TLCrashReportMachineInfo(std::optional<std::string> modelName,
                             std::shared_ptr<TLCrashReportProcessorInfo> processorInfo, std::uint64_t processorCount,
                             std::uint64_t logicalProcessorCount)
        : mModelName(std::move(modelName)),
          mProcessorInfo(std::move(processorInfo)),
          mProcessorCount(processorCount),
          mLogicalProcessorCount(logicalProcessorCount) {}

    const std::optional<std::string>& modelName() const { return mModelName; }
    const std::shared_ptr<TLCrashReportProcessorInfo>& processorInfo() const { return mProcessorInfo; }
    std::uint64_t processorCount() const { return mProcessorCount; }
    std::uint64_t logicalProcessorCount() const { return mLogicalProcessorCount; }

private:
    std::optional<std::string> mModelName;
    std::shared_ptr<TLCrashReportProcessorInfo> mProcessorInfo;
    std::uint64_t mProcessorCount;
    std::uint64_t mLogicalProcessorCount;
};

class TLCrashReportApplicationInfo {
public:
    TLCrashReportApplicationInfo(std::string applicationIdentifier, std::string applicationVersion,
                                 std::optional<std::string> applicationMarketingVersion)
        : mApplicationIdentifier(std::move(applicationIdentifier)),
          mApplicationVersion(std::move(applicationVersion)),
          mApplicationMarketingVersion(std::move(applicationMarketingVersion)) {}

    const std::string& applicationIdentifier() const { return mApplicationIdentifier; }
    const std::string& applicationVersion() const { return mApplicationVersion; }
    const std::optional<std::string>& applicationMarketingVersion() const { return mApplicationMarketingVersion; }

private:
    std::string mApplicationIdentifier;
    std::string mApplicationVersion;
    std::optional<std::string> mApplicationMarketingVersion;
};

class TLCrashReportProcessInfo {
public:
    TLCrashReportProcessInfo(std::optional<std::string> processName, std::uint64_t processID,
                             std::optional<std::string> processPath, std::optional<TLCrashReportDate> processStartTime,
                             std::optional<std::string> parentProcessName, std::uint64_t parentProcessID, bool native)
        : mProcessName(std::move(processName)),
          mProcessID(processID),
          mProcessPath(std::move(processPath)),
          mProcessStartTime(processStartTime),
          mParentProcessName(std::move(parentProcessName)),
          mParentProcessID(parentProcessID),
          mNative(native) {}

    const std::optional<std::string>& processName() const { return mProcessName; }
    std::uint64_t processID() const { return mProcessID; }
    const std::optional<std::string>& processPath() const { return mProcessPath; }
    const std::optional<TLCrashReportDate>& processStartTime() const { return mProcessStartTime; }
    const std::optional<std::string>& parentProcessName() const { return mParentProcessName; }
    std::uint64_t parentProcessID() const { return mParentProcessID; }
    // False when the process ran translated.
    bool native() const { return mNative; }

private:
    std::optional<std::string> mProcessName;
    std::uint64_t mProcessID;
    std::optional<std::string> mProcessPath;
    std::optional<TLCrashReportDate> mProcessStartTime;
    std::optional<std::string> mParentProcessName;
    std::uint64_t mParentProcessID;
    bool mNative;
};

class TLCrashReportSignalInfo {
public:
    TLCrashReportSignalInfo(std::string name, std::string code, std::uint64_t address)
        : mName(std::move(name)), mCode(std::move(code)), mAddress(address) {}

    // "SIGSEGV", "SEGV_MAPERR", the faulting address.
    const std::string& name() const { return mName; }
    const std::string& code() const { return mCode; }
    std::uint64_t address() const { return mAddress; }

private:
    std::string mName;
    std::string mCode;
    std::uint64_t mAddress;
};

class TLCrashReportMachExceptionInfo {
public:
    TLCrashReportMachExceptionInfo(std::uint64_t type, std::vector<std::uint64_t> codes)
        : mType(type), mCodes(std::move(codes)) {}

    std::uint64_t type() const { return mType; }
    const std::vector<std::uint64_t>& codes() const { return mCodes; }

private:
    std::uint64_t mType;
    std::vector<std::uint64_t> mCodes;
};

class TLCrashReportSymbolInfo {
public:
    TLCrashReportSymbolInfo(std::string symbolName, std::uint64_t startAddress, std::uint64_t endAddress)
        : mSymbolName(std::move(symbolName)), mStartAddress(startAddress), mEndAddress(endAddress) {}

    const std::string& symbolName() const { return mSymbolName; }
    std::uint64_t startAddress() const { return mStartAddress; }
    // 0 when unknown.
    std::uint64_t endAddress() const { return mEndAddress; }

private:
    std::string mSymbolName;
    std::uint64_t mStartAddress;
    std::uint64_t mEndAddress;
};

class TLCrashReportStackFrameInfo {
public:
    TLCrashReportStackFrameInfo(std::uint64_t instructionPointer, std::shared_ptr<TLCrashReportSymbolInfo> symbolInfo)
        : mInstructionPointer(instructionPointer), mSymbolInfo(std::move(symbolInfo)) {}

    std::uint64_t instructionPointer() const { return mInstructionPointer; }
    // Null when the writer found no symbol.
    const std::shared_ptr<TLCrashReportSymbolInfo>& symbolInfo() const { return mSymbolInfo; }

private:
    std::uint64_t mInstructionPointer;
    std::shared_ptr<TLCrashReportSymbolInfo> mSymbolInfo;
};

using TLCrashReportStackFrames = std::vector<std::shared_ptr<TLCrashReportStackFrameInfo>>;

class TLCrashReportRegisterInfo {
public:
    TLCrashReportRegisterInfo(std::string registerName, std::uint64_t registerValue)
        : mRegisterName(std::move(registerName)), mRegisterValue(registerValue) {}

    const std::string& registerName() const { return mRegisterName; }
    std::uint64_t registerValue() const { return mRegisterValue; }

private:
    std::string mRegisterName;
    std::uint64_t mRegisterValue;
};

class TLCrashReportThreadInfo {
public:
    using Registers = std::vector<std::shared_ptr<TLCrashReportRegisterInfo>>;

    TLCrashReportThreadInfo(std::int64_t threadNumber, TLCrashReportStackFrames stackFrames, bool crashed,
                            Registers registers)
        : mThreadNumber(threadNumber),
          mStackFrames(std::move(stackFrames)),
          mCrashed(crashed),
          mRegisters(std::move(registers)) {}

    std::int64_t threadNumber() const { return mThreadNumber; }
    const TLCrashReportStackFrames& stackFrames() const { return mStackFrames; }
    bool crashed() const { return mCrashed; }
    const Registers& registers() const { return mRegisters; }

private:
    std::int64_t mThreadNumber;
    TLCrashReportStackFrames mStackFrames;
    bool mCrashed;
    Registers mRegisters;
};

class TLCrashReportExceptionInfo {
public:
    TLCrashReportExceptionInfo(std::string exceptionName, std::string exceptionReason,
                               std::optional<TLCrashReportStackFrames> stackFrames)
        : mName(std::move(exceptionName)), mReason(std::move(exceptionReason)), mStackFrames(std::move(stackFrames)) {}
    // Without frames.
    TLCrashReportExceptionInfo(std::string exceptionName, std::string exceptionReason)
        : TLCrashReportExceptionInfo(std::move(exceptionName), std::move(exceptionReason), std::nullopt) {}

    const std::string& exceptionName() const { return mName; }
    const std::string& exceptionReason() const { return mReason; }
    // None, never empty, when the exception recorded no frame.
    const std::optional<TLCrashReportStackFrames>& stackFrames() const { return mStackFrames; }

private:
    std::string mName;
    std::string mReason;
    std::optional<TLCrashReportStackFrames> mStackFrames;
};

class TLCrashReportBinaryImageInfo {
public:
    // `uuid` is the image's build UUID as raw bytes; none or empty means the
    // image has none.
    TLCrashReportBinaryImageInfo(std::shared_ptr<TLCrashReportProcessorInfo> codeType, std::uint64_t imageBaseAddress,
                                 std::uint64_t imageSize, std::string imageName,
                                 const std::optional<std::vector<std::uint8_t>>& uuid);

    const std::shared_ptr<TLCrashReportProcessorInfo>& codeType() const { return mProcessorInfo; }
    std::uint64_t imageBaseAddress() const { return mBaseAddress; }
    std::uint64_t imageSize() const { return mImageSize; }
    // The image's full path.
    const std::string& imageName() const { return mImageName; }
    bool hasImageUUID() const { return mImageUUID.has_value(); }
    // Lower-case hexadecimal, two digits a byte, no separators.
    const std::optional<std::string>& imageUUID() const { return mImageUUID; }

private:
    std::shared_ptr<TLCrashReportProcessorInfo> mProcessorInfo;
    std::uint64_t mBaseAddress;
    std::uint64_t mImageSize;
    std::string mImageName;
    std::optional<std::string> mImageUUID;
};
