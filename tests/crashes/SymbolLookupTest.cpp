// Names of frames from the images' dynamic symbol tables, for functions of
// the C library this program calls.

#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"
#include "crashes/reporter/async/TLCrashAsyncSymbols.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(SymbolLookup, NamesExportedFunctionsFromTheirFirstByteOnAndNeverObjCMethods) {
    tlcrash_async_image_registry& registry = tlcrash_async_image_registry_process();
    const auto start = reinterpret_cast<uint64_t>(static_cast<div_t (*)(int, int)>(&::div));
    tlcrash_async_image_registry_set_reading(&registry, true);
    const tlcrash_async_image* libc = tlcrash_async_image_registry_image_containing_address(&registry, start);
    ASSERT_NE(libc, nullptr);
    ASSERT_TRUE(libc->has_dynamic_symbols);
    for (uint64_t pc : {start, start + 1}) {
        tlcrash_symbol_lookup_result result;
        ASSERT_EQ(tlcrash_async_find_symbol(libc, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, pc, &result), 0);
        EXPECT_STREQ(result.name, "div");
        EXPECT_EQ(result.start_address, start);
    }
    tlcrash_symbol_lookup_result result;
    EXPECT_EQ(tlcrash_async_find_symbol(libc, 0, start, &result), TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_find_symbol(libc, TLCRASH_SYMBOLICATION_OBJC, start, &result), TLCRASH_ERR_NOTFOUND);
    // Below the first function of the image there is nothing to name.
    EXPECT_EQ(tlcrash_async_find_symbol(libc, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, libc->header_addr, &result),
              TLCRASH_ERR_NOTFOUND);
    tlcrash_async_image_registry_set_reading(&registry, false);
}

}  // namespace
