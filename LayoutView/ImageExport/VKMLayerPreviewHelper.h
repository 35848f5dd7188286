#pragma once
// VKMLayerPreviewHelper: small framed pictures of single layers for the
// layer list.

#include <memory>

#include "platform/graphics/Geometry.h"

namespace platform {
class Image;
}
class CLayer;
class CLayout;

class VKMLayerPreviewHelper {
public:
    static constexpr int kPaddingMM = 100;
    static constexpr double kCornerRadius = 2;

    // The layer alone, fitted with 100 mm around it, without grid, framed.
    static std::shared_ptr<platform::Image> previewForLayer(CLayer* layer, CLayout& layout, platform::Size size);
    // A white rounded rectangle of the size with the image centred in it at
    // its own size, clipped to the rectangle and outlined in grey 0.5.
    static std::shared_ptr<platform::Image> createFramedPreview(const platform::Image* image, platform::Size imageSize,
                                                                double cornerRadius);
};
