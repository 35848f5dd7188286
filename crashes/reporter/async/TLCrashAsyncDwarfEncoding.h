#pragma once
// Reading DWARF call-frame records: variable-length integers, the GNU
// pointer encodings, the search for the frame description entry (FDE) that
// covers a pc and the parsing of an FDE and its common information entry
// (CIE), for the GNU .eh_frame layout and the DWARF .debug_frame layout.
// Every byte is read through a memory object's bounds checks, so damaged
// tables give codes, never reads outside them. Async-signal-safe; 64-bit
// images only (an x86-64 process loads no other).

#include "crashes/reporter/async/TLCrashAsyncMObject.h"

// The pointer-encoding byte: low four bits the value's form, bits 4 to 6 what
// it is relative to, bit 7 indirect, 0xFF omitted.
enum : uint8_t {
    TLCRASH_DW_EH_PE_absptr = 0x00,
    TLCRASH_DW_EH_PE_uleb128 = 0x01,
    TLCRASH_DW_EH_PE_udata2 = 0x02,
    TLCRASH_DW_EH_PE_udata4 = 0x03,
    TLCRASH_DW_EH_PE_udata8 = 0x04,
    TLCRASH_DW_EH_PE_sleb128 = 0x09,
    TLCRASH_DW_EH_PE_sdata2 = 0x0A,
    TLCRASH_DW_EH_PE_sdata4 = 0x0B,
    TLCRASH_DW_EH_PE_sdata8 = 0x0C,
    TLCRASH_DW_EH_PE_pcrel = 0x10,
    TLCRASH_DW_EH_PE_textrel = 0x20,
    TLCRASH_DW_EH_PE_datarel = 0x30,
    TLCRASH_DW_EH_PE_funcrel = 0x40,
    TLCRASH_DW_EH_PE_aligned = 0x50,
    TLCRASH_DW_EH_PE_indirect = 0x80,
    TLCRASH_DW_EH_PE_omit = 0xFF,
};

// LEB128 at `base + offset`: at most ten bytes; INVAL for a byte outside the
// object, NOTSUP when the tenth byte still continues.
tlcrash_error_t tlcrash_async_leb_read_unsigned(const tlcrash_async_mobject* mobj, uint64_t base, int64_t offset,
                                                uint64_t* result, size_t* count);
tlcrash_error_t tlcrash_async_leb_read_signed(const tlcrash_async_mobject* mobj, uint64_t base, int64_t offset,
                                              int64_t* result, size_t* count);

// Decodes GNU-encoded pointers. A base that is not set makes an encoding
// relative to it unsupported.
struct tlcrash_async_dwarf_ptr_reader {
    const tlcrash_async_byteorder* byteorder;
    bool has_frame_section_base;
    uint64_t frame_section_base;
    bool has_text_base;
    uint64_t text_base;
    bool has_data_base;
    uint64_t data_base;
    bool has_func_base;
    uint64_t func_base;
};

void tlcrash_async_dwarf_ptr_reader_init(tlcrash_async_dwarf_ptr_reader* reader,
                                         const tlcrash_async_byteorder* byteorder);

// The pointer at `location + offset` in `encoding`: its value and the bytes
// it took (alignment padding included). NOTFOUND for an omitted pointer.
tlcrash_error_t tlcrash_async_dwarf_ptr_read(const tlcrash_async_dwarf_ptr_reader* reader,
                                             const tlcrash_async_mobject* mobj, uint64_t location, int64_t offset,
                                             uint8_t encoding, uint64_t* result, size_t* size);

// An unsigned value of 1, 2, 4 or 8 bytes; INVAL for another size or a range
// outside the object.
tlcrash_error_t tlcrash_async_dwarf_read_sized_uint(const tlcrash_async_mobject* mobj,
                                                    const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                    int64_t offset, size_t size, uint64_t* result);

struct tlcrash_async_dwarf_cie_info {
    // Of the contents, just after the length field, from the section start.
    uint64_t cie_offset;
    uint64_t cie_length;
    uint64_t cie_id;
    uint8_t cie_version;
    uint8_t address_size;
    uint8_t segment_size;
    uint64_t code_alignment_factor;
    int64_t data_alignment_factor;
    uint64_t return_address_register;
    bool has_eh_augmentation;
    struct {
        bool has_lsda_encoding;
        uint8_t lsda_encoding;
        bool has_personality_address;
        uint64_t personality_address;
        bool has_pointer_encoding;
        uint8_t pointer_encoding;
        bool signal_frame;
    } eh_augmentation;
    uint64_t initial_instructions_offset;
    uint64_t initial_instructions_length;
};

struct tlcrash_async_dwarf_fde_info {
    uint64_t fde_offset;
    uint64_t fde_length;
    uint64_t cie_offset;
    uint64_t pc_start;
    uint64_t pc_end;
    uint64_t instructions_offset;
    uint64_t instructions_length;
};

// The CIE at task address `address` inside the section `mobj`.
tlcrash_error_t tlcrash_async_dwarf_cie_info_init(tlcrash_async_dwarf_cie_info* info, const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder,
                                                  const tlcrash_async_dwarf_ptr_reader* reader, uint64_t address);
// The FDE at task address `address` inside the section `mobj`, with its CIE.
tlcrash_error_t tlcrash_async_dwarf_fde_info_init(tlcrash_async_dwarf_fde_info* info, const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  bool debug_frame);

struct tlcrash_async_dwarf_fde_finder {
    const tlcrash_async_mobject* mobj;
    const tlcrash_async_byteorder* byteorder;
    bool debug_frame;
};

tlcrash_error_t tlcrash_async_dwarf_fde_finder_open(tlcrash_async_dwarf_fde_finder* finder,
                                                    const tlcrash_async_mobject* mobj,
                                                    const tlcrash_async_byteorder* byteorder, bool debug_frame);

// Walks the section from `start_offset` to the FDE whose range holds `pc`:
// NOTFOUND when none does, INVAL for a damaged entry.
tlcrash_error_t tlcrash_async_dwarf_fde_finder_find(const tlcrash_async_dwarf_fde_finder* finder, uint64_t start_offset,
                                                    uint64_t pc, tlcrash_async_dwarf_fde_info* info);

// The same answer through the binary search table of .eh_frame_hdr `hdr`
// (version 1, table entries of 4-byte offsets from the header): NOTSUP when
// the header has no table of that form, so the caller can walk instead.
tlcrash_error_t tlcrash_async_dwarf_fde_finder_find_indexed(const tlcrash_async_dwarf_fde_finder* finder,
                                                            const tlcrash_async_mobject* hdr, uint64_t pc,
                                                            tlcrash_async_dwarf_fde_info* info);
