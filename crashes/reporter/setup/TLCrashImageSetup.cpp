#include "crashes/reporter/setup/TLCrashImageSetup.h"

#include "crashes/reporter/async/TLCrashAsyncElf.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfClass64 = 2;
constexpr uint8_t kElfDataLittle = 1;
constexpr uint8_t kElfDataBig = 2;
constexpr size_t kHeaderSize32 = 52;
constexpr size_t kHeaderSize64 = 64;
// e_phnum of this value means the count lies in the first section header,
// which is not loaded.
constexpr uint16_t kPhnumExtended = 0xFFFF;
constexpr uint32_t kNoteGnuBuildId = 3;

// Decodes the pointer at `field` (in the task) of the DWARF encodings the
// unwind table header uses for its .eh_frame pointer: absolute, PC-relative
// or relative to the table header, 2, 4 or 8 bytes, signed or not.
bool decodeEhPointer(const tlcrash_async_mobject* mobj, const tlcrash_async_byteorder* order, uint64_t field,
                     uint8_t encoding, bool is64, uint64_t tableBase, uint64_t* result) {
    uint64_t value;
    switch (encoding & 0x0F) {
        case 0x00:  // the address size
            if (is64) {
                if (tlcrash_async_mobject_read_uint64(mobj, order, field, 0, &value) != TLCRASH_ERR_NONE) return false;
            } else {
                uint32_t word;
                if (tlcrash_async_mobject_read_uint32(mobj, order, field, 0, &word) != TLCRASH_ERR_NONE) return false;
                value = word;
            }
            break;
        case 0x02:
        case 0x0A: {
            uint16_t half;
            if (tlcrash_async_mobject_read_uint16(mobj, order, field, 0, &half) != TLCRASH_ERR_NONE) return false;
            value =
                (encoding & 0x08) != 0 ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(half))) : half;
            break;
        }
        case 0x03:
        case 0x0B: {
            uint32_t word;
            if (tlcrash_async_mobject_read_uint32(mobj, order, field, 0, &word) != TLCRASH_ERR_NONE) return false;
            value =
                (encoding & 0x08) != 0 ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(word))) : word;
            break;
        }
        case 0x04:
        case 0x0C:
            if (tlcrash_async_mobject_read_uint64(mobj, order, field, 0, &value) != TLCRASH_ERR_NONE) return false;
            break;
        default: return false;
    }
    switch (encoding & 0x70) {
        case 0x00: break;
        case 0x10: value += field; break;
        case 0x30: value += tableBase; break;
        default: return false;
    }
    *result = value;
    return true;
}

uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// Looks for the GNU build id in the notes of one PT_NOTE segment.
void findBuildId(tlcrash_async_image* image, const tlcrash_async_phdr& note) {
    if (note.memsz < 12) return;
    tlcrash_async_mobject mobj;
    const uint64_t start = note.vaddr + image->vmaddr_slide;
    if (tlcrash_async_mobject_init(&mobj, image->task, start, note.memsz, true) != TLCRASH_ERR_NONE) return;
    // Notes are 4-byte aligned, or 8-byte in a segment aligned so.
    const uint64_t alignment = note.align == 8 ? 8 : 4;
    uint64_t at = 0;
    while (note.memsz - at >= 12) {
        uint32_t nameSize, descSize, type;
        if (tlcrash_async_mobject_read_uint32(&mobj, image->byteorder, start, at, &nameSize) != TLCRASH_ERR_NONE ||
            tlcrash_async_mobject_read_uint32(&mobj, image->byteorder, start, at + 4, &descSize) != TLCRASH_ERR_NONE ||
            tlcrash_async_mobject_read_uint32(&mobj, image->byteorder, start, at + 8, &type) != TLCRASH_ERR_NONE) {
            return;
        }
        // The sizes are 32-bit, so these sums cannot wrap.
        // The description and the next note begin aligned.
        const uint64_t nameAt = at + 12;
        const uint64_t descAt = at + alignUp(12 + uint64_t{nameSize}, alignment);
        const uint64_t next = alignUp(descAt + descSize, alignment);
        if (descAt + descSize > note.memsz) return;
        char name[4] = {};
        const void* nameBytes = tlcrash_async_mobject_remap(&mobj, start, nameAt, nameSize);
        if (nameSize == 4 && nameBytes != nullptr) tlcrash_async_memcpy(name, nameBytes, 4);
        if (type == kNoteGnuBuildId && nameSize == 4 && tlcrash_async_strncmp(name, "GNU", 4) == 0 && descSize > 0) {
            const void* desc = tlcrash_async_mobject_remap(&mobj, start, descAt, descSize);
            if (desc == nullptr) return;
            tlcrash_async_memset(image->uuid, 0, sizeof image->uuid);
            tlcrash_async_memcpy(image->uuid, desc, descSize < sizeof image->uuid ? descSize : sizeof image->uuid);
            image->has_uuid = true;
            return;
        }
        if (next > note.memsz) return;
        at = next;
    }
}

