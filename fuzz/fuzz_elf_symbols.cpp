// The names of pcs in a loaded ELF image from untrusted bytes, placed in
// memory as the loader places one (fuzz/support/MappedImage.h): the image is
// read as at set-up (its dynamic section and hash table give the symbol
// table), then pcs through its code and at its symbols' addresses are named
// as at crash time. A name found is text of the string table, its function
// starts at or below the pc, and what the pc at that start names starts
// there too.
//
// Input: the image, its ELF header first (the elf_image target's corpus).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "crashes/reporter/async/TLCrashAsyncElf.h"
#include "crashes/reporter/async/TLCrashAsyncSymbols.h"
#include "crashes/reporter/setup/TLCrashImageSetup.h"
#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/MappedImage.h"

using fuzzsupport::Require;

namespace {

bool KnownCode(tlcrash_error_t error) { return error >= TLCRASH_ERR_NONE && error <= TLCRASH_ERR_BADDATA; }

// `table`: the string table, or empty when it is too long to copy.
void Name(const tlcrash_async_image& image, const std::string& table, uint64_t pc) {
    tlcrash_symbol_lookup_result result;
    const tlcrash_error_t error = tlcrash_async_find_symbol(&image, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, pc, &result);
    Require(KnownCode(error), "the lookup ends with a code");
    const std::size_t length = strnlen(result.name, sizeof result.name);
    Require(length < sizeof result.name, "the name ends within its buffer");
    if (error != TLCRASH_ERR_NONE) return;
    Require(length > 0 && result.start_address <= pc, "a name found is of a function at or below the pc");
    Require(table.empty() || table.find(std::string_view(result.name, length)) != std::string::npos,
            "the name comes from the string table");

    // Another symbol of the same address may win there, one without a
    // name too; whatever is named starts there.
    tlcrash_symbol_lookup_result atStart;
    if (tlcrash_async_find_symbol(&image, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, result.start_address, &atStart) ==
        TLCRASH_ERR_NONE) {
        Require(atStart.start_address == result.start_address, "the function's first byte names one starting there");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzsupport::MappedImage mapped(data, size);
    if (mapped.size() == 0) return 0;
    const uint64_t header = mapped.address();
    tlcrash_async_image image;
    if (tlcrash_async_image_init(&image, tlcrash_task_self(), "fuzz.so", header) != TLCRASH_ERR_NONE) return 0;

    tlcrash_symbol_lookup_result result;
    Require(tlcrash_async_find_symbol(&image, 0, header, &result) == TLCRASH_ERR_NOTFOUND &&
                tlcrash_async_find_symbol(&image, TLCRASH_SYMBOLICATION_OBJC, header, &result) == TLCRASH_ERR_NOTFOUND,
            "only the symbol table names anything");
    if (!image.has_dynamic_symbols) {
        Require(tlcrash_async_find_symbol(&image, TLCRASH_SYMBOLICATION_SYMBOL_TABLE, header, &result) ==
                    TLCRASH_ERR_NOTFOUND,
                "an image without symbols names nothing");
        tlcrash_async_image_free(&image);
        return 0;
    }

    // The string table, copied as the crash path reads it: it may lie
    // anywhere the image says, in memory that is readable but no object of
    // this process.
    std::string table;
    const std::size_t tableLength = tlcrash_async_mobject_length(&image.dynamic_names);
    if (tableLength <= fuzzsupport::MappedImage::kMaximumSize) {
        table.resize(tableLength);
        const void* names = tlcrash_async_mobject_remap(
            &image.dynamic_names, tlcrash_async_mobject_base_address(&image.dynamic_names), 0, tableLength);
        Require(names != nullptr, "the string table is readable");
        tlcrash_async_memcpy(table.data(), names, tableLength);
    }

    // Pcs through the code, and at and just past the start of the first
    // symbols, where lookups find something.
    constexpr uint64_t kSteps = 16;
    for (uint64_t i = 0; i < kSteps; ++i) Name(image, table, header + image.text_size / kSteps * i);
    const tlcrash_async_mobject* symbols = &image.dynamic_symbols;
    const uint64_t symtab = tlcrash_async_mobject_base_address(symbols);
    for (uint64_t i = 0; i < image.dynamic_symbol_count && i < 32; ++i) {
        const tlcrash_async_elf_fields entry{
            static_cast<const uint8_t*>(tlcrash_async_mobject_remap(symbols, symtab, i * 24, 24)), image.byteorder};
        const uint64_t address = entry.u64(8) + static_cast<uint64_t>(image.vmaddr_slide);
        Name(image, table, address);
        Name(image, table, address + 1);
    }
    tlcrash_async_image_free(&image);
    return 0;
}
