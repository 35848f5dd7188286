// A loaded ELF image from untrusted bytes, placed in memory as the loader
// places one (fuzz/support/MappedImage.h), read into an image record as the
// crash reporter reads every image at set-up, then asked what the stack
// walker asks at crash time: program headers and segments, whether it holds
// an address, its processor, and the FDE of pcs through .eh_frame_hdr's
// search table and through a walk of .eh_frame. A refused image holds
// nothing; a read one keeps to what its header and tables say.
//
// Input: the image, its ELF header first.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crashes/reporter/async/TLCrashAsyncDwarfEncoding.h"
#include "crashes/reporter/setup/TLCrashImageSetup.h"
#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/MappedImage.h"

using fuzzsupport::Require;

namespace {

bool KnownCode(tlcrash_error_t error) { return error >= TLCRASH_ERR_NONE && error <= TLCRASH_ERR_BADDATA; }

// The FDE of each pc, through the search table when there is one and by
// walking .eh_frame; a found FDE covers its pc and lies in .eh_frame.
void FindFrames(const tlcrash_async_image& image, uint64_t pc) {
    tlcrash_async_mobject frame;
    if (tlcrash_async_image_map_eh_frame(&image, &frame) != TLCRASH_ERR_NONE) return;
    tlcrash_async_dwarf_fde_finder finder;
    tlcrash_async_dwarf_fde_finder_open(&finder, &frame, image.byteorder, false);
    tlcrash_async_mobject hdr;
    tlcrash_async_dwarf_fde_info fde;
    if (tlcrash_async_image_map_eh_frame_hdr(&image, &hdr) == TLCRASH_ERR_NONE) {
        const tlcrash_error_t error = tlcrash_async_dwarf_fde_finder_find_indexed(&finder, &hdr, pc, &fde);
        Require(KnownCode(error), "the table's search ends with a code");
        if (error == TLCRASH_ERR_NONE) {
            Require(fde.pc_start <= pc && pc < fde.pc_end, "the FDE the table finds covers the pc");
            Require(fde.fde_offset <= tlcrash_async_mobject_length(&frame), "that FDE lies in .eh_frame");
        }
    }
    const tlcrash_error_t error = tlcrash_async_dwarf_fde_finder_find(&finder, 0, pc, &fde);
    Require(KnownCode(error), "the walk ends with a code");
    if (error == TLCRASH_ERR_NONE) Require(fde.pc_start <= pc && pc < fde.pc_end, "the FDE walked to covers the pc");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzsupport::MappedImage mapped(data, size);
    if (mapped.size() == 0) return 0;
    const uint64_t header = mapped.address();

    tlcrash_async_image image;
    const tlcrash_error_t error = tlcrash_async_image_init(&image, tlcrash_task_self(), "fuzz.so", header);
    Require(KnownCode(error), "reading the image ends with a code");
    if (error != TLCRASH_ERR_NONE) {
        Require(image.name == nullptr && !image.has_dynamic_symbols, "a refused image holds nothing");
        return 0;
    }
    Require(std::strcmp(image.name, "fuzz.so") == 0, "the image keeps its name");
    Require(image.header_addr == header, "the image lies where it was read");

    tlcrash_async_phdr phdr;
    for (uint32_t i = 0; i < image.phdr_count; ++i) {
        Require(tlcrash_async_image_phdr(&image, i, &phdr) == TLCRASH_ERR_NONE, "each program header reads");
        tlcrash_async_segment_map segment;
        const tlcrash_error_t mappedSegment = tlcrash_async_image_map_segment(&image, i, &segment);
        Require(KnownCode(mappedSegment) && mappedSegment != TLCRASH_ERR_NOTFOUND, "each segment is looked for");
    }
    Require(tlcrash_async_image_phdr(&image, image.phdr_count, &phdr) == TLCRASH_ERR_INVAL,
            "no program header past the last");
    Require(tlcrash_async_image_find_phdr(&image, TLCRASH_PT_LOAD, &phdr) >= 0, "a read image has a loadable segment");

    Require(image.text_size > 0 && tlcrash_async_image_contains_address(&image, header), "the image holds its header");
    uint64_t end;
    if (!__builtin_add_overflow(header, image.text_size, &end)) {
        Require(!tlcrash_async_image_contains_address(&image, end), "the image ends with its code");
    }
    uint64_t type, subtype;
    tlcrash_async_image_cpu_type(&image, &type, &subtype);

    if (image.has_dynamic_symbols) {
        Require(image.dynamic_symbol_count > 0 &&
                    tlcrash_async_mobject_length(&image.dynamic_symbols) == image.dynamic_symbol_count * 24,
                "the symbol table is as long as its count");
    }
    tlcrash_async_mobject table;
    if (tlcrash_async_image_map_eh_frame_hdr(&image, &table) == TLCRASH_ERR_NONE) {
        Require(tlcrash_async_mobject_base_address(&table) == image.eh_frame_hdr_addr, "the table lies where it said");
    }

    // Pcs through the code, its first and last byte included.
    constexpr uint64_t kSteps = 16;
    for (uint64_t i = 0; i <= kSteps; ++i) {
        const uint64_t offset = image.text_size / kSteps * i;
        FindFrames(image, header + (offset < image.text_size ? offset : image.text_size - 1));
    }

    tlcrash_async_image_free(&image);
    Require(image.name == nullptr, "a freed image holds nothing");
    return 0;
}
