#include "LayoutModule/LayerList/QLLayerSummaryHelper.h"

#include <cstdio>
#include <functional>

#include "app/Utilities/Localization/StringVekmont.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"

namespace {

std::string Summary(const CLayer* layer, const CLayout& layout, const std::function<std::size_t()>& elements) {
    std::string summary;
    switch (layer->GetLayerType()) {
        case CLayer::kTrackLayer: summary = QLLayerSummaryHelper::getDescriptionForElementCount(elements()); break;
        case CLayer::kBaseboardLayer:
            summary = QLLayerSummaryHelper::getDescriptionForNumberOfBaseboards(layout);
            break;
        case CLayer::kImageLayer:
            // Read through the constant list: handing the list out for
            // changes would count as a change of the document.
            summary = QLLayerSummaryHelper::getDimensionStringForImages(const_cast<tImages&>(layout.GetImages()),
                                                                        const_cast<CLayer*>(layer));
            break;
        default: return "?";
    }
    return "(" + summary + ")";
}

}  // namespace

std::string QLLayerSummaryHelper::getContentSummaryForLayer(const CLayer* layer, CLayout* layout) {
    if (layer == nullptr || layout == nullptr) return "?";
    return Summary(layer, *layout, [&] { return getNumberOfElementsForLayer(layer, *layout); });
}

std::string QLLayerSummaryHelper::getContentSummaryForLayer(const CLayer* layer, const CLayout& layout,
                                                            const tElementCounts& counts) {
    if (layer == nullptr) return "?";
    return Summary(layer, layout, [&] {
        const auto found = counts.find(layer);
        return found == counts.end() ? std::size_t{0} : found->second;
    });
}

std::size_t QLLayerSummaryHelper::getNumberOfElementsForLayer(const CLayer* layer, const CLayout& layout) {
    return UElementVectorOperations::GetElementsOfLayer(layout.GetElements(), layer).size();
}

QLLayerSummaryHelper::tElementCounts QLLayerSummaryHelper::countElementsByLayer(const CLayout& layout) {
    tElementCounts counts;
    // Elements of a layer mostly come in runs: look the layer up once a run.
    const CLayer* last = nullptr;
    std::size_t* count = nullptr;
    for (const CCompositeGeometry* element : layout.GetElements()) {
        if (element == nullptr) continue;
        const CLayer* layer = element->GetLayer();
        if (count == nullptr || layer != last) {
            last = layer;
            count = &counts[layer];
        }
        ++*count;
    }
    return counts;
}

std::string QLLayerSummaryHelper::getDescriptionForElementsInLayer(const CLayer* layer, const CLayout& layout) {
    return getDescriptionForElementCount(getNumberOfElementsForLayer(layer, layout));
}

std::string QLLayerSummaryHelper::getDescriptionForElementCount(std::size_t count) {
    return count == 0 ? StringVekmont::localized("Empty") : StringVekmont::localizedFormat("NrElements", {count});
}

std::string QLLayerSummaryHelper::getDescriptionForNumberOfBaseboards(const CLayout& layout) {
    const std::size_t count = layout.GetBaseboards().size();
    return count == 0 ? StringVekmont::localized("Empty")
                      : StringVekmont::localizedFormat("NrBaseboardPartitions", {count});
}

std::string QLLayerSummaryHelper::getDimensionStringForImages(tImages& images, CLayer* layer) {
    const CImageElement* image = UImageElements::ImageElementForLayer(layer, images);
    if (image == nullptr) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.0f x %.0f", image->GetWidth(), image->GetHeight());
    return text;
}

std::optional<std::string> QLLayerSummaryHelper::getTooltipForLayer(const CLayer* layer, const CLayout& layout) {
    if (layer == nullptr) return std::nullopt;
    switch (layer->GetLayerType()) {
        case CLayer::kTrackLayer:
            return StringVekmont::localizedFormat("TracksLayerTooltip", {getNumberOfElementsForLayer(layer, layout)});
        case CLayer::kBaseboardLayer:
            return StringVekmont::localizedFormat("BaseboardLayerTooltip", {layout.GetBaseboards().size()});
        case CLayer::kImageLayer: return StringVekmont::localized("ImageLayerTooltip");
        default: return std::nullopt;
    }
}
