#pragma once
// Short texts about what a layer holds, for the layer list: its element
// count, baseboard count or image size, and a tooltip. Main thread only.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/model/Image.h"

class CLayer;
class CLayout;

class QLLayerSummaryHelper {
public:
    // By the layer's type, in parentheses: the elements of a tracks layer,
    // the baseboards of a baseboard layer, the image size of an image
    // layer; "?" for any other type (and for a null layer or layout).
    static std::string getContentSummaryForLayer(const CLayer* layer, CLayout* layout);
    static std::size_t getNumberOfElementsForLayer(const CLayer* layer, const CLayout& layout);
    // "NrElements" with the count, or "Empty".
    static std::string getDescriptionForElementsInLayer(const CLayer* layer, const CLayout& layout);
    // "NrBaseboardPartitions" with the layout's baseboards, or "Empty".
    static std::string getDescriptionForNumberOfBaseboards(const CLayout& layout);
    // "W x H" of the layer's image, empty when it has none.
    static std::string getDimensionStringForImages(tImages& images, CLayer* layer);
    // Nothing for other layer types.
    static std::optional<std::string> getTooltipForLayer(const CLayer* layer, const CLayout& layout);
};
