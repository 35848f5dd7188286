#include "crashes/reporter/async/TLCrashAsyncDwarfFrameReader.h"

namespace tlcrash::async {

namespace {

// A bounded reader over program or expression bytes in a memory object.
struct Stream {
    const tlcrash_async_mobject* mobj;
    const tlcrash_async_byteorder* order;
    uint64_t position;
    uint64_t end;

    tlcrash_error_t open(const tlcrash_async_mobject* m, const tlcrash_async_byteorder* o, uint64_t base,
                         int64_t offset, uint64_t length) {
        mobj = m;
        order = o;
        if (!tlcrash_async_offset_address(base, offset, &position)) return TLCRASH_ERR_INVAL;
        if (static_cast<int64_t>(length) < 0 || __builtin_add_overflow(position, length, &end)) {
            return TLCRASH_ERR_INVAL;
        }
        if (length > 0 && tlcrash_async_mobject_remap(mobj, position, 0, length) == nullptr) return TLCRASH_ERR_INVAL;
        return TLCRASH_ERR_NONE;
    }
    bool atEnd() const { return position >= end; }
    uint64_t left() const { return end - position; }
    bool skip(uint64_t n) {
        if (n > left()) return false;
        position += n;
        return true;
    }
    bool u8(uint8_t* value) {
        if (atEnd() || tlcrash_async_mobject_read_uint8(mobj, position, 0, value) != TLCRASH_ERR_NONE) return false;
        position += 1;
        return true;
    }
    bool sized(size_t size, uint64_t* value) {
        if (size > left() || tlcrash_async_dwarf_read_sized_uint(mobj, order, position, 0, size, value) != 0) {
            return false;
        }
        position += size;
        return true;
    }
    bool uleb(uint64_t* value) {
        size_t used;
        if (atEnd() || tlcrash_async_leb_read_unsigned(mobj, position, 0, value, &used) != TLCRASH_ERR_NONE ||
            used > left()) {
            return false;
        }
        position += used;
        return true;
    }
    bool sleb(int64_t* value) {
        size_t used;
        if (atEnd() || tlcrash_async_leb_read_signed(mobj, position, 0, value, &used) != TLCRASH_ERR_NONE ||
            used > left()) {
            return false;
        }
        position += used;
        return true;
    }
};

}  // namespace

dwarf_cfa_state::dwarf_cfa_state() : mLevel(0), mFree(0) {
    tlcrash_async_memset(mLevels, 0, sizeof mLevels);
    for (Level& level : mLevels) tlcrash_async_memset(level.buckets, kEmpty, sizeof level.buckets);
    for (uint8_t i = 0; i < kPoolSize; ++i) {
        mPool[i] = {0, 0, DWARF_CFA_REG_RULE_OFFSET, static_cast<uint8_t>(i + 1 < kPoolSize ? i + 1 : kEmpty)};
    }
}

uint8_t dwarf_cfa_state::take() {
    const uint8_t index = mFree;
    if (index != kEmpty) mFree = mPool[index].next;
    return index;
}

bool dwarf_cfa_state::set_register(uint32_t reg, tlcrash_dwarf_cfa_reg_rule_t rule, uint64_t value) {
    Level& level = mLevels[mLevel];
    uint8_t* link = &level.buckets[reg % kBuckets];
    while (*link != kEmpty) {
        Entry& entry = mPool[*link];
        if (entry.reg == reg) {
            entry.rule = rule;
            entry.value = value;
            return true;
        }
        link = &entry.next;
    }
    const uint8_t index = take();
    if (index == kEmpty) return false;
    mPool[index] = {value, reg, rule, kEmpty};
    *link = index;
    level.count += 1;
    return true;
}

bool dwarf_cfa_state::get_register_rule(uint32_t reg, tlcrash_dwarf_cfa_reg_rule_t* rule, uint64_t* value) const {
    for (uint8_t i = mLevels[mLevel].buckets[reg % kBuckets]; i != kEmpty; i = mPool[i].next) {
        if (mPool[i].reg == reg) {
            *rule = mPool[i].rule;
            *value = mPool[i].value;
            return true;
        }
    }
    return false;
}

void dwarf_cfa_state::remove_register(uint32_t reg) {
    Level& level = mLevels[mLevel];
    uint8_t* link = &level.buckets[reg % kBuckets];
    while (*link != kEmpty) {
        const uint8_t index = *link;
        if (mPool[index].reg == reg) {
            *link = mPool[index].next;
            mPool[index].next = mFree;
            mFree = index;
            level.count -= 1;
        } else {
            link = &mPool[index].next;
        }
    }
}

void dwarf_cfa_state::set_cfa_register(uint32_t reg, uint64_t offset) {
    mLevels[mLevel].cfa = {dwarf_cfa_rule::REGISTER, reg, offset, 0};
}

void dwarf_cfa_state::set_cfa_register_signed(uint32_t reg, int64_t offset) {
    mLevels[mLevel].cfa = {dwarf_cfa_rule::REGISTER_SIGNED, reg, static_cast<uint64_t>(offset), 0};
}

void dwarf_cfa_state::set_cfa_expression(uint64_t address, uint64_t length) {
    mLevels[mLevel].cfa = {dwarf_cfa_rule::EXPRESSION, 0, address, length};
}

bool dwarf_cfa_state::push_state() {
    if (mLevel + 1 >= kMaxLevels) return false;
    const uint8_t below = mLevel;
    mLevel += 1;
    Level& level = mLevels[mLevel];
    level.cfa = mLevels[below].cfa;
    level.count = 0;
    tlcrash_async_memset(level.buckets, kEmpty, sizeof level.buckets);
    for (uint8_t b = 0; b < kBuckets; ++b) {
        for (uint8_t i = mLevels[below].buckets[b]; i != kEmpty; i = mPool[i].next) {
            if (!set_register(mPool[i].reg, mPool[i].rule, mPool[i].value)) return false;
        }
    }
    return true;
}

bool dwarf_cfa_state::pop_state() {
    if (mLevel == 0) return false;
    mLevel -= 1;
    return true;
}

bool dwarf_cfa_state_iterator::next(uint32_t* reg, tlcrash_dwarf_cfa_reg_rule_t* rule, uint64_t* value) {
    const auto& level = mState->mLevels[mState->mLevel];
    if (mEntry != dwarf_cfa_state::kEmpty) mEntry = mState->mPool[mEntry].next;
    while (mEntry == dwarf_cfa_state::kEmpty) {
        if (mBucket >= dwarf_cfa_state::kBuckets) return false;
        mEntry = level.buckets[mBucket++];
    }
    *reg = mState->mPool[mEntry].reg;
    *rule = mState->mPool[mEntry].rule;
    *value = mState->mPool[mEntry].value;
    return true;
}

tlcrash_error_t dwarf_cfa_state::eval_program(const tlcrash_async_mobject* mobj, uint64_t pc, uint64_t initial_location,
                                              const tlcrash_async_dwarf_cie_info* cie,
                                              const tlcrash_async_dwarf_ptr_reader* reader,
                                              const tlcrash_async_byteorder* byteorder, uint64_t base, int64_t offset,
                                              uint64_t length) {
    // The rules before the program, which restore brings back.
    dwarf_cfa_state initial;
    {
        dwarf_cfa_state_iterator it(this);
        uint32_t reg;
        tlcrash_dwarf_cfa_reg_rule_t rule;
        uint64_t value;
        while (it.next(&reg, &rule, &value)) {
            if (!initial.set_register(reg, rule, value)) return TLCRASH_ERR_NOMEM;
        }
    }
    const uint8_t setLocEncoding =
        cie->has_eh_augmentation && reader != nullptr && cie->eh_augmentation.has_pointer_encoding
            ? cie->eh_augmentation.pointer_encoding
            : uint8_t{TLCRASH_DW_EH_PE_absptr};

    Stream stream;
    if (stream.open(mobj, byteorder, base, offset, length) != TLCRASH_ERR_NONE) return TLCRASH_ERR_INVAL;
    uint64_t location = initial_location;
    if (pc != 0 && pc < location) return TLCRASH_ERR_NONE;

    const uint64_t c = cie->code_alignment_factor;
    const int64_t d = cie->data_alignment_factor;
    auto reg32 = [](uint64_t reg, uint32_t* out) {
        if (reg > 0xFFFFFFFF) return false;
        *out = static_cast<uint32_t>(reg);
        return true;
    };
    auto restore = [&](uint32_t reg) {
        tlcrash_dwarf_cfa_reg_rule_t rule;
        uint64_t value;
        if (initial.get_register_rule(reg, &rule, &value)) return set_register(reg, rule, value);
        remove_register(reg);
        return true;
    };
    // An operand times the data alignment factor; false when the product
    // does not fit a signed 64-bit offset, which only a damaged or hostile
    // table asks for.
    auto factored = [d](auto operand, int64_t* out) { return !__builtin_mul_overflow(operand, d, out); };
    auto isRegisterRule = [&]() {
        const auto kind = get_cfa_rule().kind;
        return kind == dwarf_cfa_rule::REGISTER || kind == dwarf_cfa_rule::REGISTER_SIGNED;
    };

    while (!stream.atEnd()) {
        uint8_t opcode;
        if (!stream.u8(&opcode)) return TLCRASH_ERR_INVAL;
        const uint8_t operand = opcode & 0x3F;
        uint64_t u1 = 0, u2 = 0;
        int64_t s1 = 0;
        uint32_t reg = 0;
        switch (opcode & 0xC0) {
            case 0x40: location += operand * c; break;
            case 0x80:
                if (!stream.uleb(&u1) || !factored(u1, &s1)) return TLCRASH_ERR_INVAL;
                if (!set_register(operand, DWARF_CFA_REG_RULE_OFFSET, static_cast<uint64_t>(s1))) {
                    return TLCRASH_ERR_NOMEM;
                }
                break;
            case 0xC0:
                if (!restore(operand)) return TLCRASH_ERR_NOMEM;
                break;
            default:
                switch (opcode) {
                    case 0x00: break;
                    case 0x01: {
                        if (cie->segment_size != 0) return TLCRASH_ERR_NOTSUP;
                        size_t used;
                        if (tlcrash_async_dwarf_ptr_read(reader, mobj, stream.position, 0, setLocEncoding, &location,
                                                         &used) != TLCRASH_ERR_NONE ||
                            !stream.skip(used)) {
                            return TLCRASH_ERR_INVAL;
                        }
                        break;
                    }
                    case 0x02:
                        if (!stream.sized(1, &u1)) return TLCRASH_ERR_INVAL;
                        location += u1 * c;
                        break;
                    case 0x03:
                        if (!stream.sized(2, &u1)) return TLCRASH_ERR_INVAL;
                        location += u1 * c;
                        break;
                    case 0x04:
                        if (!stream.sized(4, &u1)) return TLCRASH_ERR_INVAL;
                        location += u1 * c;
                        break;
                    case 0x05:  // offset_extended
                    case 0x14:  // val_offset
                        if (!stream.uleb(&u1) || !stream.uleb(&u2)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!factored(u2, &s1)) return TLCRASH_ERR_INVAL;
                        if (!set_register(reg,
                                          opcode == 0x05 ? DWARF_CFA_REG_RULE_OFFSET : DWARF_CFA_REG_RULE_VAL_OFFSET,
                                          static_cast<uint64_t>(s1))) {
                            return TLCRASH_ERR_NOMEM;
                        }
                        break;
                    case 0x11:  // offset_extended_sf
                    case 0x15:  // val_offset_sf
                        if (!stream.uleb(&u1) || !stream.sleb(&s1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!factored(s1, &s1)) return TLCRASH_ERR_INVAL;
                        if (!set_register(reg,
                                          opcode == 0x11 ? DWARF_CFA_REG_RULE_OFFSET : DWARF_CFA_REG_RULE_VAL_OFFSET,
                                          static_cast<uint64_t>(s1))) {
                            return TLCRASH_ERR_NOMEM;
                        }
                        break;
                    case 0x06:  // restore_extended
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!restore(reg)) return TLCRASH_ERR_NOMEM;
                        break;
                    case 0x07:  // undefined
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        remove_register(reg);
                        break;
                    case 0x08:  // same_value
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!set_register(reg, DWARF_CFA_REG_RULE_SAME_VALUE, 0)) return TLCRASH_ERR_NOMEM;
                        break;
                    case 0x09:  // register
                        if (!stream.uleb(&u1) || !stream.uleb(&u2)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!set_register(reg, DWARF_CFA_REG_RULE_REGISTER, u2)) return TLCRASH_ERR_NOMEM;
                        break;
                    case 0x0A:
                        if (!push_state()) return TLCRASH_ERR_NOMEM;
                        break;
                    case 0x0B:
                        if (!pop_state()) return TLCRASH_ERR_INVAL;
                        break;
                    case 0x0C:  // def_cfa
                        if (!stream.uleb(&u1) || !stream.uleb(&u2)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        set_cfa_register(reg, u2);
                        break;
                    case 0x12:  // def_cfa_sf
                        if (!stream.uleb(&u1) || !stream.sleb(&s1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        if (!factored(s1, &s1)) return TLCRASH_ERR_INVAL;
                        set_cfa_register_signed(reg, s1);
                        break;
                    case 0x0D: {  // def_cfa_register
                        if (!isRegisterRule()) return TLCRASH_ERR_INVAL;
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        mLevels[mLevel].cfa.reg = reg;
                        break;
                    }
                    case 0x0E:  // def_cfa_offset
                        if (!isRegisterRule()) return TLCRASH_ERR_INVAL;
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        set_cfa_register(get_cfa_rule().reg, u1);
                        break;
                    case 0x13:  // def_cfa_offset_sf
                        if (!isRegisterRule()) return TLCRASH_ERR_INVAL;
                        if (!stream.sleb(&s1) || !factored(s1, &s1)) return TLCRASH_ERR_INVAL;
                        set_cfa_register_signed(get_cfa_rule().reg, s1);
                        break;
                    case 0x0F: {  // def_cfa_expression
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if ((u1 >> 63) != 0) return TLCRASH_ERR_NOTSUP;
                        const uint64_t start = stream.position;
                        if (!stream.skip(u1)) return TLCRASH_ERR_INVAL;
                        set_cfa_expression(start, u1);
                        break;
                    }
                    case 0x10:    // expression
                    case 0x16: {  // val_expression
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        if (!reg32(u1, &reg)) return TLCRASH_ERR_NOTSUP;
                        // The rule keeps the length field's address: the
                        // block is read again when the rule is applied.
                        const uint64_t field = stream.position;
                        if (!stream.uleb(&u2) || !stream.skip(u2)) return TLCRASH_ERR_INVAL;
                        if (!set_register(
                                reg, opcode == 0x10 ? DWARF_CFA_REG_RULE_EXPRESSION : DWARF_CFA_REG_RULE_VAL_EXPRESSION,
                                field)) {
                            return TLCRASH_ERR_NOMEM;
                        }
                        break;
                    }
                    case 0x2E:  // GNU_args_size: the outgoing argument area, which unwinding ignores
                        if (!stream.uleb(&u1)) return TLCRASH_ERR_INVAL;
                        break;
                    default: return TLCRASH_ERR_NOTSUP;
                }
        }
        if (pc != 0 && pc < location) break;
    }
    return TLCRASH_ERR_NONE;
}

namespace {

// The value of DWARF register `dwarfReg` in `state`.
tlcrash_error_t dwarfRegisterValue(const tlcrash_async_thread_state* state, uint64_t dwarfReg, uint64_t* value) {
    uint32_t reg;
    if (!tlcrash_async_thread_state_reg_for_dwarf(state, dwarfReg, &reg)) return TLCRASH_ERR_NOTSUP;
    if (!tlcrash_async_thread_state_reg_valid(state, reg)) return TLCRASH_ERR_NOTFOUND;
    *value = tlcrash_async_thread_state_read_reg(state, reg);
    return TLCRASH_ERR_NONE;
}

// Evaluates the expression whose ULEB length lies at `field` in the task.
tlcrash_error_t evalStoredExpression(tlcrash_task_t task, const tlcrash_async_thread_state* state,
                                     const tlcrash_async_byteorder* byteorder, uint64_t field, uint64_t cfa,
                                     uint64_t* result) {
    tlcrash_async_mobject head;
    tlcrash_error_t error = tlcrash_async_mobject_init(&head, task, field, 10, false);
    if (error != TLCRASH_ERR_NONE) return error;
    uint64_t length;
    size_t used;
    error = tlcrash_async_leb_read_unsigned(&head, field, 0, &length, &used);
    if (error != TLCRASH_ERR_NONE) return error;
    uint64_t start;
    if (__builtin_add_overflow(field, used, &start)) return TLCRASH_ERR_INVAL;
    if (length == 0) return TLCRASH_ERR_INVAL;
    tlcrash_async_mobject body;
    error = tlcrash_async_mobject_init(&body, task, start, length, true);
    if (error != TLCRASH_ERR_NONE) return error;
    return tlcrash_async_dwarf_expression_eval(&body, task, state, byteorder, start, 0, length, &cfa, 1, result);
}

}  // namespace

tlcrash_error_t dwarf_cfa_state::apply_state(tlcrash_task_t task, const tlcrash_async_dwarf_cie_info* cie,
                                             const tlcrash_async_thread_state* current,
                                             const tlcrash_async_byteorder* byteorder, tlcrash_async_thread_state* next,
                                             const tlcrash_async_mobject* stack) const {
    tlcrash_async_thread_state_duplicate(next, current);
    tlcrash_async_thread_state_keep_preserved_regs(next);

    uint64_t cfa = 0;
    const dwarf_cfa_rule cfaRule = get_cfa_rule();
    switch (cfaRule.kind) {
        case dwarf_cfa_rule::REGISTER:
        case dwarf_cfa_rule::REGISTER_SIGNED: {
            uint64_t value;
            const tlcrash_error_t error = dwarfRegisterValue(current, cfaRule.reg, &value);
            if (error != TLCRASH_ERR_NONE) return error;
            cfa = value + cfaRule.value;
            break;
        }
        case dwarf_cfa_rule::EXPRESSION: {
            if (cfaRule.length == 0) return TLCRASH_ERR_INVAL;
            tlcrash_async_mobject body;
            tlcrash_error_t error = tlcrash_async_mobject_init(&body, task, cfaRule.value, cfaRule.length, true);
            if (error != TLCRASH_ERR_NONE) return error;
            error = tlcrash_async_dwarf_expression_eval(&body, task, current, byteorder, cfaRule.value, 0,
                                                        cfaRule.length, nullptr, 0, &cfa);
            if (error != TLCRASH_ERR_NONE) return error;
            break;
        }
        default: return TLCRASH_ERR_INVAL;
    }
    tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_SP, cfa);

    bool returnAddressSet = false;
    dwarf_cfa_state_iterator it(this);
    uint32_t dwarfReg;
    tlcrash_dwarf_cfa_reg_rule_t rule;
    uint64_t operand;
    while (it.next(&dwarfReg, &rule, &operand)) {
        uint32_t target;
        if (!tlcrash_async_thread_state_reg_for_dwarf(current, dwarfReg, &target)) {
            if (dwarfReg != cie->return_address_register) return TLCRASH_ERR_INVAL;
            target = TLCRASH_REG_IP;
        }
        uint64_t value = 0;
        tlcrash_error_t error = TLCRASH_ERR_NONE;
        switch (rule) {
            case DWARF_CFA_REG_RULE_OFFSET:
                error = tlcrash_async_mobject_read_or_task(stack, task, cfa, static_cast<int64_t>(operand), &value,
                                                           sizeof value);
                value = tlcrash_async_swap(byteorder, value);
                break;
            case DWARF_CFA_REG_RULE_VAL_OFFSET: value = cfa + operand; break;
            case DWARF_CFA_REG_RULE_REGISTER: error = dwarfRegisterValue(current, operand, &value); break;
            case DWARF_CFA_REG_RULE_SAME_VALUE:
                if (!tlcrash_async_thread_state_reg_valid(current, target)) return TLCRASH_ERR_NOTFOUND;
                value = tlcrash_async_thread_state_read_reg(current, target);
                break;
            case DWARF_CFA_REG_RULE_EXPRESSION:
            case DWARF_CFA_REG_RULE_VAL_EXPRESSION: {
                uint64_t address;
                error = evalStoredExpression(task, current, byteorder, operand, cfa, &address);
                if (error != TLCRASH_ERR_NONE) break;
                if (rule == DWARF_CFA_REG_RULE_EXPRESSION) {
                    error = tlcrash_async_read_task_uint64(task, byteorder, address, 0, &value);
                } else {
                    value = address;
                }
                break;
            }
        }
        if (error != TLCRASH_ERR_NONE) return error;
        tlcrash_async_thread_state_write_reg(next, target, value);
        if (dwarfReg == cie->return_address_register) {
            if (target != TLCRASH_REG_IP) tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, value);
            returnAddressSet = true;
        }
    }
    if (!returnAddressSet) {
        // On x86-64 the return address has no register of its own: without
        // a rule for its column it is undefined and the stack ends here.
        uint32_t reg;
        if (!tlcrash_async_thread_state_reg_for_dwarf(current, cie->return_address_register, &reg) ||
            reg == TLCRASH_REG_IP || !tlcrash_async_thread_state_reg_valid(current, reg)) {
            return TLCRASH_ERR_INVAL;
        }
        tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, tlcrash_async_thread_state_read_reg(current, reg));
    }
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_dwarf_expression_eval(const tlcrash_async_mobject* mobj, tlcrash_task_t task,
                                                    const tlcrash_async_thread_state* state,
                                                    const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                    int64_t offset, uint64_t length, const uint64_t* initial,
                                                    size_t initial_count, uint64_t* result) {
    constexpr size_t kStackSize = 100;
    uint64_t stack[kStackSize];
    size_t depth = 0;
    Stream stream;
    if (stream.open(mobj, byteorder, address, offset, length) != TLCRASH_ERR_NONE) return TLCRASH_ERR_INVAL;
    const uint64_t start = stream.position;
    // Every operation takes at least one byte, so an expression that only
    // runs forward executes no more operations than it has bytes. Branches
    // back may loop, and a loop that never ends would keep the crash from
    // writing its report: loops get a generous allowance over the length,
    // then the expression is refused.
    uint64_t budget;
    if (__builtin_mul_overflow(length, kDwarfExpressionOperationsPerByte, &budget) ||
        __builtin_add_overflow(budget, kDwarfExpressionMinimumOperations, &budget)) {
        budget = ~uint64_t{0};
    }

    auto push = [&](uint64_t value) {
        if (depth == kStackSize) return false;
        stack[depth++] = value;
        return true;
    };
    for (size_t i = 0; i < initial_count; ++i) {
        if (!push(initial[i])) return TLCRASH_ERR_INTERNAL;
    }
    auto readWord = [&](uint64_t at, size_t size, uint64_t* out) {
        uint64_t word = 0;
        const tlcrash_error_t error = tlcrash_async_read_task_memory(task, at, 0, &word, size);
        *out = word;
        return error;
    };
    auto jump = [&](int16_t distance) {
        const uint64_t target = stream.position + static_cast<uint64_t>(static_cast<int64_t>(distance));
        if (target < start || target > stream.end) return false;
        stream.position = target;
        return true;
    };

    while (!stream.atEnd()) {
        if (budget == 0) return TLCRASH_ERR_INVAL;
        budget -= 1;
        uint8_t opcode;
        if (!stream.u8(&opcode)) return TLCRASH_ERR_INVAL;
        uint64_t u = 0;
        int64_t s = 0;
        // Operations on the top entries, checked for depth first.
        const auto needs = [&](size_t n) { return depth >= n; };
        if (opcode >= 0x30 && opcode <= 0x4F) {
            if (!push(opcode - 0x30u)) return TLCRASH_ERR_INTERNAL;
            continue;
        }
        if (opcode >= 0x70 && opcode <= 0x8F) {
            if (!stream.sleb(&s)) return TLCRASH_ERR_INVAL;
            uint64_t value;
            const tlcrash_error_t error = dwarfRegisterValue(state, opcode - 0x70u, &value);
            if (error != TLCRASH_ERR_NONE) return error;
            if (!push(value + static_cast<uint64_t>(s))) return TLCRASH_ERR_INTERNAL;
            continue;
        }
        switch (opcode) {
            case 0x06: {  // deref
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                const tlcrash_error_t error = readWord(stack[depth - 1], 8, &stack[depth - 1]);
                if (error != TLCRASH_ERR_NONE) return error;
                break;
            }
            case 0x08:
            case 0x09:
                if (!stream.sized(1, &u)) return TLCRASH_ERR_INVAL;
                if (opcode == 0x09) u = static_cast<uint64_t>(static_cast<int8_t>(u));
                if (!push(u)) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x0A:
            case 0x0B:
                if (!stream.sized(2, &u)) return TLCRASH_ERR_INVAL;
                if (opcode == 0x0B) u = static_cast<uint64_t>(static_cast<int16_t>(u));
                if (!push(u)) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x0C:
            case 0x0D:
                if (!stream.sized(4, &u)) return TLCRASH_ERR_INVAL;
                if (opcode == 0x0D) u = static_cast<uint64_t>(static_cast<int32_t>(u));
                if (!push(u)) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x0E:
            case 0x0F:
                if (!stream.sized(8, &u)) return TLCRASH_ERR_INVAL;
                if (!push(u)) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x10:
                if (!stream.uleb(&u)) return TLCRASH_ERR_INVAL;
                if (!push(u)) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x11:
                if (!stream.sleb(&s)) return TLCRASH_ERR_INVAL;
                if (!push(static_cast<uint64_t>(s))) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x12:  // dup
                if (!needs(1)) return TLCRASH_ERR_INVAL;
                if (!push(stack[depth - 1])) return TLCRASH_ERR_INVAL;
                break;
            case 0x13:  // drop
                if (!needs(1)) return TLCRASH_ERR_INVAL;
                depth -= 1;
                break;
            case 0x14:  // over
                if (!needs(2)) return TLCRASH_ERR_INVAL;
                if (!push(stack[depth - 2])) return TLCRASH_ERR_INTERNAL;
                break;
            case 0x15: {  // pick
                if (!stream.sized(1, &u)) return TLCRASH_ERR_INVAL;
                if (u >= depth) return TLCRASH_ERR_INVAL;
                if (!push(stack[depth - 1 - u])) return TLCRASH_ERR_INTERNAL;
                break;
            }
            case 0x16: {  // swap
                if (!needs(2)) return TLCRASH_ERR_INVAL;
                const uint64_t top = stack[depth - 1];
                stack[depth - 1] = stack[depth - 2];
                stack[depth - 2] = top;
                break;
            }
            case 0x17: {  // rot
                if (!needs(3)) return TLCRASH_ERR_INVAL;
                const uint64_t top = stack[depth - 1];
                stack[depth - 1] = stack[depth - 2];
                stack[depth - 2] = stack[depth - 3];
                stack[depth - 3] = top;
                break;
            }
            case 0x18:    // xderef
            case 0x95: {  // xderef_size
                size_t size = 8;
                if (opcode == 0x95) {
                    if (!stream.sized(1, &u)) return TLCRASH_ERR_INVAL;
                    size = static_cast<size_t>(u);
                    if (size != 1 && size != 2 && size != 4 && size != 8) return TLCRASH_ERR_INVAL;
                }
                if (!needs(2)) return TLCRASH_ERR_INVAL;
                const uint64_t at = stack[depth - 1];
                depth -= 1;
                const tlcrash_error_t error = readWord(at, size, &stack[depth - 1]);
                if (error != TLCRASH_ERR_NONE) return error;
                break;
            }
            case 0x94: {  // deref_size
                if (!stream.sized(1, &u)) return TLCRASH_ERR_INVAL;
                if (u != 1 && u != 2 && u != 4 && u != 8) return TLCRASH_ERR_INVAL;
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                const tlcrash_error_t error = readWord(stack[depth - 1], static_cast<size_t>(u), &stack[depth - 1]);
                if (error != TLCRASH_ERR_NONE) return error;
                break;
            }
            case 0x19:  // abs
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                if (static_cast<int64_t>(stack[depth - 1]) < 0) stack[depth - 1] = 0 - stack[depth - 1];
                break;
            case 0x1F:  // neg
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                stack[depth - 1] = 0 - stack[depth - 1];
                break;
            case 0x20:  // not
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                stack[depth - 1] = ~stack[depth - 1];
                break;
            case 0x23:  // plus_uconst
                if (!stream.uleb(&u)) return TLCRASH_ERR_INVAL;
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                stack[depth - 1] += u;
                break;
            case 0x96: break;  // nop
            case 0x28: {       // bra
                if (!stream.sized(2, &u)) return TLCRASH_ERR_INVAL;
                if (!needs(1)) return TLCRASH_ERR_INTERNAL;
                depth -= 1;
                if (stack[depth] != 0 && !jump(static_cast<int16_t>(u))) return TLCRASH_ERR_INVAL;
                break;
            }
            case 0x2F:  // skip
                if (!stream.sized(2, &u)) return TLCRASH_ERR_INVAL;
                if (!jump(static_cast<int16_t>(u))) return TLCRASH_ERR_INVAL;
                break;
            case 0x92: {  // bregx
                uint64_t reg;
                if (!stream.uleb(&reg) || !stream.sleb(&s)) return TLCRASH_ERR_INVAL;
                uint64_t value;
                const tlcrash_error_t error = dwarfRegisterValue(state, reg, &value);
                if (error != TLCRASH_ERR_NONE) return error;
                if (!push(value + static_cast<uint64_t>(s))) return TLCRASH_ERR_INTERNAL;
                break;
            }
            default: {
                // The binary operations: second (a) with top (b).
                if (!(opcode >= 0x1A && opcode <= 0x2E && opcode != 0x1F && opcode != 0x20 && opcode != 0x23 &&
                      opcode != 0x28)) {
                    return TLCRASH_ERR_NOTSUP;
                }
                if (!needs(2)) return TLCRASH_ERR_INTERNAL;
                const uint64_t b = stack[depth - 1];
                const uint64_t a = stack[depth - 2];
                const auto sa = static_cast<int64_t>(a);
                const auto sb = static_cast<int64_t>(b);
                uint64_t r;
                switch (opcode) {
                    case 0x1A: r = a & b; break;
                    case 0x21: r = a | b; break;
                    case 0x27: r = a ^ b; break;
                    case 0x1B:
                        if (b == 0) return TLCRASH_ERR_INVAL;
                        // The one quotient that does not fit wraps.
                        r = sb == -1 ? 0 - a : static_cast<uint64_t>(sa / sb);
                        break;
                    case 0x1C: r = a - b; break;
                    case 0x22: r = a + b; break;
                    case 0x1E: r = a * b; break;
                    case 0x1D:
                        if (b == 0) return TLCRASH_ERR_INVAL;
                        r = a % b;
                        break;
                    case 0x24: r = a << (b % 64); break;
                    case 0x25: r = a >> (b % 64); break;
                    case 0x26: r = static_cast<uint64_t>(sa >> (b % 64)); break;
                    case 0x29: r = sa == sb; break;
                    case 0x2A: r = sa >= sb; break;
                    case 0x2B: r = sa > sb; break;
                    case 0x2C: r = sa <= sb; break;
                    case 0x2D: r = sa < sb; break;
                    case 0x2E: r = sa != sb; break;
                    default: return TLCRASH_ERR_NOTSUP;
                }
                depth -= 1;
                stack[depth - 1] = r;
                break;
            }
        }
    }
    if (depth == 0) return TLCRASH_ERR_INVAL;
    *result = stack[depth - 1];
    return TLCRASH_ERR_NONE;
}

}  // namespace tlcrash::async

