#pragma once
// How the process's allocator treats memory that is freed, and how its
// heaps grow.

#include <cstddef>

namespace platform {

// Keeps memory that a screen frees mapped for the next one. By default the
// C library hands the top of a heap back to the system once 128 KiB lie free
// there, and a screen built again then takes a page fault, and the kernel's
// zeroing, for every 4 KiB it touches. Up to 32 MiB per heap is kept; blocks of
// 1 MiB and more are mapped apart (large bitmaps have a pool of their own).
// A heap's top pad is the C library's 128 KiB outside a HeapGrowthAhead:
// at 32 MiB each of the app's 15 heaps kept that much of touched pages
// after its trim (170 to 190 MB once a layout of 100,000 elements was
// closed).
// Called once at start, before threads allocate.
void keepFreedMemoryMapped();

// Gives the pages of the free memory of every heap back to the system;
// frees no object. For when a large document has gone: what it took stays
// free in the heap that read it, in pieces no trim of a heap's top
// reaches. Takes milliseconds for hundreds of megabytes and holds each heap
// meanwhile: not on the main thread.
void giveFreedMemoryBack();

// While one lasts, the heaps grow in large steps: the top pad is
// kLargeTopPad, so the main heap moves its break 32 MiB at a time and a
// thread's new heap is made writable that far at once. Every step is an
// mmap, mprotect or brk that holds the process's address space for
// writing, and meanwhile every other thread's page fault in that heap
// waits: in small steps the tile threads of a first frame waited hundreds
// of times. Only address space is taken ahead, not pages; but a heap's trim
// leaves the pad touched, so the pad goes back to kSmallTopPad as the last
// one ends. Any thread; any number may overlap. Move-only.
class HeapGrowthAhead {
public:
    static constexpr std::size_t kLargeTopPad = std::size_t{32} << 20;
    static constexpr std::size_t kSmallTopPad = std::size_t{128} << 10;

    HeapGrowthAhead();
    ~HeapGrowthAhead();
    HeapGrowthAhead(HeapGrowthAhead&& other) noexcept;
    HeapGrowthAhead& operator=(HeapGrowthAhead&& other) noexcept;
    HeapGrowthAhead(const HeapGrowthAhead&) = delete;
    HeapGrowthAhead& operator=(const HeapGrowthAhead&) = delete;

    // The top pad set now: kLargeTopPad while any lasts, else kSmallTopPad.
    static std::size_t currentTopPad();

private:
    bool mHeld = true;
};

}  // namespace platform