// Finds .eh_frame through the pointer in the unwind table header, bounded by
// the end of the loadable segment that holds it.
void findEhFrame(tlcrash_async_image* image, const tlcrash_async_phdr& header) {
    const uint64_t start = header.vaddr + image->vmaddr_slide;
    tlcrash_async_mobject mobj;
    if (header.memsz < 8 ||
        tlcrash_async_mobject_init(&mobj, image->task, start, header.memsz, true) != TLCRASH_ERR_NONE) {
        return;
    }
    uint8_t version, encoding;
    if (tlcrash_async_mobject_read_uint8(&mobj, start, 0, &version) != TLCRASH_ERR_NONE || version != 1 ||
        tlcrash_async_mobject_read_uint8(&mobj, start, 1, &encoding) != TLCRASH_ERR_NONE) {
        return;
    }
    uint64_t frame;
    if (!decodeEhPointer(&mobj, image->byteorder, start + 4, encoding, image->is_64, start, &frame)) return;

    image->eh_frame_hdr_addr = start;
    image->eh_frame_hdr_size = header.memsz;
    image->eh_frame_hdr_mobj = mobj;
    image->eh_frame_hdr_valid = true;
    const uint64_t link = frame - image->vmaddr_slide;
    tlcrash_async_phdr load;
    for (uint32_t i = 0; tlcrash_async_image_phdr(image, i, &load) == TLCRASH_ERR_NONE; ++i) {
        if (load.type != TLCRASH_PT_LOAD || link < load.vaddr || link - load.vaddr >= load.memsz) continue;
        image->eh_frame_addr = frame;
        image->eh_frame_size = load.memsz - (link - load.vaddr);
        image->eh_frame_valid = tlcrash_async_mobject_init(&image->eh_frame_mobj, image->task, frame,
                                                           image->eh_frame_size, true) == TLCRASH_ERR_NONE;
        return;
    }
}

// The link-time address of the header and the end of the code, from the
// loadable segments: false when either is missing.
bool findLoadRange(const tlcrash_async_image* image, uint64_t* headerLink, uint64_t* textEnd) {
    bool haveHeader = false, haveText = false;
    tlcrash_async_phdr phdr;
    for (uint32_t i = 0; tlcrash_async_image_phdr(image, i, &phdr) == TLCRASH_ERR_NONE; ++i) {
        if (phdr.type != TLCRASH_PT_LOAD) continue;
        if (!haveHeader && phdr.offset == 0 && phdr.filesz > 0) {
            *headerLink = phdr.vaddr;
            haveHeader = true;
        }
        uint64_t end;
        if ((phdr.flags & TLCRASH_PF_X) != 0 && !__builtin_add_overflow(phdr.vaddr, phdr.memsz, &end)) {
            if (!haveText || end > *textEnd) *textEnd = end;
            haveText = true;
        }
    }
    return haveHeader && haveText;
}

char* copyName(const char* path) {
    const size_t length = std::strlen(path);
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, path, length + 1);
    return copy;
}

}  // namespace

