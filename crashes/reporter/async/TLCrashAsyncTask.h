#pragma once
// Reads of a process's memory that report a bad address as a code instead of
// faulting. The task is a process id; the crash reporter reads its own
// process. Async-signal-safe.

#include "crashes/reporter/async/TLCrashAsync.h"

#include <sys/types.h>

typedef pid_t tlcrash_task_t;
typedef pid_t tlcrash_thread_t;

// The own process.
tlcrash_task_t tlcrash_task_self();
// The kernel's id of the calling thread.
tlcrash_thread_t tlcrash_current_thread_port();

// Copies `length` bytes from task address `address + offset` to `dest`:
// TLCRASH_ERR_NOMEM when the sum wraps, TLCRASH_ERR_NOTFOUND when any byte
// of the range cannot be read (the kernel does not tell an unmapped page from
// one without read access), TLCRASH_ERR_NOTSUP when the kernel refuses the
// read of another process, TLCRASH_ERR_UNKNOWN for any other failure. Reads go
// through process_vm_readv; where the kernel refuses that call for the own
// process (EPERM, ENOSYS, as some sandboxes do) they go through a pipe. On
// failure `dest` may hold part of the range.
tlcrash_error_t tlcrash_async_read_task_memory(tlcrash_task_t task, uint64_t address, int64_t offset, void* dest,
                                               size_t length);

// A 4- or 8-byte task read converted through `byteorder`; the copy's code.
tlcrash_error_t tlcrash_async_read_task_uint32(tlcrash_task_t task, const tlcrash_async_byteorder* byteorder,
                                               uint64_t address, int64_t offset, uint32_t* result);
tlcrash_error_t tlcrash_async_read_task_uint64(tlcrash_task_t task, const tlcrash_async_byteorder* byteorder,
                                               uint64_t address, int64_t offset, uint64_t* result);

// How many of the `pages` pages that begin at the page-aligned `address` can
// be read, counting from the first up to the first that cannot. Used by memory
// objects to validate a range.
size_t tlcrash_async_readable_pages(tlcrash_task_t task, uint64_t address, size_t pages);

// The system's page size, read once.
size_t tlcrash_async_page_size();

namespace tlcrash_detail {

// The two ways to read the own process, callable apart so that each can be
// tested: the number of bytes copied before the first unreadable one, or -1
// with errno when the call itself is refused.
ssize_t readWithVmReadv(tlcrash_task_t task, uint64_t address, void* dest, size_t length);
ssize_t readThroughPipe(uint64_t address, void* dest, size_t length);

}  // namespace tlcrash_detail
