#pragma once
// Reading a loaded ELF image into its record, at set-up time: init copies
// the image's name, so it allocates. The readers are in
// async/TLCrashAsyncImage.h.

#include "crashes/reporter/async/TLCrashAsyncImage.h"

// Reads the image whose ELF header lies at `header_addr`: TLCRASH_ERR_INTERNAL
// when the header cannot be read, TLCRASH_ERR_INVAL when it is not an ELF
// header or its program headers lack a loadable segment holding the header or
// an executable one, the memory object's code when the program headers cannot
// be read. A damaged note or unwind table header leaves the build id or the
// unwind tables out. On failure nothing is held.
tlcrash_error_t tlcrash_async_image_init(tlcrash_async_image* image, tlcrash_task_t task, const char* path,
                                         uint64_t header_addr);
void tlcrash_async_image_free(tlcrash_async_image* image);

// Fills the image's dynamic symbol table fields (init calls it): none when
// it has no readable table.
void tlcrash_async_image_find_dynamic_symbols(tlcrash_async_image* image);