tlcrash_error_t tlcrash_async_image_init(tlcrash_async_image* image, tlcrash_task_t task, const char* path,
                                         uint64_t header_addr) {
    tlcrash_async_memset(image, 0, sizeof *image);
    image->task = task;
    image->header_addr = header_addr;

    uint8_t header[kHeaderSize64];
    if (tlcrash_async_read_task_memory(task, header_addr, 0, header, 16) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INTERNAL;
    }
    if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return TLCRASH_ERR_INVAL;
    if (header[4] != kElfClass32 && header[4] != kElfClass64) return TLCRASH_ERR_INVAL;
    if (header[5] != kElfDataLittle && header[5] != kElfDataBig) return TLCRASH_ERR_INVAL;
    image->is_64 = header[4] == kElfClass64;
    image->byteorder = tlcrash_async_byteorder_for(header[5] == kElfDataLittle);
    const size_t headerSize = image->is_64 ? kHeaderSize64 : kHeaderSize32;
    if (tlcrash_async_read_task_memory(task, header_addr, 16, header + 16, headerSize - 16) != TLCRASH_ERR_NONE) {
        return TLCRASH_ERR_INTERNAL;
    }

    const tlcrash_async_elf_fields fields{header, image->byteorder};
    image->elf_type = fields.u16(16);
    image->machine = fields.u16(18);
    const uint64_t phoff = fields.word(image->is_64 ? 32 : 28, image->is_64);
    image->phdr_entsize = fields.u16(image->is_64 ? 54 : 42);
    image->phdr_count = fields.u16(image->is_64 ? 56 : 44);
    const uint32_t phdrSize = image->is_64 ? TLCRASH_ELF_PHDR_SIZE_64 : TLCRASH_ELF_PHDR_SIZE_32;
    if (image->phdr_count == 0 || image->phdr_count == kPhnumExtended || image->phdr_entsize < phdrSize) {
        return TLCRASH_ERR_INVAL;
    }
    uint64_t phdrAddress;
    if (__builtin_add_overflow(header_addr, phoff, &phdrAddress)) return TLCRASH_ERR_INVAL;
    const tlcrash_error_t mapped = tlcrash_async_mobject_init(
        &image->phdrs, task, phdrAddress, static_cast<size_t>(image->phdr_count) * image->phdr_entsize, true);
    if (mapped != TLCRASH_ERR_NONE) {
        tlcrash_async_memset(image, 0, sizeof *image);
        return mapped;
    }

    uint64_t headerLink = 0, textEnd = 0;
    if (!findLoadRange(image, &headerLink, &textEnd) || textEnd <= headerLink) {
        tlcrash_async_memset(image, 0, sizeof *image);
        return TLCRASH_ERR_INVAL;
    }
    image->vmaddr_slide = static_cast<int64_t>(header_addr - headerLink);
    image->text_size = textEnd - headerLink;

    tlcrash_async_phdr phdr;
    if (tlcrash_async_image_find_phdr(image, TLCRASH_PT_GNU_EH_FRAME, &phdr) >= 0) findEhFrame(image, phdr);
    tlcrash_async_image_find_dynamic_symbols(image);
    for (uint32_t i = 0; !image->has_uuid && tlcrash_async_image_phdr(image, i, &phdr) == TLCRASH_ERR_NONE; ++i) {
        if (phdr.type == TLCRASH_PT_NOTE) findBuildId(image, phdr);
    }

    image->name = copyName(path);
    if (image->name == nullptr) {
        tlcrash_async_memset(image, 0, sizeof *image);
        return TLCRASH_ERR_NOMEM;
    }
    return TLCRASH_ERR_NONE;
}

void tlcrash_async_image_free(tlcrash_async_image* image) {
    std::free(image->name);
    tlcrash_async_memset(image, 0, sizeof *image);
}

