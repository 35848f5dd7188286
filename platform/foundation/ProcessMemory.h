#pragma once
// How the process's allocator treats memory that is freed.

namespace platform {

// Keeps memory that a screen frees mapped for the next one. By default the
// C library hands the top of a heap back to the system once 128 KiB lie free
// there, and a screen built again then takes a page fault, and the kernel's
// zeroing, for every 4 KiB it touches. Up to 32 MiB per heap is kept; blocks of
// 1 MiB and more are mapped apart (large bitmaps have a pool of their own).
// A new heap of a thread is made writable for its first 32 MiB at once
// rather than page by page as it grows: each page was a call into the
// kernel that held up the page faults of all other threads (36,000 calls
// in opening a layout of 100,000 elements). Pages are still made only where
// they are touched.
// Called once at start, before threads allocate.
void keepFreedMemoryMapped();

}  // namespace platform
