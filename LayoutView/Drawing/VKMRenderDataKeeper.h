#pragma once
// VKMRenderDataKeeper: the render data of the layout view over their life:
// built or rebuilt from the document with the display edits applied for the
// length of the build, the elements and overlay layers prepared ahead of a
// refresh known to come (VKMPreparedRenderData), and the generation that
// tells one build from the next. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>

#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutView/Drawing/VKMPreparedRenderData.h"
#include "engine/drawing/TransientEdits.h"

class CLayout;

class VKMRenderDataKeeper {
public:
    // Null until the first build or clearing.
    const std::shared_ptr<VKMLayoutRenderData>& renderData() const { return mRenderData; }
    // Grows with every build and clearing, so with every change of
    // document, display edits or colours.
    std::uint64_t generation() const { return mGeneration; }

    // Rebuilds the background layer and, unless `backgroundOnly`, the
    // elements and overlay layers, the overlays for the background style
    // `dark`. A full rebuild drops the prepared layers. Throws what the
    // build throws, the render data and generation left as they were.
    // Timed as "CreateLayoutRenderData".
    void rebuild(CLayout& layout, const tTransientEditActions& actions, bool dark, bool backgroundOnly);
    // Builds the elements and overlay layers now and keeps them aside for
    // refreshWithPrepared; nothing is kept when the build throws. Timed as
    // "PrepareLayoutRenderData".
    void prepare(CLayout& layout, const tTransientEditActions& actions, bool dark);
    // Keeps layers prepared elsewhere (an open's) aside the same way.
    void keepPrepared(VKMPreparedRenderData prepared) { mPrepared = std::move(prepared); }
    bool hasPrepared() const { return mPrepared.has_value(); }
    // A full rebuild that takes the prepared elements and overlay layers
    // instead of building them while they hold for `layout` as it is now;
    // the prepared layers go either way.
    void refreshWithPrepared(CLayout& layout, const tTransientEditActions& actions, bool dark);
    // Empty render data; the prepared layers go.
    void clear();

    // Builds the layers into `renderData` (made when null) as a rebuild does.
    static void build(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                      const tTransientEditActions& actions, bool dark, bool backgroundOnly);

private:
    std::shared_ptr<VKMLayoutRenderData> mRenderData;
    std::optional<VKMPreparedRenderData> mPrepared;
    std::uint64_t mGeneration = 1;
};
