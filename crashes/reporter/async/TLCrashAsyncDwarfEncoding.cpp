#include "crashes/reporter/async/TLCrashAsyncDwarfEncoding.h"

namespace {

constexpr uint32_t kLength64Escape = 0xFFFFFFFF;

template <typename T>
tlcrash_error_t readLeb(const tlcrash_async_mobject* mobj, uint64_t base, int64_t offset, T* result, size_t* count,
                        bool isSigned) {
    uint64_t value = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    for (size_t i = 0;; ++i) {
        if (i == 10) return TLCRASH_ERR_NOTSUP;
        if (tlcrash_async_mobject_read_uint8(mobj, base, offset + static_cast<int64_t>(i), &byte) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        if (shift < 64) value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        shift += 7;
        if ((byte & 0x80) == 0) {
            *count = i + 1;
            break;
        }
    }
    if (isSigned && shift < 64 && (byte & 0x40) != 0) value |= ~uint64_t{0} << shift;
    *result = static_cast<T>(value);
    return TLCRASH_ERR_NONE;
}

// The entry length at `address`: its value and the size of the length field
// (4, or 12 after the 64-bit escape).
tlcrash_error_t readEntryLength(const tlcrash_async_mobject* mobj, const tlcrash_async_byteorder* order,
                                uint64_t address, uint64_t* length, uint64_t* headerSize) {
    uint32_t length32;
    if (tlcrash_async_mobject_read_uint32(mobj, order, address, 0, &length32) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    if (length32 != kLength64Escape) {
        *length = length32;
        *headerSize = 4;
        return TLCRASH_ERR_NONE;
    }
    if (tlcrash_async_mobject_read_uint64(mobj, order, address, 4, length) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    *headerSize = 12;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t readId(const tlcrash_async_mobject* mobj, const tlcrash_async_byteorder* order, uint64_t address,
                       bool wide, uint64_t* id) {
    if (wide) return tlcrash_async_mobject_read_uint64(mobj, order, address, 0, id);
    uint32_t id32;
    const tlcrash_error_t error = tlcrash_async_mobject_read_uint32(mobj, order, address, 0, &id32);
    *id = id32;
    return error;
}

}  // namespace

tlcrash_error_t tlcrash_async_leb_read_unsigned(const tlcrash_async_mobject* mobj, uint64_t base, int64_t offset,
                                                uint64_t* result, size_t* count) {
    return readLeb(mobj, base, offset, result, count, false);
}

tlcrash_error_t tlcrash_async_leb_read_signed(const tlcrash_async_mobject* mobj, uint64_t base, int64_t offset,
                                              int64_t* result, size_t* count) {
    return readLeb(mobj, base, offset, result, count, true);
}

void tlcrash_async_dwarf_ptr_reader_init(tlcrash_async_dwarf_ptr_reader* reader,
                                         const tlcrash_async_byteorder* byteorder) {
    tlcrash_async_memset(reader, 0, sizeof *reader);
    reader->byteorder = byteorder;
}

tlcrash_error_t tlcrash_async_dwarf_read_sized_uint(const tlcrash_async_mobject* mobj,
                                                    const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                    int64_t offset, size_t size, uint64_t* result) {
    tlcrash_error_t error = TLCRASH_ERR_INVAL;
    switch (size) {
        case 1: {
            uint8_t v;
            error = tlcrash_async_mobject_read_uint8(mobj, address, offset, &v);
            *result = v;
            break;
        }
        case 2: {
            uint16_t v;
            error = tlcrash_async_mobject_read_uint16(mobj, byteorder, address, offset, &v);
            *result = v;
            break;
        }
        case 4: {
            uint32_t v;
            error = tlcrash_async_mobject_read_uint32(mobj, byteorder, address, offset, &v);
            *result = v;
            break;
        }
        case 8: error = tlcrash_async_mobject_read_uint64(mobj, byteorder, address, offset, result); break;
        default: return TLCRASH_ERR_INVAL;
    }
    return error == TLCRASH_ERR_NONE ? TLCRASH_ERR_NONE : TLCRASH_ERR_INVAL;
}

tlcrash_error_t tlcrash_async_dwarf_ptr_read(const tlcrash_async_dwarf_ptr_reader* reader,
                                             const tlcrash_async_mobject* mobj, uint64_t location, int64_t offset,
                                             uint8_t encoding, uint64_t* result, size_t* size) {
    if (encoding == TLCRASH_DW_EH_PE_omit) return TLCRASH_ERR_NOTFOUND;
    uint64_t base = 0;
    size_t padding = 0;
    uint64_t at;
    if (!tlcrash_async_offset_address(location, offset, &at)) return TLCRASH_ERR_INVAL;
    switch (encoding & 0x70) {
        case 0x00: break;
        case TLCRASH_DW_EH_PE_pcrel: base = at; break;
        case TLCRASH_DW_EH_PE_textrel:
            if (!reader->has_text_base) return TLCRASH_ERR_NOTSUP;
            base = reader->text_base;
            break;
        case TLCRASH_DW_EH_PE_datarel:
            if (!reader->has_data_base) return TLCRASH_ERR_NOTSUP;
            base = reader->data_base;
            break;
        case TLCRASH_DW_EH_PE_funcrel:
            if (!reader->has_func_base) return TLCRASH_ERR_NOTSUP;
            base = reader->func_base;
            break;
        case TLCRASH_DW_EH_PE_aligned: {
            if (!reader->has_frame_section_base) return TLCRASH_ERR_NOTSUP;
            // Aligned in image addresses; the section is mapped where it lies.
            const uint64_t misalign = at % 8;
            padding = misalign == 0 ? 0 : 8 - misalign;
            at += padding;
            break;
        }
        default: return TLCRASH_ERR_NOTSUP;
    }

    uint64_t value = 0;
    size_t length = 0;
    const tlcrash_async_byteorder* order = reader->byteorder;
    switch (encoding & 0x0F) {
        case TLCRASH_DW_EH_PE_absptr:
        case TLCRASH_DW_EH_PE_udata8:
        case TLCRASH_DW_EH_PE_sdata8: length = 8; break;
        case TLCRASH_DW_EH_PE_udata2:
        case TLCRASH_DW_EH_PE_sdata2: length = 2; break;
        case TLCRASH_DW_EH_PE_udata4:
        case TLCRASH_DW_EH_PE_sdata4: length = 4; break;
        case TLCRASH_DW_EH_PE_uleb128: {
            const tlcrash_error_t error = tlcrash_async_leb_read_unsigned(mobj, at, 0, &value, &length);
            if (error != TLCRASH_ERR_NONE) return error;
            break;
        }
        case TLCRASH_DW_EH_PE_sleb128: {
            int64_t signedValue;
            const tlcrash_error_t error = tlcrash_async_leb_read_signed(mobj, at, 0, &signedValue, &length);
            if (error != TLCRASH_ERR_NONE) return error;
            value = static_cast<uint64_t>(signedValue);
            break;
        }
        default: return TLCRASH_ERR_NOTSUP;
    }
    const uint8_t form = encoding & 0x0F;
    if (form != TLCRASH_DW_EH_PE_uleb128 && form != TLCRASH_DW_EH_PE_sleb128) {
        if (tlcrash_async_dwarf_read_sized_uint(mobj, order, at, 0, length, &value) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        if (form == TLCRASH_DW_EH_PE_sdata2) value = static_cast<uint64_t>(static_cast<int16_t>(value));
        if (form == TLCRASH_DW_EH_PE_sdata4) value = static_cast<uint64_t>(static_cast<int32_t>(value));
    }
    uint64_t pointer = base + value;
    if ((encoding & TLCRASH_DW_EH_PE_indirect) != 0) {
        const tlcrash_error_t error =
            tlcrash_async_read_task_uint64(tlcrash_async_mobject_task(mobj), order, pointer, 0, &pointer);
        if (error != TLCRASH_ERR_NONE) return error;
    }
    *result = pointer;
    *size = padding + length;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_dwarf_cie_info_init(tlcrash_async_dwarf_cie_info* info, const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder,
                                                  const tlcrash_async_dwarf_ptr_reader* reader, uint64_t address) {
    tlcrash_async_memset(info, 0, sizeof *info);
    const uint64_t base = tlcrash_async_mobject_base_address(mobj);
    if (address < base) return TLCRASH_ERR_INVAL;
    uint64_t headerSize;
    if (readEntryLength(mobj, byteorder, address, &info->cie_length, &headerSize) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    const bool wide = headerSize == 12;
    info->cie_offset = address - base + headerSize;
    const uint64_t contents = address + headerSize;
    if (readId(mobj, byteorder, contents, wide, &info->cie_id) != TLCRASH_ERR_NONE) return TLCRASH_ERR_INVAL;
    const uint64_t debugId = wide ? ~uint64_t{0} : kLength64Escape;
    if (info->cie_id != 0 && info->cie_id != debugId) return TLCRASH_ERR_INVAL;

    // Positions from here on are relative to the contents.
    uint64_t at = wide ? 8 : 4;
    if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at), &info->cie_version) !=
        TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    if (info->cie_version != 1 && info->cie_version != 3 && info->cie_version != 4) return TLCRASH_ERR_INVAL;
    at += 1;

    const uint64_t augmentation = at;
    uint8_t first;
    if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at), &first) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    if (first != 0 && first != 'z') return TLCRASH_ERR_NOTSUP;
    info->has_eh_augmentation = first == 'z';
    for (uint8_t c = first; c != 0;) {
        at += 1;
        if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at), &c) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
    }
    at += 1;

    if (info->cie_version == 4) {
        if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at), &info->address_size) !=
                TLCRASH_ERR_NONE ||
            tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at + 1), &info->segment_size) !=
                TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        at += 2;
    }
    size_t used;
    if (tlcrash_async_leb_read_unsigned(mobj, contents, static_cast<int64_t>(at), &info->code_alignment_factor,
                                        &used) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    at += used;
    if (tlcrash_async_leb_read_signed(mobj, contents, static_cast<int64_t>(at), &info->data_alignment_factor, &used) !=
        TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    at += used;
    if (info->cie_version == 1) {
        // Version 1 keeps the return-address column in one byte.
        uint8_t column;
        if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(at), &column) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        info->return_address_register = column;
        used = 1;
    } else if (tlcrash_async_leb_read_unsigned(mobj, contents, static_cast<int64_t>(at), &info->return_address_register,
                                               &used) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    at += used;

    if (info->has_eh_augmentation) {
        uint64_t dataLength;
        if (tlcrash_async_leb_read_unsigned(mobj, contents, static_cast<int64_t>(at), &dataLength, &used) !=
            TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        at += used;
        const uint64_t dataEnd = at + dataLength;
        if (dataEnd < at) return TLCRASH_ERR_INVAL;
        uint64_t data = at;
        for (uint64_t i = 1;; ++i) {
            uint8_t c;
            if (tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(augmentation + i), &c) !=
                TLCRASH_ERR_NONE) {
                return TLCRASH_ERR_INVAL;
            }
            auto readByte = [&](uint8_t* out) {
                const bool ok = data < dataEnd &&
                                tlcrash_async_mobject_read_uint8(mobj, contents, static_cast<int64_t>(data), out) ==
                                    TLCRASH_ERR_NONE;
                data += 1;
                return ok;
            };
            if (c == 'L') {
                if (!readByte(&info->eh_augmentation.lsda_encoding)) return TLCRASH_ERR_INVAL;
                info->eh_augmentation.has_lsda_encoding = true;
            } else if (c == 'P') {
                uint8_t encoding;
                if (!readByte(&encoding)) return TLCRASH_ERR_INVAL;
                size_t size;
                const tlcrash_error_t error =
                    tlcrash_async_dwarf_ptr_read(reader, mobj, contents, static_cast<int64_t>(data), encoding,
                                                 &info->eh_augmentation.personality_address, &size);
                if (error != TLCRASH_ERR_NONE) return error;
                data += size;
                info->eh_augmentation.has_personality_address = true;
            } else if (c == 'R') {
                if (!readByte(&info->eh_augmentation.pointer_encoding)) return TLCRASH_ERR_INVAL;
                info->eh_augmentation.has_pointer_encoding = true;
            } else if (c == 'S') {
                info->eh_augmentation.signal_frame = true;
            } else {
                break;
            }
        }
        at = dataEnd;
    }

    // The instructions run from here to the end of the entry.
    if (info->cie_length < at) return TLCRASH_ERR_INVAL;
    info->initial_instructions_offset = info->cie_offset + at;
    info->initial_instructions_length = info->cie_length - at;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_dwarf_fde_info_init(tlcrash_async_dwarf_fde_info* info, const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  bool debug_frame) {
    tlcrash_async_memset(info, 0, sizeof *info);
    const uint64_t base = tlcrash_async_mobject_base_address(mobj);
    if (address < base) return TLCRASH_ERR_INVAL;
    uint64_t headerSize;
    if (readEntryLength(mobj, byteorder, address, &info->fde_length, &headerSize) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INVAL;
    }
    const bool wide = headerSize == 12;
    info->fde_offset = address - base + headerSize;
    const uint64_t field = address + headerSize;
    uint64_t pointer;
    if (readId(mobj, byteorder, field, wide, &pointer) != TLCRASH_ERR_NONE) return TLCRASH_ERR_INVAL;
    if (debug_frame) {
        if (static_cast<int64_t>(pointer) < 0) return TLCRASH_ERR_INVAL;
        uint64_t unused;
        if (__builtin_add_overflow(base, pointer, &unused)) return TLCRASH_ERR_INVAL;
        info->cie_offset = pointer;
    } else {
        if (field < pointer) return TLCRASH_ERR_INVAL;
        const uint64_t cieAddress = field - pointer;
        if (cieAddress < base) return TLCRASH_ERR_INVAL;
        info->cie_offset = cieAddress - base;
    }

    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, byteorder);
    tlcrash_async_dwarf_cie_info cie;
    const tlcrash_error_t cieError =
        tlcrash_async_dwarf_cie_info_init(&cie, mobj, byteorder, &reader, base + info->cie_offset);
    if (cieError != TLCRASH_ERR_NONE) return cieError;

    const uint8_t encoding = cie.has_eh_augmentation && cie.eh_augmentation.has_pointer_encoding
                                 ? cie.eh_augmentation.pointer_encoding
                                 : uint8_t{TLCRASH_DW_EH_PE_absptr};
    uint64_t at = field + (wide ? 8 : 4);
    size_t size;
    tlcrash_error_t error = tlcrash_async_dwarf_ptr_read(&reader, mobj, at, 0, encoding, &info->pc_start, &size);
    if (error != TLCRASH_ERR_NONE) return error;
    at += size;
    uint64_t range;
    error = tlcrash_async_dwarf_ptr_read(&reader, mobj, at, 0, encoding & 0x0F, &range, &size);
    if (error != TLCRASH_ERR_NONE) return error;
    at += size;
    if (__builtin_add_overflow(info->pc_start, range, &info->pc_end)) return TLCRASH_ERR_INVAL;

    if (cie.has_eh_augmentation) {
        uint64_t dataLength;
        if (tlcrash_async_leb_read_unsigned(mobj, at, 0, &dataLength, &size) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        if (__builtin_add_overflow(at, size + dataLength, &at)) return TLCRASH_ERR_INVAL;
    }
    info->instructions_offset = at - base;
    const uint64_t used = info->instructions_offset - info->fde_offset;
    if (info->fde_length < used) return TLCRASH_ERR_INVAL;
    info->instructions_length = info->fde_length - used;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_dwarf_fde_finder_open(tlcrash_async_dwarf_fde_finder* finder,
                                                    const tlcrash_async_mobject* mobj,
                                                    const tlcrash_async_byteorder* byteorder, bool debug_frame) {
    finder->mobj = mobj;
    finder->byteorder = byteorder;
    finder->debug_frame = debug_frame;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_dwarf_fde_finder_find(const tlcrash_async_dwarf_fde_finder* finder, uint64_t start_offset,
                                                    uint64_t pc, tlcrash_async_dwarf_fde_info* info) {
    const tlcrash_async_mobject* mobj = finder->mobj;
    const uint64_t base = tlcrash_async_mobject_base_address(mobj);
    const uint64_t end = base + tlcrash_async_mobject_length(mobj);
    uint64_t position;
    if (__builtin_add_overflow(base, start_offset, &position) || position >= end) return TLCRASH_ERR_INVAL;
    while (position < end) {
        uint64_t length, headerSize;
        if (readEntryLength(mobj, finder->byteorder, position, &length, &headerSize) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        if (length == 0) return TLCRASH_ERR_NOTFOUND;
        // Two sums, each checked: a 64-bit length of -12 would otherwise
        // wrap the entry's size to 0 and the walk would stay on it for ever.
        uint64_t next;
        if (__builtin_add_overflow(position, headerSize, &next) || __builtin_add_overflow(next, length, &next)) {
            return TLCRASH_ERR_INVAL;
        }
        const bool wide = headerSize == 12;
        uint64_t id;
        if (readId(mobj, finder->byteorder, position + headerSize, wide, &id) != TLCRASH_ERR_NONE) {
            return TLCRASH_ERR_INVAL;
        }
        const bool isCie = finder->debug_frame ? id == (wide ? ~uint64_t{0} : kLength64Escape) : id == 0;
        if (!isCie) {
            const tlcrash_error_t error =
                tlcrash_async_dwarf_fde_info_init(info, mobj, finder->byteorder, position, finder->debug_frame);
            if (error != TLCRASH_ERR_NONE) return error;
            if (info->pc_start <= pc && pc < info->pc_end) return TLCRASH_ERR_NONE;
        }
        position = next;
    }
    return TLCRASH_ERR_NOTFOUND;
}

tlcrash_error_t tlcrash_async_dwarf_fde_finder_find_indexed(const tlcrash_async_dwarf_fde_finder* finder,
                                                            const tlcrash_async_mobject* hdr, uint64_t pc,
                                                            tlcrash_async_dwarf_fde_info* info) {
    const uint64_t start = tlcrash_async_mobject_base_address(hdr);
    const void* at = tlcrash_async_mobject_remap(hdr, start, 0, 4);
    if (at == nullptr) return TLCRASH_ERR_NOTSUP;
    uint8_t head[4];
    tlcrash_async_memcpy(head, at, sizeof head);
    // Version 1; the count as udata4; entries as pairs of sdata4 offsets
    // from the header, which is what linkers write.
    if (head[0] != 1 || head[2] != TLCRASH_DW_EH_PE_udata4 || head[3] != 0x3B) {
        return TLCRASH_ERR_NOTSUP;
    }
    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, finder->byteorder);
    uint64_t ignored;
    size_t pointerSize;
    if (tlcrash_async_dwarf_ptr_read(&reader, hdr, start, 4, head[1], &ignored, &pointerSize) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_NOTSUP;
    }
    uint32_t count;
    const int64_t countAt = 4 + static_cast<int64_t>(pointerSize);
    if (tlcrash_async_mobject_read_uint32(hdr, finder->byteorder, start, countAt, &count) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_NOTSUP;
    }
    const int64_t table = countAt + 4;
    if (count == 0) return TLCRASH_ERR_NOTFOUND;
    const void* entries = tlcrash_async_mobject_remap(hdr, start, table, size_t{count} * 8);
    if (entries == nullptr) return TLCRASH_ERR_NOTSUP;
    // Word `i` of the table, an offset from the header; the header need not
    // lie at an aligned address.
    auto offset = [&](size_t i) {
        const auto word = static_cast<int32_t>(tlcrash_async_swap(finder->byteorder, tlcrash_async_word32(entries, i)));
        return start + static_cast<uint64_t>(static_cast<int64_t>(word));
    };

    // The last entry whose start is at or below pc.
    uint32_t low = 0, high = count;
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (offset(size_t{2} * mid) <= pc) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    if (low == 0) return TLCRASH_ERR_NOTFOUND;
    const uint64_t fde = offset(size_t{2} * (low - 1) + 1);
    const tlcrash_error_t error =
        tlcrash_async_dwarf_fde_info_init(info, finder->mobj, finder->byteorder, fde, finder->debug_frame);
    if (error != TLCRASH_ERR_NONE) return error;
    return info->pc_start <= pc && pc < info->pc_end ? TLCRASH_ERR_NONE : TLCRASH_ERR_NOTFOUND;
}