using namespace tlcrash::async;

namespace {

tlcrash_async_frame_status readWithImage(tlcrash_task_t task, const tlcrash_async_image* image, uint64_t pc,
                                         const tlcrash_async_thread_state* current, tlcrash_async_thread_state* next,
                                         const tlcrash_async_mobject* stack) {
    if (!image->is_64) return TLCRASH_FRAME_NOT_SUPPORTED;
    tlcrash_async_mobject section;
    if (tlcrash_async_image_map_eh_frame(image, &section) != TLCRASH_ERR_NONE) return TLCRASH_FRAME_NO_FRAME;
    tlcrash_async_dwarf_fde_finder finder;
    if (tlcrash_async_dwarf_fde_finder_open(&finder, &section, image->byteorder, false) != TLCRASH_ERR_NONE) {
        return TLCRASH_FRAME_INVALID;
    }
    tlcrash_async_dwarf_fde_info fde;
    tlcrash_error_t error = TLCRASH_ERR_NOTSUP;
    tlcrash_async_mobject hdr;
    if (tlcrash_async_image_map_eh_frame_hdr(image, &hdr) == TLCRASH_ERR_NONE) {
        error = tlcrash_async_dwarf_fde_finder_find_indexed(&finder, &hdr, pc, &fde);
    }
    if (error == TLCRASH_ERR_NOTSUP) error = tlcrash_async_dwarf_fde_finder_find(&finder, 0, pc, &fde);
    if (error != TLCRASH_ERR_NONE) return TLCRASH_FRAME_NOT_SUPPORTED;

    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, image->byteorder);
    tlcrash_async_dwarf_cie_info cie;
    const uint64_t base = tlcrash_async_mobject_base_address(&section);
    if (tlcrash_async_dwarf_cie_info_init(&cie, &section, image->byteorder, &reader, base + fde.cie_offset) !=
        TLCRASH_ERR_NONE) {
        return TLCRASH_FRAME_NOT_SUPPORTED;
    }
    dwarf_cfa_state state;
    if (state.eval_program(&section, pc, fde.pc_start, &cie, &reader, image->byteorder, base,
                           static_cast<int64_t>(cie.initial_instructions_offset),
                           cie.initial_instructions_length) != TLCRASH_ERR_NONE ||
        state.eval_program(&section, pc, fde.pc_start, &cie, &reader, image->byteorder, base,
                           static_cast<int64_t>(fde.instructions_offset),
                           fde.instructions_length) != TLCRASH_ERR_NONE) {
        return TLCRASH_FRAME_NOT_SUPPORTED;
    }
    return state.apply_state(task, &cie, current, image->byteorder, next, stack) == TLCRASH_ERR_NONE
               ? TLCRASH_FRAME_SUCCESS
               : TLCRASH_FRAME_NO_FRAME;
}

}  // namespace

tlcrash_async_frame_status tlcrash_async_frame_read_dwarf_cfi(
    tlcrash_task_t task, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state* next, const tlcrash_async_mobject* stack) {
    if (!tlcrash_async_thread_state_reg_valid(current, TLCRASH_REG_IP)) return TLCRASH_FRAME_BAD_FRAME;
    if (tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_IP) == 0) return TLCRASH_FRAME_NOT_SUPPORTED;
    const uint64_t pc = tlcrash_async_frame_lookup_pc(current, previous);
    tlcrash_async_image_registry_set_reading(registry, true);
    const tlcrash_async_image* image = tlcrash_async_image_registry_image_containing_address(registry, pc);
    const tlcrash_async_frame_status status =
        image == nullptr ? TLCRASH_FRAME_NOT_SUPPORTED : readWithImage(task, image, pc, current, next, stack);
    tlcrash_async_image_registry_set_reading(registry, false);
    return status;
}
