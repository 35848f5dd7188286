#pragma once
// CInstructionArena: memory for the drawing instructions of one build (a
// render layer's list, say) and for what they keep: their path steps and
// the record of the element they were made for. It takes memory from the
// heap in blocks and gives it back all at once, so a build of hundreds of
// thousands of instructions costs a few hundred allocations instead of two
// or three per instruction, and each instruction lies next to its steps.
//
// Ownership does not change: whoever owns an instruction deletes it as
// ever, in any order and on any thread (a render layer on its release
// queue, a test by hand). The arena counts what refers to it (every
// instruction made in it, every CInstructionArenaRef, every instruction
// elsewhere that shares an owner record kept in it) and frees its blocks
// when the last of them lets go.
//
// Making things in an arena (Allocate, CopyText, instructions made in it
// and owner records set on them) is for one thread at a time; letting go
// (Release, deleting an instruction) is safe from any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

class CInstructionArenaRef;

class CInstructionArena {
public:
    // A new, empty arena whose first block holds at least `firstBlockBytes`;
    // the arena itself and that block are one allocation.
    static CInstructionArenaRef Create(std::size_t firstBlockBytes = kDefaultFirstBlock);

    CInstructionArena(const CInstructionArena&) = delete;
    CInstructionArena& operator=(const CInstructionArena&) = delete;

    // `size` bytes aligned to `alignment` (a power of two, at most that of
    // std::max_align_t). Never null: throws std::bad_alloc. The memory stays
    // until the arena goes.
    void* Allocate(std::size_t size, std::size_t alignment) {
        const std::uintptr_t at = (mCursor + (alignment - 1)) & ~std::uintptr_t(alignment - 1);
        if (at < mCursor || at > mEnd || size > mEnd - at) return AllocateInNewBlock(size, alignment);
        mCursor = at + size;
        return reinterpret_cast<void*>(at);
    }

    // A copy of `text` kept in the arena.
    std::string_view CopyText(std::string_view text);

    void Retain() noexcept { mHolds.fetch_add(1, std::memory_order_relaxed); }
    // The last release frees the arena and everything in it.
    void Release() noexcept {
        if (mHolds.fetch_sub(1, std::memory_order_acq_rel) == 1) Destroy();
    }

    // Bytes of all blocks taken so far.
    std::size_t BlockBytes() const noexcept { return mBlockBytes; }
    // Arenas of the process not yet freed (for tests and leak checks).
    static std::size_t CountAlive() noexcept;

    static constexpr std::size_t kDefaultFirstBlock = 4096;
    // Blocks double up to this size; a larger request gets a block of its
    // own. When an arena goes, its blocks (but such own ones) are kept for
    // later arenas, no more than the arenas alive hold.
    static constexpr std::size_t kLargestBlock = std::size_t{1} << 20;

private:
    struct tBlock {
        tBlock* next;
        // Of the whole allocation, this header included.
        std::size_t bytes;
    };

    explicit CInstructionArena(std::size_t firstBlockBytes);
    ~CInstructionArena();

    void* AllocateInNewBlock(std::size_t size, std::size_t alignment);
    void Destroy() noexcept;

    std::atomic<std::size_t> mHolds{1};
    std::uintptr_t mCursor = 0;
    std::uintptr_t mEnd = 0;
    // Blocks after the first, newest first.
    tBlock* mBlocks = nullptr;
    std::size_t mNextBlockBytes;
    std::size_t mBlockBytes;
};

// A counted reference to an arena; null when default-made.
class CInstructionArenaRef {
public:
    CInstructionArenaRef() = default;
    CInstructionArenaRef(const CInstructionArenaRef& other) noexcept : mArena(other.mArena) {
        if (mArena != nullptr) mArena->Retain();
    }
    CInstructionArenaRef(CInstructionArenaRef&& other) noexcept : mArena(other.mArena) { other.mArena = nullptr; }
    CInstructionArenaRef& operator=(CInstructionArenaRef other) noexcept {
        std::swap(mArena, other.mArena);
        return *this;
    }
    ~CInstructionArenaRef() {
        if (mArena != nullptr) mArena->Release();
    }

    CInstructionArena* get() const noexcept { return mArena; }
    CInstructionArena& operator*() const noexcept { return *mArena; }
    CInstructionArena* operator->() const noexcept { return mArena; }
    explicit operator bool() const noexcept { return mArena != nullptr; }

private:
    friend class CInstructionArena;
    // Takes over a hold the caller already has.
    explicit CInstructionArenaRef(CInstructionArena* arena) noexcept : mArena(arena) {}

    CInstructionArena* mArena = nullptr;
};

// A standard allocator over an arena, or over the heap when made without
// one. Memory taken from an arena is never given back one piece at a time:
// a container using it must not outlive whatever holds the arena (an
// instruction's steps live and die with the instruction). A copy of such a
// container lives on the heap.
template <typename T>
class CInstructionArenaAllocator {
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using propagate_on_container_copy_assignment = std::false_type;
    using is_always_equal = std::false_type;

    CInstructionArenaAllocator() noexcept = default;
    explicit CInstructionArenaAllocator(CInstructionArena* arena) noexcept : mArena(arena) {}
    template <typename U>
    CInstructionArenaAllocator(const CInstructionArenaAllocator<U>& other) noexcept : mArena(other.arena()) {}

    T* allocate(std::size_t n) {
        if (mArena == nullptr) return std::allocator<T>().allocate(n);
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(mArena->Allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* pointer, std::size_t n) noexcept {
        if (mArena == nullptr) std::allocator<T>().deallocate(pointer, n);
    }

    CInstructionArenaAllocator select_on_container_copy_construction() const noexcept {
        return CInstructionArenaAllocator();
    }

    CInstructionArena* arena() const noexcept { return mArena; }

    template <typename U>
    bool operator==(const CInstructionArenaAllocator<U>& other) const noexcept {
        return mArena == other.arena();
    }

private:
    CInstructionArena* mArena = nullptr;
};
