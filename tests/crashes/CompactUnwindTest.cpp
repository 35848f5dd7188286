// The compact unwind reader over a table built byte by byte: the two-level
// lookup, the decoding of encodings and their application to stacks laid out
// by hand.

#include "crashes/reporter/async/TLCrashAsyncCompactUnwind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Table {
    std::vector<uint8_t> bytes;
    void u16(uint16_t v) { bytes.push_back(v & 0xFF), bytes.push_back(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
};

constexpr uint32_t kCommon0 = 0x01000000, kCommon1 = 0x02000000;
constexpr uint32_t kRegularA = 0x01010001, kRegularB = 0x02020002, kPageOnly = 0x03030003;

// A regular page for functions 0x1000 and 0x1100 and a compressed one for
// 0x2000 (common encoding 0) and 0x2080 (index 2, the first page encoding).
std::vector<uint8_t> unwindInfo(uint32_t version = 1) {
    Table t;
    t.u32(version), t.u32(28), t.u32(2), t.u32(36), t.u32(0), t.u32(36), t.u32(3);
    t.u32(kCommon0), t.u32(kCommon1);
    t.u32(0x1000), t.u32(72), t.u32(0);
    t.u32(0x2000), t.u32(96), t.u32(0);
    t.u32(0x3000), t.u32(0), t.u32(0);
    t.u32(2), t.u16(8), t.u16(2);
    t.u32(0x1000), t.u32(kRegularA), t.u32(0x1100), t.u32(kRegularB);
    t.u32(3), t.u16(12), t.u16(2), t.u16(20), t.u16(1);
    t.u32(0x000), t.u32(0x80 | (2u << 24));
    t.u32(kPageOnly);
    return t.bytes;
}

TEST(CompactUnwind, LooksFunctionsUpThroughBothPageKinds) {
    const std::vector<uint8_t> bytes = unwindInfo();
    tlcrash_async_mobject mobj;
    ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_task_self(), reinterpret_cast<uint64_t>(bytes.data()),
                                         bytes.size(), true),
              0);
    tlcrash_async_unwind_info_reader reader;
    ASSERT_EQ(tlcrash_async_unwind_info_reader_open(&reader, &mobj, TLCRASH_CPU_TYPE_X86_64), 0);
    const struct {
        uint64_t pc;
        uint64_t function;
        uint32_t encoding;
    } cases[] = {
        {0x1000, 0x1000, kRegularA}, {0x10FF, 0x1000, kRegularA}, {0x1100, 0x1100, kRegularB},
        {0x2000, 0x2000, kCommon0},  {0x2090, 0x2080, kPageOnly}, {0x5000, 0x2080, kPageOnly},
    };
    for (const auto& c : cases) {
        uint64_t function = 0;
        uint32_t encoding = 0;
        ASSERT_EQ(tlcrash_async_unwind_info_find_pc(&reader, c.pc, &function, &encoding), 0) << std::hex << c.pc;
        EXPECT_EQ(function, c.function) << std::hex << c.pc;
        EXPECT_EQ(encoding, c.encoding) << std::hex << c.pc;
    }
    uint64_t function;
    uint32_t encoding;
    EXPECT_EQ(tlcrash_async_unwind_info_find_pc(&reader, 0xFFF, &function, &encoding), TLCRASH_ERR_NOTFOUND);

    const std::vector<uint8_t> newer = unwindInfo(2);
    tlcrash_async_mobject newerObject;
    ASSERT_EQ(tlcrash_async_mobject_init(&newerObject, tlcrash_task_self(), reinterpret_cast<uint64_t>(newer.data()),
                                         newer.size(), true),
              0);
    EXPECT_EQ(tlcrash_async_unwind_info_reader_open(&reader, &newerObject, TLCRASH_CPU_TYPE_X86_64),
              TLCRASH_ERR_NOTSUP);
    EXPECT_EQ(tlcrash_async_unwind_info_reader_open(&reader, &mobj, 18), TLCRASH_ERR_NOTSUP);
}

TEST(CompactUnwind, ReadsATableThatLiesAtAnOddAddress) {
    // A section's pages and arrays may lie at any offset: every word is read
    // without assuming an alignment.
    const std::vector<uint8_t> table = unwindInfo();
    std::vector<uint8_t> bytes(table.size() + 1, 0xEE);
    std::copy(table.begin(), table.end(), bytes.begin() + 1);
    tlcrash_async_mobject mobj;
    ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_task_self(), reinterpret_cast<uint64_t>(bytes.data() + 1),
                                         table.size(), true),
              0);
    tlcrash_async_unwind_info_reader reader;
    ASSERT_EQ(tlcrash_async_unwind_info_reader_open(&reader, &mobj, TLCRASH_CPU_TYPE_X86_64), 0);
    const struct {
        uint64_t pc;
        uint64_t function;
        uint32_t encoding;
    } cases[] = {
        {0x10FF, 0x1000, kRegularA},
        {0x1100, 0x1100, kRegularB},
        {0x2000, 0x2000, kCommon0},
        {0x2090, 0x2080, kPageOnly},
    };
    for (const auto& c : cases) {
        uint64_t function = 0;
        uint32_t encoding = 0;
        ASSERT_EQ(tlcrash_async_unwind_info_find_pc(&reader, c.pc, &function, &encoding), 0) << std::hex << c.pc;
        EXPECT_EQ(function, c.function) << std::hex << c.pc;
        EXPECT_EQ(encoding, c.encoding) << std::hex << c.pc;
    }
}

