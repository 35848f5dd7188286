#include "LayoutView/Drawing/VKMLayoutRenderData.h"

#include <cstdio>
#include <mutex>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "platform/foundation/UserDefaults.h"

VKMLayoutRenderData::VKMLayoutRenderData() {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<void*>(this));
    mAccessQueueLabel = platform::UserDefaults::standard().domain() + ".VKMLayoutRenderData-" + address;
}

void VKMLayoutRenderData::store(tLayer& slot, tLayer layer) {
    if (slot == layer) return;
    {
        std::unique_lock lock(mAccess);
        slot.swap(layer);
    }
    // `layer` now holds the old one; it is released here, outside the lock.
}

void VKMLayoutRenderData::setBackgroundData(tLayer layer) { store(mBackgroundData, std::move(layer)); }
void VKMLayoutRenderData::setGridData(tLayer layer) { store(mGridData, std::move(layer)); }
void VKMLayoutRenderData::setElementsData(tLayer layer) { store(mElementsData, std::move(layer)); }
void VKMLayoutRenderData::setOverlayData(tLayer layer) { store(mOverlayData, std::move(layer)); }

void VKMLayoutRenderData::setElementIndex(std::shared_ptr<const VKMElementIndex> index) {
    {
        std::unique_lock lock(mAccess);
        mElementIndex.swap(index);
    }
}

std::shared_ptr<const VKMElementIndex> VKMLayoutRenderData::elementIndex() const {
    std::shared_lock lock(mAccess);
    return mElementIndex;
}

void VKMLayoutRenderData::drawWithScaleFactor(platform::Context& context, double scaleFactor,
                                              const platform::Rect& dirtyRect) {
    drawWithZoom(context, scaleFactor, VKMDrawingInstructionsPainter::getScaledDirtyRect(dirtyRect, scaleFactor));
}

void VKMLayoutRenderData::drawWithZoom(platform::Context& context, double zoom, const platform::Rect& scaledDirtyRect) {
    context.save();
    context.scale(zoom, zoom);
    context.clipToRect(scaledDirtyRect);
    {
        std::shared_lock lock(mAccess);
        if (mBackgroundData)
            VKMDrawingInstructionsPainter::draw(context, *mBackgroundData->drawingInstructions(),
                                                mBackgroundData->instructionBoxes(),
                                                mBackgroundData->instructionIndexIfMade(), mBackgroundData->keptTexts(),
                                                scaledDirtyRect, "DrawBackground");
        if (mElementsData)
            VKMDrawingInstructionsPainter::draw(
                context, *mElementsData->drawingInstructions(), mElementsData->instructionBoxes(),
                mElementsData->instructionIndexIfMade(), mElementsData->keptTexts(), scaledDirtyRect, "DrawElements");
        if (mOverlayData)
            VKMDrawingInstructionsPainter::draw(
                context, *mOverlayData->drawingInstructions(), mOverlayData->instructionBoxes(),
                mOverlayData->instructionIndexIfMade(), mOverlayData->keptTexts(), scaledDirtyRect, "DrawOverlays");
    }
    context.restore();
}

void VKMLayoutRenderData::drawGridForScaleFactor(platform::Context& context, double /*scaleFactor*/,
                                                 const platform::Rect& dirtyRect, bool clearBackground,
                                                 const platform::Color& /*gridColor*/) {
    std::shared_lock lock(mAccess);
    if (clearBackground) {
        context.save();
        context.setFillColor(platform::Color::white(1.0));
        context.fillRect(dirtyRect);
        context.restore();
    }
}
