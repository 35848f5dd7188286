#pragma once
// Short texts about what a layer holds, for the layer list: its element
// count, baseboard count or image size, and a tooltip. Main thread only.

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/model/Image.h"

class CLayer;
class CLayout;

class QLLayerSummaryHelper {
public:
    // The number of elements on each layer (layers without any are absent).
    using tElementCounts = std::unordered_map<const CLayer*, std::size_t>;

    // By the layer's type, in parentheses: the elements of a tracks layer,
    // the baseboards of a baseboard layer, the image size of an image
    // layer; "?" for any other type (and for a null layer or layout).
    static std::string getContentSummaryForLayer(const CLayer* layer, CLayout* layout);
    // The same, a tracks layer's elements taken from `counts`
    // (countElementsByLayer of the layout) instead of counted again.
    static std::string getContentSummaryForLayer(const CLayer* layer, const CLayout& layout,
                                                 const tElementCounts& counts);
    static std::size_t getNumberOfElementsForLayer(const CLayer* layer, const CLayout& layout);
    // Every layer's elements in one look at the layout's list.
    static tElementCounts countElementsByLayer(const CLayout& layout);
    // "NrElements" with the count, or "Empty".
    static std::string getDescriptionForElementsInLayer(const CLayer* layer, const CLayout& layout);
    static std::string getDescriptionForElementCount(std::size_t count);
    // "NrBaseboardPartitions" with the layout's baseboards, or "Empty".
    static std::string getDescriptionForNumberOfBaseboards(const CLayout& layout);
    // "W x H" of the layer's image, empty when it has none.
    static std::string getDimensionStringForImages(tImages& images, CLayer* layer);
    // Nothing for other layer types.
    static std::optional<std::string> getTooltipForLayer(const CLayer* layer, const CLayout& layout);
};
