// DWARF call-frame records and their rules, over .eh_frame sections, images
// and stacks built byte by byte in this process's memory.

#include "crashes/reporter/async/TLCrashAsyncDwarfFrameReader.h"
#include "crashes/reporter/setup/TLCrashImageSetup.h"
#include "tests/crashes/support/FakeElfImage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

using namespace tlcrash::async;

namespace {

using Bytes = std::vector<uint8_t>;

struct Builder {
    Bytes bytes;
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v) { u8(v & 0xFF), u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void u64(uint64_t v) { u32(static_cast<uint32_t>(v)), u32(static_cast<uint32_t>(v >> 32)); }
    void uleb(uint64_t v) {
        do {
            uint8_t b = v & 0x7F;
            v >>= 7;
            u8(v != 0 ? b | 0x80 : b);
        } while (v != 0);
    }
    void sleb(int64_t v) {
        for (;;) {
            uint8_t b = v & 0x7F;
            v >>= 7;
            const bool done = (v == 0 && (b & 0x40) == 0) || (v == -1 && (b & 0x40) != 0);
            u8(done ? b : b | 0x80);
            if (done) return;
        }
    }
    void append(const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    size_t size() const { return bytes.size(); }
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

uint64_t addressOf(const void* p) { return reinterpret_cast<uint64_t>(p); }

const tlcrash_async_byteorder* host() { return tlcrash_async_byteorder_host(); }

// A memory object over bytes of this process.
struct Section {
    Bytes bytes;
    tlcrash_async_mobject mobj{};
    explicit Section(Bytes b) : bytes(std::move(b)) {
        EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_task_self(), base(), bytes.size(), true), 0);
    }
    uint64_t base() const { return addressOf(bytes.data()); }
};

// The x86-64 CIE a compiler writes ("zR", pc-relative 4-byte pointers,
// code alignment 1, data alignment -8, return address in column 16,
// CFA = rsp + 8 with the return address at CFA - 8), then one FDE with
// `program` for [function, function + 0x20), then the end marker. The FDE's
// start is written relative to its field, which lies in the section, so
// the section must not move after this (it is built in place).
struct EhFrame {
    Builder b;
    size_t fdeAt = 0;
    EhFrame(const Bytes& cieExtra, const Bytes& program, uint64_t functionOffset, Bytes augmentation = {'z', 'R'},
            uint8_t version = 1) {
        b.bytes.reserve(256);
        b.u32(0);  // length, patched
        b.u32(0);  // CIE id
        b.u8(version);
        for (uint8_t c : augmentation) b.u8(c);
        b.u8(0);
        b.uleb(1);
        b.sleb(-8);
        b.u8(16);
        if (!augmentation.empty()) {
            b.uleb(1);
            b.u8(0x1B);
        }
        b.u8(0x0C), b.uleb(7), b.uleb(8);  // def_cfa rsp + 8
        b.u8(0x80 | 16), b.uleb(1);        // rip at CFA - 8
        b.append(cieExtra);
        while (b.size() % 8 != 4) b.u8(0);  // nops
        b.patch32(0, static_cast<uint32_t>(b.size() - 4));

        fdeAt = b.size();
        b.u32(0);
        b.u32(static_cast<uint32_t>(b.size()));  // back to the CIE
        pcField = b.size();
        b.u32(0);  // pc start, patched once the address is known
        b.u32(0x20);
        b.uleb(0);
        b.append(program);
        while (b.size() % 8 != 0) b.u8(0);
        b.patch32(fdeAt, static_cast<uint32_t>(b.size() - fdeAt - 4));
        b.u32(0);  // end
        this->functionOffset = functionOffset;
    }
    size_t pcField = 0;
    uint64_t functionOffset;
};

struct Fixture {
    Section section;
    uint64_t function;
    explicit Fixture(const EhFrame& frame) : section(frame.b.bytes) {
        // The function lies `functionOffset` bytes after the section.
        function = section.base() + frame.functionOffset;
        const uint32_t relative = static_cast<uint32_t>(function - (section.base() + frame.pcField));
        for (int i = 0; i < 4; ++i) section.bytes[frame.pcField + i] = static_cast<uint8_t>(relative >> (8 * i));
    }
};

TEST(DwarfEncoding, ReadsLeb128AndGnuPointers) {
    Section leb(Bytes{0xE5, 0x8E, 0x26, 0x7F, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
    uint64_t value;
    int64_t signedValue;
    size_t count;
    ASSERT_EQ(tlcrash_async_leb_read_unsigned(&leb.mobj, leb.base(), 0, &value, &count), 0);
    EXPECT_EQ(value, 624485u);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(tlcrash_async_leb_read_signed(&leb.mobj, leb.base(), 3, &signedValue, &count), 0);
    EXPECT_EQ(signedValue, -1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(tlcrash_async_leb_read_unsigned(&leb.mobj, leb.base(), 4, &value, &count), TLCRASH_ERR_NOTSUP);
    EXPECT_EQ(tlcrash_async_leb_read_unsigned(&leb.mobj, leb.base(), 15, &value, &count), TLCRASH_ERR_INVAL);

    Builder b;
    b.u32(0), b.u32(static_cast<uint32_t>(-16));
    Section pointers(b.bytes);
    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, host());
    uint64_t result;
    size_t size;
    ASSERT_EQ(tlcrash_async_dwarf_ptr_read(&reader, &pointers.mobj, pointers.base(), 4, 0x1B, &result, &size), 0);
    EXPECT_EQ(result, pointers.base() + 4 - 16);
    EXPECT_EQ(size, 4u);
    for (uint8_t encoding : {0x20, 0x30, 0x40, 0x50}) {
        EXPECT_EQ(tlcrash_async_dwarf_ptr_read(&reader, &pointers.mobj, pointers.base(), 0, encoding, &result, &size),
                  TLCRASH_ERR_NOTSUP)
            << int(encoding);
    }
    EXPECT_EQ(tlcrash_async_dwarf_ptr_read(&reader, &pointers.mobj, pointers.base(), 0, 0xFF, &result, &size),
              TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_dwarf_ptr_read(&reader, &pointers.mobj, pointers.base(), 6, 0x03, &result, &size),
              TLCRASH_ERR_INVAL);
}

TEST(DwarfEncoding, FindsTheFdeOfAPcAndParsesItsCie) {
    EhFrame frame({}, {}, 0x1000);
    Fixture f(frame);
    tlcrash_async_dwarf_fde_finder finder;
    tlcrash_async_dwarf_fde_finder_open(&finder, &f.section.mobj, host(), false);
    tlcrash_async_dwarf_fde_info fde;
    ASSERT_EQ(tlcrash_async_dwarf_fde_finder_find(&finder, 0, f.function + 0x1F, &fde), 0);
    EXPECT_EQ(fde.pc_start, f.function);
    EXPECT_EQ(fde.pc_end, f.function + 0x20);
    EXPECT_EQ(fde.cie_offset, 0u);
    EXPECT_EQ(fde.instructions_offset, frame.pcField + 9);
    EXPECT_EQ(tlcrash_async_dwarf_fde_finder_find(&finder, 0, f.function + 0x20, &fde), TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_dwarf_fde_finder_find(&finder, 0, f.function - 1, &fde), TLCRASH_ERR_NOTFOUND);

    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, host());
    tlcrash_async_dwarf_cie_info cie;
    ASSERT_EQ(tlcrash_async_dwarf_cie_info_init(&cie, &f.section.mobj, host(), &reader, f.section.base()), 0);
    EXPECT_EQ(cie.cie_version, 1);
    EXPECT_TRUE(cie.has_eh_augmentation);
    EXPECT_EQ(cie.eh_augmentation.pointer_encoding, 0x1B);
    EXPECT_EQ(cie.code_alignment_factor, 1u);
    EXPECT_EQ(cie.data_alignment_factor, -8);
    EXPECT_EQ(cie.return_address_register, 16u);
    EXPECT_EQ(cie.initial_instructions_offset, 4u + 13);
}

TEST(DwarfEncoding, RefusesDamagedAndUnknownEntries) {
    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, host());
    tlcrash_async_dwarf_cie_info cie;
    {
        EhFrame frame({}, {}, 0x1000, {'z', 'R'}, 2);
        Fixture f(frame);
        EXPECT_EQ(tlcrash_async_dwarf_cie_info_init(&cie, &f.section.mobj, host(), &reader, f.section.base()),
                  TLCRASH_ERR_INVAL);
    }
    {
        EhFrame frame({}, {}, 0x1000, {'e', 'h'});
        Fixture f(frame);
        EXPECT_EQ(tlcrash_async_dwarf_cie_info_init(&cie, &f.section.mobj, host(), &reader, f.section.base()),
                  TLCRASH_ERR_NOTSUP);
    }
    {
        // The FDE's CIE pointer reaches back before the section.
        EhFrame frame({}, {}, 0x1000);
        frame.b.patch32(frame.fdeAt + 4, 0x10000);
        Fixture f(frame);
        tlcrash_async_dwarf_fde_info fde;
        EXPECT_EQ(
            tlcrash_async_dwarf_fde_info_init(&fde, &f.section.mobj, host(), f.section.base() + frame.fdeAt, false),
            TLCRASH_ERR_INVAL);
        tlcrash_async_dwarf_fde_finder finder;
        tlcrash_async_dwarf_fde_finder_open(&finder, &f.section.mobj, host(), false);
        EXPECT_EQ(tlcrash_async_dwarf_fde_finder_find(&finder, 0, f.function, &fde), TLCRASH_ERR_INVAL);
    }
}

// Whether the search refuses a CIE whose 64-bit length, -12, would make the
// entry's size wrap to 0 and the walk stay on it.
bool aLengthThatWrapsIsRefused() {
    Builder b;
    b.u32(0xFFFFFFFF), b.u64(~uint64_t{0} - 11), b.u64(0);
    Section section(b.bytes);
    tlcrash_async_dwarf_fde_finder finder;
    tlcrash_async_dwarf_fde_finder_open(&finder, &section.mobj, host(), false);
    tlcrash_async_dwarf_fde_info fde;
    return tlcrash_async_dwarf_fde_finder_find(&finder, 0, 0x1000, &fde) == TLCRASH_ERR_INVAL;
}

TEST(DwarfEncoding, AnEntryLengthThatWrapsEndsTheSearch) {
    // In a child that an alarm ends: a walk that stays on one entry must
    // fail this test, not hang the suite.
    EXPECT_EXIT(
        {
            alarm(20);
            std::_Exit(aLengthThatWrapsIsRefused() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// The FDE of a pc found through the search table of an image whose unwind
// table header and .eh_frame lie at odd addresses, in either byte order,
// agrees with a walk of .eh_frame.
TEST(DwarfEncoding, TheSearchTableOfAnImageAtOddAddressesFindsEachFunctionsFde) {
    constexpr uint64_t kText = crashtest::kFakeTextOffset;
    for (const bool little : {true, false}) {
        crashtest::FakeElfImage elf;
        elf.littleEndian = little;
        elf.dynamicSection = false;
        elf.misalign = 3;
        elf.symbols = {
            {"a", kText + 0x100, 0x20},
            {"b", kText + 0x180, 0x40},
            {"no frame", kText + 0x200, 0x10, 2, 9, false},
            {"c", kText + 0x300, 0x8},
        };
        const Bytes bytes = elf.build();
        const uint64_t header = addressOf(bytes.data());
        tlcrash_async_image image;
        ASSERT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "libfake.so", header), 0);
        tlcrash_async_mobject frame, hdr;
        ASSERT_EQ(tlcrash_async_image_map_eh_frame(&image, &frame), 0);
        ASSERT_EQ(tlcrash_async_image_map_eh_frame_hdr(&image, &hdr), 0);
        ASSERT_NE(tlcrash_async_mobject_base_address(&hdr) % 4, 0u);
        tlcrash_async_dwarf_fde_finder finder;
        tlcrash_async_dwarf_fde_finder_open(&finder, &frame, image.byteorder, false);

        const struct {
            uint64_t pc;
            uint64_t start;  // 0: no FDE covers it
            uint64_t end;
        } cases[] = {
            {kText + 0x100, kText + 0x100, kText + 0x120},
            {kText + 0x11F, kText + 0x100, kText + 0x120},
            {kText + 0x1BF, kText + 0x180, kText + 0x1C0},
            {kText + 0x180, kText + 0x180, kText + 0x1C0},
            {kText + 0x304, kText + 0x300, kText + 0x308},
            {kText + 0xFF, 0, 0},
            {kText + 0x120, 0, 0},
            {kText + 0x208, 0, 0},
            {kText + 0x308, 0, 0},
        };
        for (const auto& c : cases) {
            tlcrash_async_dwarf_fde_info indexed, walked;
            const tlcrash_error_t error =
                tlcrash_async_dwarf_fde_finder_find_indexed(&finder, &hdr, header + c.pc, &indexed);
            EXPECT_EQ(tlcrash_async_dwarf_fde_finder_find(&finder, 0, header + c.pc, &walked), error)
                << little << std::hex << " " << c.pc;
            if (c.start == 0) {
                EXPECT_EQ(error, TLCRASH_ERR_NOTFOUND) << little << std::hex << " " << c.pc;
                continue;
            }
            ASSERT_EQ(error, 0) << little << std::hex << " " << c.pc;
            EXPECT_EQ(indexed.pc_start, header + c.start) << little << std::hex << " " << c.pc;
            EXPECT_EQ(indexed.pc_end, header + c.end) << little << std::hex << " " << c.pc;
            EXPECT_EQ(indexed.fde_offset, walked.fde_offset) << little << std::hex << " " << c.pc;
        }
        tlcrash_async_image_free(&image);
    }
}

// Runs the CIE's and the FDE's programs for `pc` into `state`.
tlcrash_error_t buildRow(const Fixture& f, uint64_t pc, dwarf_cfa_state* state, tlcrash_async_dwarf_cie_info* cie) {
    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, host());
    tlcrash_async_dwarf_fde_finder finder;
    tlcrash_async_dwarf_fde_finder_open(&finder, &f.section.mobj, host(), false);
    tlcrash_async_dwarf_fde_info fde;
    tlcrash_error_t error = tlcrash_async_dwarf_fde_finder_find(&finder, 0, pc, &fde);
    if (error != 0) return error;
    error = tlcrash_async_dwarf_cie_info_init(cie, &f.section.mobj, host(), &reader, f.section.base() + fde.cie_offset);
    if (error != 0) return error;
    error =
        state->eval_program(&f.section.mobj, pc, fde.pc_start, cie, &reader, host(), f.section.base(),
                            static_cast<int64_t>(cie->initial_instructions_offset), cie->initial_instructions_length);
    if (error != 0) return error;
    return state->eval_program(&f.section.mobj, pc, fde.pc_start, cie, &reader, host(), f.section.base(),
                               static_cast<int64_t>(fde.instructions_offset), fde.instructions_length);
}

TEST(DwarfRules, BuildTheRowInForceAtEachPc) {
    // push rbp at +1: CFA = rsp + 16, rbp at CFA - 16; the argument-size
    // note the C++ library's code carries is skipped; +5 remembers, moves
    // the CFA and +6 brings the remembered row back.
    const Bytes program = {0x41, 0x0E, 16, 0x86, 2, 0x2E, 0x10, 0x44, 0x0A, 0x0E, 48, 0x41, 0x0B};
    EhFrame frame({}, program, 0x1000);
    Fixture f(frame);
    const struct {
        uint64_t offset;
        uint64_t cfaOffset;
        bool rbpSaved;
    } rows[] = {{0, 8, false}, {1, 16, true}, {4, 16, true}, {5, 48, true}, {6, 16, true}, {0x1F, 16, true}};
    for (const auto& row : rows) {
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        ASSERT_EQ(buildRow(f, f.function + row.offset, &state, &cie), 0) << row.offset;
        EXPECT_EQ(state.get_cfa_rule().reg, 7u) << row.offset;
        EXPECT_EQ(state.get_cfa_rule().value, row.cfaOffset) << row.offset;
        tlcrash_dwarf_cfa_reg_rule_t rule;
        uint64_t value;
        EXPECT_EQ(state.get_register_rule(6, &rule, &value), row.rbpSaved) << row.offset;
        ASSERT_TRUE(state.get_register_rule(16, &rule, &value));
        EXPECT_EQ(rule, DWARF_CFA_REG_RULE_OFFSET);
        EXPECT_EQ(static_cast<int64_t>(value), -8);
    }
}

TEST(DwarfRules, RestoreRememberAndUnknownOperations) {
    // restore of rbp (which the CIE gave no rule) removes its rule.
    {
        EhFrame frame({}, {0x86, 2, 0x41, 0xC6}, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        ASSERT_EQ(buildRow(f, f.function + 1, &state, &cie), 0);
        tlcrash_dwarf_cfa_reg_rule_t rule;
        uint64_t value;
        EXPECT_FALSE(state.get_register_rule(6, &rule, &value));
        EXPECT_TRUE(state.get_register_rule(16, &rule, &value));
    }
    {
        EhFrame frame({}, {0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A}, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        EXPECT_EQ(buildRow(f, f.function, &state, &cie), TLCRASH_ERR_NOMEM);
    }
    {
        EhFrame frame({}, {0x0B}, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        EXPECT_EQ(buildRow(f, f.function, &state, &cie), TLCRASH_ERR_INVAL);
    }
    {
        EhFrame frame({}, {0x2F, 1}, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        EXPECT_EQ(buildRow(f, f.function, &state, &cie), TLCRASH_ERR_NOTSUP);
    }
    dwarf_cfa_state table;
    for (uint32_t reg = 0; reg < dwarf_cfa_state::kPoolSize; ++reg) {
        ASSERT_TRUE(table.set_register(reg, DWARF_CFA_REG_RULE_SAME_VALUE, 0));
    }
    EXPECT_FALSE(table.set_register(500, DWARF_CFA_REG_RULE_SAME_VALUE, 0));
    table.remove_register(42);
    EXPECT_TRUE(table.set_register(500, DWARF_CFA_REG_RULE_SAME_VALUE, 0));
}

TEST(DwarfRules, OffsetsTimesTheDataAlignmentMustFit) {
    // Data alignment -8: each operand below is scaled by it.
    {
        Builder p;
        p.u8(0x80 | 6), p.uleb(2);                   // offset rbp: -16
        p.u8(0x11), p.uleb(3), p.sleb(-2);           // offset_extended_sf rbx: +16
        p.u8(0x14), p.uleb(12), p.uleb(3);           // val_offset r12: -24
        p.u8(0x05), p.uleb(13), p.uleb(1ull << 60);  // offset_extended r13: the lowest offset there is
        p.u8(0x12), p.uleb(7), p.sleb(-2);           // def_cfa_sf rsp + 16
        p.u8(0x41);
        p.u8(0x13), p.sleb(-4);  // def_cfa_offset_sf: rsp + 32
        EhFrame frame({}, p.bytes, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        ASSERT_EQ(buildRow(f, f.function, &state, &cie), 0);
        const struct {
            uint32_t reg;
            tlcrash_dwarf_cfa_reg_rule_t rule;
            int64_t value;
        } expected[] = {{6, DWARF_CFA_REG_RULE_OFFSET, -16},
                        {3, DWARF_CFA_REG_RULE_OFFSET, 16},
                        {12, DWARF_CFA_REG_RULE_VAL_OFFSET, -24},
                        {13, DWARF_CFA_REG_RULE_OFFSET, INT64_MIN}};
        for (const auto& e : expected) {
            tlcrash_dwarf_cfa_reg_rule_t rule;
            uint64_t value;
            ASSERT_TRUE(state.get_register_rule(e.reg, &rule, &value)) << e.reg;
            EXPECT_EQ(rule, e.rule) << e.reg;
            EXPECT_EQ(static_cast<int64_t>(value), e.value) << e.reg;
        }
        EXPECT_EQ(state.get_cfa_rule().kind, dwarf_cfa_rule::REGISTER_SIGNED);
        EXPECT_EQ(static_cast<int64_t>(state.get_cfa_rule().value), 16);
        ASSERT_EQ(buildRow(f, f.function + 1, &state, &cie), 0);
        EXPECT_EQ(static_cast<int64_t>(state.get_cfa_rule().value), 32);
    }
    // Products beyond a signed 64-bit offset, for every operation that
    // scales; a ULEB operand above the largest signed value too.
    const Bytes overflowing[] = {
        {0x86, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},        // offset rbp, 2^61
        {0x86, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01},  // offset rbp, 2^63
        {0x05, 3, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},     // offset_extended
        {0x14, 3, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},     // val_offset
        {0x11, 3, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},     // offset_extended_sf, 2^61
        {0x15, 3, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x60},     // val_offset_sf, -2^61
        {0x12, 7, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},     // def_cfa_sf
        {0x13, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20},        // def_cfa_offset_sf
    };
    for (const Bytes& program : overflowing) {
        EhFrame frame({}, program, 0x1000);
        Fixture f(frame);
        dwarf_cfa_state state;
        tlcrash_async_dwarf_cie_info cie;
        EXPECT_EQ(buildRow(f, f.function, &state, &cie), TLCRASH_ERR_INVAL) << testing::PrintToString(program);
    }
}

TEST(DwarfRules, ApplyingARowGivesTheCallersRegisters) {
    const Bytes program = {0x41, 0x0E, 16, 0x86, 2};
    EhFrame frame({}, program, 0x1000);
    Fixture f(frame);
    alignas(16) uint64_t stack[4] = {0xAAAA, 0x7000BBBB, 0x401234, 0xCCCC};
    const uint64_t sp = addressOf(stack);

    tlcrash_async_thread_state current;
    tlcrash_async_thread_state_clear(&current);
    tlcrash_async_thread_state_write_reg(&current, TLCRASH_REG_IP, f.function + 3);
    tlcrash_async_thread_state_write_reg(&current, TLCRASH_REG_SP, sp + 8);
    tlcrash_async_thread_state_write_reg(&current, TLCRASH_REG_FP, 0x1111);
    tlcrash_async_thread_state_write_reg(&current, TLCRASH_X86_64_RBX, 0x2222);
    tlcrash_async_thread_state_write_reg(&current, TLCRASH_X86_64_RAX, 0x3333);

    dwarf_cfa_state state;
    tlcrash_async_dwarf_cie_info cie;
    ASSERT_EQ(buildRow(f, f.function + 3, &state, &cie), 0);
    tlcrash_async_thread_state next;
    ASSERT_EQ(state.apply_state(tlcrash_task_self(), &cie, &current, host(), &next), 0);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_SP), sp + 24);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_IP), 0x401234u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_FP), 0x7000BBBBu);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&next, TLCRASH_X86_64_RBX), 0x2222u);
    EXPECT_FALSE(tlcrash_async_thread_state_reg_valid(&next, TLCRASH_X86_64_RAX));

