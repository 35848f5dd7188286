#include "crashes/reporter/async/TLCrashAsyncImage.h"

#include "crashes/reporter/async/TLCrashAsyncSymbols.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfClass64 = 2;
constexpr uint8_t kElfDataLittle = 1;
constexpr uint8_t kElfDataBig = 2;
constexpr size_t kHeaderSize32 = 52;
constexpr size_t kHeaderSize64 = 64;
constexpr uint32_t kPhdrSize32 = 32;
constexpr uint32_t kPhdrSize64 = 56;
// e_phnum of this value means the count lies in the first section header,
// which is not loaded.
constexpr uint16_t kPhnumExtended = 0xFFFF;
constexpr uint32_t kNoteGnuBuildId = 3;

// Values of a header copied to the stack, in the image's order.
struct Fields {
    const uint8_t* bytes;
    const tlcrash_async_byteorder* order;
    template <typename T>
    T value(size_t at) const {
        T raw;
        tlcrash_async_memcpy(&raw, bytes + at, sizeof raw);
        return tlcrash_async_swap(order, raw);
    }
    uint16_t u16(size_t at) const { return value<uint16_t>(at); }
    uint32_t u32(size_t at) const { return value<uint32_t>(at); }
    uint64_t u64(size_t at) const { return value<uint64_t>(at); }
    // An address-sized field: 8 bytes in 64-bit images, 4 in 32-bit ones.
    uint64_t word(size_t at, bool is64) const { return is64 ? u64(at) : u32(at); }
};

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
        const auto* name = static_cast<const char*>(tlcrash_async_mobject_remap(&mobj, start, nameAt, nameSize));
        if (type == kNoteGnuBuildId && nameSize == 4 && name != nullptr && tlcrash_async_strncmp(name, "GNU", 4) == 0 &&
            descSize > 0) {
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
    const auto* head = static_cast<const uint8_t*>(tlcrash_async_mobject_remap(&mobj, start, 0, 4));
    if (head == nullptr || head[0] != 1) return;
    uint64_t frame;
    if (!decodeEhPointer(&mobj, image->byteorder, start + 4, head[1], image->is_64, start, &frame)) return;

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

tlcrash_error_t tlcrash_async_image_phdr(const tlcrash_async_image* image, uint32_t index, tlcrash_async_phdr* result) {
    if (index >= image->phdr_count) return TLCRASH_ERR_INVAL;
    const uint64_t base = tlcrash_async_mobject_base_address(&image->phdrs);
    const uint32_t size = image->is_64 ? kPhdrSize64 : kPhdrSize32;
    const auto* bytes = static_cast<const uint8_t*>(
        tlcrash_async_mobject_remap(&image->phdrs, base, static_cast<int64_t>(index) * image->phdr_entsize, size));
    if (bytes == nullptr) return TLCRASH_ERR_INVAL;
    const Fields fields{bytes, image->byteorder};
    result->type = fields.u32(0);
    if (image->is_64) {
        result->flags = fields.u32(4);
        result->offset = fields.u64(8);
        result->vaddr = fields.u64(16);
        result->filesz = fields.u64(32);
        result->memsz = fields.u64(40);
        result->align = fields.u64(48);
    } else {
        result->offset = fields.u32(4);
        result->vaddr = fields.u32(8);
        result->filesz = fields.u32(16);
        result->memsz = fields.u32(20);
        result->flags = fields.u32(24);
        result->align = fields.u32(28);
    }
    return TLCRASH_ERR_NONE;
}

int32_t tlcrash_async_image_find_phdr(const tlcrash_async_image* image, uint32_t type, tlcrash_async_phdr* result) {
    for (uint32_t i = 0; tlcrash_async_image_phdr(image, i, result) == TLCRASH_ERR_NONE; ++i) {
        if (result->type == type) return static_cast<int32_t>(i);
    }
    return -1;
}

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

    const Fields fields{header, image->byteorder};
    image->elf_type = fields.u16(16);
    image->machine = fields.u16(18);
    const uint64_t phoff = fields.word(image->is_64 ? 32 : 28, image->is_64);
    image->phdr_entsize = fields.u16(image->is_64 ? 54 : 42);
    image->phdr_count = fields.u16(image->is_64 ? 56 : 44);
    const uint32_t phdrSize = image->is_64 ? kPhdrSize64 : kPhdrSize32;
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

tlcrash_error_t tlcrash_async_image_map_segment(const tlcrash_async_image* image, uint32_t index,
                                                tlcrash_async_segment_map* segment) {
    tlcrash_async_phdr phdr;
    if (tlcrash_async_image_phdr(image, index, &phdr) != TLCRASH_ERR_NONE) return TLCRASH_ERR_NOTFOUND;
    const tlcrash_error_t error =
        tlcrash_async_mobject_init(&segment->mobj, image->task, phdr.vaddr + image->vmaddr_slide, phdr.memsz, false);
    if (error != TLCRASH_ERR_NONE) return error;
    segment->fileoff = phdr.offset;
    segment->filesize = phdr.filesz;
    return TLCRASH_ERR_NONE;
}

tlcrash_error_t tlcrash_async_image_map_eh_frame(const tlcrash_async_image* image, tlcrash_async_mobject* mobj) {
    if (image->eh_frame_addr == 0) return TLCRASH_ERR_NOTFOUND;
    if (image->eh_frame_valid) {
        *mobj = image->eh_frame_mobj;
        return TLCRASH_ERR_NONE;
    }
    return tlcrash_async_mobject_init(mobj, image->task, image->eh_frame_addr, image->eh_frame_size, true);
}

tlcrash_error_t tlcrash_async_image_map_eh_frame_hdr(const tlcrash_async_image* image, tlcrash_async_mobject* mobj) {
    if (image->eh_frame_hdr_addr == 0) return TLCRASH_ERR_NOTFOUND;
    if (image->eh_frame_hdr_valid) {
        *mobj = image->eh_frame_hdr_mobj;
        return TLCRASH_ERR_NONE;
    }
    return tlcrash_async_mobject_init(mobj, image->task, image->eh_frame_hdr_addr, image->eh_frame_hdr_size, true);
}

bool tlcrash_async_image_contains_address(const tlcrash_async_image* image, uint64_t address) {
    return address >= image->header_addr && address - image->header_addr < image->text_size;
}

bool tlcrash_async_image_cpu_type(const tlcrash_async_image* image, uint64_t* type, uint64_t* subtype) {
    // ELF machine numbers and the Mach-O CPU types the report uses; the
    // subtypes are those of "all" processors of the family.
    struct Mapping {
        uint16_t machine;
        uint64_t type;
        uint64_t subtype;
    };
    static constexpr Mapping kMappings[] = {
        {3, 7, 3},            // i386
        {62, 0x1000007, 3},   // x86-64
        {40, 12, 0},          // ARM
        {183, 0x100000C, 0},  // AArch64
        {20, 18, 0},          // PowerPC
        {21, 0x1000012, 0},   // PowerPC 64
    };
    for (const Mapping& mapping : kMappings) {
        if (mapping.machine == image->machine) {
            *type = mapping.type;
            *subtype = mapping.subtype;
            return true;
        }
    }
    return false;
}
