// Names of frames from the images' dynamic symbol tables, for functions of
// the C library this program calls and of images built byte by byte.

#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"
#include "crashes/reporter/async/TLCrashAsyncSymbols.h"
#include "crashes/reporter/setup/TLCrashImageSetup.h"
#include "tests/crashes/support/FakeElfImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

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

namespace {

// Function names from a fake image whose dynamic section, hash table,
// symbols and names each lie at an odd address, in either byte order and
// with either hash table.
TEST(SymbolLookup, NamesFunctionsOfAnImageWhoseTablesLieAtOddAddresses) {
    using crashtest::FakeElfImage;
    constexpr uint64_t kText = crashtest::kFakeTextOffset;
    const struct {
        const char* name;
        FakeElfImage::Hash hash;
        bool little;
        uint32_t misalign;
    } images[] = {
        {"GNU hash", FakeElfImage::Hash::Gnu, true, 1},
        {"SysV hash", FakeElfImage::Hash::SysV, true, 3},
        {"big-endian, GNU hash", FakeElfImage::Hash::Gnu, false, 5},
        {"big-endian, SysV hash", FakeElfImage::Hash::SysV, false, 7},
    };
    const struct {
        uint64_t pc;
        const char* name;  // nullptr: nothing found
        uint64_t start;
    } lookups[] = {
        {kText + 0x100, "first", kText + 0x100},
        {kText + 0x11F, "first", kText + 0x100},
        {kText + 0xFF, nullptr, 0},   // below every function
        {kText + 0x120, nullptr, 0},  // "first" has ended
        {kText + 0x150, "unsized", kText + 0x140},
        {kText + 0x185, "unsized", kText + 0x140},  // an object is no function
        {kText + 0x1C5, "unsized", kText + 0x140},  // nor is a symbol undefined here
        {kText + 0x208, "resolver", kText + 0x200},
    };
    for (const auto& c : images) {
        FakeElfImage elf;
        elf.hash = c.hash;
        elf.littleEndian = c.little;
        elf.misalign = c.misalign;
        elf.symbols = {
            {"first", kText + 0x100, 0x20},        {"unsized", kText + 0x140, 0},
            {"table", kText + 0x180, 0x40, 1},     {"imported", kText + 0x1C0, 0x10, 2, 0},
            {"resolver", kText + 0x200, 0x10, 10},
        };
        const std::vector<uint8_t> bytes = elf.build();
        const auto header = reinterpret_cast<uint64_t>(bytes.data());
        tlcrash_async_image image;
        ASSERT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "libfake.so", header), 0) << c.name;
        ASSERT_TRUE(image.has_dynamic_symbols) << c.name;
        EXPECT_EQ(image.dynamic_symbol_count, 6u) << c.name;
        for (const auto& lookup : lookups) {
            tlcrash_symbol_lookup_result result;
            const tlcrash_error_t error =
                tlcrash_async_find_symbol(&image, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, header + lookup.pc, &result);
            if (lookup.name == nullptr) {
                EXPECT_EQ(error, TLCRASH_ERR_NOTFOUND) << c.name << " " << std::hex << lookup.pc;
                continue;
            }
            ASSERT_EQ(error, 0) << c.name << " " << std::hex << lookup.pc;
            EXPECT_STREQ(result.name, lookup.name) << c.name << " " << std::hex << lookup.pc;
            EXPECT_EQ(result.start_address, header + lookup.start) << c.name << " " << std::hex << lookup.pc;
        }
        tlcrash_async_image_free(&image);
    }
}

}  // namespace
