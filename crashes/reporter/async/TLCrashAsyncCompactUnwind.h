#pragma once
// The compact unwind format: a two-level index from function offsets to
// 32-bit encodings, the decoding of an encoding for 64-bit ARM, x86 and
// x86-64, and its application to a register state. The reader works on any
// memory object that holds such a table; ELF images carry none, so the frame
// reader answers "not supported" for them and the walker goes on to DWARF.
// Async-signal-safe.

#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"

constexpr uint32_t TLCRASH_CPU_TYPE_X86 = 7;
constexpr uint32_t TLCRASH_CPU_TYPE_X86_64 = 0x1000007;
constexpr uint32_t TLCRASH_CPU_TYPE_ARM64 = 0x100000C;

// A register slot with nothing in it.
constexpr uint32_t TLCRASH_UNWIND_REG_NONE = 0x7FFFFFFF;

enum tlcrash_async_unwind_kind : uint32_t {
    TLCRASH_UNWIND_FRAME = 1,
    TLCRASH_UNWIND_FRAMELESS_IMMD = 2,
    TLCRASH_UNWIND_FRAMELESS_INDIRECT = 3,
    TLCRASH_UNWIND_DWARF = 4,
    TLCRASH_UNWIND_NONE = 5,
};

struct tlcrash_async_unwind_info_reader {
    tlcrash_async_mobject mobj;
    uint32_t cpu_type;
    struct {
        uint32_t version;
        uint32_t common_encodings_offset;
        uint32_t common_encodings_count;
        uint32_t personality_offset;
        uint32_t personality_count;
        uint32_t index_offset;
        uint32_t index_count;
    } header;
    const tlcrash_async_byteorder* byteorder;
};

struct tlcrash_async_unwind_entry {
    tlcrash_async_unwind_kind kind;
    uint32_t cpu_type;
    // FRAME: from the frame pointer to the saved registers (<= 0);
    // FRAMELESS_IMMD: the stack size; FRAMELESS_INDIRECT: where in the
    // function the size immediate lies; DWARF: the FDE's offset.
    int64_t stack_offset;
    // FRAMELESS_INDIRECT: added to the size read from the code.
    uint32_t stack_adjust;
    // The register holding the return address of a frameless function, or
    // TLCRASH_UNWIND_REG_NONE when it is on the stack.
    uint32_t return_address_register;
    uint32_t saved_register_count;
    // Lowest address first; TLCRASH_UNWIND_REG_NONE slots are skipped but
    // take their word.
    uint32_t saved_registers[10];
};

// The section held by `mobj` (the object is copied): NOTSUP for another CPU
// or a version other than 1, INVAL when the header cannot be read.
tlcrash_error_t tlcrash_async_unwind_info_reader_open(tlcrash_async_unwind_info_reader* reader,
                                                      const tlcrash_async_mobject* mobj, uint32_t cpu_type);
inline void tlcrash_async_unwind_info_reader_close(tlcrash_async_unwind_info_reader*) {}

// The function offset and encoding of the entry for `pc` (an offset from the
// image's load address): NOTFOUND when no entry covers it, INVAL when the
// table is damaged.
tlcrash_error_t tlcrash_async_unwind_info_find_pc(const tlcrash_async_unwind_info_reader* reader, uint64_t pc,
                                                  uint64_t* function_offset, uint32_t* encoding);

tlcrash_error_t tlcrash_async_unwind_entry_decode(tlcrash_async_unwind_entry* entry, uint32_t cpu_type,
                                                  uint32_t encoding);
inline tlcrash_async_unwind_kind tlcrash_async_unwind_entry_kind(const tlcrash_async_unwind_entry* entry) {
    return entry->kind;
}
inline void tlcrash_async_unwind_entry_release(tlcrash_async_unwind_entry*) {}

// The caller's state by `entry` for the function starting at
// `function_address`. Register numbers beyond the state's (64-bit ARM ones in
// an x86-64 process) give INVAL.
tlcrash_error_t tlcrash_async_unwind_entry_apply(tlcrash_task_t task, uint64_t function_address,
                                                 const tlcrash_async_thread_state* current,
                                                 const tlcrash_async_unwind_entry* entry,
                                                 tlcrash_async_thread_state* next);

// The x86 frameless register permutation: `count` (at most 6) codes 1 to 6.
tlcrash_error_t tlcrash_async_unwind_decode_permutation(uint32_t permutation, uint32_t count, uint32_t* registers);

// A compact register code (0 to 6) as a register number; for x86-64 these are
// the thread state's numbers.
tlcrash_error_t tlcrash_async_unwind_entry_map_register(uint32_t code, uint32_t* reg, uint32_t cpu_type);

tlcrash_async_frame_status tlcrash_async_frame_read_compact_unwind(
    tlcrash_task_t task, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack);
