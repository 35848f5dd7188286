#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>

#include "LayoutView/Drawing/VKMElementIndex.h"
#include "app/Utilities/Images/UIImageCCompositeGeometry.h"
#include "app/Utilities/Images/UIImageZDUtils.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementNames.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

namespace {

// The candidates the index gives for the point, highest key first (and of
// equal keys the later in the list, as the reversed stable sort has them),
// or nothing when the index does not describe the list as it is.
bool IndexedCandidates(const VKMElementIndex& index, const CLayout& layout, platform::Point point,
                       std::vector<CCompositeGeometry*>& out) {
    const tElements& elements = layout.GetElements();
    if (index.layout() != &layout || index.listSize() != elements.size()) return false;
    thread_local std::vector<std::uint32_t> positions;
    index.candidatesAt(point, positions);
    std::vector<std::tuple<long, std::uint32_t, CCompositeGeometry*>> keyed;
    keyed.reserve(positions.size());
    for (const std::uint32_t at : positions) {
        CCompositeGeometry* const element = elements[at];
        if (element != index.elementAt(at)) return false;
        if (element != nullptr) keyed.emplace_back(element->GetAttributeValue(), at, element);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a > b; });
    out.clear();
    for (const auto& entry : keyed) out.push_back(std::get<2>(entry));
    return true;
}

}  // namespace

CCompositeGeometry* VKMLayoutElementHitTestHelper::findElementAtPosition(platform::Point point, CLayout& layout,
                                                                         const tTransientEditActions& actions) {
    std::shared_ptr<const VKMElementIndex> none;
    return findElementAtPosition(point, layout, actions, none, false);
}

CCompositeGeometry* VKMLayoutElementHitTestHelper::findElementAtPosition(
    platform::Point point, CLayout& layout, const tTransientEditActions& actions,
    std::shared_ptr<const VKMElementIndex>& index) {
    return findElementAtPosition(point, layout, actions, index, true);
}

CCompositeGeometry* VKMLayoutElementHitTestHelper::findElementAtPosition(platform::Point point, CLayout& layout,
                                                                         const tTransientEditActions& actions,
                                                                         std::shared_ptr<const VKMElementIndex>& index,
                                                                         bool indexed) {
    CCompositeGeometry* found = nullptr;
    CStopwatch stopwatch;
    {
        CTransientEditScope edits(layout, actions);
        stopwatch.Start();
        const int tunnelStyle = layout.GetParameters().mTunnelDisplayMode;
        std::vector<CCompositeGeometry*> candidates;
        bool useIndex = indexed && std::isfinite(point.x) && std::isfinite(point.y);
        if (useIndex && (!index || index->layout() != &layout || index->listSize() != layout.GetElements().size())) {
            // Made once for the list as it is, then kept by the caller.
            index = std::make_shared<const VKMElementIndex>(layout);
        }
        if (useIndex && !IndexedCandidates(*index, layout, point, candidates)) {
            index.reset();
            useIndex = false;
        }
        if (useIndex) {
            for (const CLayer* layer : layout.GetLayerManager().GetLayers()) {
                if (layer == nullptr || !layer->IsVisible()) continue;
                for (CCompositeGeometry* element : candidates) {
                    if (element->GetLayer() != layer) continue;
                    if (tunnelStyle == kTunnelsHidden && UElementInspector::IsTrackElement(element) &&
                        UElementInspector::IsTunnelTrack(element)) {
                        continue;
                    }
                    if (performHitTestForElement(*element, point)) {
                        found = element;
                        break;
                    }
                }
                if (found != nullptr) break;
            }
        } else {
            const auto sorted = sortedElementControllers(layout.GetElements());
            for (const CLayer* layer : layout.GetLayerManager().GetLayers()) {
                if (layer == nullptr || !layer->IsVisible()) continue;
                found = findElement(sorted, layer, tunnelStyle, point);
                if (found != nullptr) break;
            }
        }
    }
    const double elapsed = stopwatch.Stop();
    QLPerformanceCounters::addToCounter("FindElementAtPosition", elapsed);
    if (found != nullptr) {
        ZDUtils::logInfo("Element '%s' (%s) @ %.1f, %.1f tapped (%.1fms)",
                         UElementNameGenerator::GetDisplayNameForElement(found).c_str(), found->GetIdentifier().c_str(),
                         found->GetPosition().x, found->GetPosition().y, elapsed);
    }
    return found;
}

std::vector<VKMLayoutElementHitTestHelper::tKeyedElement> VKMLayoutElementHitTestHelper::sortedElementControllers(
    const tElements& elements) {
    std::vector<tKeyedElement> sorted;
    sorted.reserve(elements.size());
    for (CCompositeGeometry* element : elements) {
        if (element != nullptr) sorted.emplace_back(element->GetAttributeValue(), element);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const tKeyedElement& a, const tKeyedElement& b) { return a.first < b.first; });
    return sorted;
}

CCompositeGeometry* VKMLayoutElementHitTestHelper::findElement(const std::vector<tKeyedElement>& sorted,
                                                               const CLayer* layer, int tunnelSectionStyle,
                                                               platform::Point point) {
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        CCompositeGeometry* element = it->second;
        if (element == nullptr || element->GetLayer() != layer) continue;
        // Hidden tunnels are not drawn, so they cannot be picked either.
        if (tunnelSectionStyle == kTunnelsHidden && UElementInspector::IsTrackElement(element) &&
            UElementInspector::IsTunnelTrack(element)) {
            continue;
        }
        if (performHitTestForElement(*element, point)) return element;
    }
    return nullptr;
}

bool VKMLayoutElementHitTestHelper::canSkipElement(CCompositeGeometry& element, platform::Point point) {
    // Nothing to draw, nothing to pick; a broken element is passed over.
    const tComponents& components = element.GetComponents();
    if (components.empty() || std::find(components.begin(), components.end(), nullptr) != components.end()) return true;
    tDoubleRect box;
    element.CalcBoundingBox(box);
    const CPoint& position = element.GetPosition();
    // The box may reach left of and above the position (a curve turning
    // back, a rotated element), so only position plus box bounds it.
    return !(position.x + box.minX <= point.x && point.x <= position.x + box.maxX && position.y + box.minY <= point.y &&
             point.y <= position.y + box.maxY);
}

bool VKMLayoutElementHitTestHelper::performHitTestForElement(CCompositeGeometry& element, platform::Point point) {
    if (canSkipElement(element, point)) return false;
    // The element alone, at the origin, drawn into an image whose corner is
    // its box's corner.
    const auto copy = std::make_unique<CCompositeGeometry>(element);
    const CPoint& position = element.GetPosition();
    copy->SetPosition(CPoint(0.0, 0.0, position.z));
    tDoubleRect box;
    copy->CalcBoundingBox(box);
    const auto image = UIImageCCompositeGeometry::imageFromCCompositeGeometry(copy.get(), kRenderScale, kDrawingStyle);
    if (!image) return false;
    const platform::Point inImage{(point.x - position.x - box.minX) * kRenderScale,
                                  (point.y - position.y - box.minY) * kRenderScale};
    return isAlphaVisibleAtPoint(inImage, *image);
}

bool VKMLayoutElementHitTestHelper::isAlphaVisibleAtPoint(platform::Point point, const platform::Image& image) {
    const auto color = UIImageZDUtils::colorAtPixel(image, point);
    return color.has_value() && color->alpha >= kAlphaThreshold;
}
