#pragma once
// Private to platform/ui: what the renderer keeps with a layer between
// frames.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"
#include "platform/ui/render/detail/RepeatedMarks.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui::detail {

// A background kept in the raster of the drawn content, and what it was
// drawn from.
struct KeptBackground {
    Color color;
    Rect bounds;
    double cornerRadius = 0;
    friend bool operator==(const KeptBackground&, const KeptBackground&) = default;
};

struct LayerCache {
    // The frame (a number from 1) for which the raster, the whole and the
    // shadow were last made or found current, when that frame is drawn in
    // bands: its bands draw what is marked for it and make nothing.
    std::uint64_t rasterFrame = 0;
    std::uint64_t wholeFrame = 0;
    std::uint64_t shadowFrame = 0;
    // For frame `areaFrame`: the device pixels the layer and its sublayers
    // may draw on, so that bands pass over the whole subtree at once.
    std::uint64_t areaFrame = 0;
    Rect area;
    // For frame `areaFrame`, of a layer with many sublayers: those each band
    // draws, by index, in order, so that a band passes over the rest
    // without looking at each.
    std::vector<std::vector<std::uint32_t>> bandSublayers;

    // The drawn content: the raster, the area it covers (layer points), the
    // content's extent then, the scale it was drawn at and the content
    // version it shows.
    std::shared_ptr<Image> raster;
    Rect rasterRect;
    Rect rasterExtent;
    double rasterScale = 0;
    std::uint64_t rasterVersion = 0;
    std::optional<KeptBackground> rasterBackground;

    // A shape's marks, when it is drawn by stamping them.
    MarkStamps marks;

    // The whole body of a layer that clips to rounded corners, with the
    // tree version it shows.
    std::shared_ptr<Image> whole;
    Rect wholeRect;
    double wholeScale = 0;
    double wholeContentsScale = 0;
    std::uint64_t wholeVersion = 0;

    // The shadow, before its offset: the tinted, blurred image and where it
    // goes (layer points), with what it was made from.
    std::shared_ptr<Image> shadow;
    Rect shadowRect;
    double shadowScale = 0;
    double shadowRadius = 0;
    Color shadowColor;
    std::optional<Path> shadowSourcePath;  // the shadow path, when it came from one
    std::uint64_t shadowTreeVersion = 0;   // else the tree it came from
};

}  // namespace platform::ui::detail
