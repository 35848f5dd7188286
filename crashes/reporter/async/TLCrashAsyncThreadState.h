#pragma once
// The register state of one thread of an x86-64 process, as the stack
// walker sees it: a plain value, copied whole, with a mask of the registers
// that hold a value. Async-signal-safe.
//
// The walker and its frame readers address registers by the numbers below,
// never by the machine context's layout. 0, 1 and 2 are always the
// instruction, frame and stack pointers, so a reader can use them without
// knowing more of the machine.

#include "crashes/reporter/async/TLCrashAsync.h"

#include <ucontext.h>

enum : uint32_t {
    TLCRASH_X86_64_RIP = 0,
    TLCRASH_X86_64_RBP = 1,
    TLCRASH_X86_64_RSP = 2,
    TLCRASH_X86_64_RAX = 3,
    TLCRASH_X86_64_RBX = 4,
    TLCRASH_X86_64_RCX = 5,
    TLCRASH_X86_64_RDX = 6,
    TLCRASH_X86_64_RDI = 7,
    TLCRASH_X86_64_RSI = 8,
    TLCRASH_X86_64_R8 = 9,  // r8 to r15 follow in order
    TLCRASH_X86_64_R12 = 13,
    TLCRASH_X86_64_R15 = 16,
    TLCRASH_X86_64_RFLAGS = 17,
    TLCRASH_X86_64_REG_COUNT = 18,
};

constexpr uint32_t TLCRASH_REG_IP = TLCRASH_X86_64_RIP;
constexpr uint32_t TLCRASH_REG_FP = TLCRASH_X86_64_RBP;
constexpr uint32_t TLCRASH_REG_SP = TLCRASH_X86_64_RSP;

// Which way the stack grows.
enum : uint32_t { TLCRASH_STACK_GROWS_UP = 1, TLCRASH_STACK_GROWS_DOWN = 2 };

struct tlcrash_async_thread_state {
    uint32_t stack_direction;
    uint64_t greg_size;
    uint64_t valid_regs;
    uint64_t regs[TLCRASH_X86_64_REG_COUNT];
};

// From the machine context a signal handler receives: every register valid.
void tlcrash_async_thread_state_load_from_context(tlcrash_async_thread_state* state, const ucontext_t* context);

// A state with no valid register.
void tlcrash_async_thread_state_clear(tlcrash_async_thread_state* state);

inline void tlcrash_async_thread_state_duplicate(tlcrash_async_thread_state* dest,
                                                 const tlcrash_async_thread_state* source) {
    *dest = *source;
}

// Register numbers at or past the count are never valid; reads of them give
// 0 and writes are ignored.
bool tlcrash_async_thread_state_reg_valid(const tlcrash_async_thread_state* state, uint32_t reg);
void tlcrash_async_thread_state_invalidate_reg(tlcrash_async_thread_state* state, uint32_t reg);
void tlcrash_async_thread_state_invalidate_all(tlcrash_async_thread_state* state);
uint64_t tlcrash_async_thread_state_read_reg(const tlcrash_async_thread_state* state, uint32_t reg);
// Stores the value and marks the register valid.
void tlcrash_async_thread_state_write_reg(tlcrash_async_thread_state* state, uint32_t reg, uint64_t value);

inline uint32_t tlcrash_async_thread_state_stack_growth(const tlcrash_async_thread_state* state) {
    return state->stack_direction;
}
inline uint64_t tlcrash_async_thread_state_word_size(const tlcrash_async_thread_state* state) {
    return state->greg_size;
}
inline uint32_t tlcrash_async_thread_state_reg_count(const tlcrash_async_thread_state*) {
    return TLCRASH_X86_64_REG_COUNT;
}

// "rip", "rbp", "rsp", "rax", ...; "" past the count.
const char* tlcrash_async_thread_state_reg_label(const tlcrash_async_thread_state* state, uint32_t reg);

// Keeps valid only what a call preserves: rbx, rbp and r12 to r15 (the
// stack pointer is the caller's to compute).
void tlcrash_async_thread_state_keep_preserved_regs(tlcrash_async_thread_state* state);

// The register of a DWARF register number: 0 to 15 are the general
// registers in the ABI's order, 16 is the return address column, which is
// the caller's instruction pointer. False for any other number.
bool tlcrash_async_thread_state_reg_for_dwarf(const tlcrash_async_thread_state* state, uint64_t dwarf_reg,
                                              uint32_t* reg);

// Calls `callback` with the state of the calling thread as its caller sees
// it at the call (instruction pointer: the return address; stack pointer:
// the caller's after the call returns; the callee-saved registers as they
// were). Returns the callback's code. Only the caller's frames and those
// above it can be walked from that state; the callback runs below them.
typedef tlcrash_error_t (*tlcrash_async_capture_callback)(tlcrash_async_thread_state* state, void* context);
extern "C" tlcrash_error_t tlcrash_async_capture_current_thread(tlcrash_async_capture_callback callback, void* context);
