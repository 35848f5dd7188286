#include "LayoutView/Drawing/VKMRenderDataKeeper.h"

#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/VKMSoftAssert.h"

void VKMRenderDataKeeper::rebuild(CLayout& layout, const tTransientEditActions& actions, bool dark,
                                  bool backgroundOnly) {
    if (!backgroundOnly) mPrepared.reset();
    CStopwatch stopwatch;
    stopwatch.Start();
    build(mRenderData, layout, actions, dark, backgroundOnly);
    ++mGeneration;
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
}

void VKMRenderDataKeeper::prepare(CLayout& layout, const tTransientEditActions& actions, bool dark) {
    mPrepared.reset();
    CStopwatch stopwatch;
    stopwatch.Start();
    try {
        mPrepared = VKMPreparedRenderData::build(layout, actions, dark);
    } catch (...) {
        // The refresh builds them again and meets the fault there.
        return;
    }
    QLPerformanceCounters::addToCounter("PrepareLayoutRenderData", stopwatch.Stop());
}

void VKMRenderDataKeeper::refreshWithPrepared(CLayout& layout, const tTransientEditActions& actions, bool dark) {
    std::optional<VKMPreparedRenderData> prepared = std::move(mPrepared);
    mPrepared.reset();
    if (!prepared || !prepared->holdsFor(layout, actions, dark)) {
        rebuild(layout, actions, dark, false);
        return;
    }
    CStopwatch stopwatch;
    stopwatch.Start();
    build(mRenderData, layout, actions, dark, true);
    mRenderData->setElementsData(std::move(prepared->elements));
    mRenderData->setOverlayData(std::move(prepared->overlays));
    mRenderData->setElementIndex(nullptr);
    ++mGeneration;
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
}

void VKMRenderDataKeeper::clear() {
    mPrepared.reset();
    mRenderData = std::make_shared<VKMLayoutRenderData>();
    ++mGeneration;
}

void VKMRenderDataKeeper::build(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                const tTransientEditActions& actions, bool dark, bool backgroundOnly) {
    if (!renderData) renderData = std::make_shared<VKMLayoutRenderData>();
    VKM_SOFT_ASSERT(renderData != nullptr);
    // Every layer is built first and stored only when all were built, so a
    // failed build leaves the render data as they were; the scope restores
    // the document on every way out.
    VKMRenderDataFactory::tLayer background;
    VKMRenderDataFactory::tLayer elements;
    VKMRenderDataFactory::tLayer overlays;
    {
        CTransientEditScope edits(layout, actions);
        background = VKMRenderDataFactory::getBackgroundDataForLayout(layout);
        if (!backgroundOnly) {
            elements = VKMRenderDataFactory::getElementsDataForLayout(layout);
            overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout, dark);
        }
    }
    renderData->setBackgroundData(std::move(background));
    if (!backgroundOnly) {
        renderData->setElementsData(std::move(elements));
        renderData->setOverlayData(std::move(overlays));
        // The elements may have changed: the next search makes the boxes
        // afresh.
        renderData->setElementIndex(nullptr);
    }
}
