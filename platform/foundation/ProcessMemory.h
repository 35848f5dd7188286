#pragma once
// What the process's allocator does with memory that is freed.
//
// The app and its benchmarks are linked with jemalloc (the build's
// platform_allocator; settings in allocator/AllocatorSettings.cpp): a few
// arenas shared by all threads, each given its address space ahead and
// keeping what it grows, and pages freed go back to the system a second after they were last used, on
// the allocator's own thread. Each thread keeps a few blocks it freed, up to
// 768 KiB, for its next requests; a queue's thread that sleeps a second
// gives them back. The sanitizer builds, and tests that do not
// link it, run on the C library's allocator.

#include <chrono>
#include <memory>

namespace platform {

// Gives the pages of every heap's free memory back to the system at once;
// frees no object. For when a large document has gone: otherwise its pages
// go back over the next second. Holds each arena meanwhile: not on the main
// thread.
void giveFreedMemoryBack();

// While one lives, pages freed stay with the arenas instead of going back
// after their second: for work that frees and takes hundreds of megabytes
// on several threads while frames run (the share picture of a large
// layout), whose pages would otherwise be given back and faulted in again.
// The last to go gives every arena's free pages back at once, as
// giveFreedMemoryBack does: not on the main thread. Nothing on the C
// library's allocator.
class FreedPagesHeld {
public:
    FreedPagesHeld();
    ~FreedPagesHeld();
    FreedPagesHeld(const FreedPagesHeld&) = delete;
    FreedPagesHeld& operator=(const FreedPagesHeld&) = delete;
};

// A hold shared by the blocks of one piece of work, whichever thread drops
// the last of them (the main thread too, when the work is called off): it
// is let go on a background queue, `linger` after it was dropped, so that
// work of the same kind coming again meanwhile (the next share) finds the
// pages still there.
std::shared_ptr<FreedPagesHeld> holdFreedPages(std::chrono::milliseconds linger = {});

}  // namespace platform