    // Without a rule for the return address column the stack ends.
    state.remove_register(16);
    EXPECT_NE(state.apply_state(tlcrash_task_self(), &cie, &current, host(), &next), 0);
}

tlcrash_error_t evaluate(const Bytes& code, const tlcrash_async_thread_state* regs, uint64_t* result) {
    Section section(code);
    return tlcrash_async_dwarf_expression_eval(&section.mobj, tlcrash_task_self(), regs, host(), section.base(), 0,
                                               code.size(), nullptr, 0, result);
}

// Whether expressions that branch back for ever are refused, alone and as
// the CFA rule of a frame (the row cannot be applied, so the walk goes on
// with the next reader).
bool endlessLoopsAreRefused() {
    tlcrash_async_thread_state regs;
    tlcrash_async_thread_state_clear(&regs);
    uint64_t result;
    if (evaluate({0x2F, 0xFD, 0xFF}, &regs, &result) != TLCRASH_ERR_INVAL) return false;        // skip to itself
    if (evaluate({0x31, 0x28, 0xFC, 0xFF}, &regs, &result) != TLCRASH_ERR_INVAL) return false;  // lit1, bra back

    EhFrame frame({}, {0x0F, 3, 0x2F, 0xFD, 0xFF}, 0x1000);
    Fixture f(frame);
    dwarf_cfa_state state;
    tlcrash_async_dwarf_cie_info cie;
    if (buildRow(f, f.function, &state, &cie) != 0) return false;
    alignas(16) uint64_t stack[2] = {0, 0x401234};
    tlcrash_async_thread_state_write_reg(&regs, TLCRASH_REG_IP, f.function);
    tlcrash_async_thread_state_write_reg(&regs, TLCRASH_REG_SP, addressOf(stack));
    tlcrash_async_thread_state next;
    return state.apply_state(tlcrash_task_self(), &cie, &regs, host(), &next) == TLCRASH_ERR_INVAL;
}

