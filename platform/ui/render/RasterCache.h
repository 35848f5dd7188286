#pragma once
// The rasters a window keeps between frames: what the compositor keeps of
// its layers (drawn content, shadows, clipped wholes) and the tiles a view
// keeps of a large picture. One byte budget covers them all, so a big
// layout's tiles and the screen's kept layers make room for each other
// instead of growing apart; the least recently used go first.
//
// Main thread only. Pool jobs never see the cache: they draw into images of
// their own, which the main thread stores when they are done.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::ui {

// What a raster belongs to (Layer::identifier() of its layer, or of the
// layer a view shows its picture on), which of its rasters it is, and which
// piece of that (a tile's level, column and row packed; 0 for a whole).
struct RasterKey {
    std::uint64_t owner = 0;
    std::uint32_t kind = 0;
    std::uint64_t part = 0;
    friend bool operator==(const RasterKey&, const RasterKey&) = default;
};

// Kinds: each user of the cache takes its own.
enum RasterKind : std::uint32_t {
    kRasterContent = 1,
    kRasterShadow = 2,
    kRasterWhole = 3,
    // A shadow path's shadow, owned by a digest of what it is made of and
    // shared by the layers that show it; left to the budget.
    kRasterShadowShape = 4,
    kRasterTile = 16,
};

struct RasterKeyHash {
    std::size_t operator()(const RasterKey& key) const noexcept;
};

struct RasterEntry {
    std::shared_ptr<Image> image;
    Rect rect;                  // where it goes, in its owner's points
    double scale = 0;           // pixels per point it was drawn at
    std::uint64_t version = 0;  // what the owner was when it was drawn
    std::uint64_t source = 0;   // a digest of what else it was drawn from
};

class RasterCache {
public:
    // Where an entry was found, kept by a caller that looks the same key up
    // every frame: the next find goes straight to it, without hashing, for
    // as long as that entry stays.
    class Handle {
        friend class RasterCache;
        std::uint64_t cache = 0;  // the cache's epoch it was taken in
        std::uint32_t slot = 0;
        std::uint32_t generation = 0;
    };

    // 192 MiB: a 4K screen's worth of layers and tiles several times over.
    static constexpr std::size_t kDefaultBudget = std::size_t{192} << 20;

    explicit RasterCache(std::size_t byteBudget = kDefaultBudget);
    ~RasterCache();
    RasterCache(const RasterCache&) = delete;
    RasterCache& operator=(const RasterCache&) = delete;

    // The entry, marked as used now; null when there is none.
    const RasterEntry* find(const RasterKey& key);
    // The same, through `handle` when it still holds; `handle` is updated.
    const RasterEntry* find(const RasterKey& key, Handle& handle);
    // Keeps the entry (replacing the key's), then evicts the least recently
    // used entries not used in the current frame until the budget holds.
    void store(const RasterKey& key, RasterEntry entry);
    // The same, with the bytes of the entry's pixels known.
    void store(const RasterKey& key, RasterEntry entry, std::size_t bytes);

    // A raster a pool job promises beyond the frame that asked for it: the
    // job sets `image`, then `done`.
    struct PromisedRaster {
        std::atomic<bool> done{false};
        std::shared_ptr<Image> image;
    };
    // Drops the key's entry; once `later` is done, the first find of the key
    // or the next frame's start keeps its image in `entry` (as store does).
    // Until then the key is pending and found as nothing. Erasing the key
    // forgets it.
    void storeLater(const RasterKey& key, RasterEntry entry, std::shared_ptr<const PromisedRaster> later);
    bool pending(const RasterKey& key) const { return !mPromised.empty() && mPromised.contains(key); }
    void erase(const RasterKey& key);
    // Erases the entry and hands over its image (null when there was none).
    std::shared_ptr<Image> take(const RasterKey& key);
    // Every raster of an owner (a layer that went away, a view whose
    // picture changed).
    void eraseOwner(std::uint64_t owner);
    void clear();

