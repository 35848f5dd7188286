#include "LayoutModule/LayerList/QLLayerSummaryHelper.h"

#include <cstdio>

#include "app/Utilities/Localization/StringVekmont.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"

std::string QLLayerSummaryHelper::getContentSummaryForLayer(const CLayer* layer, CLayout* layout) {
    if (layer == nullptr || layout == nullptr) return "?";
    std::string summary;
    switch (layer->GetLayerType()) {
        case CLayer::kTrackLayer: summary = getDescriptionForElementsInLayer(layer, *layout); break;
        case CLayer::kBaseboardLayer: summary = getDescriptionForNumberOfBaseboards(*layout); break;
        case CLayer::kImageLayer:
            summary = getDimensionStringForImages(layout->GetImages(), const_cast<CLayer*>(layer));
            break;
        default: return "?";
    }
    return "(" + summary + ")";
}

std::size_t QLLayerSummaryHelper::getNumberOfElementsForLayer(const CLayer* layer, const CLayout& layout) {
    return UElementVectorOperations::GetElementsOfLayer(layout.GetElements(), layer).size();
}

std::string QLLayerSummaryHelper::getDescriptionForElementsInLayer(const CLayer* layer, const CLayout& layout) {
    const std::size_t count = getNumberOfElementsForLayer(layer, layout);
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
