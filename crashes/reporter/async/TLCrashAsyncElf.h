#pragma once
// ELF record sizes and a reader of fields copied to the stack, shared by the
// image's readers and its set-up. Async-signal-safe.

#include "crashes/reporter/async/TLCrashAsync.h"

// Program header sizes of 32- and 64-bit images, and a 64-bit symbol's.
constexpr uint32_t TLCRASH_ELF_PHDR_SIZE_32 = 32;
constexpr uint32_t TLCRASH_ELF_PHDR_SIZE_64 = 56;
constexpr size_t TLCRASH_ELF_SYMBOL_SIZE_64 = 24;

// Values of a header copied to the stack, in the image's order.
struct tlcrash_async_elf_fields {
    const uint8_t* bytes;
    const tlcrash_async_byteorder* order;
    template <typename T>
    T value(size_t at) const {
        T raw;
        tlcrash_async_memcpy(&raw, bytes + at, sizeof raw);
        return tlcrash_async_swap(order, raw);
    }
    uint8_t u8(size_t at) const {
        uint8_t raw;
        tlcrash_async_memcpy(&raw, bytes + at, 1);
        return raw;
    }
    uint16_t u16(size_t at) const { return value<uint16_t>(at); }
    uint32_t u32(size_t at) const { return value<uint32_t>(at); }
    uint64_t u64(size_t at) const { return value<uint64_t>(at); }
    // An address-sized field: 8 bytes in 64-bit images, 4 in 32-bit ones.
    uint64_t word(size_t at, bool is64) const { return is64 ? u64(at) : u32(at); }
};
