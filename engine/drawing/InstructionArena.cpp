#include "engine/drawing/InstructionArena.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kMaxAlignment = alignof(std::max_align_t);

constexpr std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kMaxAlignment - 1) / kMaxAlignment * kMaxAlignment;
}

// The arena object rounded up, so its first block starts fully aligned.
constexpr std::size_t kHeaderBytes = RoundUp(sizeof(CInstructionArena));

// Blocks of the largest size that arenas gave back, kept for the next ones:
// a build then writes into memory the process already has, where fresh
// pages would each have to be found and cleared by the system (a large
// layout's content layer takes some 180 MB, and rebuilding it from fresh
// pages took twice as long as the build itself). No more is kept than the
// arenas alive hold in such blocks, so the spare memory goes when the
// layers go. Made once and never destroyed: arenas may go during static
// destruction.
class CSpareBlocks {
public:
    static CSpareBlocks& Shared() {
        static CSpareBlocks* spare = new CSpareBlocks();
        return *spare;
    }

    // A block of kLargestBlock bytes (after its header), counted as in use.
    void* Take(std::size_t bytes) {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mLiveBytes += bytes;
            if (!mBlocks.empty()) {
                void* block = mBlocks.back();
                mBlocks.pop_back();
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

    // Gives back blocks taken with Take.
    void Give(void* const* blocks, std::size_t count, std::size_t bytes) noexcept {
        std::size_t kept = 0;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mLiveBytes -= count * bytes;
            while (kept < count && (mBlocks.size() + 1) * bytes <= mLiveBytes &&
                   mBlocks.size() < mBlocks.capacity()) {
                mBlocks.push_back(blocks[kept++]);
            }
        }
        for (std::size_t i = kept; i < count; ++i) ::operator delete(blocks[i]);
    }

private:
    // Room for the spare list is made once, so that giving back never
    // allocates: enough for 4 GiB of blocks.
    CSpareBlocks() { mBlocks.reserve(4096); }

    std::mutex mMutex;
    std::vector<void*> mBlocks;
    std::size_t mLiveBytes = 0;
};

constexpr std::size_t kBlockHeader = RoundUp(2 * sizeof(void*));

std::atomic<std::size_t> gAlive{0};
constexpr std::size_t kSpareBlockBytes = kBlockHeader + CInstructionArena::kLargestBlock;

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

std::size_t CInstructionArena::CountAlive() noexcept {
    return gAlive.load(std::memory_order_relaxed);
}

CInstructionArena::~CInstructionArena() {
    // Blocks of the largest size go back to the spare list together.
    void* spare[64];
    std::size_t spareCount = 0;
    while (mBlocks != nullptr) {
        tBlock* block = mBlocks;
        mBlocks = block->next;
        if (block->bytes == kSpareBlockBytes) {
            spare[spareCount++] = block;
            if (spareCount == std::size(spare)) {
                CSpareBlocks::Shared().Give(spare, spareCount, kSpareBlockBytes);
                spareCount = 0;
            }
        } else {
            ::operator delete(block);
        }
    }
    CSpareBlocks::Shared().Give(spare, spareCount, kSpareBlockBytes);
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
    void* memory = bytes == kSpareBlockBytes ? CSpareBlocks::Shared().Take(bytes) : ::operator new(bytes);
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
