#include "platform/ui/render/RasterCache.h"

#include <atomic>
#include <algorithm>
#include <utility>
#include <vector>

namespace platform::ui {

std::size_t RasterKeyHash::operator()(const RasterKey& key) const noexcept {
    // Owners are small counters and parts packed coordinates: mix them so
    // neighbouring tiles do not share buckets.
    std::uint64_t h = key.owner * 0x9E3779B97F4A7C15ull;
    h ^= (h >> 29) + key.kind * 0xBF58476D1CE4E5B9ull;
    h ^= (h >> 31) + key.part * 0x94D049BB133111EBull;
    return static_cast<std::size_t>(h ^ (h >> 32));
}

namespace {

std::uint64_t nextEpoch() {
    static std::atomic<std::uint64_t> epochs{0};
    return epochs.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

// A pin holds the next frame's: a plan of an earlier frame may draw
// whatever a later pin keeps, as long as it lives.
struct RasterCache::Pin {
    std::uint64_t frame = 0;
    std::vector<std::shared_ptr<Image>> kept;
    std::shared_ptr<Pin> next;
};

RasterCache::RasterCache(std::size_t byteBudget) : mBudget(byteBudget), mEpoch(nextEpoch()) {
    static_assert(sizeof(Slot) == 128, "a slot's size is a power of two");
}

RasterCache::~RasterCache() {
    // Plans may outlive the cache.
    for (Slot& slot : mSlots) retire(std::move(slot.entry.image));
}

std::shared_ptr<const void> RasterCache::pin() {
    std::shared_ptr<Pin> current = mPin.lock();
    if (current && current->frame == mFrame) return current;
    auto made = std::make_shared<Pin>();
    made->frame = mFrame;
    if (current) current->next = made;
    mPin = made;
    return made;
}

void RasterCache::retire(std::shared_ptr<Image> image) {
    if (!image) return;
    if (const std::shared_ptr<Pin> current = mPin.lock()) current->kept.push_back(std::move(image));
}

std::size_t RasterCache::bytesOf(const RasterEntry& entry) {
    if (!entry.image) return 0;
    return entry.image->byteCount();
}

namespace {

std::uint32_t hashOf(const RasterKey& key) { return static_cast<std::uint32_t>(RasterKeyHash()(key)); }

}  // namespace

const RasterEntry* RasterCache::found(std::uint32_t slot) {
    touch(slot);
    return &mSlots[slot].entry;
}

const RasterEntry* RasterCache::find(const RasterKey& key) {
    const std::uint32_t slot = lookUp(key, hashOf(key));
    if (slot != kNone) return found(slot);
    if (mPromised.empty()) return nullptr;
    const auto later = mPromised.find(key);
    if (later == mPromised.end() || !later->second.later->done.load(std::memory_order_acquire)) return nullptr;
    RasterEntry entry = std::move(later->second.entry);
    entry.image = later->second.later->image;
    mPromised.erase(later);
    if (!entry.image) return nullptr;  // not made: asked for again
    store(key, std::move(entry));
    const std::uint32_t made = lookUp(key, hashOf(key));
    return made == kNone ? nullptr : &mSlots[made].entry;
}

void RasterCache::keepFulfilled() {
    std::vector<std::pair<RasterKey, RasterEntry>> made;
    for (auto later = mPromised.begin(); later != mPromised.end();) {
        if (!later->second.later->done.load(std::memory_order_acquire)) {
            ++later;
            continue;
        }
        RasterEntry entry = std::move(later->second.entry);
        entry.image = later->second.later->image;
        if (entry.image) made.emplace_back(later->first, std::move(entry));
        later = mPromised.erase(later);
    }
    for (auto& [key, entry] : made) store(key, std::move(entry));
}

void RasterCache::storeLater(const RasterKey& key, RasterEntry entry, std::shared_ptr<const PromisedRaster> later) {
    erase(key);
    mPromised.insert_or_assign(key, Pending{std::move(entry), std::move(later)});
}

const RasterEntry* RasterCache::find(const RasterKey& key, Handle& handle) {
    if (handle.cache == mEpoch && handle.slot < mSlots.size()) {
        const Slot& slot = mSlots[handle.slot];
        if (slot.generation == handle.generation && slot.holds() && slot.key == key) return found(handle.slot);
    }
    const std::uint32_t slot = lookUp(key, hashOf(key));
    if (slot == kNone) return nullptr;
    handle.cache = mEpoch;
    handle.slot = slot;
    handle.generation = mSlots[slot].generation;
    return found(slot);
}

void RasterCache::store(const RasterKey& key, RasterEntry entry) {
    const std::size_t bytes = bytesOf(entry);
    store(key, std::move(entry), bytes);
}

void RasterCache::store(const RasterKey& key, RasterEntry entry, std::size_t size) {
    if (!mPromised.empty()) mPromised.erase(key);
    const std::uint32_t hash = hashOf(key);
    std::uint32_t at = lookUp(key, hash);
    if (at != kNone) {
        // A key kept already keeps its slot (and handles to it), with the
        // new entry in it.
        Slot& slot = mSlots[at];
        mBytes -= slot.bytes;
        retire(std::move(slot.entry.image));
        slot.entry = std::move(entry);
        unlink(at);
    } else {
        if (mFree != kNone) {
            at = mFree;
            mFree = mSlots[at].newer;
        } else {
            if (mSlots.size() >= kNone) return;  // four thousand million entries: keep none more
            at = static_cast<std::uint32_t>(mSlots.size());
            mSlots.emplace_back();
        }
        Slot& slot = mSlots[at];
        slot.key = key;
        slot.entry = std::move(entry);
        slot.hash = hash;
        ++slot.generation;
        place(at);
        ++mCount;
    }
    Slot& slot = mSlots[at];
    slot.bytes = size;
    slot.frame = mFrame;
    link(at);
    mBytes += size;
    evict();
}

std::shared_ptr<Image> RasterCache::take(const RasterKey& key) {
    if (!mPromised.empty()) mPromised.erase(key);
    const std::uint32_t slot = lookUp(key, hashOf(key));
    if (slot == kNone) return nullptr;
    std::shared_ptr<Image> image = mSlots[slot].entry.image;
    remove(slot);
    return image;
}

void RasterCache::erase(const RasterKey& key) {
    if (!mPromised.empty()) mPromised.erase(key);
    const std::uint32_t slot = lookUp(key, hashOf(key));
    if (slot != kNone) remove(slot);
}

void RasterCache::eraseOwner(std::uint64_t owner) {
    std::erase_if(mPromised, [&](const auto& later) { return later.first.owner == owner; });
    for (std::uint32_t slot = mNewest; slot != kNone;) {
        const std::uint32_t next = mSlots[slot].older;
        if (mSlots[slot].key.owner == owner) remove(slot);
        slot = next;
    }
}

void RasterCache::clear() {
    for (Slot& slot : mSlots) retire(std::move(slot.entry.image));
    mSlots.clear();
    mTable.clear();
    mCount = 0;
    mNewest = mOldest = mFree = kNone;
    mPromised.clear();
    mBytes = 0;
    mEpoch = nextEpoch();
}

void RasterCache::setBudget(std::size_t byteBudget) {
    mBudget = byteBudget;
    evict();
}

std::string RasterCache::checkInvariants() const {
    std::size_t kept = 0;
    std::size_t bytes = 0;
    std::uint64_t frame = mFrame;
    std::uint32_t newer = kNone;
    for (std::uint32_t at = mNewest; at != kNone; at = mSlots[at].older) {
        if (at >= mSlots.size() || kept == mSlots.size()) return "the order leaves the slots or loops";
        const Slot& slot = mSlots[at];
        if (!slot.holds()) return "a free slot in the order";
        if (slot.newer != newer) return "the order is not linked back";
        if (slot.frame > frame) return "an entry of a later frame behind one of an earlier frame";
        if (slot.hash != hashOf(slot.key)) return "an entry's hash is not its key's";
        if (lookUp(slot.key, slot.hash) != at) return "the table does not find an entry";
        frame = slot.frame;
        newer = at;
        ++kept;
        bytes += slot.bytes;
    }
    if (newer != mOldest) return "the oldest entry does not end the order";
    if (kept != mCount) return "the count is not the entries'";
    if (bytes != mBytes) return "the bytes are not the entries'";
    std::size_t free = 0;
    for (std::uint32_t at = mFree; at != kNone; at = mSlots[at].newer) {
        if (at >= mSlots.size() || free == mSlots.size()) return "the free list leaves the slots or loops";
        if (mSlots[at].holds()) return "a kept slot in the free list";
        ++free;
    }
    if (kept + free != mSlots.size()) return "a slot neither kept nor free";
    std::size_t used = 0;
    const std::size_t mask = mTable.empty() ? 0 : mTable.size() - 1;
    for (std::size_t i = 0; i < mTable.size(); ++i) {
        const Bucket& bucket = mTable[i];
        if (bucket.slot == kNone) continue;
        ++used;
        if (bucket.slot >= mSlots.size() || !mSlots[bucket.slot].holds()) return "a bucket of a slot not kept";
        if (bucket.hash != mSlots[bucket.slot].hash) return "a bucket's hash is not its slot's";
        for (std::size_t j = bucket.hash & mask; j != i; j = (j + 1) & mask) {
            if (mTable[j].slot == kNone) return "a gap between a key's own bucket and the one it is in";
        }
    }
    if (used != mCount) return "the table holds another count of entries";
    if (used * 4 > mTable.size() * 3) return "the table is more than three quarters full";
    return {};
}

std::uint32_t RasterCache::lookUp(const RasterKey& key, std::uint32_t hash) const {
    if (mTable.empty()) return kNone;
    const std::size_t mask = mTable.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Bucket& bucket = mTable[i];
        if (bucket.slot == kNone) return kNone;
        if (bucket.hash == hash && mSlots[bucket.slot].key == key) return bucket.slot;
    }
}

// Into the first free bucket from its own: at most three quarters are
// full, so one is always found.
void RasterCache::place(std::uint32_t slot) {
    if ((mCount + 1) * 4 > mTable.size() * 3) grow();
    const std::uint32_t hash = mSlots[slot].hash;
    const std::size_t mask = mTable.size() - 1;
    std::size_t i = hash & mask;
    while (mTable[i].slot != kNone) i = (i + 1) & mask;
    mTable[i] = {slot, hash};
}

void RasterCache::grow() {
    std::vector<Bucket> old = std::exchange(mTable, std::vector<Bucket>(std::max<std::size_t>(64, 2 * mTable.size())));
    const std::size_t mask = mTable.size() - 1;
    for (const Bucket& bucket : old) {
        if (bucket.slot == kNone) continue;
        std::size_t i = bucket.hash & mask;
        while (mTable[i].slot != kNone) i = (i + 1) & mask;
        mTable[i] = bucket;
    }
}

void RasterCache::link(std::uint32_t slot) {
    Slot& s = mSlots[slot];
    s.newer = kNone;
    s.older = mNewest;
    if (mNewest != kNone) mSlots[mNewest].newer = slot;
    mNewest = slot;
    if (mOldest == kNone) mOldest = slot;
}

void RasterCache::unlink(std::uint32_t slot) {
    Slot& s = mSlots[slot];
    (s.newer != kNone ? mSlots[s.newer].older : mNewest) = s.older;
    (s.older != kNone ? mSlots[s.older].newer : mOldest) = s.newer;
}

void RasterCache::touch(std::uint32_t slot) {
    // Entries of this frame lead the order already: moving one again
    // within them only costs the cache lines of its neighbours.
    if (mSlots[slot].frame == mFrame) return;
    mSlots[slot].frame = mFrame;
    unlink(slot);
    link(slot);
}

void RasterCache::evict() {
    // From the least recently used end, stopping at the first entry of this
    // frame: everything before it in the order is of this frame too.
    while (mBytes > mBudget && mOldest != kNone && mSlots[mOldest].frame != mFrame) remove(mOldest);
}

void RasterCache::remove(std::uint32_t slot) {
    Slot& s = mSlots[slot];
    // Out of the table: the buckets after it that would no longer be
    // reached from their own move back into the gap.
    const std::size_t mask = mTable.size() - 1;
    std::size_t gap = s.hash & mask;
    while (mTable[gap].slot != slot) gap = (gap + 1) & mask;
    for (std::size_t i = (gap + 1) & mask; mTable[i].slot != kNone; i = (i + 1) & mask) {
        const std::size_t home = mTable[i].hash & mask;
        // Stays where it is when its own bucket lies after the gap, up to it.
        const bool stays = gap < i ? (home > gap && home <= i) : (home > gap || home <= i);
        if (!stays) {
            mTable[gap] = mTable[i];
            gap = i;
        }
    }
    mTable[gap] = {};
    unlink(slot);
    mBytes -= s.bytes;
    retire(std::move(s.entry.image));
    s.entry = {};
    s.bytes = 0;
    ++s.generation;
    s.newer = mFree;
    s.older = kNone;
    mFree = slot;
    --mCount;
}

}  // namespace platform::ui
