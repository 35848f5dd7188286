#include "platform/ui/render/RasterCache.h"

#include <atomic>
#include <iterator>
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

std::uint64_t nextGeneration() {
    static std::atomic<std::uint64_t> generations{0};
    return generations.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

// A pin holds the next frame's: a plan of an earlier frame may draw
// whatever a later pin keeps, as long as it lives.
struct RasterCache::Pin {
    std::uint64_t frame = 0;
    std::vector<std::shared_ptr<Image>> kept;
    std::shared_ptr<Pin> next;
};

RasterCache::RasterCache(std::size_t byteBudget) : mBudget(byteBudget), mGeneration(nextGeneration()) {}

RasterCache::~RasterCache() {
    // Plans may outlive the cache.
    for (Slot& slot : mOrder) retire(std::move(slot.entry.image));
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
    return std::size_t(entry.image->pixelWidth()) * std::size_t(entry.image->pixelHeight()) * 4;
}

const RasterEntry* RasterCache::find(const RasterKey& key) {
    const auto found = mEntries.find(key);
    if (found != mEntries.end()) {
        touch(found->second);
        return &found->second->entry;
    }
    if (mLater.empty()) return nullptr;
    const auto later = mLater.find(key);
    if (later == mLater.end() || !later->second.later->done.load(std::memory_order_acquire)) return nullptr;
    RasterEntry entry = std::move(later->second.entry);
    entry.image = later->second.later->image;
    mLater.erase(later);
    if (!entry.image) return nullptr;  // not made: asked for again
    store(key, std::move(entry));
    return &mEntries.find(key)->second->entry;
}

void RasterCache::keepMadeLater() {
    std::vector<std::pair<RasterKey, RasterEntry>> made;
    for (auto later = mLater.begin(); later != mLater.end();) {
        if (!later->second.later->done.load(std::memory_order_acquire)) {
            ++later;
            continue;
        }
        RasterEntry entry = std::move(later->second.entry);
        entry.image = later->second.later->image;
        if (entry.image) made.emplace_back(later->first, std::move(entry));
        later = mLater.erase(later);
    }
    for (auto& [key, entry] : made) store(key, std::move(entry));
}

void RasterCache::storeLater(const RasterKey& key, RasterEntry entry, std::shared_ptr<const Later> later) {
    erase(key);
    mLater.insert_or_assign(key, Pending{std::move(entry), std::move(later)});
}

const RasterEntry* RasterCache::find(const RasterKey& key, Handle& handle) {
    if (handle.generation == mGeneration) {
        touch(handle.slot);
        return &handle.slot->entry;
    }
    const auto found = mEntries.find(key);
    if (found == mEntries.end()) return nullptr;
    handle.generation = mGeneration;
    handle.slot = found->second;
    touch(found->second);
    return &found->second->entry;
}

void RasterCache::store(const RasterKey& key, RasterEntry entry) {
    const std::size_t bytes = bytesOf(entry);
    store(key, std::move(entry), bytes);
}

void RasterCache::store(const RasterKey& key, RasterEntry entry, std::size_t size) {
    if (!mLater.empty()) mLater.erase(key);
    // One lookup: a key kept already keeps its slot (and handles to it),
    // with the new entry in it.
    const auto [found, added] = mEntries.try_emplace(key);
    if (added) {
        mOrder.push_front(Slot{key, std::move(entry), size, mFrame});
        found->second = mOrder.begin();
    } else {
        const Order::iterator slot = found->second;
        mBytes -= slot->bytes;
        retire(std::move(slot->entry.image));
        slot->entry = std::move(entry);
        slot->bytes = size;
        slot->frame = mFrame;
        mOrder.splice(mOrder.begin(), mOrder, slot);
    }
    mBytes += size;
    evict();
}

std::shared_ptr<Image> RasterCache::take(const RasterKey& key) {
    if (!mLater.empty()) mLater.erase(key);
    const auto found = mEntries.find(key);
    if (found == mEntries.end()) return nullptr;
    std::shared_ptr<Image> image = found->second->entry.image;
    removeFound(found);
    return image;
}

void RasterCache::erase(const RasterKey& key) {
    if (!mLater.empty()) mLater.erase(key);
    const auto found = mEntries.find(key);
    if (found != mEntries.end()) removeFound(found);
}

void RasterCache::eraseOwner(std::uint64_t owner) {
    std::erase_if(mLater, [&](const auto& later) { return later.first.owner == owner; });
    for (auto slot = mOrder.begin(); slot != mOrder.end();) {
        const auto next = std::next(slot);
        if (slot->key.owner == owner) remove(slot);
        slot = next;
    }
}

void RasterCache::clear() {
    for (Slot& slot : mOrder) retire(std::move(slot.entry.image));
    mEntries.clear();
    mOrder.clear();
    mLater.clear();
    mBytes = 0;
    mGeneration = nextGeneration();
}

void RasterCache::setBudget(std::size_t byteBudget) {
    mBudget = byteBudget;
    evict();
}

void RasterCache::touch(Order::iterator slot) {
    // Entries of this frame lead the order already: moving one again
    // within them only costs the cache lines of its neighbours.
    if (slot->frame == mFrame) return;
    slot->frame = mFrame;
    mOrder.splice(mOrder.begin(), mOrder, slot);
}

void RasterCache::evict() {
    // From the least recently used end, stopping at the first entry of this
    // frame: everything before it in the order is of this frame too.
    while (mBytes > mBudget && !mOrder.empty() && mOrder.back().frame != mFrame) remove(std::prev(mOrder.end()));
}

void RasterCache::removeFound(Entries::iterator found) {
    const Order::iterator slot = found->second;
    mBytes -= slot->bytes;
    mGeneration = nextGeneration();
    retire(std::move(slot->entry.image));
    mEntries.erase(found);
    mOrder.erase(slot);
}

void RasterCache::remove(Order::iterator slot) {
    mBytes -= slot->bytes;
    mGeneration = nextGeneration();
    retire(std::move(slot->entry.image));
    mEntries.erase(slot->key);
    mOrder.erase(slot);
}

}  // namespace platform::ui
