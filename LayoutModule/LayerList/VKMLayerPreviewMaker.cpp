#include "LayoutModule/LayerList/VKMLayerPreviewMaker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <utility>

#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "LayoutView/ImageExport/VKMLayerPreviewHelper.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/OwnedList.h"
#include "platform/foundation/ProcessMemory.h"
#include "platform/graphics/Image.h"

namespace {

// Elements (or baseboards) one thread copies in one go; a go hands the pool
// one share for each of its threads.
constexpr std::size_t kCopiedPerShare = 256;

std::atomic<std::size_t> gMostCopiesPerTurn{0};

// The list opened again soon after finds the pages of the last previews.
constexpr auto kFreedPagesLinger = std::chrono::seconds(3);

// Deletes what the copies were on a global queue: freeing tens of thousands
// of elements takes as long as copying them.
void DeleteLater(tElements elements, tBaseboardElements baseboards) {
    if (elements.empty() && baseboards.empty()) return;
    platform::DispatchQueue::global().async(
        [elements = std::move(elements), baseboards = std::move(baseboards)]() mutable {
            platform::DeleteAll(elements);
            platform::DeleteAll(baseboards);
        });
}

}  // namespace

void VKMLayerPreviewMaker::setMostCopiesPerTurn(std::size_t copies) {
    gMostCopiesPerTurn.store(copies, std::memory_order_relaxed);
}

std::shared_ptr<VKMLayerPreviewMaker> VKMLayerPreviewMaker::make(platform::Size size, tDelivery delivery) {
    return std::shared_ptr<VKMLayerPreviewMaker>(new VKMLayerPreviewMaker(size, std::move(delivery)));
}

VKMLayerPreviewMaker::VKMLayerPreviewMaker(platform::Size size, tDelivery delivery)
    : mSize(size), mDelivery(std::move(delivery)) {}

VKMLayerPreviewMaker::~VKMLayerPreviewMaker() {
    for (tJob& job : mJobs) discardCopies(job);
}

VKMLayerPreviewMaker::tStamp VKMLayerPreviewMaker::currentStamp() {
    return {CCurrentCloudLayout::Instance().Layout(), UContentChanges::MainThreadCount()};
}

void VKMLayerPreviewMaker::request(CLayer* layer, std::size_t weight) {
    if (layer == nullptr) return;
    tJob job;
    job.layer = layer;
    job.type = layer->GetLayerType();
    job.weight = weight;
    // After the jobs begun and those at least as large.
    auto at = mJobs.begin();
    while (at != mJobs.end() && (at->begun || at->weight >= weight)) ++at;
    mJobs.insert(at, std::move(job));
    if (!mHeld) mHeld = platform::holdFreedPages(kFreedPagesLinger);
    scheduleTurn();
}

void VKMLayerPreviewMaker::forget() {
    ++mGeneration;
    for (tJob& job : mJobs) discardCopies(job);
    mJobs.clear();
    mHeld.reset();
}

void VKMLayerPreviewMaker::scheduleTurn() {
    if (mTurnScheduled || mJobs.empty()) return;
    mTurnScheduled = true;
    const std::weak_ptr<VKMLayerPreviewMaker> weak = weak_from_this();
    platform::DispatchQueue::main().asyncAfter(kTurnInterval, [weak] {
        if (const auto maker = weak.lock()) maker->turn();
    });
}

void VKMLayerPreviewMaker::turn() {
    mTurnScheduled = false;
    if (mJobs.empty()) return;
    // A copy begun in an earlier turn is good only if nothing it read has
    // changed since (and nothing it points to has gone).
    if (mJobs.front().begun && !(currentStamp() == mStamp)) {
        discardCopies(mJobs.front());
    }
    const auto start = std::chrono::steady_clock::now();
    const std::size_t most = gMostCopiesPerTurn.load(std::memory_order_relaxed);
    std::size_t copied = 0;
    while (!mJobs.empty() && std::chrono::steady_clock::now() - start < kTurnBudget && (most == 0 || copied < most)) {
        tJob& job = mJobs.front();
        if (!job.begun && !begin(job)) {
            const CLayer* layer = job.layer;
            mJobs.pop_front();
            mDelivery(layer, nullptr);
            continue;
        }
        bool done = false;
        try {
            const std::size_t before = job.next;
            done = copySome(job, most == 0 ? 0 : most - copied);
            copied += job.next - before;
        } catch (const std::exception& error) {
            ZDUtils::logWarning("Layer preview not made: %s", error.what());
            const CLayer* layer = job.layer;
            discardCopies(job);
            mJobs.pop_front();
            mDelivery(layer, nullptr);
            continue;
        }
        if (!done) continue;
        finish(job);
        mJobs.pop_front();
    }
    // Taken after this turn's own copying, which may note changes itself.
    mStamp = currentStamp();
    if (mJobs.empty()) mHeld.reset();
    scheduleTurn();
}

