#pragma once
// What the layout view does with its render data, apart from being a view:
// the drawing pass (document background, grid, then the render layers,
// translated by the pan offset and scaled by the document's zoom) and the
// rebuild of the render data with the display edits applied to the document
// for the length of the build only.

#include <memory>

#include "LayoutModule/LayoutView/Drawing/VKMLayoutRenderData.h"
#include "engine/drawing/TransientEdits.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

class CLayout;

class VKMLayoutViewDrawing {
public:
    // The user default that turns the document background dark.
    static constexpr const char* kDarkBackgroundKey = "VKMUserDefaultLayoutStyleDarkBackground";

    // The drawing pass of the view: translates by the content offset, fills
    // the dirty rectangle (moved by minus the offset) with the document
    // background, and, when there is a layout, draws the grid over its
    // workspace (when its show-grid flag is set) and the render data (when
    // given) at its zoom. Timed as "DrawLayoutView". The context's state is
    // as before afterwards.
    static void drawRect(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
                         VKMLayoutRenderData* renderData, platform::Point contentOffset);

    // Rebuilds the background layer and, unless `backgroundOnly`, the
    // elements and overlay layers, with the actions applied to the layout in
    // list order and undone before returning, on every way out (an exception
    // from a painter passes on with the document restored and the render
    // data as before). Makes the render data when there are none. Nothing
    // without a layout. Timed as "CreateLayoutRenderData".
    static void refreshLayoutRenderDataBackgroundOnly(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout* layout,
                                                      const tTransientEditActions& actions, bool backgroundOnly);
    static void refreshLayoutRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout* layout,
                                        const tTransientEditActions& actions);

    // (zoom x workspace width, zoom x workspace height).
    static platform::Size intrinsicContentSize(const CLayout& layout);

    // Whether the dark document background is on (absent reads off).
    static bool isDarkBackground();
};
