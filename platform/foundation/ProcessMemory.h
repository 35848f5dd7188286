#pragma once
// How the process's allocator treats memory that is freed.

namespace platform {

// Keeps memory that a screen frees mapped for the next one. By default the
// C library hands the top of a heap back to the system once 128 KiB lie free
// there, and a screen built again then takes a page fault, and the kernel's
// zeroing, for every 4 KiB it touches. Up to 32 MiB per heap is kept; blocks of
// 1 MiB and more are mapped apart (large bitmaps have a pool of their own).
// A heap's top pad stays the library's 128 KiB: at 32 MiB each of the app's
// 15 heaps kept that much of touched pages after its trim (170 to 190 MB
// once a layout of 100,000 elements was closed), for no first frame
// measurably faster.
// Called once at start, before threads allocate.
void keepFreedMemoryMapped();

// Gives the pages of the free memory of every heap back to the system;
// frees no object. For when a large document has gone: what it took stays
// free in the heap that read it, in pieces no trim of a heap's top
// reaches. Takes milliseconds for hundreds of megabytes and holds each heap
// meanwhile: not on the main thread.
void giveFreedMemoryBack();

}  // namespace platform
