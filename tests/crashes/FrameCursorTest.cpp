// The stack walker: register states, the cursor's stepping rules and the
// frame-pointer chain over stacks laid out by hand, and the walk of this
// optimised program's live stack against backtrace().

#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"
#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"

#include <gtest/gtest.h>

#include <execinfo.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

uint64_t cursorAddressOf(const void* p) { return reinterpret_cast<uint64_t>(p); }

tlcrash_async_thread_state stateWith(uint64_t pc, uint64_t fp, uint64_t sp) {
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_clear(&state);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_IP, pc);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_FP, fp);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_SP, sp);
    return state;
}

TEST(ThreadState, TakesTheSignalContextAndKeepsOnlyPreservedRegistersAcrossACall) {
    ucontext_t context{};
    for (int i = 0; i < NGREG; ++i) context.uc_mcontext.gregs[i] = 0x1000 + i;
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_load_from_context(&state, &context);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&state, TLCRASH_X86_64_RIP), 0x1000u + REG_RIP);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&state, TLCRASH_X86_64_RSP), 0x1000u + REG_RSP);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&state, TLCRASH_X86_64_R15), 0x1000u + REG_R15);
    EXPECT_STREQ(tlcrash_async_thread_state_reg_label(&state, TLCRASH_X86_64_RFLAGS), "rflags");
    EXPECT_STREQ(tlcrash_async_thread_state_reg_label(&state, 9), "r8");

    tlcrash_async_thread_state_keep_preserved_regs(&state);
    std::vector<uint32_t> valid;
    for (uint32_t reg = 0; reg < tlcrash_async_thread_state_reg_count(&state); ++reg) {
        if (tlcrash_async_thread_state_reg_valid(&state, reg)) valid.push_back(reg);
    }
    EXPECT_EQ(valid, (std::vector<uint32_t>{TLCRASH_X86_64_RBP, TLCRASH_X86_64_RBX, 13, 14, 15, 16}));
}

TEST(ThreadState, MapsDwarfColumnsWithSixteenAsTheReturnAddress) {
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_clear(&state);
    const struct {
        uint64_t dwarf;
        const char* name;
    } cases[] = {{0, "rax"}, {1, "rdx"}, {2, "rcx"}, {3, "rbx"},  {4, "rsi"}, {5, "rdi"},
                 {6, "rbp"}, {7, "rsp"}, {8, "r8"},  {15, "r15"}, {16, "rip"}};
    for (const auto& c : cases) {
        uint32_t reg = 99;
        ASSERT_TRUE(tlcrash_async_thread_state_reg_for_dwarf(&state, c.dwarf, &reg)) << c.dwarf;
        EXPECT_STREQ(tlcrash_async_thread_state_reg_label(&state, reg), c.name) << c.dwarf;
    }
    uint32_t reg;
    EXPECT_FALSE(tlcrash_async_thread_state_reg_for_dwarf(&state, 17, &reg));
}

TEST(FrameCursor, FirstStepGivesTheStartAndLaterStepsNeedReaders) {
    tlcrash_async_image_registry registry{tlcrash_task_self(), nullptr};
    const tlcrash_async_thread_state start = stateWith(0x401000, 0, 0x7000);
    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), &start, &registry);
    EXPECT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, nullptr, 0), TLCRASH_FRAME_SUCCESS);
    uint64_t pc = 0;
    EXPECT_EQ(tlcrash_async_frame_cursor_read_reg(&cursor, TLCRASH_REG_IP, &pc), TLCRASH_FRAME_SUCCESS);
    EXPECT_EQ(pc, 0x401000u);
    EXPECT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, nullptr, 0), TLCRASH_FRAME_INVALID);
    uint64_t untouched = 7;
    EXPECT_EQ(tlcrash_async_frame_cursor_read_reg(&cursor, TLCRASH_X86_64_RAX, &untouched),
              TLCRASH_FRAME_NOT_SUPPORTED);
    EXPECT_EQ(untouched, 7u);
}

// A reader that gives a caller at a fixed pc.
uint64_t gNextPc;
tlcrash_async_frame_status fixedReader(tlcrash_task_t, tlcrash_async_image_registry*,
                                       const tlcrash_async_thread_state* current, const tlcrash_async_thread_state*,
                                       tlcrash_async_thread_state* next, const tlcrash_async_mobject*) {
    *next = *current;
    tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, gNextPc);
    return TLCRASH_FRAME_SUCCESS;
}
tlcrash_async_frame_status failingReader(tlcrash_task_t, tlcrash_async_image_registry*,
                                         const tlcrash_async_thread_state*, const tlcrash_async_thread_state*,
                                         tlcrash_async_thread_state*, const tlcrash_async_mobject*) {
    return TLCRASH_FRAME_NOT_SUPPORTED;
}

TEST(FrameCursor, EndsAtACallerPcWithinTheFirstPageAndMovesOnToTheNextReader) {
    tlcrash_async_image_registry registry{tlcrash_task_self(), nullptr};
    const tlcrash_async_thread_state start = stateWith(0x401000, 0, 0x7000);
    const tlcrash_async_frame_reader readers[] = {failingReader, fixedReader};
    const uint64_t page = tlcrash_async_page_size();

    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), &start, &registry);
    ASSERT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, readers, 2), TLCRASH_FRAME_SUCCESS);
    gNextPc = page;
    EXPECT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, readers, 2), TLCRASH_FRAME_NO_FRAME);
    EXPECT_EQ(cursor.depth, 1u);
    gNextPc = page + 1;
    EXPECT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, readers, 2), TLCRASH_FRAME_SUCCESS);
    EXPECT_EQ(cursor.depth, 2u);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&cursor.frame, TLCRASH_REG_IP), page + 1);
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&cursor.prev_frame, TLCRASH_REG_IP), 0x401000u);
    // Every reader failing gives the last one's status.
    const tlcrash_async_frame_reader onlyFailing[] = {failingReader};
    EXPECT_EQ(tlcrash_async_frame_cursor_step_with_readers(&cursor, onlyFailing, 1), TLCRASH_FRAME_NOT_SUPPORTED);
}

