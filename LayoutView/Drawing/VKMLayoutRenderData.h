#pragma once
// VKMLayoutRenderData: the render layers of one layout view (background,
// grid, elements, overlays and a debug overlay) behind a reader/writer lock:
// replacing a layer waits for every drawing in progress and excludes the
// other writers; drawings may overlap each other.
//
// Only the background, elements and overlay layers are painted; the grid is
// drawn by the layout view itself.

#include <memory>
#include <shared_mutex>
#include <string>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMElementIndex.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

class VKMLayoutRenderData {
public:
    using tLayer = std::shared_ptr<VKMDrawingInstructionsRenderData>;

    // All layers empty.
    VKMLayoutRenderData();

    VKMLayoutRenderData(const VKMLayoutRenderData&) = delete;
    VKMLayoutRenderData& operator=(const VKMLayoutRenderData&) = delete;

    // Setting the layer already held does nothing; otherwise the layer is
    // replaced under the write lock and the old one released after it.
    void setBackgroundData(tLayer layer);
    void setGridData(tLayer layer);
    void setElementsData(tLayer layer);
    void setOverlayData(tLayer layer);
    // A plain store.
    void setDebugOverlayData(tLayer layer) { mDebugOverlayData = std::move(layer); }

    const tLayer& backgroundData() const { return mBackgroundData; }
    const tLayer& gridData() const { return mGridData; }
    const tLayer& elementsData() const { return mElementsData; }
    const tLayer& overlayData() const { return mOverlayData; }
    const tLayer& debugOverlayData() const { return mDebugOverlayData; }

    // The boxes of the elements, for picking: made by the first search
    // after the elements layer is rebuilt (which drops them), kept here for
    // the next.
    void setElementIndex(std::shared_ptr<const VKMElementIndex> index);
    std::shared_ptr<const VKMElementIndex> elementIndex() const;

    // Reverse-DNS name of the lock: the program's domain,
    // ".VKMLayoutRenderData-" and this object's address.
    const std::string& accessQueueLabel() const { return mAccessQueueLabel; }

    // The dirty rectangle in view points divided by the zoom, then the layers.
    void drawWithScaleFactor(platform::Context& context, double scaleFactor, const platform::Rect& dirtyRect);
    // Saves the state, scales by the zoom, clips to the rectangle (layout
    // units), paints background ("DrawBackground"), elements ("DrawElements")
    // and overlays ("DrawOverlays") that are present, and restores.
    void drawWithZoom(platform::Context& context, double zoom, const platform::Rect& scaledDirtyRect);
    // Fills the dirty rectangle white when asked; the scale factor and grid
    // colour are not used.
    void drawGridForScaleFactor(platform::Context& context, double scaleFactor, const platform::Rect& dirtyRect,
                                bool clearBackground, const platform::Color& gridColor);

private:
    void store(tLayer& slot, tLayer layer);

    tLayer mGridData;
    tLayer mElementsData;
    tLayer mBackgroundData;
    tLayer mOverlayData;
    tLayer mDebugOverlayData;
    std::shared_ptr<const VKMElementIndex> mElementIndex;
    std::string mAccessQueueLabel;
    mutable std::shared_mutex mAccess;
};