bool VKMLayerPreviewMaker::begin(tJob& job) {
    const CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
    const tLayers& layers = layout.GetLayerManager().GetLayers();
    if (std::find(layers.begin(), layers.end(), job.layer) == layers.end()) return false;
    if (job.type == CLayer::kBaseboardLayer) {
        job.sourceBaseboards = layout.GetBaseboards();
        job.sourceBaseboards.erase(std::remove(job.sourceBaseboards.begin(), job.sourceBaseboards.end(), nullptr),
                                   job.sourceBaseboards.end());
        job.copiedBaseboards.assign(job.sourceBaseboards.size(), nullptr);
    } else {
        for (CCompositeGeometry* element : layout.GetElements()) {
            if (element != nullptr && element->GetLayer() == job.layer) job.sourceElements.push_back(element);
        }
        job.copiedElements.assign(job.sourceElements.size(), nullptr);
    }
    job.next = 0;
    job.begun = true;
    ++mCopiesBegun;
    return true;
}

bool VKMLayerPreviewMaker::copySome(tJob& job, std::size_t most) {
    const bool baseboards = job.type == CLayer::kBaseboardLayer;
    const std::size_t total = baseboards ? job.sourceBaseboards.size() : job.sourceElements.size();
    const std::size_t first = job.next;
    std::size_t count = kCopiedPerShare * platform::DispatchQueue::concurrency();
    if (most != 0) count = std::min(count, most);
    const std::size_t end = std::min(total, first + count);
    const std::size_t shares = (end - first + kCopiedPerShare - 1) / kCopiedPerShare;
    platform::DispatchQueue::concurrentPerform(shares, [&job, baseboards, first, end](std::size_t share) {
        const std::size_t from = first + share * kCopiedPerShare;
        const std::size_t to = std::min(end, from + kCopiedPerShare);
        for (std::size_t i = from; i < to; ++i) {
            if (baseboards) {
                job.copiedBaseboards[i] = new CBaseboardElement(*job.sourceBaseboards[i]);
            } else {
                job.copiedElements[i] = new CCompositeGeometry(*job.sourceElements[i]);
            }
        }
    });
    job.next = end;
    return end == total;
}

void VKMLayerPreviewMaker::finish(tJob& job) {
    const std::weak_ptr<VKMLayerPreviewMaker> weak = weak_from_this();
    const std::uint64_t generation = mGeneration;
    const CLayer* layer = job.layer;
    const platform::Size size = mSize;
    // Made here: a new layout reads the preferences, which the main thread
    // may change.
    std::shared_ptr<CLayout> single = QLImageFromLayoutHelper::temporaryLayout();
    platform::DispatchQueue::global().async([weak, generation, layer, size, single, held = mHeld, type = job.type,
                                             elements = std::exchange(job.copiedElements, {}),
                                             baseboards = std::exchange(job.copiedBaseboards, {})]() mutable {
        std::shared_ptr<platform::Image> image;
        try {
            if (type == CLayer::kBaseboardLayer) {
                QLImageFromLayoutHelper::adoptBaseboardCopies(std::exchange(baseboards, {}), *single);
            } else {
                QLImageFromLayoutHelper::adoptTrackCopies(std::exchange(elements, {}), *single);
            }
            image = VKMLayerPreviewHelper::previewOfLayout(*single, size);
            single.reset();
        } catch (const std::exception& error) {
            ZDUtils::logWarning("Layer preview not drawn: %s", error.what());
            platform::DeleteAll(elements);
            platform::DeleteAll(baseboards);
        }
        platform::DispatchQueue::main().async([weak, generation, layer, image] {
            const auto maker = weak.lock();
            if (maker && generation == maker->mGeneration) maker->mDelivery(layer, image);
        });
    });
}

void VKMLayerPreviewMaker::discardCopies(tJob& job) {
    std::erase(job.copiedElements, nullptr);
    std::erase(job.copiedBaseboards, nullptr);
    DeleteLater(std::exchange(job.copiedElements, {}), std::exchange(job.copiedBaseboards, {}));
    job.sourceElements.clear();
    job.sourceBaseboards.clear();
    job.next = 0;
    job.begun = false;
}