TEST(FrameChain, FollowsSavedFramePointersUpwardOnly) {
    // Three frames on a stack laid out by hand: each record is the caller's
    // frame pointer and the return address.
    alignas(16) uint64_t stack[16] = {};
    const uint64_t base = cursorAddressOf(stack);
    stack[2] = base + 6 * 8, stack[3] = 0x402222;     // frame at slot 2
    stack[6] = base + 10 * 8, stack[7] = 0x403333;    // frame at slot 6
    stack[10] = base + 10 * 8, stack[11] = 0x404444;  // points at itself

    tlcrash_async_image_registry registry{tlcrash_task_self(), nullptr};
    const tlcrash_async_frame_reader chain[] = {tlcrash_async_frame_read_frame_chain};
    const tlcrash_async_thread_state start = stateWith(0x401111, base + 2 * 8, base);
    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), &start, &registry);
    std::vector<uint64_t> pcs;
    while (tlcrash_async_frame_cursor_step_with_readers(&cursor, chain, 1) == TLCRASH_FRAME_SUCCESS) {
        pcs.push_back(tlcrash_async_thread_state_read_reg(&cursor.frame, TLCRASH_REG_IP));
        ASSERT_LT(pcs.size(), 10u) << "the chain loops";
    }
    EXPECT_EQ(pcs, (std::vector<uint64_t>{0x401111, 0x402222, 0x403333, 0x404444}));
    EXPECT_EQ(tlcrash_async_thread_state_read_reg(&cursor.frame, TLCRASH_REG_SP), base + 12 * 8);

    tlcrash_async_thread_state next;
    const tlcrash_async_thread_state noFp = stateWith(0x401111, 0, base);
    EXPECT_EQ(tlcrash_async_frame_read_frame_chain(tlcrash_task_self(), &registry, &noFp, nullptr, &next, nullptr),
              TLCRASH_FRAME_NO_FRAME);
    tlcrash_async_thread_state invalid = noFp;
    tlcrash_async_thread_state_invalidate_reg(&invalid, TLCRASH_REG_FP);
    EXPECT_EQ(tlcrash_async_frame_read_frame_chain(tlcrash_task_self(), &registry, &invalid, nullptr, &next, nullptr),
              TLCRASH_FRAME_BAD_FRAME);
    const tlcrash_async_thread_state unreadable = stateWith(0x401111, 8, base);
    EXPECT_EQ(
        tlcrash_async_frame_read_frame_chain(tlcrash_task_self(), &registry, &unreadable, nullptr, &next, nullptr),
        TLCRASH_FRAME_BAD_FRAME);
    const tlcrash_async_thread_state lower = stateWith(0x401111, base, base);
    const tlcrash_async_thread_state before = stateWith(0x401111, base + 8, base);
    EXPECT_EQ(tlcrash_async_frame_read_frame_chain(tlcrash_task_self(), &registry, &lower, &before, &next, nullptr),
              TLCRASH_FRAME_BAD_FRAME);
}

// The walk from inside a comparator that the C library's qsort calls, under
// a once-only call of the C++ library: both libraries are built without
// frame pointers, and so is this program.
struct LiveWalk {
    std::vector<uint64_t> walked;
    std::vector<uint64_t> traced;
};
LiveWalk* gLive;
tlcrash_async_image_registry gRegistry;

tlcrash_error_t walk(tlcrash_async_thread_state* state, void* context) {
    auto* out = static_cast<std::vector<uint64_t>*>(context);
    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), state, &gRegistry);
    while (out->size() < 128 && tlcrash_async_frame_cursor_step(&cursor) == TLCRASH_FRAME_SUCCESS) {
        uint64_t pc;
        tlcrash_async_frame_cursor_read_reg(&cursor, TLCRASH_REG_IP, &pc);
        out->push_back(pc);
    }
    return TLCRASH_ERR_NONE;
}

__attribute__((noinline)) int compareAndWalk(const void* a, const void* b) {
    if (gLive->walked.empty()) {
        void* frames[128];
        const int count = backtrace(frames, 128);
        for (int i = 0; i < count; ++i) gLive->traced.push_back(cursorAddressOf(frames[i]));
        tlcrash_async_capture_current_thread(walk, &gLive->walked);
    }
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

TEST(FrameCursor, WalksAnOptimisedLiveStackThroughTheSystemLibrariesAsBacktraceDoes) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's backtrace() lists frames of its own";
#endif
    tlcrash_async_image_registry_init(&gRegistry, tlcrash_task_self());
    tlcrash_async_image_registry_sync(&gRegistry);
    LiveWalk live;
    gLive = &live;
    std::once_flag once;
    std::call_once(once, [] {
        int values[] = {5, 3, 9, 1};
        qsort(values, 4, sizeof values[0], compareAndWalk);
    });
    // backtrace's first frame is its own call, ours the capture's; from the
    // comparator's caller on both name the same return addresses.
    ASSERT_GT(live.traced.size(), 6u);
    ASSERT_GE(live.walked.size(), live.traced.size());
    for (size_t i = 1; i < live.traced.size(); ++i) EXPECT_EQ(live.walked[i], live.traced[i]) << "frame " << i;
}

}  // namespace
