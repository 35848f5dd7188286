#include "crashes/reporter/async/TLCrashAsyncCompactUnwind.h"

namespace {

constexpr uint32_t kPageRegular = 2;
constexpr uint32_t kPageCompressed = 3;
constexpr uint32_t kIndexEntrySize = 12;

bool supportedCpu(uint32_t cpu) {
    return cpu == TLCRASH_CPU_TYPE_X86 || cpu == TLCRASH_CPU_TYPE_X86_64 || cpu == TLCRASH_CPU_TYPE_ARM64;
}

// The binary search of the format over `count` entries: the entry whose key
// is the last one at or below `target` (a target past the last key takes the
// last entry); false when the target lies below the first key.
template <typename Key>
bool search(uint32_t count, uint64_t target, Key key, uint32_t* found) {
    uint32_t low = 0, high = count - 1;
    while (low <= high) {
        const uint32_t mid = low + (high - low) / 2;
        const uint64_t value = key(mid);
        if (value < target) {
            if (mid == high) {
                *found = mid;
                return true;
            }
            low = mid + 1;
            if (key(low) > target) {
                *found = mid;
                return true;
            }
        } else if (value > target) {
            if (mid == 0) return false;
            high = mid - 1;
        } else {
            *found = mid;
            return true;
        }
    }
    return false;
}

}  // namespace

