#include "crashes/reporter/async/TLCrashAsyncMObject.h"

tlcrash_error_t tlcrash_async_mobject_init(tlcrash_async_mobject* mobj, tlcrash_task_t task, uint64_t task_address,
                                           size_t length, bool require_full) {
    if (task != tlcrash_task_self()) return TLCRASH_ERR_NOTSUP;
    if (length == 0) return TLCRASH_ERR_NOMEM;
    uint64_t end;
    if (__builtin_add_overflow(task_address, length, &end)) return TLCRASH_ERR_INVAL;

    const uint64_t pageSize = tlcrash_async_page_size();
    const uint64_t start = task_address - task_address % pageSize;
    const uint64_t pageEnd = end % pageSize == 0 ? end : end - end % pageSize + pageSize;
    // The last page of the address space ends at 2^64, which wraps to 0.
    const uint64_t total = pageEnd == 0 ? 0 - start : pageEnd - start;
    const size_t pages = total / pageSize;

    const size_t readable = tlcrash_async_readable_pages(task, start, pages);
    if (readable == 0 || (require_full && readable < pages)) return TLCRASH_ERR_NOMEM;
    const uint64_t mapped = readable * pageSize;
    const uint64_t lead = task_address - start;
    if (mapped <= lead) return TLCRASH_ERR_NOMEM;

    mobj->task = task;
    mobj->address = static_cast<uintptr_t>(task_address);
    mobj->task_address = task_address;
    mobj->length = static_cast<size_t>(mapped - lead < length ? mapped - lead : length);
    mobj->vm_slide = 0;
    mobj->vm_address = static_cast<uintptr_t>(start);
    mobj->vm_length = static_cast<size_t>(mapped);
    return TLCRASH_ERR_NONE;
}

bool tlcrash_async_mobject_verify_local_pointer(const tlcrash_async_mobject* mobj, uintptr_t pointer, int64_t offset,
                                                size_t length) {
    uint64_t start;
    if (!tlcrash_async_offset_address(pointer, offset, &start)) return false;
    uint64_t end;
    if (__builtin_add_overflow(start, length, &end)) return false;
    return start >= mobj->address && end <= mobj->address + mobj->length;
}

void* tlcrash_async_mobject_remap(const tlcrash_async_mobject* mobj, uint64_t address, int64_t offset, size_t length) {
    // Local = task address minus the slide; with the own task they agree.
    uint64_t local;
    if (!tlcrash_async_offset_address(address, -mobj->vm_slide, &local)) return nullptr;
    if (!tlcrash_async_mobject_verify_local_pointer(mobj, static_cast<uintptr_t>(local), offset, length)) {
        return nullptr;
    }
    return reinterpret_cast<void*>(static_cast<uintptr_t>(local + offset));
}

namespace {

// Copies `size` bytes at task address `address + offset` when they lie in the
// object; a local address of 0 is refused too.
tlcrash_error_t readBytes(const tlcrash_async_mobject* mobj, uint64_t address, int64_t offset, void* dest,
                          size_t size) {
    const void* source = tlcrash_async_mobject_remap(mobj, address, offset, size);
    if (source == nullptr) return TLCRASH_ERR_INVAL;
    tlcrash_async_memcpy(dest, source, size);
    return TLCRASH_ERR_NONE;
}

template <typename T>
tlcrash_error_t readValue(const tlcrash_async_mobject* mobj, const tlcrash_async_byteorder* byteorder, uint64_t address,
                          int64_t offset, T* result) {
    T raw;
    const tlcrash_error_t error = readBytes(mobj, address, offset, &raw, sizeof raw);
    if (error == TLCRASH_ERR_NONE) *result = tlcrash_async_swap(byteorder, raw);
    return error;
}

}  // namespace

tlcrash_error_t tlcrash_async_mobject_read_uint8(const tlcrash_async_mobject* mobj, uint64_t address, int64_t offset,
                                                 uint8_t* result) {
    return readBytes(mobj, address, offset, result, sizeof *result);
}

tlcrash_error_t tlcrash_async_mobject_read_uint16(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint16_t* result) {
    return readValue(mobj, byteorder, address, offset, result);
}

tlcrash_error_t tlcrash_async_mobject_read_uint32(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint32_t* result) {
    return readValue(mobj, byteorder, address, offset, result);
}

tlcrash_error_t tlcrash_async_mobject_read_uint64(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint64_t* result) {
    return readValue(mobj, byteorder, address, offset, result);
}

tlcrash_error_t tlcrash_async_mobject_read_or_task(const tlcrash_async_mobject* window, tlcrash_task_t task,
                                                   uint64_t address, int64_t offset, void* dest, size_t length) {
    if (window != nullptr && window->task == task) {
        const void* source = tlcrash_async_mobject_remap(window, address, offset, length);
        if (source != nullptr) {
            tlcrash_async_memcpy(dest, source, length);
            return TLCRASH_ERR_NONE;
        }
    }
    return tlcrash_async_read_task_memory(task, address, offset, dest, length);
}

void tlcrash_async_mobject_free(tlcrash_async_mobject* mobj) { tlcrash_async_memset(mobj, 0, sizeof *mobj); }
