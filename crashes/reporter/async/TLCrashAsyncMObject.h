#pragma once
// A memory object: a range of a task's memory, validated page by page when
// it is made, with bounds-checked access. The kernel offers no way to map
// another part of the own address space as a private copy, so an object
// holds no copy: it is the range itself, checked to be readable when it was
// made, and it stays valid as long as the range stays mapped (the image
// registry's ranges stay for the life of their image). Only the own task can
// be the task. Async-signal-safe; lives on the caller's stack.

#include "crashes/reporter/async/TLCrashAsync.h"
#include "crashes/reporter/async/TLCrashAsyncTask.h"

struct tlcrash_async_mobject {
    tlcrash_task_t task;
    // The local address of the first requested byte.
    uintptr_t address;
    // The requested start address in the task.
    uint64_t task_address;
    // Usable bytes from `address`: the requested length, or less when only
    // the first pages of the range could be read.
    size_t length;
    // Task address minus local address (0 for the own task).
    int64_t vm_slide;
    // The validated pages.
    uintptr_t vm_address;
    size_t vm_length;
};

// Validates [task_address, task_address + length): with `require_full` every
// page must be readable, else the object covers the readable pages from the
// first on. TLCRASH_ERR_NOMEM when nothing (or, with require_full, not all)
// of the range can be read or the length is 0, TLCRASH_ERR_INVAL when the
// range wraps, TLCRASH_ERR_NOTSUP for another task than the own.
tlcrash_error_t tlcrash_async_mobject_init(tlcrash_async_mobject* mobj, tlcrash_task_t task, uint64_t task_address,
                                           size_t length, bool require_full);

// The local pointer of task address `address + offset`, when `length` bytes
// from there lie within the object; else nullptr.
void* tlcrash_async_mobject_remap(const tlcrash_async_mobject* mobj, uint64_t address, int64_t offset, size_t length);

// Whether `length` bytes at `pointer + offset` lie within the object (wrap
// checked).
bool tlcrash_async_mobject_verify_local_pointer(const tlcrash_async_mobject* mobj, uintptr_t pointer, int64_t offset,
                                                size_t length);

// Reads at task address `address + offset`, converted through `byteorder`:
// TLCRASH_ERR_INVAL when the value does not lie wholly within the object.
tlcrash_error_t tlcrash_async_mobject_read_uint8(const tlcrash_async_mobject* mobj, uint64_t address, int64_t offset,
                                                 uint8_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint16(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint16_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint32(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint32_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint64(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder* byteorder, uint64_t address,
                                                  int64_t offset, uint64_t* result);

inline uint64_t tlcrash_async_mobject_base_address(const tlcrash_async_mobject* mobj) { return mobj->task_address; }
inline size_t tlcrash_async_mobject_length(const tlcrash_async_mobject* mobj) { return mobj->length; }
inline tlcrash_task_t tlcrash_async_mobject_task(const tlcrash_async_mobject* mobj) { return mobj->task; }

// Copies `length` bytes at task address `address + offset`: from `window`
// when it holds them all (no system call), else from the task itself.
// `window` may be null.
tlcrash_error_t tlcrash_async_mobject_read_or_task(const tlcrash_async_mobject* window, tlcrash_task_t task,
                                                   uint64_t address, int64_t offset, void* dest, size_t length);

// Forgets the range; the object may be made again with init.
void tlcrash_async_mobject_free(tlcrash_async_mobject* mobj);
