#include "crashes/reporter/async/TLCrashAsyncSymbols.h"

namespace {

constexpr int64_t kDtNull = 0, kDtHash = 4, kDtStrtab = 5, kDtSymtab = 6, kDtStrsz = 10, kDtGnuHash = 0x6FFFFEF5;
constexpr size_t kSymbolSize = 24;
constexpr uint8_t kSttFunc = 2, kSttGnuIfunc = 10;

struct DynamicTables {
    uint64_t symtab = 0, strtab = 0, strsz = 0, hash = 0, gnuHash = 0;
};

// The loader relocates the dynamic section's addresses in place for most
// objects but not for read-only ones (the vDSO): an address outside the
// image is still a link-time one.
uint64_t runtimeAddress(const tlcrash_async_image* image, uint64_t value) {
    if (value >= image->header_addr && value - image->header_addr < image->text_size) return value;
    return value + static_cast<uint64_t>(image->vmaddr_slide);
}

// Validated once; read in place after that (one system call, not one a
// value).
template <typename T>
const T* mapArray(tlcrash_task_t task, uint64_t address, uint64_t count, tlcrash_async_mobject* mobj) {
    if (count == 0 || count > (uint64_t{1} << 32) ||
        tlcrash_async_mobject_init(mobj, task, address, count * sizeof(T), true) != TLCRASH_ERR_NONE) {
        return nullptr;
    }
    return static_cast<const T*>(tlcrash_async_mobject_remap(mobj, address, 0, count * sizeof(T)));
}

bool readDynamic(const tlcrash_async_image* image, DynamicTables* tables) {
    tlcrash_async_phdr dynamic;
    if (tlcrash_async_image_find_phdr(image, TLCRASH_PT_DYNAMIC, &dynamic) < 0) return false;
    tlcrash_async_mobject mobj;
    const auto* entries = mapArray<uint64_t>(image->task, dynamic.vaddr + static_cast<uint64_t>(image->vmaddr_slide),
                                             dynamic.memsz / 16 * 2, &mobj);
    if (entries == nullptr) return false;
    for (uint64_t i = 0; i + 1 < dynamic.memsz / 8; i += 2) {
        const auto tag = static_cast<int64_t>(entries[i]);
        const uint64_t value = entries[i + 1];
        if (tag == kDtNull) break;
        if (tag == kDtSymtab) tables->symtab = runtimeAddress(image, value);
        if (tag == kDtStrtab) tables->strtab = runtimeAddress(image, value);
        if (tag == kDtStrsz) tables->strsz = value;
        if (tag == kDtHash) tables->hash = runtimeAddress(image, value);
        if (tag == kDtGnuHash) tables->gnuHash = runtimeAddress(image, value);
    }
    return tables->symtab != 0 && tables->strtab != 0;
}

// The number of dynamic symbols, from either hash table.
bool symbolCount(const tlcrash_async_image* image, const DynamicTables& tables, uint64_t* count) {
    const tlcrash_task_t task = image->task;
    tlcrash_async_mobject mobj;
    if (tables.hash != 0) {
        const uint32_t* head = mapArray<uint32_t>(task, tables.hash, 2, &mobj);
        if (head == nullptr) return false;
        *count = head[1];
        return true;
    }
    if (tables.gnuHash == 0) return false;
    const uint32_t* head = mapArray<uint32_t>(task, tables.gnuHash, 4, &mobj);
    if (head == nullptr) return false;
    const uint32_t buckets = head[0], symoffset = head[1], bloomWords = head[2];
    const uint64_t bucketsAt = tables.gnuHash + 16 + uint64_t{bloomWords} * 8;
    const uint32_t* bucket = mapArray<uint32_t>(task, bucketsAt, buckets, &mobj);
    if (bucket == nullptr) return false;
    uint32_t last = 0;
    for (uint32_t i = 0; i < buckets; ++i) last = bucket[i] > last ? bucket[i] : last;
    if (last < symoffset) {
        *count = symoffset;
        return true;
    }
    // The chain of the highest bucket ends at the last symbol; the chains
    // run to the end of the readable memory at most.
    const uint64_t chainsAt = bucketsAt + uint64_t{buckets} * 4 + uint64_t{last - symoffset} * 4;
    if (tlcrash_async_mobject_init(&mobj, task, chainsAt, 1 << 20, false) != TLCRASH_ERR_NONE) return false;
    const auto* chain = static_cast<const uint32_t*>(tlcrash_async_mobject_remap(&mobj, chainsAt, 0, 4));
    for (uint64_t i = 0; chain != nullptr && (i + 1) * 4 <= tlcrash_async_mobject_length(&mobj); ++i) {
        if ((chain[i] & 1) != 0) {
            *count = uint64_t{last} + i + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

void tlcrash_async_image_find_dynamic_symbols(tlcrash_async_image* image) {
    image->has_dynamic_symbols = false;
    DynamicTables tables;
    uint64_t count;
    if (!image->is_64 || !readDynamic(image, &tables) || !symbolCount(image, tables, &count) || count == 0 ||
        tables.strsz == 0 || count > (uint64_t{1} << 24)) {
        return;
    }
    if (tlcrash_async_mobject_init(&image->dynamic_symbols, image->task, tables.symtab, count * kSymbolSize, true) !=
            TLCRASH_ERR_NONE ||
        tlcrash_async_mobject_init(&image->dynamic_names, image->task, tables.strtab, tables.strsz, true) !=
            TLCRASH_ERR_NONE) {
        return;
    }
    image->dynamic_symbol_count = count;
    image->has_dynamic_symbols = true;
}

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
        const auto* entry =
            static_cast<const uint8_t*>(tlcrash_async_mobject_remap(symbols, symtab, i * kSymbolSize, kSymbolSize));
        if (entry == nullptr) return TLCRASH_ERR_INVAL;
        const uint8_t type = entry[4] & 0xF;
        uint16_t section;
        uint64_t value;
        tlcrash_async_memcpy(&section, entry + 6, 2);
        tlcrash_async_memcpy(&value, entry + 8, 8);
        if ((type != kSttFunc && type != kSttGnuIfunc) || section == 0 || value == 0) continue;
        const uint64_t address = value + static_cast<uint64_t>(image->vmaddr_slide);
        if (address > pc || (found && address <= result->start_address)) continue;
        // A function of known size that ends before pc is not the one: pc
        // lies in code without an exported name (a local function, or the
        // cold part of one).
        uint64_t size;
        tlcrash_async_memcpy(&size, entry + 16, 8);
        if (size != 0 && pc - address >= size) continue;
        found = true;
        result->start_address = address;
        tlcrash_async_memcpy(&nameIndex, entry, 4);
    }
    if (!found) return TLCRASH_ERR_NOTFOUND;

    // The name, cut to the buffer.
    const tlcrash_async_mobject* names = &image->dynamic_names;
    const uint64_t strtab = tlcrash_async_mobject_base_address(names);
    const size_t available = tlcrash_async_mobject_length(names);
    if (nameIndex >= available) return TLCRASH_ERR_INVAL;
    const auto* text = static_cast<const char*>(tlcrash_async_mobject_remap(names, strtab, nameIndex, 1));
    size_t length = 0;
    while (text != nullptr && length + 1 < sizeof result->name && nameIndex + length < available &&
           text[length] != '\0') {
        result->name[length] = text[length];
        ++length;
    }
    result->name[length] = '\0';
    return length > 0 ? TLCRASH_ERR_NONE : TLCRASH_ERR_NOTFOUND;
}
