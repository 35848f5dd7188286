#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"

#include "crashes/reporter/async/TLCrashAsyncCompactUnwind.h"
#include "crashes/reporter/async/TLCrashAsyncDwarfFrameReader.h"

tlcrash_error_t tlcrash_async_frame_cursor_open(tlcrash_async_frame_cursor* cursor, tlcrash_task_t task,
                                                const tlcrash_async_thread_state* state,
                                                tlcrash_async_image_registry* registry) {
    cursor->task = task;
    cursor->registry = registry;
    cursor->depth = 0;
    tlcrash_async_thread_state_clear(&cursor->prev_frame);
    tlcrash_async_thread_state_duplicate(&cursor->frame, state);
    cursor->has_stack =
        tlcrash_async_thread_state_reg_valid(state, TLCRASH_REG_SP) &&
        tlcrash_async_mobject_init(&cursor->stack, task, tlcrash_async_thread_state_read_reg(state, TLCRASH_REG_SP),
                                   TLCRASH_STACK_WINDOW, false) == TLCRASH_ERR_NONE;
    return TLCRASH_ERR_NONE;
}

tlcrash_async_frame_status tlcrash_async_frame_cursor_step_with_readers(tlcrash_async_frame_cursor* cursor,
                                                                        const tlcrash_async_frame_reader* readers,
                                                                        size_t count) {
    if (cursor->depth == 0) {
        cursor->depth = 1;
        return TLCRASH_FRAME_SUCCESS;
    }
    if (count == 0) return TLCRASH_FRAME_INVALID;
    const tlcrash_async_thread_state* previous = cursor->depth == 1 ? nullptr : &cursor->prev_frame;
    tlcrash_async_thread_state next;
    tlcrash_async_frame_status status = TLCRASH_FRAME_INVALID;
    for (size_t i = 0; i < count; ++i) {
        tlcrash_async_thread_state_clear(&next);
        status = readers[i](cursor->task, cursor->registry, &cursor->frame, previous, &next,
                            cursor->has_stack ? &cursor->stack : nullptr);
        if (status == TLCRASH_FRAME_SUCCESS) break;
    }
    if (status != TLCRASH_FRAME_SUCCESS) return status;
    if (!tlcrash_async_thread_state_reg_valid(&next, TLCRASH_REG_IP) ||
        tlcrash_async_thread_state_read_reg(&next, TLCRASH_REG_IP) <= tlcrash_async_page_size()) {
        return TLCRASH_FRAME_NO_FRAME;
    }
    cursor->prev_frame = cursor->frame;
    cursor->frame = next;
    cursor->depth += 1;
    return TLCRASH_FRAME_SUCCESS;
}

tlcrash_async_frame_status tlcrash_async_frame_cursor_step(tlcrash_async_frame_cursor* cursor) {
    static const tlcrash_async_frame_reader kReaders[] = {
        tlcrash_async_frame_read_compact_unwind,
        tlcrash_async_frame_read_dwarf_cfi,
        tlcrash_async_frame_read_frame_chain,
    };
    return tlcrash_async_frame_cursor_step_with_readers(cursor, kReaders, sizeof kReaders / sizeof kReaders[0]);
}

tlcrash_async_frame_status tlcrash_async_frame_cursor_read_reg(const tlcrash_async_frame_cursor* cursor, uint32_t reg,
                                                               uint64_t* value) {
    if (!tlcrash_async_thread_state_reg_valid(&cursor->frame, reg)) return TLCRASH_FRAME_NOT_SUPPORTED;
    *value = tlcrash_async_thread_state_read_reg(&cursor->frame, reg);
    return TLCRASH_FRAME_SUCCESS;
}

const char* tlcrash_async_frame_cursor_reg_label(const tlcrash_async_frame_cursor* cursor, uint32_t reg) {
    return tlcrash_async_thread_state_reg_label(&cursor->frame, reg);
}

uint32_t tlcrash_async_frame_cursor_reg_count(const tlcrash_async_frame_cursor* cursor) {
    return tlcrash_async_thread_state_reg_count(&cursor->frame);
}

void tlcrash_async_frame_cursor_close(tlcrash_async_frame_cursor*) {}

tlcrash_async_frame_status tlcrash_async_frame_read_frame_chain(tlcrash_task_t task, tlcrash_async_image_registry*,
                                                                const tlcrash_async_thread_state* current,
                                                                const tlcrash_async_thread_state* previous,
                                                                tlcrash_async_thread_state* next,
                                                                const tlcrash_async_mobject* stack) {
    if (!tlcrash_async_thread_state_reg_valid(current, TLCRASH_REG_FP)) return TLCRASH_FRAME_BAD_FRAME;
    const uint64_t fp = tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_FP);
    if (fp == 0) return TLCRASH_FRAME_NO_FRAME;
    if (previous != nullptr && tlcrash_async_thread_state_reg_valid(previous, TLCRASH_REG_FP)) {
        const uint64_t before = tlcrash_async_thread_state_read_reg(previous, TLCRASH_REG_FP);
        const bool down = tlcrash_async_thread_state_stack_growth(current) == TLCRASH_STACK_GROWS_DOWN;
        if (down ? fp <= before : fp >= before) return TLCRASH_FRAME_BAD_FRAME;
    }
    uint64_t words[2];
    if (tlcrash_async_mobject_read_or_task(stack, task, fp, 0, words, sizeof words) != TLCRASH_ERR_NONE) {
        return TLCRASH_FRAME_BAD_FRAME;
    }
    tlcrash_async_thread_state_duplicate(next, current);
    tlcrash_async_thread_state_invalidate_all(next);
    tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_FP, words[0]);
    tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, words[1]);
    // The caller's stack pointer is just above the saved pair.
    tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_SP, fp + 16);
    return TLCRASH_FRAME_SUCCESS;
}
