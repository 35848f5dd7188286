#include "crashes/reporter/async/TLCrashAsyncImage.h"

#include "crashes/reporter/async/TLCrashAsyncElf.h"

tlcrash_error_t tlcrash_async_image_phdr(const tlcrash_async_image* image, uint32_t index, tlcrash_async_phdr* result) {
    if (index >= image->phdr_count) return TLCRASH_ERR_INVAL;
    const uint64_t base = tlcrash_async_mobject_base_address(&image->phdrs);
    const uint32_t size = image->is_64 ? TLCRASH_ELF_PHDR_SIZE_64 : TLCRASH_ELF_PHDR_SIZE_32;
    const auto* bytes = static_cast<const uint8_t*>(
        tlcrash_async_mobject_remap(&image->phdrs, base, static_cast<int64_t>(index) * image->phdr_entsize, size));
    if (bytes == nullptr) return TLCRASH_ERR_INVAL;
    const tlcrash_async_elf_fields fields{bytes, image->byteorder};
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
