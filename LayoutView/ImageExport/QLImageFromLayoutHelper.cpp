#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"

#include "engine/model/Baseboard.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/services/ZDUtils.h"

std::unique_ptr<CLayout> QLImageFromLayoutHelper::layoutWithLayer(CLayer* layer, CLayout& sourceLayout) {
    std::unique_ptr<CLayout> layout = temporaryLayout();
    copyContentOfLayer(layer, sourceLayout, *layout);
    return layout;
}

std::unique_ptr<CLayout> QLImageFromLayoutHelper::temporaryLayout() {
    auto layout = std::make_unique<CLayout>();
    CLayoutParameters& parameters = layout->GetParameters();
    parameters.mShowGrid = false;
    parameters.mTrackStyle = kTemporaryTrackStyle;
    parameters.mDisplayFlags = 0;
    return layout;
}

void QLImageFromLayoutHelper::copyContentOfLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout) {
    if (layer == nullptr) return;
    switch (layer->GetLayerType()) {
        case CLayer::kTrackLayer: cloneTracksLayer(layer, fromLayout, toLayout); break;
        case CLayer::kBaseboardLayer: cloneBaseboardLayerInLayout(fromLayout, toLayout); break;
        case CLayer::kImageLayer: cloneImageLayer(layer, fromLayout, toLayout); break;
        default: ZDUtils::logWarning("Unsupported layer type: %d", layer->GetLayerType()); break;
    }
}

void QLImageFromLayoutHelper::cloneTracksLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout) {
    adoptTrackCopies(UElementVectorOperations::CloneElements(
                         UElementVectorOperations::GetElementsOfLayer(fromLayout.GetElements(), layer)),
                     toLayout);
}

void QLImageFromLayoutHelper::adoptTrackCopies(tElements copies, CLayout& toLayout) {
    CLayerManager& layers = toLayout.GetLayerManager();
    CLayer* target = layers.GetFirstEditableLayer();
    if (target == nullptr) target = layers.GetCurrentLayer();
    int number = toLayout.GetHighestElementNumber();
    for (CCompositeGeometry* copy : copies) {
        copy->SetLayer(target);
        copy->SetAttributeValue(++number);
    }
    tElements& elements = toLayout.GetElementList();
    elements.insert(elements.end(), copies.begin(), copies.end());
}

void QLImageFromLayoutHelper::cloneBaseboardLayerInLayout(CLayout& fromLayout, CLayout& toLayout) {
    adoptBaseboardCopies(UBaseboardElements::CloneBaseboards(fromLayout.GetBaseboards()), toLayout);
}

void QLImageFromLayoutHelper::adoptBaseboardCopies(tBaseboardElements copies, CLayout& toLayout) {
    CLayer* layer = toLayout.GetLayerManager().AddLayer("BASEBOARDS", true);
    layer->SetLayerType(CLayer::kBaseboardLayer);
    UBaseboardElements::AssignLayer(copies, layer);
    tBaseboardElements& target = toLayout.GetBaseboards();
    target.insert(target.end(), copies.begin(), copies.end());
}

void QLImageFromLayoutHelper::cloneImageLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout) {
    const CImageElement* image = UImageElements::ImageElementForLayer(layer, fromLayout.GetImages());
    if (image == nullptr) return;
    auto copy = std::make_unique<CImageElement>(*image);
    CLayer* target = toLayout.GetLayerManager().AddLayer("IMAGE", true);
    target->SetLayerType(CLayer::kImageLayer);
    copy->SetLayer(target);
    toLayout.GetImages().push_back(copy.get());
    copy.release();
}

double QLImageFromLayoutHelper::calculateFittingZoomForSize(platform::Size size, CLayout& layout, int paddingMM) {
    const tPaddedContent content =
        ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeVisible, paddingMM);
    ULayoutBounds::TranslateLayout(layout, content);
    if (!(content.width > 0) || !(content.height > 0)) return 1.0;
    const double zoomX = size.width / content.width;
    if (zoomX * content.height <= size.height) return zoomX;
    return size.height / content.height;
}
