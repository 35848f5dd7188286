#pragma once
// A loaded ELF image of a task: where its header lies, its load bias, its
// program headers, the range of its code, its unwind tables and its build
// id. Made at set-up time (setup/TLCrashImageSetup.h: init copies the
// name, so it allocates); every reader below is async-signal-safe and reads
// the task's memory only through checked reads and memory objects, so a
// damaged image gives codes, not faults.

#include "crashes/reporter/async/TLCrashAsync.h"
#include "crashes/reporter/async/TLCrashAsyncMObject.h"
#include "crashes/reporter/async/TLCrashAsyncTask.h"

// A program header in host order.
struct tlcrash_async_phdr {
    uint32_t type;
    uint32_t flags;
    uint64_t offset;
    uint64_t vaddr;
    uint64_t filesz;
    uint64_t memsz;
    uint64_t align;
};

// A segment mapped as a memory object, with its place in the file.
struct tlcrash_async_segment_map {
    tlcrash_async_mobject mobj;
    uint64_t fileoff;
    uint64_t filesize;
};

struct tlcrash_async_image {
    tlcrash_task_t task;
    // Where the ELF header lies in the task.
    uint64_t header_addr;
    // The load bias: the header's address minus its link-time address.
    int64_t vmaddr_slide;
    // The image's path (owned).
    char* name;

    bool is_64;
    const tlcrash_async_byteorder* byteorder;
    uint16_t elf_type;
    uint16_t machine;

    // The program headers, validated.
    uint16_t phdr_count;
    uint16_t phdr_entsize;
    tlcrash_async_mobject phdrs;

    // Bytes from the header to the end of the last executable segment.
    uint64_t text_size;

    // The unwind tables in the task, 0 when the image has none. The size of
    // .eh_frame is bounded by the end of the segment holding it.
    uint64_t eh_frame_hdr_addr;
    uint64_t eh_frame_hdr_size;
    uint64_t eh_frame_addr;
    uint64_t eh_frame_size;
    // Both tables validated once when the image was read: the stack walker
    // looks into them for every frame, and an image's ranges stay mapped for
    // its life.
    bool eh_frame_hdr_valid;
    bool eh_frame_valid;
    tlcrash_async_mobject eh_frame_hdr_mobj;
    tlcrash_async_mobject eh_frame_mobj;

    // The dynamic symbol table and its names, found through the dynamic
    // section and validated when the image was read (64-bit images only).
    bool has_dynamic_symbols;
    uint64_t dynamic_symbol_count;
    tlcrash_async_mobject dynamic_symbols;
    tlcrash_async_mobject dynamic_names;

    // The first 16 bytes of the GNU build id, zero-padded when it is shorter.
    bool has_uuid;
    uint8_t uuid[16];
};

// Program header types and flags the readers use.
constexpr uint32_t TLCRASH_PT_LOAD = 1;
constexpr uint32_t TLCRASH_PT_DYNAMIC = 2;
constexpr uint32_t TLCRASH_PT_NOTE = 4;
constexpr uint32_t TLCRASH_PT_GNU_EH_FRAME = 0x6474E550;
constexpr uint32_t TLCRASH_PF_X = 1;

// Program header `index` in host order: TLCRASH_ERR_INVAL past the last.
tlcrash_error_t tlcrash_async_image_phdr(const tlcrash_async_image* image, uint32_t index, tlcrash_async_phdr* result);
// The first program header of `type`: its index, or -1.
int32_t tlcrash_async_image_find_phdr(const tlcrash_async_image* image, uint32_t type, tlcrash_async_phdr* result);

// Maps the segment of program header `index` (its memory size, from the load
// bias on) without requiring all of it: TLCRASH_ERR_NOTFOUND when there is no
// such header, else the memory object's code.
tlcrash_error_t tlcrash_async_image_map_segment(const tlcrash_async_image* image, uint32_t index,
                                                tlcrash_async_segment_map* segment);

// Maps .eh_frame and .eh_frame_hdr whole: TLCRASH_ERR_NOTFOUND when the
// image has none, else the memory object's code. Tables validated when the
// image was read are handed out without asking the kernel again.
tlcrash_error_t tlcrash_async_image_map_eh_frame(const tlcrash_async_image* image, tlcrash_async_mobject* mobj);
tlcrash_error_t tlcrash_async_image_map_eh_frame_hdr(const tlcrash_async_image* image, tlcrash_async_mobject* mobj);

// Whether `address` lies between the header and the end of the code.
bool tlcrash_async_image_contains_address(const tlcrash_async_image* image, uint64_t address);

// The image's processor as the report's Mach-O CPU type and subtype; false
// for a machine the report format has no number for.
bool tlcrash_async_image_cpu_type(const tlcrash_async_image* image, uint64_t* type, uint64_t* subtype);
