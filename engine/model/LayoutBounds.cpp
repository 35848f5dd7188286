#include "engine/model/LayoutBounds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/ModelInternal.h"
#include "engine/services/Logger.h"

namespace {

// Positions beyond this are damage; bounds take them as 0.
constexpr double kMaxCoordinate = 1e7;

bool IsEmpty(const tDoubleRect& rect) {
    return !(rect.maxX >= rect.minX && rect.maxY >= rect.minY) || !std::isfinite(rect.minX) ||
           !std::isfinite(rect.maxX) || !std::isfinite(rect.minY) || !std::isfinite(rect.maxY);
}

// What GetContentBoundingBox keeps: worked out from const access only, so
// that working it out counts as no change.
tDoubleRect ContentBoundingBox(const CLayout& layout, bool visibleOnly) {
    const tDoubleRect elements = UElementVectorOperations::GetBoundingBox(
        visibleOnly ? UElementVectorOperations::GetElementsOnVisibleLayers(layout.GetElements())
                    : layout.GetElements());
    const tDoubleRect images = UImageElements::GetBoundingBox(
        visibleOnly ? UImageElements::GetImagesOnVisibleLayers(layout.GetImages()) : layout.GetImages());

    tDoubleRect content;
    CBoundsAccumulator accumulator(content);
    accumulator.AddRect(elements);
    accumulator.AddRect(images);
    if (!visibleOnly) {
        accumulator.AddRect(UBaseboardElements::GetBoundingBox(layout.GetBaseboards()));
    } else {
        const CLayer* baseboardLayer =
            ULayers::FindFirstLayerOfType(layout.GetLayerManager().GetLayers(), CLayer::kBaseboardLayer);
        if (baseboardLayer != nullptr && baseboardLayer->IsVisible())
            accumulator.AddRect(UBaseboardElements::GetBoundingBox(layout.GetBaseboards()));
    }
    return content;
}

// The element's own box shifted by its position (a damaged coordinate
// counts as 0), added to the accumulator. Touches the element alone: its
// components keep scratch state of their own while they are measured.
void AddElementBox(CBoundsAccumulator& accumulator, CCompositeGeometry* element) {
    if (element == nullptr) return;
    tDoubleRect box;
    element->CalcBoundingBox(box);
    double x = element->GetPosition().x;
    double y = element->GetPosition().y;
    if (std::fabs(x) > kMaxCoordinate) {
        LogWarning("Auto-fixing illegal x coordinate for element '%s': %.2f", element->GetProductNumber(), x);
        x = 0.0;
    }
    if (std::fabs(y) > kMaxCoordinate) {
        LogWarning("Auto-fixing illegal y coordinate for element '%s': %.2f", element->GetProductNumber(), y);
        y = 0.0;
    }
    accumulator.AddRect(tDoubleRect{box.minY + y, box.minX + x, box.maxY + y, box.maxX + x});
}

int ToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

}  // namespace

namespace UElementVectorOperations {

tDoubleRect GetBoundingBox(const tElements& elements) {
    if (elements.empty()) return tDoubleRect{};
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    const std::size_t shares = UModelInternal::ShareCount(elements.size());
    if (shares <= 1) {
        for (CCompositeGeometry* element : elements) AddElementBox(accumulator, element);
        return bounds;
    }
    // Each share is bounded on its own, side by side, and the shares'
    // boxes are joined: a box that counts holds no NaN, so taking minima
    // and maxima in any grouping gives the same rectangle. A share whose
    // boxes all were too thin is empty and adds nothing.
    std::vector<tDoubleRect> parts(shares);
    UModelInternal::ForEachShare(elements.size(),
                                 [&elements, &parts](std::size_t share, std::size_t first, std::size_t end) {
                                     CBoundsAccumulator part(parts[share]);
                                     for (std::size_t i = first; i < end; ++i) AddElementBox(part, elements[i]);
                                 });
    for (const tDoubleRect& part : parts) accumulator.AddRect(part);
    return bounds;
}

}  // namespace UElementVectorOperations

namespace ULayoutBounds {

tDoubleRect GetContentBoundingBox(CLayout& layout, int mode) {
    const bool visibleOnly = mode == kBoundsModeVisible;
    CLayout::tKeptBounds& kept = layout.KeptContentBounds(visibleOnly);
    const std::uint64_t changes = UContentChanges::Count();
    if (kept.kept && kept.changes == changes) return kept.box;
    kept.box = ContentBoundingBox(std::as_const(layout), visibleOnly);
    kept.changes = changes;
    kept.kept = true;
    return kept.box;
}

tPaddedContent GetContentRectWithPadding(CLayout& layout, int mode, double padding) {
    const tDoubleRect r = GetContentBoundingBox(layout, mode);
    tPaddedContent padded;
    if (IsEmpty(r)) {
        // Nothing to frame: no shift, just the padding.
        padded.width = 2.0 * padding;
        padded.height = 2.0 * padding;
        return padded;
    }
    padded.dx = padding - r.minX;
    padded.dy = padding - r.minY;
    padded.width = std::ceil(r.maxX - r.minX) + 2.0 * padding;
    padded.height = std::ceil(r.maxY - r.minY) + 2.0 * padding;
    return padded;
}

void TranslateLayout(CLayout& layout, const tPaddedContent& content) {
    UImageElements::MoveAll(layout.GetImages(), content.dx, content.dy);
    UElementVectorOperations::TranslateElements(layout.GetElements(), content.dx, content.dy);
    UBaseboardElements::MoveAll(layout.GetBaseboards(), content.dx, content.dy);
    layout.SetWorkspaceSize(ToInt(content.width), ToInt(content.height));
}

}  // namespace ULayoutBounds

namespace UElementGeometry {

CPoint GetElementCenter(CCompositeGeometry* element, bool raw) {
    if (element == nullptr) return CPoint();
    tDoubleRect box;
    element->CalcBoundingBox(box);
    const double width = box.Width();
    const double height = box.Height();
    const double angle = element->GetAngle();

    CPoint point;
    if (UElementInspector::IsCurvedTrack(element)) {
        auto* curve = dynamic_cast<CCurveBIG*>(UElementComponents::GetFirstTrackComponent(element));
        if (curve != nullptr) {
            const CPoint centre = curve->GetCenterPoint(angle);
            point = CPoint(centre.x, centre.y - curve->GetRadius(), 0.0);
            point.Rotate(centre, angle + curve->GetAngle() + curve->GetArcAngle() / 2.0);
        }
    } else if (UElementInspector::IsFlexTrack(element)) {
        auto* flex = dynamic_cast<CFlexTrackBIG*>(element->GetComponents().front());
        if (flex != nullptr) point = flex->GetCenterPoint(angle);
    } else if (!UElementInspector::IsSingleTrackElement(element)) {
        point = CPoint(width / 2.0, height / 2.0, 0.0);
    } else if (CBasicGeometry* track = UElementComponents::GetFirstTrackComponent(element)) {
        point = UComponentPositioning::GetComponentCenter(track);
    }

    if (!raw) {
        point.x -= box.minX + width / 2.0;
        point.y -= box.minY + height / 2.0;
    }
    return point;
}

CPoint GetCenteredOrigin(CCompositeGeometry* element, const tDoubleRect& rect) {
    CPoint centre = GetElementCenter(element, false);
    centre.x -= rect.Width() / 2.0;
    centre.y -= rect.Height() / 2.0;
    return centre;
}

}  // namespace UElementGeometry