    // Starts a frame: what is found or stored from now on counts as in use
    // and is not evicted until the next frame begins, even over budget.
    // Rasters made later that are done are kept now, under the budget, even
    // when nothing looks them up again (a popover gone before its shadow).
    void beginFrame() {
        ++mFrame;
        if (!mPromised.empty()) keepFulfilled();
    }
    // A frame drawn with the cache is under way while one lives (the
    // compositor holds one for each render, nested ones too): a layer that
    // goes then leaves its rasters for the next frame to erase, as this one
    // may still keep rasters of it.
    class Drawing {
    public:
        explicit Drawing(RasterCache& cache) : mCache(cache) { ++mCache.mDrawing; }
        ~Drawing() { --mCache.mDrawing; }
        Drawing(const Drawing&) = delete;
        Drawing& operator=(const Drawing&) = delete;

    private:
        RasterCache& mCache;
    };
    bool drawing() const { return mDrawing > 0; }

    std::size_t bytes() const { return mBytes; }
    std::size_t budget() const { return mBudget; }
    void setBudget(std::size_t byteBudget);
    std::size_t count() const { return mCount; }

    static std::size_t bytesOf(const RasterEntry& entry);

    // What of the cache's own rules does not hold, for tests; empty when
    // they all do: the order of use is linked both ways, holds every entry
    // once and never has an entry of a later frame behind one of an
    // earlier frame (evict() stops at the first entry of this frame, all
    // of them leading); the count and bytes are the entries'; every slot is
    // kept or free; the table finds every entry, with no gap between a
    // key's own bucket and the bucket it is in, and is at most three
    // quarters full. Walks every slot and bucket.
    std::string checkInvariants() const;

    // Held by a plan of this frame that shows kept rasters without a share
    // of each: while any plan holding one (of this frame or an earlier
    // one) lives, the images the cache lets go of are kept. A chart's
    // thousands are then not counted in and out by every frame.
    std::shared_ptr<const void> pin();

    // Expires when the cache goes: for records that may outlive it (a
    // layer's, of where its rasters are).
    std::weak_ptr<const void> lifetime() const { return mLifetime; }

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};
    // Entries live in slots that stay where they are (a found entry's
    // address holds until it goes), linked newest to oldest by index. A
    // slot counts a generation on when it takes an entry and when it lets
    // it go (odd while it holds one), so handles to an entry gone no longer
    // hold; one let go is linked into the free list. 128 bytes: the deque
    // finds one by shifting its index, not dividing it.
    struct Slot {
        RasterKey key;
        RasterEntry entry;
        std::size_t bytes = 0;
        std::uint64_t frame = 0;
        std::uint32_t hash = 0;  // the key's hash, its low half
        std::uint32_t generation = 0;
        std::uint32_t newer = kNone;  // or the next free slot
        std::uint32_t older = kNone;
        bool holds() const { return generation % 2 == 1; }
    };
    // The table is open, probed a bucket at a time, and holds each key's
    // hash beside its slot: a look-up compares keys only where the hashes
    // agree, and reads no slot it does not find.
    struct Bucket {
        std::uint32_t slot = kNone;
        std::uint32_t hash = 0;
    };

    struct Pin;
    void keepFulfilled();
    // Keeps an image let go of while a plan may still draw it.
    void retire(std::shared_ptr<Image> image);
    std::uint32_t lookUp(const RasterKey& key, std::uint32_t hash) const;
    void place(std::uint32_t slot);
    void grow();
    void link(std::uint32_t slot);
    void unlink(std::uint32_t slot);
    void touch(std::uint32_t slot);
    void evict();
    void remove(std::uint32_t slot);
    const RasterEntry* found(std::uint32_t slot);

    struct Pending {
        RasterEntry entry;
        std::shared_ptr<const PromisedRaster> later;
    };

    std::size_t mBudget;
    std::size_t mBytes = 0;
    std::uint64_t mFrame = 1;
    int mDrawing = 0;
    // New for each cache and at each clear, from one count: handles taken
    // in another cache, or before a clear, do not hold.
    std::uint64_t mEpoch;
    std::deque<Slot> mSlots;
    std::vector<Bucket> mTable;  // a power of two buckets, or none
    std::size_t mCount = 0;
    std::uint32_t mNewest = kNone;
    std::uint32_t mOldest = kNone;
    std::uint32_t mFree = kNone;
    // Rasters jobs are still making, by key.
    std::unordered_map<RasterKey, Pending, RasterKeyHash> mPromised;
    // This frame's pin, or the last one made.
    std::weak_ptr<Pin> mPin;
    std::shared_ptr<const bool> mLifetime = std::make_shared<const bool>(true);
};

}  // namespace platform::ui
