#include "crashes/reporter/async/TLCrashAsyncSymbols.h"

#include "crashes/reporter/async/TLCrashAsyncElf.h"

namespace {

constexpr uint8_t kSttFunc = 2, kSttGnuIfunc = 10;

}  // namespace

tlcrash_error_t tlcrash_async_find_objc_method(const tlcrash_async_image*, uint64_t, tlcrash_symbol_lookup_result*) {
    return TLCRASH_ERR_NOTFOUND;
}

tlcrash_error_t tlcrash_async_find_symbol(const tlcrash_async_image* image, uint32_t strategy, uint64_t pc,
                                          tlcrash_symbol_lookup_result* result) {
    result->name[0] = '\0';
    result->start_address = 0;
    if ((strategy & TLCRASH_SYMBOLICATION_SYMBOL_TABLE) == 0 || !image->has_dynamic_symbols) {
        return (strategy & TLCRASH_SYMBOLICATION_OBJC) != 0 ? tlcrash_async_find_objc_method(image, pc, result)
                                                            : TLCRASH_ERR_NOTFOUND;
    }
    const tlcrash_async_mobject* symbols = &image->dynamic_symbols;
    const uint64_t symtab = tlcrash_async_mobject_base_address(symbols);
    bool found = false;
    uint32_t nameIndex = 0;
    for (uint64_t i = 0; i < image->dynamic_symbol_count; ++i) {
        const tlcrash_async_elf_fields entry{
            static_cast<const uint8_t*>(tlcrash_async_mobject_remap(symbols, symtab, i * TLCRASH_ELF_SYMBOL_SIZE_64,
                                                                    TLCRASH_ELF_SYMBOL_SIZE_64)),
            image->byteorder};
        if (entry.bytes == nullptr) return TLCRASH_ERR_INVAL;
        const uint8_t type = entry.u8(4) & 0xF;
        const uint16_t section = entry.u16(6);
        const uint64_t value = entry.u64(8);
        if ((type != kSttFunc && type != kSttGnuIfunc) || section == 0 || value == 0) continue;
        const uint64_t address = value + static_cast<uint64_t>(image->vmaddr_slide);
        if (address > pc || (found && address <= result->start_address)) continue;
        // A function of known size that ends before pc is not the one: pc
        // lies in code without an exported name (a local function, or the
        // cold part of one).
        const uint64_t size = entry.u64(16);
        if (size != 0 && pc - address >= size) continue;
        found = true;
        result->start_address = address;
        nameIndex = entry.u32(0);
    }
    if (!found) return TLCRASH_ERR_NOTFOUND;

    // The name, cut to the buffer.
    const tlcrash_async_mobject* names = &image->dynamic_names;
    const uint64_t strtab = tlcrash_async_mobject_base_address(names);
    const size_t available = tlcrash_async_mobject_length(names);
    if (nameIndex >= available) return TLCRASH_ERR_INVAL;
    const size_t room =
        available - nameIndex < sizeof result->name - 1 ? available - nameIndex : sizeof result->name - 1;
    const void* text = tlcrash_async_mobject_remap(names, strtab, nameIndex, room);
    if (text == nullptr) return TLCRASH_ERR_NOTFOUND;
    tlcrash_async_memcpy(result->name, text, room);
    size_t length = 0;
    while (length < room && result->name[length] != '\0') ++length;
    result->name[length] = '\0';
    return length > 0 ? TLCRASH_ERR_NONE : TLCRASH_ERR_NOTFOUND;
}
