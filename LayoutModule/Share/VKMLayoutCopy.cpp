#include "LayoutModule/Share/VKMLayoutCopy.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Image.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/OwnedList.h"

namespace {

// Elements (or baseboards) one thread copies in one go; a turn's go hands
// the pool one share for each of its threads.
constexpr std::size_t kCopiedPerShare = 256;

std::atomic<std::size_t> gMostCopiesPerTurn{0};

// Something on a layer the manager does not list goes on the first.
CLayer* Mapped(const std::unordered_map<const CLayer*, CLayer*>& layerOf, CLayer* first, CLayer* layer) {
    if (layer == nullptr) return nullptr;
    const auto found = layerOf.find(layer);
    return found == layerOf.end() ? first : found->second;
}

// A copy with the source's parameters, zoom, layers and images, and where
// each source layer went; elements and baseboards still to come.
struct tFrame {
    std::unique_ptr<CLayout> copy;
    std::unordered_map<const CLayer*, CLayer*> layerOf;
    CLayer* first = nullptr;
};

tFrame CopyFrame(const CLayout& source) {
    tFrame frame;
    frame.copy = std::make_unique<CLayout>();
    CLayout& copy = *frame.copy;
    copy.GetParameters() = source.GetParameters();
    copy.SetZoom(source.GetZoom());
    // The copy starts with one layer of its own: it becomes the first.
    CLayerManager& layers = copy.GetLayerManager();
    const tLayers& sourceLayers = source.GetLayerManager().GetLayers();
    for (std::size_t i = 0; i < sourceLayers.size(); ++i) {
        CLayer* target = i == 0 ? layers.GetLayers().front() : layers.AddLayer("", true);
        *target = *sourceLayers[i];
        frame.layerOf[sourceLayers[i]] = target;
    }
    frame.first = layers.GetLayers().front();
    for (const CImageElement* image : source.GetImages()) {
        if (image == nullptr) continue;
        auto duplicate = std::make_unique<CImageElement>(*image);
        duplicate->SetLayer(Mapped(frame.layerOf, frame.first, image->GetLayer()));
        copy.GetImages().push_back(duplicate.release());
    }
    return frame;
}

template <class T>
std::vector<T*> WithoutNulls(const std::vector<T*>& list) {
    std::vector<T*> kept;
    kept.reserve(list.size());
    std::copy_if(list.begin(), list.end(), std::back_inserter(kept), [](const T* entry) { return entry != nullptr; });
    return kept;
}

}  // namespace

namespace VKMLayoutCopy {

std::unique_ptr<CLayout> copyForDrawing(const CLayout& source) {
    tFrame frame = CopyFrame(source);
    // The joint index is left empty: drawing never asks for connections.
    tElements& elements = frame.copy->GetElementList();
    elements = UElementVectorOperations::CloneElements(source.GetElements());
    for (CCompositeGeometry* element : elements)
        element->SetLayer(Mapped(frame.layerOf, frame.first, element->GetLayer()));
    tBaseboardElements& baseboards = frame.copy->GetBaseboards();
    baseboards = UBaseboardElements::CloneBaseboards(source.GetBaseboards());
    for (CBaseboardElement* baseboard : baseboards)
        baseboard->SetLayer(Mapped(frame.layerOf, frame.first, baseboard->GetLayer()));
    return std::move(frame.copy);
}

}  // namespace VKMLayoutCopy

void VKMLayoutCopier::setMostCopiesPerTurn(std::size_t copies) {
    gMostCopiesPerTurn.store(copies, std::memory_order_relaxed);
}

std::shared_ptr<VKMLayoutCopier> VKMLayoutCopier::copyOpenDocument(tWanted wanted, tDone done) {
    std::shared_ptr<VKMLayoutCopier> copier(new VKMLayoutCopier(std::move(wanted), std::move(done)));
    // The document asked for: the one open now.
    copier->mGeneration = CCurrentCloudLayout::Instance().Generation();
    copier->scheduleTurn();
    return copier;
}

VKMLayoutCopier::VKMLayoutCopier(tWanted wanted, tDone done) : mWanted(std::move(wanted)), mDone(std::move(done)) {}

VKMLayoutCopier::~VKMLayoutCopier() { discard(); }

void VKMLayoutCopier::scheduleTurn() {
    // The turns keep the copier until it is done.
    platform::DispatchQueue::main().asyncAfter(kTurnInterval, [self = shared_from_this()] { self->turn(); });
}

