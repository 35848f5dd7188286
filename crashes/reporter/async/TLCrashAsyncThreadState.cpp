#include "crashes/reporter/async/TLCrashAsyncThreadState.h"

namespace {

const char* const kLabels[TLCRASH_X86_64_REG_COUNT] = {
    "rip", "rbp", "rsp", "rax", "rbx", "rcx", "rdx", "rdi", "rsi",
    "r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15", "rflags",
};

// Our number of each DWARF register 0 to 16 (the ABI's order: rax, rdx, rcx,
// rbx, rsi, rdi, rbp, rsp, r8 to r15, return address).
const uint32_t kDwarfMap[17] = {
    TLCRASH_X86_64_RAX,
    TLCRASH_X86_64_RDX,
    TLCRASH_X86_64_RCX,
    TLCRASH_X86_64_RBX,
    TLCRASH_X86_64_RSI,
    TLCRASH_X86_64_RDI,
    TLCRASH_X86_64_RBP,
    TLCRASH_X86_64_RSP,
    9,
    10,
    11,
    12,
    13,
    14,
    15,
    16,
    TLCRASH_X86_64_RIP,
};

constexpr uint64_t bit(uint32_t reg) { return uint64_t{1} << reg; }

constexpr uint64_t kPreserved =
    bit(TLCRASH_X86_64_RBX) | bit(TLCRASH_X86_64_RBP) | bit(13) | bit(14) | bit(15) | bit(TLCRASH_X86_64_R15);

void init(tlcrash_async_thread_state* state) {
    tlcrash_async_memset(state, 0, sizeof *state);
    state->stack_direction = TLCRASH_STACK_GROWS_DOWN;
    state->greg_size = 8;
}

}  // namespace

void tlcrash_async_thread_state_clear(tlcrash_async_thread_state* state) { init(state); }

void tlcrash_async_thread_state_load_from_context(tlcrash_async_thread_state* state, const ucontext_t* context) {
    init(state);
    const greg_t* g = context->uc_mcontext.gregs;
    const int order[TLCRASH_X86_64_REG_COUNT] = {
        REG_RIP, REG_RBP, REG_RSP, REG_RAX, REG_RBX, REG_RCX, REG_RDX, REG_RDI, REG_RSI,
        REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15, REG_EFL,
    };
    for (uint32_t reg = 0; reg < TLCRASH_X86_64_REG_COUNT; ++reg) {
        tlcrash_async_thread_state_write_reg(state, reg, static_cast<uint64_t>(g[order[reg]]));
    }
}

bool tlcrash_async_thread_state_reg_valid(const tlcrash_async_thread_state* state, uint32_t reg) {
    return reg < TLCRASH_X86_64_REG_COUNT && (state->valid_regs & bit(reg)) != 0;
}

void tlcrash_async_thread_state_invalidate_reg(tlcrash_async_thread_state* state, uint32_t reg) {
    if (reg < TLCRASH_X86_64_REG_COUNT) state->valid_regs &= ~bit(reg);
}

void tlcrash_async_thread_state_invalidate_all(tlcrash_async_thread_state* state) { state->valid_regs = 0; }

uint64_t tlcrash_async_thread_state_read_reg(const tlcrash_async_thread_state* state, uint32_t reg) {
    return reg < TLCRASH_X86_64_REG_COUNT ? state->regs[reg] : 0;
}

void tlcrash_async_thread_state_write_reg(tlcrash_async_thread_state* state, uint32_t reg, uint64_t value) {
    if (reg >= TLCRASH_X86_64_REG_COUNT) return;
    state->regs[reg] = value;
    state->valid_regs |= bit(reg);
}

const char* tlcrash_async_thread_state_reg_label(const tlcrash_async_thread_state*, uint32_t reg) {
    return reg < TLCRASH_X86_64_REG_COUNT ? kLabels[reg] : "";
}

void tlcrash_async_thread_state_keep_preserved_regs(tlcrash_async_thread_state* state) {
    state->valid_regs &= kPreserved;
}

bool tlcrash_async_thread_state_reg_for_dwarf(const tlcrash_async_thread_state*, uint64_t dwarf_reg, uint32_t* reg) {
    if (dwarf_reg >= sizeof kDwarfMap / sizeof kDwarfMap[0]) return false;
    *reg = kDwarfMap[dwarf_reg];
    return true;
}

// Builds the state from the saved registers (rbx, rbp, r12 to r15, the
// return address and the caller's stack pointer) and calls the callback.
extern "C" tlcrash_error_t tlcrash_async_capture_finish(const uint64_t* saved, tlcrash_async_capture_callback callback,
                                                        void* context) {
    tlcrash_async_thread_state state;
    init(&state);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_X86_64_RBX, saved[0]);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_X86_64_RBP, saved[1]);
    for (uint32_t i = 0; i < 4; ++i) tlcrash_async_thread_state_write_reg(&state, 13 + i, saved[2 + i]);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_X86_64_RIP, saved[6]);
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_X86_64_RSP, saved[7]);
    return callback(&state, context);
}

// The capture saves the callee-saved registers before any compiled code can
// change them, so it is written by hand. At entry rsp points at the return
// address; 72 bytes keep the call below 16-byte aligned.
asm(R"(
    .text
    .globl tlcrash_async_capture_current_thread
    .type tlcrash_async_capture_current_thread, @function
tlcrash_async_capture_current_thread:
    .cfi_startproc
    subq $72, %rsp
    .cfi_adjust_cfa_offset 72
    movq %rbx, 0(%rsp)
    movq %rbp, 8(%rsp)
    movq %r12, 16(%rsp)
    movq %r13, 24(%rsp)
    movq %r14, 32(%rsp)
    movq %r15, 40(%rsp)
    movq 72(%rsp), %rax
    movq %rax, 48(%rsp)
    leaq 80(%rsp), %rax
    movq %rax, 56(%rsp)
    movq %rsi, %rdx
    movq %rdi, %rsi
    movq %rsp, %rdi
    call tlcrash_async_capture_finish
    addq $72, %rsp
    .cfi_adjust_cfa_offset -72
    ret
    .cfi_endproc
    .size tlcrash_async_capture_current_thread, .-tlcrash_async_capture_current_thread
)");
