#include "engine/drawing/InstructionArena.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kMaxAlignment = alignof(std::max_align_t);

constexpr std::size_t RoundUp(std::size_t bytes) { return (bytes + kMaxAlignment - 1) / kMaxAlignment * kMaxAlignment; }

// The arena object rounded up, so its first block starts fully aligned.
constexpr std::size_t kHeaderBytes = RoundUp(sizeof(CInstructionArena));

constexpr std::size_t kBlockHeader = RoundUp(2 * sizeof(void*));

// Blocks grow from the default first size up to the largest: the sizes of
// the blocks that are kept for later arenas.
constexpr std::size_t kBlockSizes = 9;
static_assert((CInstructionArena::kDefaultFirstBlock << (kBlockSizes - 1)) == CInstructionArena::kLargestBlock);

// The size class of a block of `bytes` (its header included), or
// kBlockSizes for a block of another size (a request of its own).
std::size_t SizeClassOf(std::size_t bytes) {
    for (std::size_t k = 0; k < kBlockSizes; ++k) {
        if (bytes == kBlockHeader + (CInstructionArena::kDefaultFirstBlock << k)) return k;
    }
    return kBlockSizes;
}

// Blocks that arenas gave back, kept for the next ones: a build then writes
// into memory the process already has, where fresh pages would each have to
// be found and cleared by the system (a large layout's content layer takes
// over a hundred megabytes). No more is kept than the arenas alive hold in
// such blocks, so the spare memory goes when the layers go. Made once and never
// destroyed: arenas may go during static destruction.
class CSpareBlocks {
public:
    static CSpareBlocks& Shared() {
        static CSpareBlocks* spare = new CSpareBlocks();
        return *spare;
    }

    // A block of `bytes` (its header included), counted as in use.
    void* Take(std::size_t bytes) {
        const std::size_t sizeClass = SizeClassOf(bytes);
        if (sizeClass == kBlockSizes) return ::operator new(bytes);
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mLiveBytes += bytes;
            std::vector<void*>& spare = mBlocks[sizeClass];
            if (!spare.empty()) {
                void* block = spare.back();
                spare.pop_back();
                mSpareBytes -= bytes;
                return block;
            }
        }
        try {
            return ::operator new(bytes);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mMutex);
            mLiveBytes -= bytes;
            throw;
        }
    }

    // Gives back a block taken with Take.
    void Give(void* block, std::size_t bytes) noexcept {
        const std::size_t sizeClass = SizeClassOf(bytes);
        if (sizeClass != kBlockSizes) {
            std::lock_guard<std::mutex> lock(mMutex);
            mLiveBytes -= bytes;
            std::vector<void*>& spare = mBlocks[sizeClass];
            if (mSpareBytes + bytes <= mLiveBytes && spare.size() < spare.capacity()) {
                spare.push_back(block);
                mSpareBytes += bytes;
                return;
            }
            TrimToLive();
        }
        ::operator delete(block);
    }

private:
    // Frees spare blocks, largest first, until no more is kept than the
    // arenas alive hold: with the last arena gone, nothing is kept.
    void TrimToLive() noexcept {
        for (std::size_t k = kBlockSizes; k-- > 0 && mSpareBytes > mLiveBytes;) {
            const std::size_t bytes = kBlockHeader + (CInstructionArena::kDefaultFirstBlock << k);
            std::vector<void*>& spare = mBlocks[k];
            while (!spare.empty() && mSpareBytes > mLiveBytes) {
                ::operator delete(spare.back());
                spare.pop_back();
                mSpareBytes -= bytes;
            }
        }
    }

    // Room for the spare lists is made once, so that giving back never
    // allocates: 4 GiB of the largest blocks, 256 of each smaller size.
    CSpareBlocks() {
        for (std::size_t k = 0; k < kBlockSizes; ++k) mBlocks[k].reserve(k + 1 == kBlockSizes ? 4096 : 256);
    }

    std::mutex mMutex;
    std::array<std::vector<void*>, kBlockSizes> mBlocks;
    std::size_t mSpareBytes = 0;
    std::size_t mLiveBytes = 0;
};

std::atomic<std::size_t> gAlive{0};

}  // namespace

CInstructionArenaRef CInstructionArena::Create(std::size_t firstBlockBytes) {
    void* memory = ::operator new(kHeaderBytes + firstBlockBytes);
    return CInstructionArenaRef(::new (memory) CInstructionArena(firstBlockBytes));
}

CInstructionArena::CInstructionArena(std::size_t firstBlockBytes)
    : mNextBlockBytes(std::clamp(2 * firstBlockBytes, kDefaultFirstBlock, kLargestBlock)),
      mBlockBytes(firstBlockBytes) {
    mCursor = reinterpret_cast<std::uintptr_t>(this) + kHeaderBytes;
    mEnd = mCursor + firstBlockBytes;
    gAlive.fetch_add(1, std::memory_order_relaxed);
}

std::size_t CInstructionArena::CountAlive() noexcept { return gAlive.load(std::memory_order_relaxed); }

CInstructionArena::~CInstructionArena() {
    while (mBlocks != nullptr) {
        tBlock* block = mBlocks;
        mBlocks = block->next;
        CSpareBlocks::Shared().Give(block, block->bytes);
    }
    gAlive.fetch_sub(1, std::memory_order_relaxed);
}

void CInstructionArena::Destroy() noexcept {
    this->~CInstructionArena();
    ::operator delete(static_cast<void*>(this));
}

void* CInstructionArena::AllocateInNewBlock(std::size_t size, std::size_t alignment) {
    static_assert(sizeof(tBlock) <= kBlockHeader);
    if (size > std::numeric_limits<std::size_t>::max() - kBlockHeader - alignment) throw std::bad_alloc();
    // A request larger than the next block gets a block of its own and
    // leaves the current block to go on with.
    const bool own = size + alignment > mNextBlockBytes;
    const std::size_t bytes = kBlockHeader + (own ? size + alignment : mNextBlockBytes);
    void* memory = CSpareBlocks::Shared().Take(bytes);
    auto* block = static_cast<tBlock*>(memory);
    block->next = mBlocks;
    block->bytes = bytes;
    mBlocks = block;
    mBlockBytes += bytes - kBlockHeader;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block) + kBlockHeader;
    const std::uintptr_t at = (start + (alignment - 1)) & ~std::uintptr_t(alignment - 1);
    if (!own) {
        mCursor = at + size;
        mEnd = reinterpret_cast<std::uintptr_t>(block) + bytes;
        mNextBlockBytes = std::min(2 * mNextBlockBytes, kLargestBlock);
    }
    return reinterpret_cast<void*>(at);
}

std::string_view CInstructionArena::CopyText(std::string_view text) {
    if (text.empty()) return {};
    char* copy = static_cast<char*>(Allocate(text.size(), 1));
    std::memcpy(copy, text.data(), text.size());
    return {copy, text.size()};
}
