#include "LayoutView/ImageExport/VKMImageExportHelper.h"

#include <algorithm>
#include <cmath>

#include "LayoutView/Drawing/VKMBaseboardsPainter.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

namespace {

platform::Size WorkspaceSize(const CLayout& layout, double zoom) {
    return {layout.GetParameters().mWorkspaceWidth * zoom, layout.GetParameters().mWorkspaceHeight * zoom};
}

// Content fitted far smaller than a pixel would vanish: a fill narrower
// than `width` (layout units) is outlined in its own colour to come out
// about `width` wide, and a stroke too thin for the context to draw at all
// is drawn a quarter of `width` wide; a text too small to read is marked
// by its box, filled in its colour, as wide. Lines that do show keep their
// width, so the picture looks as before wherever its content was large
// enough.
void WidenVanishingLines(tDrawingInstructions& instructions, double width) {
    if (!(width > 0) || !std::isfinite(width)) return;
    auto narrowestOf = [](const tDoubleRect& box) { return std::min(box.Width(), box.Height()); };
    const std::size_t count = instructions.size();
    for (std::size_t i = 0; i < count; ++i) {
        CDrawingInstruction* instruction = instructions[i];
        if (instruction == nullptr) continue;
        if (const auto* text = dynamic_cast<const CTextDrawingInstruction*>(instruction)) {
            const tDoubleRect& box = text->mBounds;
            const double narrowest = narrowestOf(box);
            if (text->mText.empty() || !(narrowest >= 0) || !(narrowest < width)) continue;
            auto mark = std::make_unique<CPathDrawingInstruction>(kDrawingStyleFillAndStroke, false, text->mFillColor,
                                                                  text->mFillColor);
            mark->AddLineTo({box.minX, box.minY, 0});
            mark->AddLineTo({box.maxX, box.minY, 0});
            mark->AddLineTo({box.maxX, box.maxY, 0});
            mark->AddLineTo({box.minX, box.maxY, 0});
            mark->AddLineTo({box.minX, box.minY, 0});
            mark->mLineWidth = width - narrowest;
            mark->CalcBoundingBox();
            VKMInstructionList::append(instructions, std::move(mark));
            continue;
        }
        double* lineWidth = nullptr;
        if (auto* path = dynamic_cast<CPathDrawingInstruction*>(instruction)) {
            lineWidth = &path->mLineWidth;
        } else if (auto* oval = dynamic_cast<COvalDrawingInstruction*>(instruction)) {
            lineWidth = &oval->mLineWidth;
        }
        if (lineWidth == nullptr) continue;
        if (instruction->mUseStroke) {
            if (!(*lineWidth < width / 20)) continue;
            *lineWidth = width / 4;
        } else {
            const double narrowest = narrowestOf(instruction->mBounds);
            if (!instruction->mUseFill || !(narrowest >= 0) || !(narrowest < width)) continue;
            instruction->mUseStroke = true;
            instruction->mStrokeColor = instruction->mFillColor;
            *lineWidth = width - narrowest;
        }
        instruction->CalcBoundingBox();
    }
}

}  // namespace

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, double zoomFactor,
                                                                      bool includeGrid) {
    ZDUtils::logInfo("Creating image from layout w/ %lu elements",
                     static_cast<unsigned long>(layout.GetElements().size()));
    return imageForLayout(layout, zoomFactor, includeGrid, 0);
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, double zoomFactor,
                                                                      bool includeGrid, double minimumLineWidth) {
    std::unique_ptr<platform::BitmapContext> context =
        platform::BitmapContext::createForPointSize(WorkspaceSize(layout, zoomFactor));
    if (!context) return nullptr;
    drawLayout(layout, *context, zoomFactor, includeGrid, minimumLineWidth);
    return context->makeImage();
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, bool includeGrid) {
    return imageForLayout(layout, layout.GetZoom(), includeGrid);
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayer(CLayer* layer, CLayout& layout, double zoomFactor,
                                                                     bool includeGrid) {
    std::unique_ptr<CLayout> single = QLImageFromLayoutHelper::layoutWithLayer(layer, layout);
    return imageForLayout(*single, zoomFactor, includeGrid);
}

VKMImageExportHelper::tCrop VKMImageExportHelper::croppedFrame(CLayout& layout, int padding, double targetImageSize) {
    const tPaddedContent content =
        ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeVisible, padding);
    tCrop crop;
    const double side = std::max(content.width, content.height);
    crop.zoom = side > 0 ? targetImageSize / side : 1.0;
    crop.size = {content.width * crop.zoom, content.height * crop.zoom};
    crop.offset = {content.dx * crop.zoom, content.dy * crop.zoom};
    ZDUtils::logInfo("Exporting image with (cropped) dimensions %d x %d at zoom factor %.3f",
                     static_cast<int>(content.width), static_cast<int>(content.height), crop.zoom);
    return crop;
}

