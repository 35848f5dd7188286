#include "LayoutModule/Layout/VKMLayoutPreparer.h"

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/ui/views/Screen.h"

#include <algorithm>

const std::shared_ptr<VKMLayoutPreparer>& VKMLayoutPreparer::shared() {
    static const auto preparer = std::make_shared<VKMLayoutPreparer>();
    return preparer;
}

VKMLayoutDocumentHelper::DocumentPreparer::tWork VKMLayoutPreparer::beginPreparing() {
    // The user defaults are the main thread's.
    const bool dark = VKMLayoutView::isDarkBackground();
    // As the screens, read on the main thread: the pictures need the pixels
    // the densest of them shows.
    VKMLayoutPictures::tBounds pictureBounds;
    pictureBounds.screenScale = 0;
    for (const auto& screen : platform::ui::Screen::screens())
        pictureBounds.screenScale = std::max(pictureBounds.screenScale, screen->scale());
    const std::weak_ptr<VKMLayoutPreparer> weak = shared();
    return [weak, dark, pictureBounds](CLayout& layout, const tSuperseded& superseded) {
        const auto stop = [&superseded] { return superseded && superseded(); };
        CStopwatch stopwatch;
        stopwatch.Start();
        const platform::Point fitDelta = VKMLayoutResizeHelper::sizeLayoutToFitContents(layout);
        // A document a newer open replaces is dropped unseen: what is not
        // done yet is left undone, so that the newer open need not wait.
        VKMLayoutPictures::decodePictures(layout.GetImages(), superseded, pictureBounds);
        if (stop()) return;
        // A document is first shown with no display edits (the holder drops
        // them as it takes a document), so none are applied here.
        VKMPreparedRenderData prepared = VKMPreparedRenderData::build(layout, {}, dark, stop);
        if (stop()) return;
        prepared.fitDelta = fitDelta;
        // Last, so that the document keeps the bounds of its final content.
        VKMLayoutResizeHelper::layoutContentSize(layout);
        QLPerformanceCounters::addToCounter("PrepareLayoutRenderData", stopwatch.Stop());
        const auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->mMutex);
        self->mPrepared = std::move(prepared);
        self->mAdopted = false;
    };
}

void VKMLayoutPreparer::documentAdopted(CLayout& layout) {
    std::lock_guard lock(mMutex);
    if (!mPrepared || mPrepared->madeFor.layout != &layout) {
        mPrepared.reset();
        return;
    }
    // Nothing but the open has touched the document since it was prepared,
    // but the count of changes has moved on (taking the document freed the
    // one before, and other documents may have changed): what was worked out
    // holds from here on.
    const std::uint64_t changes = UContentChanges::Count();
    mPrepared->madeFor.changes = changes;
    mAdopted = true;
    CLayout::tKeptBounds& kept = layout.KeptContentBounds(false);
    if (kept.kept) kept.changes = changes;
}

void VKMLayoutPreparer::documentClosed() {
    std::lock_guard lock(mMutex);
    mPrepared.reset();
    mAdopted = false;
}

bool VKMLayoutPreparer::hasPreparedFor(const CLayout& layout) {
    std::lock_guard lock(mMutex);
    return mPrepared && mPrepared->madeFor.layout == &layout && mAdopted;
}

std::optional<VKMPreparedRenderData> VKMLayoutPreparer::take(const CLayout& layout) {
    std::lock_guard lock(mMutex);
    if (!mPrepared || mPrepared->madeFor.layout != &layout) return std::nullopt;
    std::optional<VKMPreparedRenderData> prepared = std::move(mPrepared);
    mPrepared.reset();
    if (!mAdopted) return std::nullopt;
    return prepared;
}
