#pragma once
// Names for the frames of a report, found at crash time in the images'
// dynamic symbol tables (what the loader itself reads: .dynsym through the
// dynamic section). Functions that are not exported have no name there.
// The object-runtime metadata of other platforms does not exist here, so
// that strategy never finds anything. Async-signal-safe: the tables are read
// only through checked reads.

#include "crashes/reporter/async/TLCrashAsyncImage.h"

// Strategy bits.
constexpr uint32_t TLCRASH_SYMBOLICATION_SYMBOL_TABLE = 1;
constexpr uint32_t TLCRASH_SYMBOLICATION_OBJC = 2;

// A name of at most 255 bytes and where its function starts.
struct tlcrash_symbol_lookup_result {
    char name[256];
    uint64_t start_address;
};

// The function symbol closest at or below `pc` among what `strategy` allows,
// unless its size says that it ends before `pc`:
// TLCRASH_ERR_NOTFOUND when there is none, another code when the tables
// cannot be read.
tlcrash_error_t tlcrash_async_find_symbol(const tlcrash_async_image* image, uint32_t strategy, uint64_t pc,
                                          tlcrash_symbol_lookup_result* result);

// Always TLCRASH_ERR_NOTFOUND: no Objective-C runtime is loaded on Linux.
tlcrash_error_t tlcrash_async_find_objc_method(const tlcrash_async_image* image, uint64_t pc,
                                               tlcrash_symbol_lookup_result* result);