void VKMLayoutCopier::turn() {
    ++mTurns;
    if (mWanted && !mWanted()) {
        discard();
        return;
    }
    if (CCurrentCloudLayout::Instance().Generation() != mGeneration) {
        ZDUtils::logInfo("The layout was closed while it was copied");
        discard();
        deliver(nullptr);
        return;
    }
    // Something the copies read may have changed, or gone: again.
    if (mBegun && UContentChanges::MainThreadCount() != mChanges) {
        discard();
        ++mRestarts;
    }
    try {
        if (!mBegun) begin();
        const auto start = std::chrono::steady_clock::now();
        // Content that keeps changing would keep a copy in turns from ever
        // ending: after a few restarts the rest is copied in this turn.
        const bool atOnce = mRestarts >= kMostRestarts;
        const std::size_t most = atOnce ? 0 : gMostCopiesPerTurn.load(std::memory_order_relaxed);
        std::size_t copied = 0;
        bool done = false;
        for (;;) {
            const auto goStart = std::chrono::steady_clock::now();
            const auto left = kTurnBudget - (goStart - start);
            if (done || (!atOnce && left <= decltype(left)::zero()) || (most != 0 && copied >= most)) break;
            // A go hands the pool as much as the time left should take at
            // the pace of the last go: each go wakes the pool's threads and
            // waits for the slowest, and small ones spent half the turn so.
            std::size_t count = kCopiedPerShare * platform::DispatchQueue::concurrency();
            if (!atOnce && mPerSecond > 0) {
                const double fits = mPerSecond * std::chrono::duration<double>(left).count() * kFillShare;
                count = std::max(count, static_cast<std::size_t>(fits));
            }
            if (atOnce) count = 0;
            if (most != 0) count = std::min(count == 0 ? most - copied : count, most - copied);
            const std::size_t before = mNext;
            done = copySome(count);
            copied += mNext - before;
            const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - goStart).count();
            if (took > 0 && !atOnce) mPerSecond = static_cast<double>(mNext - before) / took;
        }
        if (done) {
            deliver(finish());
            return;
        }
    } catch (const std::exception& error) {
        ZDUtils::logWarning("The layout could not be copied: %s", error.what());
        discard();
        deliver(nullptr);
        return;
    }
    // Taken after this turn's own copying, which may note changes itself.
    mChanges = UContentChanges::MainThreadCount();
    scheduleTurn();
}

void VKMLayoutCopier::begin() {
    const CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    mBegun = true;
    const CLayout& source = *holder.Layout();
    tFrame frame = CopyFrame(source);
    mCopy = std::move(frame.copy);
    mLayerOf = std::move(frame.layerOf);
    mFirstLayer = frame.first;
    mSourceElements = WithoutNulls(source.GetElements());
    mSourceBaseboards = WithoutNulls(source.GetBaseboards());
    mCopiedElements.assign(mSourceElements.size(), nullptr);
    mCopiedBaseboards.assign(mSourceBaseboards.size(), nullptr);
    mNext = 0;
}

bool VKMLayoutCopier::copySome(std::size_t count) {
    // The elements, then the baseboards, as one run of indexes.
    const std::size_t elements = mSourceElements.size();
    const std::size_t total = elements + mSourceBaseboards.size();
    const std::size_t first = mNext;
    const std::size_t end = count == 0 ? total : std::min(total, first + count);
    const std::size_t shares = (end - first + kCopiedPerShare - 1) / kCopiedPerShare;
    platform::DispatchQueue::concurrentPerform(shares, [this, elements, first, end](std::size_t share) {
        const std::size_t from = first + share * kCopiedPerShare;
        const std::size_t to = std::min(end, from + kCopiedPerShare);
        for (std::size_t i = from; i < to; ++i) {
            if (i < elements) {
                auto* copy = new CCompositeGeometry(*mSourceElements[i]);
                mCopiedElements[i] = copy;
                copy->SetLayer(Mapped(mLayerOf, mFirstLayer, copy->GetLayer()));
            } else {
                auto* copy = new CBaseboardElement(*mSourceBaseboards[i - elements]);
                mCopiedBaseboards[i - elements] = copy;
                copy->SetLayer(Mapped(mLayerOf, mFirstLayer, copy->GetLayer()));
            }
        }
    });
    mNext = end;
    return end == total;
}

std::unique_ptr<CLayout> VKMLayoutCopier::finish() {
    // The joint index is left empty: drawing never asks for connections.
    mCopy->GetElementList() = std::exchange(mCopiedElements, {});
    mCopy->GetBaseboards() = std::exchange(mCopiedBaseboards, {});
    mSourceElements.clear();
    mSourceBaseboards.clear();
    mLayerOf.clear();
    mBegun = false;
    return std::move(mCopy);
}

void VKMLayoutCopier::discard() {
    std::erase(mCopiedElements, nullptr);
    std::erase(mCopiedBaseboards, nullptr);
    // Freeing a hundred thousand elements takes about as long as copying
    // them: on a global queue.
    if (mCopy || !mCopiedElements.empty() || !mCopiedBaseboards.empty()) {
        platform::DispatchQueue::global().async([copy = std::shared_ptr<CLayout>(std::move(mCopy)),
                                                 elements = std::exchange(mCopiedElements, {}),
                                                 baseboards = std::exchange(mCopiedBaseboards, {})]() mutable {
            platform::DeleteAll(elements);
            platform::DeleteAll(baseboards);
        });
    }
    mSourceElements.clear();
    mSourceBaseboards.clear();
    mLayerOf.clear();
    mFirstLayer = nullptr;
    mNext = 0;
    mBegun = false;
}

void VKMLayoutCopier::deliver(std::unique_ptr<CLayout> copy) {
    tDone done = std::exchange(mDone, {});
    if (done) done(std::move(copy));
}
