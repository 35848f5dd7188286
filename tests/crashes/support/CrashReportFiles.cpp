#include "tests/crashes/support/CrashReportFiles.h"

namespace crashtest {

namespace {

char* text(const char* value) { return const_cast<char*>(value); }

ProtobufCBinaryData binary(std::vector<std::uint8_t>& bytes) { return {bytes.size(), bytes.data()}; }

}  // namespace

Bytes withHeader(const Bytes& message, std::uint8_t version) {
    Bytes file{'t', 'l', 'c', 'r', 'a', 's', 'h', version};
    file.insert(file.end(), message.begin(), message.end());
    return file;
}

FullReport::FullReport() {
    for (std::uint8_t i = 0; i < 16; ++i) {
        uuidBytes.push_back(static_cast<std::uint8_t>(0xA0 + i));
        imageUuid.push_back(static_cast<std::uint8_t>(i * 17));
    }

    tlcrash__crash_report__system_info__init(&system);
    system.has_operating_system = 1;
    system.operating_system = TLCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__IPHONE_OS;
    system.os_version = text("17.2");
    system.os_build = text("21C62");
    system.architecture = TLCRASH__ARCHITECTURE__ARCHITECTURE_UNKNOWN;
    system.timestamp = 1700000000;

    tlcrash__crash_report__application_info__init(&application);
    application.identifier = text("com.vekmont.app");
    application.version = text("42");
    application.marketing_version = text("1.4");

    tlcrash__crash_report__process_info__init(&process);
    process.process_name = text("Vekmont");
    process.process_id = 4242;
    process.process_path = text("/app/Vekmont");
    process.parent_process_name = text("launchd");
    process.parent_process_id = 1;
    process.native = 1;
    process.has_start_time = 1;
    process.start_time = 1699999000;

    tlcrash__crash_report__processor__init(&machineProcessor);
    machineProcessor.has_encoding = 1;
    machineProcessor.encoding = TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
    machineProcessor.type = 0x100000C;
    machineProcessor.subtype = 0x80000002;
    tlcrash__crash_report__machine_info__init(&machine);
    machine.model = text("iPhone15,2");
    machine.processor = &machineProcessor;
    machine.processor_count = 6;
    machine.logical_processor_count = 6;

    tlcrash__crash_report__report_info__init(&reportInfo);
    reportInfo.user_requested = 1;
    reportInfo.has_uuid = 1;
    reportInfo.uuid = binary(uuidBytes);

    tlcrash__crash_report__signal__mach_exception__init(&mach);
    mach.type = 1;
    mach.n_codes = codes.size();
    mach.codes = codes.data();
    tlcrash__crash_report__signal__init(&signal);
    signal.name = text("SIGSEGV");
    signal.code = text("SEGV_MAPERR");
    signal.address = 0xDEADBEEF;
    signal.mach_exception = &mach;

    tlcrash__crash_report__symbol__init(&symbols[0]);
    symbols[0].name = text("-[VKMLayoutView drawRect:]");
    symbols[0].start_address = 0x100004000;
    symbols[0].has_end_address = 1;
    symbols[0].end_address = 0x100004200;
    tlcrash__crash_report__symbol__init(&symbols[1]);
    symbols[1].name = text("main");
    symbols[1].start_address = 0x100008000;

    for (auto& frame : frames) tlcrash__crash_report__thread__stack_frame__init(&frame);
    frames[0].pc = 0x100004010;
    frames[0].symbol = &symbols[0];
    frames[1].pc = 0x7FF800001234;
    frames[2].pc = 0x100008020;
    frames[2].symbol = &symbols[1];
    for (auto& frame : exceptionFrames) tlcrash__crash_report__thread__stack_frame__init(&frame);
    exceptionFrames[0].pc = 0x1000040A0;
    exceptionFrames[1].pc = 0x1000040B0;

    tlcrash__crash_report__thread__register_value__init(&registers[0]);
    registers[0].name = text("x0");
    registers[0].value = 0x1;
    tlcrash__crash_report__thread__register_value__init(&registers[1]);
    registers[1].name = text("pc");
    registers[1].value = 0x100008020;

    mFirstThreadFrames = {&frames[0], &frames[1]};
    mSecondThreadFrames = {&frames[2]};
    mExceptionFrameList = {&exceptionFrames[0], &exceptionFrames[1]};
    mRegisterList = {&registers[0], &registers[1]};
    for (auto& thread : threads) tlcrash__crash_report__thread__init(&thread);
    threads[0].thread_number = 0;
    threads[0].n_frames = mFirstThreadFrames.size();
    threads[0].frames = mFirstThreadFrames.data();
    threads[1].thread_number = 1;
    threads[1].crashed = 1;
    threads[1].n_frames = mSecondThreadFrames.size();
    threads[1].frames = mSecondThreadFrames.data();
    threads[1].n_registers = mRegisterList.size();
    threads[1].registers = mRegisterList.data();

    tlcrash__crash_report__exception__init(&exception);
    exception.name = text("NSInvalidArgumentException");
    exception.reason = text("unrecognized selector");
    exception.n_frames = mExceptionFrameList.size();
    exception.frames = mExceptionFrameList.data();

    tlcrash__crash_report__processor__init(&imageProcessor);
    imageProcessor.has_encoding = 1;
    imageProcessor.encoding = TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
    imageProcessor.type = 0x100000C;
    imageProcessor.subtype = 0;
    for (auto& image : images) tlcrash__crash_report__binary_image__init(&image);
    images[0].base_address = 0x100000000;
    images[0].size = 0x10000;
    images[0].name = text("/app/Vekmont");
    images[0].has_uuid = 1;
    images[0].uuid = binary(imageUuid);
    images[0].code_type = &imageProcessor;
    images[1].base_address = 0x7FF800000000;
    images[1].size = 0x2000;
    images[1].name = text("/usr/lib/libSystem.B.dylib");

    mThreadList = {&threads[0], &threads[1]};
    mImageList = {&images[0], &images[1]};
    tlcrash__crash_report__init(&report);
    report.system_info = &system;
    report.application_info = &application;
    report.n_threads = mThreadList.size();
    report.threads = mThreadList.data();
    report.n_binary_images = mImageList.size();
    report.binary_images = mImageList.data();
    report.exception = &exception;
    report.signal = &signal;
    report.process_info = &process;
    report.machine_info = &machine;
    report.report_info = &reportInfo;
    report.has_custom_data = 1;
    report.custom_data = binary(custom);
}

Bytes FullReport::file() const {
    Bytes message(tlcrash__crash_report__get_packed_size(&report));
    tlcrash__crash_report__pack(&report, message.data());
    return withHeader(message);
}

void Wire::put(std::uint64_t value) {
    while (value >= 0x80) {
        mBytes.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    mBytes.push_back(static_cast<std::uint8_t>(value));
}

Wire& Wire::varint(std::uint32_t field, std::uint64_t value) {
    put(std::uint64_t{field} << 3);
    put(value);
    return *this;
}

Wire& Wire::bytes(std::uint32_t field, const Bytes& value) {
    put((std::uint64_t{field} << 3) | 2);
    put(value.size());
    mBytes.insert(mBytes.end(), value.begin(), value.end());
    return *this;
}

Wire& Wire::text(std::uint32_t field, const std::string& value) {
    return bytes(field, Bytes(value.begin(), value.end()));
}

Wire& Wire::packed(std::uint32_t field, std::initializer_list<std::uint64_t> values) {
    return packed(field, std::vector<std::uint64_t>(values));
}

Wire& Wire::packed(std::uint32_t field, const std::vector<std::uint64_t>& values) {
    Wire run;
    for (const std::uint64_t value : values) run.put(value);
    return bytes(field, run.mBytes);
}

Bytes minimalReport(const MinimalParts& parts) {
    Wire report;
    report.message(1, parts.system).message(2, parts.application);
    if (parts.withThread) report.message(3, parts.thread);
    if (parts.withImage) report.message(4, parts.image);
    report.message(6, parts.signal);
    Bytes file = withHeader(report.data());
    file.insert(file.end(), parts.extra.data().begin(), parts.extra.data().end());
    return file;
}

}  // namespace crashtest
