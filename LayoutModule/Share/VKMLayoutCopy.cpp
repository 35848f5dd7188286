#include "LayoutModule/Share/VKMLayoutCopy.h"

#include <unordered_map>

#include "engine/model/Baseboard.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Image.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"

namespace VKMLayoutCopy {

std::unique_ptr<CLayout> copyForDrawing(const CLayout& source) {
    auto copy = std::make_unique<CLayout>();
    copy->GetParameters() = source.GetParameters();
    copy->SetZoom(source.GetZoom());

    // The copy starts with one layer of its own: it becomes the first.
    CLayerManager& layers = copy->GetLayerManager();
    std::unordered_map<const CLayer*, CLayer*> layerOf;
    const tLayers& sourceLayers = source.GetLayerManager().GetLayers();
    for (std::size_t i = 0; i < sourceLayers.size(); ++i) {
        CLayer* target = i == 0 ? layers.GetLayers().front() : layers.AddLayer("", true);
        *target = *sourceLayers[i];
        layerOf[sourceLayers[i]] = target;
    }
    // Something on a layer the manager does not list goes on the first.
    CLayer* first = layers.GetLayers().front();
    auto mapped = [&layerOf, first](CLayer* layer) -> CLayer* {
        if (layer == nullptr) return nullptr;
        const auto found = layerOf.find(layer);
        return found == layerOf.end() ? first : found->second;
    };

    tElements& elements = copy->GetElementList();
    elements = UElementVectorOperations::CloneElements(source.GetElements());
    // The joint index is left empty: drawing never asks for connections.
    for (CCompositeGeometry* element : elements) element->SetLayer(mapped(element->GetLayer()));
    tBaseboardElements& baseboards = copy->GetBaseboards();
    baseboards = UBaseboardElements::CloneBaseboards(source.GetBaseboards());
    for (CBaseboardElement* baseboard : baseboards) baseboard->SetLayer(mapped(baseboard->GetLayer()));
    tImages& images = copy->GetImages();
    for (const CImageElement* image : source.GetImages()) {
        auto duplicate = std::make_unique<CImageElement>(*image);
        duplicate->SetLayer(mapped(image->GetLayer()));
        images.push_back(duplicate.release());
    }
    return copy;
}

}  // namespace VKMLayoutCopy
