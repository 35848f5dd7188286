// Layout files from untrusted bytes: the bytes become a file that the layout
// document loads as the app loads a downloaded layout; when it loads, the
// document takes the road the app's screens take: the tidy-up after loading,
// the statistics, the part list and its export text, the layout bounds,
// regeneration of generated parts, auto-colourise by every criterion, and
// the layout view's render data (background, elements, overlays) built and
// painted into a small bitmap with the visible content fitted to it. The
// layout's pictures, decoded for the background, keep within its budget.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cmath>
#include <memory>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/LayoutFuzzSupport.h"
#include "platform/graphics/BitmapContext.h"

namespace {

constexpr int kCanvasSize = 64;

void Exercise(CLayout& layout) {
    URemoveEmptyLayers::RemoveEmptyLayers(layout.GetLayerManager(), layout.GetElements(), layout.GetBaseboards(),
                                          layout.GetImages());
    ULayers::UnlockAllLayers(layout.GetLayerManager().GetLayers());
    ULayoutElementClassifier::ClassifyElements(layout.GetElements());
    ULayoutTrackRepairs::RepairTracks(layout.GetElements());

    CTrackElementsStatistics& statistics = layout.GetStatistics();
    statistics.Refresh(layout.GetElements());
    (void)statistics.GetElementKindCounts();
    CPartList parts(&layout, &statistics);
    (void)parts.ExportToString(';', "en");
    (void)parts.ExportToString('\t', "de");

    (void)ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll);
    (void)ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible);
    (void)ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, 10.0);
    for (CCompositeGeometry* element : layout.GetElements()) (void)UElementGeometry::GetElementCenter(element, false);

    // Generated parts are rebuilt as an edit would, and the layout is
    // coloured by every criterion.
    for (CCompositeGeometry* element : layout.GetElements()) {
        if (element != nullptr && !element->GetGeneratorMap().empty()) layout.RegenerateElement(element);
    }
    const tColorList colors = {CColor(0.5, 0.8, 0.77, 1.0), CColor(0.9, 0.6, 0.2, 1.0), CColor(0.3, 0.4, 0.9, 1.0)};
    for (int operation = kColorizeByType; operation <= kColorizeByHeight; ++operation) {
        const tElementGroups groups =
            UAutoColorize::GroupElementsForOperation(layout.GetElements(), operation, static_cast<int>(colors.size()));
        UAutoColorize::ApplyColorList(groups, colors, 0, 0);
    }
}

// Builds the render layers as the layout view does after a load and paints
// them with the visible content fitted into a small bitmap.
void Paint(CLayout& layout) {
    auto renderData = std::make_shared<VKMLayoutRenderData>();
    renderData->setBackgroundData(VKMRenderDataFactory::getBackgroundDataForLayout(layout));
    // The pictures' files and their decoded pixels stay within the
    // layout's budget; files alone over it leave nothing to decode.
    long long files = 0;
    for (const CImageElement* image : layout.GetImages()) files += image ? image->GetDataLength() : 0;
    const auto decoded = static_cast<long long>(VKMLayoutPictures::decodedBytes(layout.GetImages()));
    fuzzsupport::Require(decoded == 0 || decoded + files <= VKMLayoutPictures::kLayoutPictureBytes,
                         "a layout's pictures are within its budget");
    renderData->setElementsData(VKMRenderDataFactory::getElementsDataForLayout(layout));
    renderData->setOverlayData(VKMRenderDataFactory::getOverlayDataForLayout(layout));

    std::unique_ptr<platform::BitmapContext> canvas = platform::BitmapContext::create(kCanvasSize, kCanvasSize);
    if (!canvas) std::abort();
    const tDoubleRect box = ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible);
    const double width = box.maxX - box.minX;
    const double height = box.maxY - box.minY;
    double zoom = 1;
    platform::Rect visible{0, 0, kCanvasSize, kCanvasSize};
    if (std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0) {
        zoom = std::min(kCanvasSize / width, kCanvasSize / height);
        if (!(zoom > 0) || !std::isfinite(zoom)) zoom = 1;
        visible = {box.minX, box.minY, width, height};
        canvas->translate(-box.minX * zoom, -box.minY * zoom);
    }
    renderData->drawWithZoom(*canvas, zoom, visible);
    renderData.reset();
    // The layers' instructions are deleted on a background queue; they must
    // be gone before the document they were made from.
    VKMDrawingInstructionsRenderData::waitForPendingReleases();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::SetUpLayoutServices();
    if (!fuzzsupport::WriteLayoutInput(data, size)) return 0;
    CLayout layout;
    if (layout.Load(fuzzsupport::LayoutInputPath()) == kLayoutLoaded) {
        Exercise(layout);
        Paint(layout);
    }
    return 0;
}