TEST(DwarfExpressions, ABranchBackThatNeverEndsFailsTheFrame) {
    // In a child that an alarm ends, so that a loop without end fails this
    // test rather than hanging the suite.
    EXPECT_EXIT(
        {
            alarm(20);
            std::_Exit(endlessLoopsAreRefused() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(DwarfExpressions, LongExpressionsAndShortLoopsStayWithinTheBudget) {
    tlcrash_async_thread_state regs;
    tlcrash_async_thread_state_clear(&regs);
    // 2999 operations in a row, more than a budget of a fixed size would
    // allow: lit1, then lit1 plus 1499 times.
    Bytes sum = {0x31};
    for (int i = 0; i < 1499; ++i) sum.insert(sum.end(), {0x31, 0x22});
    uint64_t result = 0;
    ASSERT_EQ(evaluate(sum, &regs, &result), 0);
    EXPECT_EQ(result, 1500u);

    // A counted loop of 100 rounds: 0 + 3 x 100.
    const Bytes loop = {
        0x30,                    // lit0 (the sum)
        0x08, 100,               // const1u 100 (the count)
        0x16, 0x33, 0x22,        // swap lit3 plus
        0x16, 0x31, 0x1C,        // swap lit1 minus
        0x12, 0x28, 0xF6, 0xFF,  // dup bra back to the first swap
        0x13,                    // drop the count
    };
    ASSERT_EQ(evaluate(loop, &regs, &result), 0);
    EXPECT_EQ(result, 300u);
}

TEST(DwarfExpressions, EvaluateOnTheirStack) {
    tlcrash_async_thread_state regs;
    tlcrash_async_thread_state_clear(&regs);
    tlcrash_async_thread_state_write_reg(&regs, TLCRASH_REG_SP, 0x1000);
    const struct {
        Bytes code;
        tlcrash_error_t error;
        uint64_t result;
    } cases[] = {
        {{0x35, 0x33, 0x1C}, 0, 2},                        // lit5 lit3 minus
        {{0x31, 0x30, 0x1B}, TLCRASH_ERR_INVAL, 0},        // lit1 lit0 div
        {{0x4F, 0x31, 0x25}, 0, 15},                       // lit31 lit1 shr
        {{0x77, 0x10}, 0, 0x1010},                         // breg7 (rsp) + 16
        {{0x76, 0x00}, TLCRASH_ERR_NOTFOUND, 0},           // breg6: rbp not valid
        {{0x13}, TLCRASH_ERR_INVAL, 0},                    // drop on an empty stack
        {{0x31, 0x28, 0x01, 0x00, 0x30, 0x32}, 0, 2},      // bra over lit0
        {{0x50}, TLCRASH_ERR_NOTSUP, 0},                   // reg0
        {{0x31, 0x2F, 0x10, 0x00}, TLCRASH_ERR_INVAL, 0},  // skip outside
    };
    for (const auto& c : cases) {
        Section code(c.code);
        uint64_t result = 0;
        EXPECT_EQ(tlcrash_async_dwarf_expression_eval(&code.mobj, tlcrash_task_self(), &regs, host(), code.base(), 0,
                                                      c.code.size(), nullptr, 0, &result),
                  c.error)
            << testing::PrintToString(c.code);
        if (c.error == 0) {
            EXPECT_EQ(result, c.result) << testing::PrintToString(c.code);
        }
    }
}

}  // namespace
