#pragma once
// DWARF rule evaluation: the table of unwind rules that the call-frame
// programs of a CIE and an FDE build up to a pc, the expression evaluator
// that rules may use, the application of a row to a register state, and the
// frame reader that ties them to the images' .eh_frame. Fixed-size tables on
// the caller's stack; async-signal-safe.

#include "crashes/reporter/async/TLCrashAsyncDwarfEncoding.h"
#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"

namespace tlcrash::async {

// How the caller's register is found.
enum tlcrash_dwarf_cfa_reg_rule_t : uint8_t {
    DWARF_CFA_REG_RULE_OFFSET = 0,          // the word saved at CFA + N
    DWARF_CFA_REG_RULE_VAL_OFFSET = 1,      // CFA + N itself
    DWARF_CFA_REG_RULE_REGISTER = 2,        // the current value of register N
    DWARF_CFA_REG_RULE_EXPRESSION = 3,      // the word at the address expression N computes
    DWARF_CFA_REG_RULE_VAL_EXPRESSION = 4,  // the value expression N computes
    DWARF_CFA_REG_RULE_SAME_VALUE = 5,      // the register's current value
};

struct dwarf_cfa_rule {
    enum Kind : uint32_t { UNDEFINED = 0, EXPRESSION = 1, REGISTER = 2, REGISTER_SIGNED = 3 };
    Kind kind;
    uint32_t reg;
    // REGISTER: unsigned offset; REGISTER_SIGNED: signed offset;
    // EXPRESSION: the expression's task address.
    uint64_t value;
    uint64_t length;
};

class dwarf_cfa_state {
public:
    static constexpr uint8_t kMaxLevels = 6;
    static constexpr uint8_t kPoolSize = 100;
    static constexpr uint8_t kBuckets = 14;
    static constexpr uint8_t kEmpty = 255;

    dwarf_cfa_state();

    bool set_register(uint32_t reg, tlcrash_dwarf_cfa_reg_rule_t rule, uint64_t value);
    bool get_register_rule(uint32_t reg, tlcrash_dwarf_cfa_reg_rule_t* rule, uint64_t* value) const;
    void remove_register(uint32_t reg);
    uint8_t register_count() const { return mLevels[mLevel].count; }

    void set_cfa_register(uint32_t reg, uint64_t offset);
    void set_cfa_register_signed(uint32_t reg, int64_t offset);
    void set_cfa_expression(uint64_t address, uint64_t length);
    dwarf_cfa_rule get_cfa_rule() const { return mLevels[mLevel].cfa; }

    // Five levels may be remembered above the first.
    bool push_state();
    bool pop_state();

    // Runs the program at `base + offset` for `length` bytes from
    // `initial_location` until the row in force at `pc` is complete (pc 0:
    // the whole program). NOMEM when a table is full, NOTSUP for an
    // operation it does not know, INVAL for a damaged program (an offset
    // times the data alignment factor that does not fit 64 bits included).
    tlcrash_error_t eval_program(const tlcrash_async_mobject* mobj, uint64_t pc, uint64_t initial_location,
                                 const tlcrash_async_dwarf_cie_info* cie, const tlcrash_async_dwarf_ptr_reader* reader,
                                 const tlcrash_async_byteorder* byteorder, uint64_t base, int64_t offset,
                                 uint64_t length);

    // The caller's state of `current` by the current row.
    tlcrash_error_t apply_state(tlcrash_task_t task, const tlcrash_async_dwarf_cie_info* cie,
                                const tlcrash_async_thread_state* current, const tlcrash_async_byteorder* byteorder,
                                tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack = nullptr) const;

private:
    friend class dwarf_cfa_state_iterator;
    struct Entry {
        uint64_t value;
        uint32_t reg;
        tlcrash_dwarf_cfa_reg_rule_t rule;
        uint8_t next;
    };
    struct Level {
        dwarf_cfa_rule cfa;
        uint8_t count;
        uint8_t buckets[kBuckets];
    };
    uint8_t take();

    Level mLevels[kMaxLevels];
    uint8_t mLevel;
    Entry mPool[kPoolSize];
    uint8_t mFree;
};

// Visits the current level's rules bucket by bucket.
class dwarf_cfa_state_iterator {
public:
    explicit dwarf_cfa_state_iterator(const dwarf_cfa_state* state) : mState(state) {}
    bool next(uint32_t* reg, tlcrash_dwarf_cfa_reg_rule_t* rule, uint64_t* value);

private:
    const dwarf_cfa_state* mState;
    uint8_t mBucket = 0;
    uint8_t mEntry = dwarf_cfa_state::kEmpty;
};

// How many operations an expression may execute: this many per byte of its
// length, and this many more.
constexpr uint64_t kDwarfExpressionOperationsPerByte = 16;
constexpr uint64_t kDwarfExpressionMinimumOperations = 1024;

// Evaluates the expression of `length` bytes at `address + offset` with
// `initial` pushed first; the top of the stack is the result. INVAL and
// INTERNAL for stack faults as the operations say, NOTSUP for operations it
// does not know, INVAL too when it runs past its operation budget (a branch
// back that never stops looping).
tlcrash_error_t tlcrash_async_dwarf_expression_eval(const tlcrash_async_mobject* mobj, tlcrash_task_t task,
                                                    const tlcrash_async_thread_state* state,
                                                    const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                    int64_t offset, uint64_t length, const uint64_t* initial,
                                                    size_t initial_count, uint64_t* result);

}  // namespace tlcrash::async

// The frame reader over the image's .eh_frame (found through its
// .eh_frame_hdr search table where it has one).
tlcrash_async_frame_status tlcrash_async_frame_read_dwarf_cfi(
    tlcrash_task_t task, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack);
