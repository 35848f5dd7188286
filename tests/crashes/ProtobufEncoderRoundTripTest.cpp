// Reports written with the report writer's encoder through the bounded file,
// read back with protobuf-c's decoder of the report schema.

#include "crashes/reporter/async/TLCrashProtobufEncoder.h"
#include "crashes/reporter/tlcrash.pb-c.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using File = tlcrash_async_file*;

const uint8_t kReportUuid[16] = {0x10, 0x00, 0x20, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const uint8_t kImageUuid[16] = {0xAA, 0xBB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xCC, 0xDD};
const uint8_t kCustomData[3] = {0x00, 0xFF, 0x10};
const uint64_t kCodes[3] = {1, 0x2A, UINT64_MAX};

// A stack frame, with a symbol when `symbol` is not null.
size_t frame(File f, uint32_t field, uint64_t pc, const char* symbol, uint64_t start) {
    return tlcrash_writer_encode_message(f, field, [&](File g) {
        size_t n = tlcrash_writer_encode_uint64(g, 3, pc);
        if (symbol != nullptr) {
            n += tlcrash_writer_encode_message(g, 6, [&](File h) {
                size_t m = tlcrash_writer_encode_string(h, 1, symbol);
                m += tlcrash_writer_encode_uint64(h, 2, start);
                // Present and zero.
                m += tlcrash_writer_encode_uint64(h, 3, 0);
                return m;
            });
        }
        return n;
    });
}

size_t processor(File f, uint32_t field, uint64_t type, uint64_t subtype) {
    return tlcrash_writer_encode_message(f, field, [&](File g) {
        size_t n =
            tlcrash_writer_encode_enum(g, 1, TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH);
        n += tlcrash_writer_encode_uint64(g, 2, type);
        n += tlcrash_writer_encode_uint64(g, 3, subtype);
        return n;
    });
}

// A whole report in the order the crash-time writer writes its sections.
size_t report(File f) {
    size_t n = tlcrash_writer_encode_message(f, 9, [](File g) {
        return tlcrash_writer_encode_bool(g, 1, false) + tlcrash_writer_encode_bytes(g, 2, kReportUuid, 16);
    });
    n += tlcrash_writer_encode_message(f, 1, [](File g) {
        size_t m = tlcrash_writer_encode_enum(g, 1, TLCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__IPHONE_OS);
        m += tlcrash_writer_encode_string(g, 2, "6.1");
        m += tlcrash_writer_encode_string(g, 5, "#1 SMP PREEMPT_DYNAMIC");
        m += tlcrash_writer_encode_enum(g, 3, TLCRASH__ARCHITECTURE__ARCHITECTURE_UNKNOWN);
        // Before 1970, so the int64 takes ten bytes.
        m += tlcrash_writer_encode_int64(g, 4, -86400);
        return m;
    });
    n += tlcrash_writer_encode_message(f, 8, [](File g) {
        size_t m = tlcrash_writer_encode_string(g, 1, "x86_64");
        m += processor(g, 2, 0x1000007, 0x80000003);
        m += tlcrash_writer_encode_uint32(g, 3, 4);
        m += tlcrash_writer_encode_uint32(g, 4, 8);
        return m;
    });
    n += tlcrash_writer_encode_message(f, 2, [](File g) {
        return tlcrash_writer_encode_string(g, 1, "com.vekmont.app") + tlcrash_writer_encode_string(g, 2, "1042") +
               tlcrash_writer_encode_string(g, 3, "");
    });
    n += tlcrash_writer_encode_message(f, 7, [](File g) {
        size_t m = tlcrash_writer_encode_string(g, 1, "vekmönt");
        m += tlcrash_writer_encode_uint32(g, 2, 4242);
        m += tlcrash_writer_encode_string(g, 3, "/opt/vekmont/bin/vekmont");
        m += tlcrash_writer_encode_string(g, 4, "");
        m += tlcrash_writer_encode_uint32(g, 5, 1);
        m += tlcrash_writer_encode_bool(g, 6, true);
        m += tlcrash_writer_encode_uint64(g, 7, 1700000000);
        return m;
    });
    for (uint32_t number = 0; number < 2; ++number) {
        n += tlcrash_writer_encode_message(f, 3, [&](File g) {
            const bool crashed = number == 1;
            size_t m = tlcrash_writer_encode_uint32(g, 1, number);
            m += tlcrash_writer_encode_bool(g, 3, crashed);
            if (crashed) {
                m += tlcrash_writer_encode_message(g, 4, [](File h) {
                    return tlcrash_writer_encode_string(h, 1, "rip") + tlcrash_writer_encode_uint64(h, 2, 0x401000);
                });
            }
            m += frame(g, 2, 0x401000 + number, crashed ? "main" : nullptr, 0x400FF0);
            m += frame(g, 2, UINT64_MAX, nullptr, 0);
            return m;
        });
    }
    n += tlcrash_writer_encode_message(f, 4, [](File g) {
        size_t m = tlcrash_writer_encode_uint64(g, 2, 0x2000);
        m += tlcrash_writer_encode_uint64(g, 1, 0x400000);
        m += tlcrash_writer_encode_string(g, 3, "/opt/vekmont/bin/vekmont");
        m += tlcrash_writer_encode_bytes(g, 4, kImageUuid, 16);
        m += processor(g, 5, 0x1000007, 3);
        return m;
    });
    n += tlcrash_writer_encode_message(f, 5, [](File g) {
        size_t m = tlcrash_writer_encode_string(g, 1, "std::runtime_error");
        m += tlcrash_writer_encode_string(g, 2, "");
        m += frame(g, 3, 0x401234, nullptr, 0);
        return m;
    });
    n += tlcrash_writer_encode_message(f, 6, [](File g) {
        size_t m = tlcrash_writer_encode_string(g, 1, "SIGSEGV");
        m += tlcrash_writer_encode_string(g, 2, "SEGV_MAPERR");
        m += tlcrash_writer_encode_uint64(g, 3, 0xDEADBEEF);
        m += tlcrash_writer_encode_message(g, 4, [](File h) {
            size_t k = tlcrash_writer_encode_uint64(h, 1, 1);
            for (uint64_t code : kCodes) k += tlcrash_writer_encode_uint64(h, 2, code);
            return k;
        });
        return m;
    });
    n += tlcrash_writer_encode_bytes(f, 10, kCustomData, sizeof kCustomData);
    return n;
}

// The header and a report written through a file of the given limit; the
// report part of the file's bytes.
Bytes writeReport(size_t limit, size_t* reported) {
    const std::filesystem::path path = testsupport::processRoot() / "live_report.tlcrash";
    tlcrash_async_file file;
    tlcrash_async_file_init(&file, ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), limit);
    tlcrash_async_file_write(&file, "tlcrash\1", 8);
    *reported = report(&file);
    tlcrash_async_file_close(&file);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("tlcrash\1", 8));
    return Bytes(bytes.begin() + 8, bytes.end());
}