void VKMImageExportHelper::drawCroppedLayout(CLayout& layout, platform::Context& context, const tCrop& crop) {
    context.save();
    context.translate(crop.offset.x, crop.offset.y);
    drawLayout(layout, context, crop.zoom, false);
    context.restore();
}

std::shared_ptr<platform::Image> VKMImageExportHelper::getCroppedImage(CLayout& layout, int padding,
                                                                       double targetImageSize) {
    const tCrop crop = croppedFrame(layout, padding, targetImageSize);
    ZDUtils::logInfo("Creating image from layout w/ %lu elements",
                     static_cast<unsigned long>(layout.GetElements().size()));
    // Drawn straight into the crop rather than cropped from an image of the
    // whole workspace: the same pixels without the larger bitmap.
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::createForPointSize(crop.size);
    if (!VKM_SOFT_ASSERT(context != nullptr)) return nullptr;
    drawCroppedLayout(layout, *context, crop);
    std::shared_ptr<platform::Image> croppedImage = context->makeImage();
    VKM_SOFT_ASSERT(croppedImage != nullptr);
    return croppedImage;
}

void VKMImageExportHelper::drawLayout(CLayout& layout, platform::Context& rendererContext, double zoomFactor,
                                      bool includeGrid, double minimumLineWidth) {
    const double minimumWidth = zoomFactor > 0 ? minimumLineWidth / zoomFactor : 0;
    const platform::Size area = WorkspaceSize(layout, zoomFactor);
    const platform::Rect areaRect{0, 0, area.width, area.height};
    rendererContext.save();
    rendererContext.setFillColor(platform::Color::white(1.0));
    rendererContext.fillRect(areaRect);
    if (includeGrid) {
        VKMGridPainter::drawGridInRect(rendererContext, areaRect, areaRect, zoomFactor, zoomFactor,
                                       VKMLayoutColors::vkmLayoutGridColor());
    }
    rendererContext.scale(zoomFactor, zoomFactor);
    const platform::Rect dirty{0, 0, static_cast<double>(layout.GetParameters().mWorkspaceWidth),
                               static_cast<double>(layout.GetParameters().mWorkspaceHeight)};
    {
        VKMScopedInstructionList baseboards;
        VKMBaseboardsPainter::drawBaseboards(layout.GetBaseboards(), layout, baseboards.list());
        WidenVanishingLines(baseboards.list(), minimumWidth);
        VKMDrawingInstructionsPainter::draw(rendererContext, baseboards.list(), dirty, "ImageExportBaseboards");
    }
    {
        VKMScopedInstructionList elements;
        VKMLayoutElementsPainter::drawElementsInLayout(layout, elements.list());
        WidenVanishingLines(elements.list(), minimumWidth);
        VKMDrawingInstructionsPainter::draw(rendererContext, elements.list(), dirty, "ImageExportElements");
    }
    rendererContext.restore();
}
