#pragma once
// Crash report files for the tests, made two ways: a full report built as
// protobuf-c messages and packed by the library's own packer, and hand-made
// wire bytes for what no packer writes (a field left out at any depth, packed
// codes, odd field numbers).

#include "crashes/reporter/tlcrash.pb-c.h"

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace crashtest {

using Bytes = std::vector<std::uint8_t>;

// The 8-byte header ("tlcrash", version 1) and the message bytes.
Bytes withHeader(const Bytes& message, std::uint8_t version = 1);

// A report with every message of the format present: two threads (the
// second crashed, with registers; one frame with a symbol, one with a symbol
// without end address, one bare), two images (one with UUID and code type),
// an exception with frames, a signal with a Mach exception, process,
// machine and report information and custom data. Tests change the public
// messages before packing; the object owns everything they point to and
// must stay where it is.
class FullReport {
public:
    FullReport();
    FullReport(const FullReport&) = delete;
    FullReport& operator=(const FullReport&) = delete;

    // The message packed by protobuf-c, behind the header.
    Bytes file() const;

    Tlcrash__CrashReport report;
    Tlcrash__CrashReport__SystemInfo system;
    Tlcrash__CrashReport__ApplicationInfo application;
    Tlcrash__CrashReport__ProcessInfo process;
    Tlcrash__CrashReport__MachineInfo machine;
    Tlcrash__CrashReport__Processor machineProcessor;
    Tlcrash__CrashReport__ReportInfo reportInfo;
    Tlcrash__CrashReport__Signal signal;
    Tlcrash__CrashReport__Signal__MachException mach;
    Tlcrash__CrashReport__Exception exception;
    Tlcrash__CrashReport__BinaryImage images[2];
    Tlcrash__CrashReport__Processor imageProcessor;
    Tlcrash__CrashReport__Thread threads[2];
    Tlcrash__CrashReport__Thread__StackFrame frames[3];
    Tlcrash__CrashReport__Thread__StackFrame exceptionFrames[2];
    Tlcrash__CrashReport__Symbol symbols[2];
    Tlcrash__CrashReport__Thread__RegisterValue registers[2];

    // Frames and registers in the order the messages list them.
    std::vector<std::uint64_t> codes{0x1, 0x2A};
    std::vector<std::uint8_t> uuidBytes;
    std::vector<std::uint8_t> imageUuid;
    std::vector<std::uint8_t> custom{0x00, 0xFF, 0x10};

private:
    std::vector<Tlcrash__CrashReport__Thread*> mThreadList;
    std::vector<Tlcrash__CrashReport__BinaryImage*> mImageList;
    std::vector<Tlcrash__CrashReport__Thread__StackFrame*> mFirstThreadFrames;
    std::vector<Tlcrash__CrashReport__Thread__StackFrame*> mSecondThreadFrames;
    std::vector<Tlcrash__CrashReport__Thread__StackFrame*> mExceptionFrameList;
    std::vector<Tlcrash__CrashReport__Thread__RegisterValue*> mRegisterList;
};

// Protocol-buffer wire bytes written by hand.
class Wire {
public:
    Wire& varint(std::uint32_t field, std::uint64_t value);
    Wire& text(std::uint32_t field, const std::string& value);
    Wire& bytes(std::uint32_t field, const Bytes& value);
    Wire& message(std::uint32_t field, const Wire& body) { return bytes(field, body.mBytes); }
    // Several varints in one length-delimited run.
    Wire& packed(std::uint32_t field, std::initializer_list<std::uint64_t> values);
    Wire& packed(std::uint32_t field, const std::vector<std::uint64_t>& values);
    const Bytes& data() const { return mBytes; }

private:
    void put(std::uint64_t value);
    Bytes mBytes;
};

// The smallest whole report by hand: the given parts in place of the
// defaults where not empty (system, application, one thread, one image,
// signal), plus `extra` after them.
struct MinimalParts {
    Wire system = Wire().text(2, "17.2").varint(3, 1).varint(4, 1700000000);
    Wire application = Wire().text(1, "com.vekmont.app").text(2, "42");
    Wire thread = Wire().varint(1, 0).varint(3, 1).message(2, Wire().varint(3, 0x1000));
    Wire image = Wire().varint(1, 0x1000).varint(2, 0x100).text(3, "/app/Vekmont");
    Wire signal = Wire().text(1, "SIGSEGV").text(2, "SEGV_MAPERR").varint(3, 0);
    Wire extra;
    bool withThread = true;
    bool withImage = true;
};
Bytes minimalReport(const MinimalParts& parts);

}  // namespace crashtest