struct Unpacked {
    void operator()(Tlcrash__CrashReport* message) const { tlcrash__crash_report__free_unpacked(message, nullptr); }
};

std::unique_ptr<Tlcrash__CrashReport, Unpacked> decode(const Bytes& bytes) {
    return std::unique_ptr<Tlcrash__CrashReport, Unpacked>(
        tlcrash__crash_report__unpack(nullptr, bytes.size(), bytes.data()));
}

Bytes bytesOf(const ProtobufCBinaryData& data) { return Bytes(data.data, data.data + data.len); }

}  // namespace

TEST(ProtobufEncoderRoundTrip, EveryFieldOfAWholeReportReadsBack) {
    size_t reported = 0;
    const Bytes bytes = writeReport(0, &reported);
    EXPECT_EQ(reported, bytes.size());
    const auto decoded = decode(bytes);
    ASSERT_NE(decoded, nullptr);
    const Tlcrash__CrashReport& r = *decoded;

    ASSERT_NE(r.report_info, nullptr);
    EXPECT_FALSE(r.report_info->user_requested);
    ASSERT_TRUE(r.report_info->has_uuid);
    EXPECT_EQ(bytesOf(r.report_info->uuid), Bytes(kReportUuid, kReportUuid + 16));

    ASSERT_NE(r.system_info, nullptr);
    EXPECT_TRUE(r.system_info->has_operating_system);
    EXPECT_EQ(r.system_info->operating_system, TLCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__IPHONE_OS);
    EXPECT_STREQ(r.system_info->os_version, "6.1");
    EXPECT_STREQ(r.system_info->os_build, "#1 SMP PREEMPT_DYNAMIC");
    EXPECT_EQ(r.system_info->architecture, TLCRASH__ARCHITECTURE__ARCHITECTURE_UNKNOWN);
    EXPECT_EQ(r.system_info->timestamp, -86400);

    ASSERT_NE(r.machine_info, nullptr);
    EXPECT_STREQ(r.machine_info->model, "x86_64");
    ASSERT_NE(r.machine_info->processor, nullptr);
    EXPECT_EQ(r.machine_info->processor->encoding, TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH);
    EXPECT_EQ(r.machine_info->processor->type, 0x1000007u);
    EXPECT_EQ(r.machine_info->processor->subtype, 0x80000003u);
    EXPECT_EQ(r.machine_info->processor_count, 4u);
    EXPECT_EQ(r.machine_info->logical_processor_count, 8u);

    ASSERT_NE(r.application_info, nullptr);
    EXPECT_STREQ(r.application_info->identifier, "com.vekmont.app");
    EXPECT_STREQ(r.application_info->version, "1042");
    ASSERT_NE(r.application_info->marketing_version, nullptr);
    EXPECT_STREQ(r.application_info->marketing_version, "");

    ASSERT_NE(r.process_info, nullptr);
    EXPECT_STREQ(r.process_info->process_name, "vekmönt");
    EXPECT_EQ(r.process_info->process_id, 4242u);
    EXPECT_STREQ(r.process_info->process_path, "/opt/vekmont/bin/vekmont");
    EXPECT_STREQ(r.process_info->parent_process_name, "");
    EXPECT_EQ(r.process_info->parent_process_id, 1u);
    EXPECT_TRUE(r.process_info->native);
    ASSERT_TRUE(r.process_info->has_start_time);
    EXPECT_EQ(r.process_info->start_time, 1700000000u);

    ASSERT_EQ(r.n_threads, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const Tlcrash__CrashReport__Thread& thread = *r.threads[i];
        EXPECT_EQ(thread.thread_number, i);
        EXPECT_EQ(thread.crashed, i == 1);
        ASSERT_EQ(thread.n_frames, 2u);
        EXPECT_EQ(thread.frames[0]->pc, 0x401000u + i);
        EXPECT_EQ(thread.frames[1]->pc, UINT64_MAX);
        EXPECT_EQ(thread.frames[1]->symbol, nullptr);
    }
    ASSERT_EQ(r.threads[1]->n_registers, 1u);
    EXPECT_STREQ(r.threads[1]->registers[0]->name, "rip");
    EXPECT_EQ(r.threads[1]->registers[0]->value, 0x401000u);
    EXPECT_EQ(r.threads[0]->frames[0]->symbol, nullptr);
    const Tlcrash__CrashReport__Symbol* symbol = r.threads[1]->frames[0]->symbol;
    ASSERT_NE(symbol, nullptr);
    EXPECT_STREQ(symbol->name, "main");
    EXPECT_EQ(symbol->start_address, 0x400FF0u);
    EXPECT_TRUE(symbol->has_end_address);
    EXPECT_EQ(symbol->end_address, 0u);

    ASSERT_EQ(r.n_binary_images, 1u);
    const Tlcrash__CrashReport__BinaryImage& image = *r.binary_images[0];
    EXPECT_EQ(image.base_address, 0x400000u);
    EXPECT_EQ(image.size, 0x2000u);
    EXPECT_STREQ(image.name, "/opt/vekmont/bin/vekmont");
    ASSERT_TRUE(image.has_uuid);
    EXPECT_EQ(bytesOf(image.uuid), Bytes(kImageUuid, kImageUuid + 16));
    ASSERT_NE(image.code_type, nullptr);
    EXPECT_EQ(image.code_type->subtype, 3u);

    ASSERT_NE(r.exception, nullptr);
    EXPECT_STREQ(r.exception->name, "std::runtime_error");
    EXPECT_STREQ(r.exception->reason, "");
    ASSERT_EQ(r.exception->n_frames, 1u);
    EXPECT_EQ(r.exception->frames[0]->pc, 0x401234u);

    ASSERT_NE(r.signal, nullptr);
    EXPECT_STREQ(r.signal->name, "SIGSEGV");
    EXPECT_STREQ(r.signal->code, "SEGV_MAPERR");
    EXPECT_EQ(r.signal->address, 0xDEADBEEFu);
    ASSERT_NE(r.signal->mach_exception, nullptr);
    EXPECT_EQ(r.signal->mach_exception->type, 1u);
    ASSERT_EQ(r.signal->mach_exception->n_codes, 3u);
    EXPECT_EQ(r.signal->mach_exception->codes[2], UINT64_MAX);

    ASSERT_TRUE(r.has_custom_data);
    EXPECT_EQ(bytesOf(r.custom_data), Bytes(kCustomData, kCustomData + 3));
}

TEST(ProtobufEncoderRoundTrip, AReportOverTheLimitIsCutShortAndDoesNotDecode) {
    size_t whole = 0;
    const size_t length = writeReport(0, &whole).size();
    // A limit in the middle of the threads: everything from the first write
    // that does not fit is missing, so the signal, which is required, is too.
    size_t reported = 0;
    const Bytes cut = writeReport(8 + length / 2, &reported);
    EXPECT_EQ(reported, whole);
    EXPECT_LT(cut.size(), length / 2 + 1);
    EXPECT_GT(cut.size(), 0u);
    EXPECT_EQ(decode(cut), nullptr);
    // What was written is the whole report's beginning, without a hole.
    size_t again = 0;
    const Bytes full = writeReport(0, &again);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), full.begin()));
}
