#include "LayoutView/ImageExport/VKMLayerPreviewHelper.h"

#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "LayoutView/ImageExport/VKMImageExportHelper.h"
#include "engine/model/Layout.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"

std::shared_ptr<platform::Image> VKMLayerPreviewHelper::previewForLayer(CLayer* layer, CLayout& layout,
                                                                        platform::Size size) {
    return previewOfLayout(*layoutForLayer(layer, layout), size);
}

std::unique_ptr<CLayout> VKMLayerPreviewHelper::layoutForLayer(CLayer* layer, CLayout& layout) {
    return QLImageFromLayoutHelper::layoutWithLayer(layer, layout);
}

std::shared_ptr<platform::Image> VKMLayerPreviewHelper::previewOfLayout(CLayout& single, platform::Size size) {
    const double zoom = QLImageFromLayoutHelper::calculateFittingZoomForSize(size, single, kPaddingMM);
    const std::shared_ptr<platform::Image> image =
        VKMImageExportHelper::imageForLayout(single, zoom, false, kMinimumLineWidth);
    return createFramedPreview(image.get(), size, kCornerRadius);
}

std::shared_ptr<platform::Image> VKMLayerPreviewHelper::createFramedPreview(const platform::Image* image,
                                                                            platform::Size imageSize,
                                                                            double cornerRadius) {
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::createForPointSize(imageSize);
    if (!context) return nullptr;
    const platform::Rect frame{0, 0, imageSize.width, imageSize.height};
    platform::Path outline;
    outline.addRoundedRect(frame, cornerRadius);
    context->clipToPath(outline);
    context->setFillColor(platform::Color::white(1.0));
    context->fillRect(frame);
    if (image != nullptr) {
        const platform::Size own = image->size();
        context->drawImage(
            *image, {(imageSize.width - own.width) / 2, (imageSize.height - own.height) / 2, own.width, own.height});
    }
    context->setStrokeColor(platform::Color::white(0.5));
    context->setLineWidth(0.5);
    context->strokePath(outline);
    return context->makeImage();
}