tlcrash_error_t tlcrash_async_unwind_info_reader_open(tlcrash_async_unwind_info_reader* reader,
                                                      const tlcrash_async_mobject* mobj, uint32_t cpu_type) {
    if (!supportedCpu(cpu_type)) return TLCRASH_ERR_NOTSUP;
    reader->mobj = *mobj;
    reader->cpu_type = cpu_type;
    reader->byteorder = tlcrash_async_byteorder_host();
    const uint64_t base = tlcrash_async_mobject_base_address(mobj);
    const void* header = tlcrash_async_mobject_remap(mobj, base, 0, sizeof reader->header);
    if (header == nullptr) return TLCRASH_ERR_INVAL;
    tlcrash_async_memcpy(&reader->header, header, sizeof reader->header);
    if (reader->header.version != 1) return TLCRASH_ERR_NOTSUP;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_unwind_info_find_pc(const tlcrash_async_unwind_info_reader* reader, uint64_t pc,
                                                  uint64_t* function_offset, uint32_t* encoding) {
    const tlcrash_async_mobject* mobj = &reader->mobj;
    const uint64_t base = tlcrash_async_mobject_base_address(mobj);
    const auto& h = reader->header;
    const void* common =
        tlcrash_async_mobject_remap(mobj, base, h.common_encodings_offset, size_t{h.common_encodings_count} * 4);
    if (common == nullptr && h.common_encodings_count > 0) return TLCRASH_ERR_INVAL;
    if (h.index_count < 2) return TLCRASH_ERR_NOTFOUND;
    const uint32_t searchable = h.index_count - 1;
    const auto* index = static_cast<const uint8_t*>(
        tlcrash_async_mobject_remap(mobj, base, h.index_offset, size_t{searchable} * kIndexEntrySize));
    if (index == nullptr) return TLCRASH_ERR_INVAL;
    auto indexWord = [&](uint32_t entry, uint32_t word) {
        return tlcrash_async_word32(index + entry * kIndexEntrySize, word);
    };
    uint32_t first;
    if (!search(
            searchable, pc, [&](uint32_t i) { return uint64_t{indexWord(i, 0)}; }, &first)) {
        return TLCRASH_ERR_NOTFOUND;
    }
    const uint32_t firstFunction = indexWord(first, 0);
    const uint32_t pageOffset = indexWord(first, 1);

    uint32_t kind;
    if (tlcrash_async_mobject_read_uint32(mobj, reader->byteorder, base, pageOffset, &kind) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    const uint64_t page = base + pageOffset;
    if (kind == kPageCompressed) {
        const void* head = tlcrash_async_mobject_remap(mobj, page, 4, 8);
        if (head == nullptr) return TLCRASH_ERR_INVAL;
        const uint16_t entriesOffset = tlcrash_async_word16(head, 0), entriesCount = tlcrash_async_word16(head, 1);
        const uint16_t encodingsOffset = tlcrash_async_word16(head, 2), encodingsCount = tlcrash_async_word16(head, 3);
        const void* entries = tlcrash_async_mobject_remap(mobj, page, entriesOffset, size_t{entriesCount} * 4);
        if (entries == nullptr) return TLCRASH_ERR_INVAL;
        if (entriesCount == 0) return TLCRASH_ERR_NOTFOUND;
        auto key = [&](uint32_t i) {
            return uint64_t{static_cast<uint32_t>((tlcrash_async_word32(entries, i) & 0xFFFFFF) + firstFunction)};
        };
        uint32_t found;
        if (!search(entriesCount, pc, key, &found)) return TLCRASH_ERR_NOTFOUND;
        *function_offset = key(found);
        const uint32_t encodingIndex = tlcrash_async_word32(entries, found) >> 24;
        if (encodingIndex < h.common_encodings_count) {
            *encoding = tlcrash_async_word32(common, encodingIndex);
            return TLCRASH_ERR_NONE;
        }
        const void* local = tlcrash_async_mobject_remap(mobj, page, encodingsOffset, size_t{encodingsCount} * 4);
        if (local == nullptr && encodingsCount > 0) return TLCRASH_ERR_INVAL;
        const uint32_t localIndex = (encodingIndex - h.common_encodings_count) % 256;
        if (localIndex >= encodingsCount) return TLCRASH_ERR_INVAL;
        *encoding = tlcrash_async_word32(local, localIndex);
        return TLCRASH_ERR_NONE;
    }
    if (kind == kPageRegular) {
        const void* head = tlcrash_async_mobject_remap(mobj, page, 4, 4);
        if (head == nullptr) return TLCRASH_ERR_INVAL;
        const uint16_t entriesOffset = tlcrash_async_word16(head, 0), entriesCount = tlcrash_async_word16(head, 1);
        const void* entries = tlcrash_async_mobject_remap(mobj, page, entriesOffset, size_t{entriesCount} * 8);
        if (entries == nullptr) return TLCRASH_ERR_INVAL;
        if (entriesCount == 0) return TLCRASH_ERR_NOTFOUND;
        uint32_t found;
        if (!search(
                entriesCount, pc, [&](uint32_t i) { return uint64_t{tlcrash_async_word32(entries, 2 * i)}; }, &found)) {
            return TLCRASH_ERR_NOTFOUND;
        }
        *function_offset = tlcrash_async_word32(entries, 2 * found);
        *encoding = tlcrash_async_word32(entries, 2 * found + 1);
        return TLCRASH_ERR_NONE;
    }
    return TLCRASH_ERR_INVAL;
}

tlcrash_error_t tlcrash_async_unwind_decode_permutation(uint32_t permutation, uint32_t count, uint32_t* registers) {
    if (count > 6) return TLCRASH_ERR_INVAL;
    uint32_t digits[6] = {};
    uint32_t p = permutation;
    switch (count) {
        case 6:
        case 5:
            digits[0] = p / 120, p %= 120;
            digits[1] = p / 24, p %= 24;
            digits[2] = p / 6, p %= 6;
            digits[3] = p / 2, p %= 2;
            digits[4] = p;
            break;
        case 4:
            digits[0] = p / 60, p %= 60;
            digits[1] = p / 12, p %= 12;
            digits[2] = p / 3, p %= 3;
            digits[3] = p;
            break;
        case 3:
            digits[0] = p / 20, p %= 20;
            digits[1] = p / 4, p %= 4;
            digits[2] = p;
            break;
        case 2:
            digits[0] = p / 5;
            digits[1] = p % 5;
            break;
        case 1: digits[0] = p; break;
        default: return TLCRASH_ERR_NONE;
    }
    bool used[7] = {};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t seen = 0;
        registers[i] = 0;
        for (uint32_t code = 1; code <= 6; ++code) {
            if (used[code]) continue;
            if (seen++ == digits[i]) {
                registers[i] = code;
                used[code] = true;
                break;
            }
        }
        if (registers[i] == 0) return TLCRASH_ERR_INVAL;
    }
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_unwind_entry_map_register(uint32_t code, uint32_t* reg, uint32_t cpu_type) {
    static const uint32_t kX86_64[7] = {TLCRASH_UNWIND_REG_NONE, TLCRASH_X86_64_RBX, 13, 14, 15, 16,
                                        TLCRASH_X86_64_RBP};
    static const uint32_t kX86[7] = {TLCRASH_UNWIND_REG_NONE, 6, 5, 4, 8, 7, 1};
    if (cpu_type != TLCRASH_CPU_TYPE_X86_64 && cpu_type != TLCRASH_CPU_TYPE_X86) return TLCRASH_ERR_NOTSUP;
    if (code > 6) return TLCRASH_ERR_INVAL;
    *reg = cpu_type == TLCRASH_CPU_TYPE_X86_64 ? kX86_64[code] : kX86[code];
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_unwind_entry_decode(tlcrash_async_unwind_entry* entry, uint32_t cpu_type,
                                                  uint32_t encoding) {
    tlcrash_async_memset(entry, 0, sizeof *entry);
    entry->cpu_type = cpu_type;
    entry->return_address_register = TLCRASH_UNWIND_REG_NONE;
    const uint32_t mode = (encoding >> 24) & 0xF;
    if (mode > 4 || !supportedCpu(cpu_type)) return TLCRASH_ERR_NOTSUP;

    if (cpu_type == TLCRASH_CPU_TYPE_ARM64) {
        if (mode == 0) {
            entry->kind = TLCRASH_UNWIND_NONE;
            return TLCRASH_ERR_NONE;
        }
        if (mode == 1) return TLCRASH_ERR_NOTSUP;
        if (mode == 3) {
            entry->kind = TLCRASH_UNWIND_DWARF;
            entry->stack_offset = encoding & 0xFFFFFF;
            return TLCRASH_ERR_NONE;
        }
        // Pairs from x28/x27 down to x20/x19, in the 64-bit ARM numbering
        // (x0 is 3).
        static const uint32_t kPairBits[5] = {0x10, 0x08, 0x04, 0x02, 0x01};
        for (uint32_t i = 0; i < 5; ++i) {
            if ((encoding & kPairBits[i]) == 0) continue;
            const uint32_t high = 31 - 2 * i;
            entry->saved_registers[entry->saved_register_count++] = high;
            entry->saved_registers[entry->saved_register_count++] = high - 1;
        }
        if (mode == 4) {
            entry->kind = TLCRASH_UNWIND_FRAME;
            entry->stack_offset = -8 * static_cast<int64_t>(entry->saved_register_count);
        } else {
            entry->kind = TLCRASH_UNWIND_FRAMELESS_IMMD;
            entry->stack_offset = ((encoding >> 12) & 0xFFF) * 16;
            entry->return_address_register = 32;  // lr
        }
        return TLCRASH_ERR_NONE;
    }

    const uint32_t word = cpu_type == TLCRASH_CPU_TYPE_X86_64 ? 8 : 4;
    switch (mode) {
        case 0: entry->kind = TLCRASH_UNWIND_NONE; return TLCRASH_ERR_NONE;
        case 4:
            entry->kind = TLCRASH_UNWIND_DWARF;
            entry->stack_offset = encoding & 0xFFFFFF;
            return TLCRASH_ERR_NONE;
        case 1: {
            entry->kind = TLCRASH_UNWIND_FRAME;
            entry->stack_offset = -static_cast<int64_t>(((encoding >> 16) & 0xFF) * word);
            const uint32_t field = encoding & 0x7FFF;
            for (uint32_t i = 0; i < 5 && (field >> (3 * i)) != 0; ++i) {
                const uint32_t code = (field >> (3 * i)) & 0x7;
                const tlcrash_error_t error =
                    tlcrash_async_unwind_entry_map_register(code, &entry->saved_registers[i], cpu_type);
                if (error != TLCRASH_ERR_NONE) return error;
                entry->saved_register_count = i + 1;
            }
            return TLCRASH_ERR_NONE;
        }
        default: {
            if (mode == 2) {
                entry->kind = TLCRASH_UNWIND_FRAMELESS_IMMD;
                entry->stack_offset = ((encoding >> 16) & 0xFF) * word;
            } else {
                entry->kind = TLCRASH_UNWIND_FRAMELESS_INDIRECT;
                entry->stack_offset = (encoding >> 16) & 0xFF;
                entry->stack_adjust = ((encoding >> 13) & 0x7) * word;
            }
            const uint32_t count = (encoding >> 10) & 0x7;
            uint32_t codes[6];
            tlcrash_error_t error = tlcrash_async_unwind_decode_permutation(encoding & 0x3FF, count, codes);
            if (error != TLCRASH_ERR_NONE) return error;
            for (uint32_t i = 0; i < count; ++i) {
                error = tlcrash_async_unwind_entry_map_register(codes[i], &entry->saved_registers[i], cpu_type);
                if (error != TLCRASH_ERR_NONE) return error;
            }
            entry->saved_register_count = count;
            return TLCRASH_ERR_NONE;
        }
    }
}

tlcrash_error_t tlcrash_async_unwind_entry_apply(tlcrash_task_t task, uint64_t function_address,
                                                 const tlcrash_async_thread_state* current,
                                                 const tlcrash_async_unwind_entry* entry,
                                                 tlcrash_async_thread_state* next) {
    const uint64_t w = tlcrash_async_thread_state_word_size(current);
    tlcrash_async_thread_state_duplicate(next, current);
    tlcrash_async_thread_state_keep_preserved_regs(next);
    const tlcrash_async_byteorder* order = tlcrash_async_byteorder_host();

    uint64_t savedAt;
    switch (entry->kind) {
        case TLCRASH_UNWIND_FRAME: {
            if (!tlcrash_async_thread_state_reg_valid(current, TLCRASH_REG_FP)) return TLCRASH_ERR_NOTFOUND;
            const uint64_t fp = tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_FP);
            uint64_t sp;
            if (__builtin_add_overflow(fp, 2 * w, &sp)) return TLCRASH_ERR_INVAL;
            uint64_t pair[2];
            const tlcrash_error_t error = tlcrash_async_read_task_memory(task, fp, 0, pair, sizeof pair);
            if (error != TLCRASH_ERR_NONE) return error;
            tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_SP, sp);
            tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_FP, pair[0]);
            tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, pair[1]);
            savedAt = fp + static_cast<uint64_t>(entry->stack_offset);
            break;
        }
        case TLCRASH_UNWIND_FRAMELESS_IMMD:
        case TLCRASH_UNWIND_FRAMELESS_INDIRECT: {
            if (!tlcrash_async_thread_state_reg_valid(current, TLCRASH_REG_SP)) return TLCRASH_ERR_NOTFOUND;
            uint64_t size = static_cast<uint64_t>(entry->stack_offset);
            if (entry->kind == TLCRASH_UNWIND_FRAMELESS_INDIRECT) {
                uint32_t immediate;
                const tlcrash_error_t error =
                    tlcrash_async_read_task_uint32(task, order, function_address, entry->stack_offset, &immediate);
                if (error != TLCRASH_ERR_NONE) return error;
                size = uint64_t{immediate} + entry->stack_adjust;
            }
            const uint64_t sp = tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_SP) + size;
            tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_SP, sp);
            const uint64_t savedSize = w * entry->saved_register_count;
            if (entry->return_address_register != TLCRASH_UNWIND_REG_NONE) {
                const uint32_t ra = entry->return_address_register;
                if (ra >= tlcrash_async_thread_state_reg_count(current)) return TLCRASH_ERR_INVAL;
                if (!tlcrash_async_thread_state_reg_valid(current, ra)) return TLCRASH_ERR_NOTFOUND;
                tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP,
                                                     tlcrash_async_thread_state_read_reg(current, ra));
                savedAt = sp - savedSize;
            } else {
                uint64_t pc;
                const tlcrash_error_t error = tlcrash_async_read_task_uint64(task, order, sp - w, 0, &pc);
                if (error != TLCRASH_ERR_NONE) return error;
                tlcrash_async_thread_state_write_reg(next, TLCRASH_REG_IP, pc);
                savedAt = sp - w - savedSize;
            }
            break;
        }
        default: return TLCRASH_ERR_NOTSUP;
    }

    for (uint32_t i = 0; i < entry->saved_register_count; ++i) {
        const uint32_t reg = entry->saved_registers[i];
        if (reg == TLCRASH_UNWIND_REG_NONE) continue;
        if (reg >= tlcrash_async_thread_state_reg_count(current)) return TLCRASH_ERR_INVAL;
        uint64_t value;
        const tlcrash_error_t error = tlcrash_async_read_task_uint64(task, order, savedAt + i * w, 0, &value);
        if (error != TLCRASH_ERR_NONE) return error;
        tlcrash_async_thread_state_write_reg(next, reg, value);
    }
    return TLCRASH_ERR_NONE;
}

tlcrash_async_frame_status tlcrash_async_frame_read_compact_unwind(
    tlcrash_task_t, tlcrash_async_image_registry* registry, const tlcrash_async_thread_state* current,
    const tlcrash_async_thread_state* previous, tlcrash_async_thread_state*, const tlcrash_async_mobject*) {
    if (!tlcrash_async_thread_state_reg_valid(current, TLCRASH_REG_IP)) return TLCRASH_FRAME_BAD_FRAME;
    if (tlcrash_async_thread_state_read_reg(current, TLCRASH_REG_IP) == 0) return TLCRASH_FRAME_NOT_SUPPORTED;
    (void)registry;
    (void)previous;
    // ELF images have no compact unwind section; their tables are DWARF.
    return TLCRASH_FRAME_NOT_SUPPORTED;
}