TEST(CompactUnwind, DecodesEachCpusEncodings) {
    tlcrash_async_unwind_entry entry;
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_ARM64, 0), 0);
    EXPECT_EQ(entry.kind, TLCRASH_UNWIND_NONE);
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_ARM64, 0x03000040), 0);
    EXPECT_EQ(entry.kind, TLCRASH_UNWIND_DWARF);
    EXPECT_EQ(entry.stack_offset, 0x40);

    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_ARM64, 0x04000011), 0);
    EXPECT_EQ(entry.kind, TLCRASH_UNWIND_FRAME);
    EXPECT_EQ(entry.stack_offset, -32);
    EXPECT_EQ(std::vector<uint32_t>(entry.saved_registers, entry.saved_registers + entry.saved_register_count),
              (std::vector<uint32_t>{31, 30, 23, 22}));
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_ARM64, 0x02002000), 0);
    EXPECT_EQ(entry.kind, TLCRASH_UNWIND_FRAMELESS_IMMD);
    EXPECT_EQ(entry.stack_offset, 32);
    EXPECT_EQ(entry.return_address_register, 32u);

    // x86-64 frameless with three registers, permutation 0: rbx, r12, r13.
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x02030C00), 0);
    EXPECT_EQ(entry.stack_offset, 24);
    EXPECT_EQ(std::vector<uint32_t>(entry.saved_registers, entry.saved_registers + entry.saved_register_count),
              (std::vector<uint32_t>{TLCRASH_X86_64_RBX, 13, 14}));
    uint32_t codes[6];
    ASSERT_EQ(tlcrash_async_unwind_decode_permutation(0, 3, codes), 0);
    EXPECT_EQ(std::vector<uint32_t>(codes, codes + 3), (std::vector<uint32_t>{1, 2, 3}));
    ASSERT_EQ(tlcrash_async_unwind_decode_permutation(719, 6, codes), 0);
    EXPECT_EQ(std::vector<uint32_t>(codes, codes + 6), (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(tlcrash_async_unwind_decode_permutation(0, 7, codes), TLCRASH_ERR_INVAL);

    // Frame-based: a zero code below a non-zero one leaves an empty slot.
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x01030008), 0);
    EXPECT_EQ(entry.stack_offset, -24);
    EXPECT_EQ(std::vector<uint32_t>(entry.saved_registers, entry.saved_registers + entry.saved_register_count),
              (std::vector<uint32_t>{TLCRASH_UNWIND_REG_NONE, TLCRASH_X86_64_RBX}));
    EXPECT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x05000000), TLCRASH_ERR_NOTSUP);
    uint32_t reg;
    EXPECT_EQ(tlcrash_async_unwind_entry_map_register(7, &reg, TLCRASH_CPU_TYPE_X86_64), TLCRASH_ERR_INVAL);
    EXPECT_EQ(tlcrash_async_unwind_entry_map_register(1, &reg, TLCRASH_CPU_TYPE_ARM64), TLCRASH_ERR_NOTSUP);
}

tlcrash_async_thread_state stateAt(uint64_t sp, uint64_t fp) {
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_clear(&state);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_IP, 0x401000);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_SP, sp);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_FP, fp);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_X86_64_RAX, 1);
    return state;
}

TEST(CompactUnwind, AppliesFrameAndFramelessEntriesToTheStack) {
    alignas(16) uint64_t stack[8] = {0x5555, 0xB0B0, 0xC1C1, 0x7FFF0000, 0x402000, 0, 0, 0};
    const uint64_t base = reinterpret_cast<uint64_t>(stack);
    tlcrash_async_unwind_entry entry;
    tlcrash_async_thread_state next;

    // rbp-based, rbx and r12 saved just below the frame record.
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x01020011), 0);
    const tlcrash_async_thread_state framed = stateAt(base, base + 24);
    ASSERT_EQ(tlcrash_async_unwind_entry_apply(tlcrash_task_self(), 0x401000, &framed, &entry, &next), 0);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_IP), 0x402000u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_FP), 0x7FFF0000u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_SP), base + 40);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_X86_64_RBX), 0xB0B0u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, 13), 0xC1C1u);
    EXPECT_FALSE(tlcrash_async_thread_state_reg_valid(&next, TLCRASH_X86_64_RAX));

    // Frameless, 40 bytes with rbx pushed below the return address.
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x02050400), 0);
    const tlcrash_async_thread_state frameless = stateAt(base, 0);
    ASSERT_EQ(tlcrash_async_unwind_entry_apply(tlcrash_task_self(), 0x401000, &frameless, &entry, &next), 0);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_SP), base + 40);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_IP), 0x402000u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_X86_64_RBX), 0x7FFF0000u);

    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_X86_64, 0x04000010), 0);
    EXPECT_EQ(tlcrash_async_unwind_entry_apply(tlcrash_task_self(), 0x401000, &framed, &entry, &next),
              TLCRASH_ERR_NOTSUP);
    // 64-bit ARM registers have no place in an x86-64 state.
    ASSERT_EQ(tlcrash_async_unwind_entry_decode(&entry, TLCRASH_CPU_TYPE_ARM64, 0x04000001), 0);
    EXPECT_EQ(tlcrash_async_unwind_entry_apply(tlcrash_task_self(), 0x401000, &framed, &entry, &next),
              TLCRASH_ERR_INVAL);
}

TEST(CompactUnwind, TheFrameReaderLeavesElfImagesToDwarf) {
    tlcrash_async_image_registry registry{tlcrash_task_self(), nullptr};
    const tlcrash_async_thread_state state = stateAt(0x7000, 0);
    tlcrash_async_thread_state next;
    EXPECT_EQ(tlcrash_async_frame_read_compact_unwind(tlcrash_task_self(), &registry, &state, nullptr, &next, nullptr),
              TLCRASH_FRAME_NOT_SUPPORTED);
}

}  // namespace
