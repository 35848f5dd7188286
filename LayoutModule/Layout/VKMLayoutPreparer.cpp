#include "LayoutModule/Layout/VKMLayoutPreparer.h"

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/dispatch/DispatchQueue.h"

const std::shared_ptr<VKMLayoutPreparer>& VKMLayoutPreparer::shared() {
    static const auto preparer = std::make_shared<VKMLayoutPreparer>();
    return preparer;
}

VKMLayoutDocumentHelper::DocumentPreparer::tWork VKMLayoutPreparer::beginPreparing() {
    // The user defaults are the main thread's.
    const bool dark = VKMLayoutView::isDarkBackground();
    const std::weak_ptr<VKMLayoutPreparer> weak = shared();
    return [weak, dark](CLayout& layout, const tSuperseded& superseded) {
        const auto stop = [&superseded] { return superseded && superseded(); };
        CStopwatch stopwatch;
        stopwatch.Start();
        tPrepared prepared;
        prepared.layout = &layout;
        prepared.dark = dark;
        // A document is first shown with no display edits (the holder drops
        // them as it takes a document), so none are applied here.
        prepared.fitDelta = VKMLayoutResizeHelper::sizeLayoutToFitContents(layout);
        // A document a newer open replaces is dropped unseen: what is not
        // done yet is left undone, so that the newer open need not wait.
        VKMLayoutPictures::decodePictures(layout.GetImages(), superseded);
        if (stop()) return;
        // The first tile drawn would otherwise make a layer's spatial index
        // while the others wait for it; each is made on the pool as soon as
        // its layer is built, beside the rest of the preparation.
        const auto indexAhead = [](const VKMLayoutRenderData::tLayer& layer) {
            if (layer) platform::DispatchQueue::global().async([layer] { layer->instructionIndex(); });
        };
        prepared.elements = VKMRenderDataFactory::getElementsDataForLayout(layout);
        indexAhead(prepared.elements);
        if (stop()) return;
        prepared.overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout, dark);
        indexAhead(prepared.overlays);
        // Last, so that the document keeps the bounds of its final content.
        VKMLayoutResizeHelper::layoutContentSize(layout);
        QLPerformanceCounters::addToCounter("PrepareLayoutRenderData", stopwatch.Stop());
        const auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->mMutex);
        self->mPrepared = std::move(prepared);
    };
}

void VKMLayoutPreparer::documentAdopted(CLayout& layout) {
    std::lock_guard lock(mMutex);
    if (!mPrepared || mPrepared->layout != &layout) {
        mPrepared.reset();
        return;
    }
    // Nothing but the open has touched the document since it was prepared,
    // but the count of changes has moved on (taking the document freed the
    // one before, and other documents may have changed): what was worked out
    // holds from here on.
    const std::uint64_t changes = UContentChanges::Count();
    mPrepared->changes = changes;
    mPrepared->adopted = true;
    CLayout::tKeptBounds& kept = layout.KeptContentBounds(false);
    if (kept.kept) kept.changes = changes;
}

bool VKMLayoutPreparer::holdsFor(const CLayout& layout) {
    std::lock_guard lock(mMutex);
    return mPrepared && mPrepared->layout == &layout && mPrepared->adopted;
}

std::optional<VKMLayoutPreparer::tPrepared> VKMLayoutPreparer::take(const CLayout& layout,
                                                                    const tTransientEditActions& actions) {
    std::optional<tPrepared> prepared;
    {
        std::lock_guard lock(mMutex);
        if (!mPrepared || mPrepared->layout != &layout) return std::nullopt;
        prepared = std::move(mPrepared);
        mPrepared.reset();
    }
    const bool holds = prepared->adopted && prepared->changes == UContentChanges::Count() && actions.empty() &&
                       prepared->dark == VKMLayoutView::isDarkBackground();
    if (!holds) return std::nullopt;
    return prepared;
}
