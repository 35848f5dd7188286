#pragma once
// The stack walker: from the register state of one thread it produces the
// thread's frames one after another, each a register state, by asking frame
// readers in a fixed order (compact unwind, DWARF call-frame information,
// the frame-pointer chain). Async-signal-safe: states are values on the
// caller's stack and the task's memory is read only through checked reads.

#include "crashes/reporter/async/TLCrashAsyncImageRegistry.h"
#include "crashes/reporter/async/TLCrashAsyncThreadState.h"

// 0 means a frame was produced; anything else that none was.
enum tlcrash_async_frame_status : int32_t {
    TLCRASH_FRAME_SUCCESS = 0,
    // The end of the stack, or no way on.
    TLCRASH_FRAME_NO_FRAME = 2,
    // The state lacks what a reader starts from, the chain runs the wrong
    // way, or the stack cannot be read.
    TLCRASH_FRAME_BAD_FRAME = 3,
    // The pc lies in no known image or the image has no entry for it.
    TLCRASH_FRAME_NOT_SUPPORTED = 4,
    TLCRASH_FRAME_INVALID = 5,
    TLCRASH_FRAME_INTERNAL = 6,
};

// Writes the caller's complete state of `current` into `next`. `previous`
// is the frame before `current`, null for the first frame: then `current`
// holds the exact pc of an interrupted instruction; after it, each pc is a
// return address, looked up one byte earlier so that a function ending in a
// call that never returns is unwound with its own rules. `stack` is the
// thread's stack above the first frame, validated once for the walk, so
// that saved registers are read without a system call each (may be null).
typedef tlcrash_async_frame_status (*tlcrash_async_frame_reader)(
    tlcrash_task_t task, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack);

struct tlcrash_async_frame_cursor {
    tlcrash_task_t task;
    tlcrash_async_image_registry* registry;
    // Frames produced so far.
    uint32_t depth;
    tlcrash_async_thread_state prev_frame;
    tlcrash_async_thread_state frame;
    // The stack from the first frame's stack pointer up, as far as it can
    // be read (at most TLCRASH_STACK_WINDOW bytes).
    bool has_stack;
    tlcrash_async_mobject stack;
};

constexpr size_t TLCRASH_STACK_WINDOW = 1024 * 1024;

tlcrash_error_t tlcrash_async_frame_cursor_open(tlcrash_async_frame_cursor* cursor, tlcrash_task_t task,
                                                const tlcrash_async_thread_state* state,
                                                tlcrash_async_image_registry* registry);

// The first step gives the starting state itself. A failed step leaves the
// cursor where it was.
tlcrash_async_frame_status tlcrash_async_frame_cursor_step(tlcrash_async_frame_cursor* cursor);
tlcrash_async_frame_status tlcrash_async_frame_cursor_step_with_readers(tlcrash_async_frame_cursor* cursor,
                                                                        const tlcrash_async_frame_reader* readers,
                                                                        size_t count);

// TLCRASH_FRAME_NOT_SUPPORTED, leaving `value` alone, when the current frame
// does not hold the register.
tlcrash_async_frame_status tlcrash_async_frame_cursor_read_reg(const tlcrash_async_frame_cursor* cursor, uint32_t reg,
                                                               uint64_t* value);
const char* tlcrash_async_frame_cursor_reg_label(const tlcrash_async_frame_cursor* cursor, uint32_t reg);
uint32_t tlcrash_async_frame_cursor_reg_count(const tlcrash_async_frame_cursor* cursor);
void tlcrash_async_frame_cursor_close(tlcrash_async_frame_cursor* cursor);

// Follows the saved frame pointer: the caller's rbp and return address are
// the two words at rbp. After the first frame each frame pointer must lie
// strictly above the one before, so a damaged chain cannot loop.
tlcrash_async_frame_status tlcrash_async_frame_read_frame_chain(
    tlcrash_task_t task, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack);

// The address to look a frame's pc up at: the pc itself for the first frame,
// one byte before the return address for the others.
inline uint64_t tlcrash_async_frame_lookup_pc(const tlcrash_async_thread_state* current,
                                              const tlcrash_async_thread_state* previous) {
    const uint64_t pc = tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_IP);
    return previous != nullptr && pc > 0 ? pc - 1 : pc;
}
