#pragma once
// The most heap in use while something runs, counted by a hook on the C
// allocator: HeapPeak.cpp replaces glibc's malloc family for the whole
// program (glibc allows that by symbol interposition, and its own calls go
// through them too) and counts the usable size of every live block. Only a
// program that compiles HeapPeak.cpp in carries the hook, never a library
// others link. A sanitizer's runtime replaces the allocator itself: there
// the hook is left out and nothing is counted.

namespace testsupport {

// Whether this program counts its heap.
extern const bool kHeapCounted;

// The most heap in use from its making on, above what was in use then.
class HeapPeak {
public:
    HeapPeak();
    long long bytes() const;

private:
    long long mBefore;
};

}  // namespace testsupport