// The dynamic symbol table, found through the dynamic section.
namespace {

constexpr int64_t kDtNull = 0, kDtHash = 4, kDtStrtab = 5, kDtSymtab = 6, kDtStrsz = 10, kDtGnuHash = 0x6FFFFEF5;

struct DynamicTables {
    uint64_t symtab = 0, strtab = 0, strsz = 0, hash = 0, gnuHash = 0;
};

// The loader relocates the dynamic section's addresses in place for most
// objects but not for read-only ones (the vDSO): an address outside the
// image is still a link-time one.
uint64_t runtimeAddress(const tlcrash_async_image* image, uint64_t value) {
    if (value >= image->header_addr && value - image->header_addr < image->text_size) return value;
    return value + static_cast<uint64_t>(image->vmaddr_slide);
}

// `count` values of `size` bytes, validated once and read in place after
// that (one system call, not one a value). The tables need not lie at
// aligned addresses, so their values are copied out in the image's order.
bool mapArray(const tlcrash_async_image* image, uint64_t address, uint64_t count, size_t size,
              tlcrash_async_mobject* mobj, tlcrash_async_elf_fields* fields) {
    if (count == 0 || count > (uint64_t{1} << 32) ||
        tlcrash_async_mobject_init(mobj, image->task, address, count * size, true) != TLCRASH_ERR_NONE) {
        return false;
    }
    fields->bytes = static_cast<const uint8_t*>(tlcrash_async_mobject_remap(mobj, address, 0, count * size));
    fields->order = image->byteorder;
    return fields->bytes != nullptr;
}

bool readDynamic(const tlcrash_async_image* image, DynamicTables* tables) {
    tlcrash_async_phdr dynamic;
    if (tlcrash_async_image_find_phdr(image, TLCRASH_PT_DYNAMIC, &dynamic) < 0) return false;
    tlcrash_async_mobject mobj;
    tlcrash_async_elf_fields entries;
    const uint64_t count = dynamic.memsz / 16;
    if (!mapArray(image, dynamic.vaddr + static_cast<uint64_t>(image->vmaddr_slide), count, 16, &mobj, &entries)) {
        return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
        const auto tag = static_cast<int64_t>(entries.u64(16 * i));
        const uint64_t value = entries.u64(16 * i + 8);
        if (tag == kDtNull) break;
        if (tag == kDtSymtab) tables->symtab = runtimeAddress(image, value);
        if (tag == kDtStrtab) tables->strtab = runtimeAddress(image, value);
        if (tag == kDtStrsz) tables->strsz = value;
        if (tag == kDtHash) tables->hash = runtimeAddress(image, value);
        if (tag == kDtGnuHash) tables->gnuHash = runtimeAddress(image, value);
    }
    return tables->symtab != 0 && tables->strtab != 0;
}

// The number of dynamic symbols, from either hash table.
bool symbolCount(const tlcrash_async_image* image, const DynamicTables& tables, uint64_t* count) {
    tlcrash_async_mobject mobj;
    tlcrash_async_elf_fields head;
    if (tables.hash != 0) {
        if (!mapArray(image, tables.hash, 2, 4, &mobj, &head)) return false;
        *count = head.u32(4);
        return true;
    }
    if (tables.gnuHash == 0 || !mapArray(image, tables.gnuHash, 4, 4, &mobj, &head)) return false;
    const uint32_t buckets = head.u32(0), symoffset = head.u32(4), bloomWords = head.u32(8);
    const uint64_t bucketsAt = tables.gnuHash + 16 + uint64_t{bloomWords} * 8;
    tlcrash_async_elf_fields bucket;
    if (!mapArray(image, bucketsAt, buckets, 4, &mobj, &bucket)) return false;
    uint32_t last = 0;
    for (uint32_t i = 0; i < buckets; ++i) {
        const uint32_t value = bucket.u32(4 * size_t{i});
        if (value > last) last = value;
    }
    if (last < symoffset) {
        *count = symoffset;
        return true;
    }
    // The chain of the highest bucket ends at the last symbol; the chains
    // run to the end of the readable memory at most.
    const uint64_t chainsAt = bucketsAt + uint64_t{buckets} * 4 + uint64_t{last - symoffset} * 4;
    if (tlcrash_async_mobject_init(&mobj, image->task, chainsAt, 1 << 20, false) != TLCRASH_ERR_NONE) return false;
    const uint64_t words = tlcrash_async_mobject_length(&mobj) / 4;
    const tlcrash_async_elf_fields chain{
        static_cast<const uint8_t*>(tlcrash_async_mobject_remap(&mobj, chainsAt, 0, words * 4)), image->byteorder};
    for (uint64_t i = 0; chain.bytes != nullptr && i < words; ++i) {
        if ((chain.u32(4 * i) & 1) != 0) {
            *count = uint64_t{last} + i + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

void tlcrash_async_image_find_dynamic_symbols(tlcrash_async_image* image) {
    image->has_dynamic_symbols = false;
    DynamicTables tables;
    uint64_t count;
    if (!image->is_64 || !readDynamic(image, &tables) || !symbolCount(image, tables, &count) || count == 0 ||
        tables.strsz == 0 || count > (uint64_t{1} << 24)) {
        return;
    }
    if (tlcrash_async_mobject_init(&image->dynamic_symbols, image->task, tables.symtab,
                                   count * TLCRASH_ELF_SYMBOL_SIZE_64, true) != TLCRASH_ERR_NONE ||
        tlcrash_async_mobject_init(&image->dynamic_names, image->task, tables.strtab, tables.strsz, true) !=
            TLCRASH_ERR_NONE) {
        return;
    }
    image->dynamic_symbol_count = count;
    image->has_dynamic_symbols = true;
}
