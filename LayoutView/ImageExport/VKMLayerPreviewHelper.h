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

    // Lines are drawn at least this wide (points), so that a layer whose
    // content lies far apart, fitted to a few points, still shows it.
    static constexpr double kMinimumLineWidth = 1;

    // The layer alone, fitted with 100 mm around it, without grid, framed:
    // previewOfLayout of layoutForLayer.
    static std::shared_ptr<platform::Image> previewForLayer(CLayer* layer, CLayout& layout, platform::Size size);
    // A layout of copies of the layer's content, which the document's later
    // changes leave alone. On the document's thread.
    static std::unique_ptr<CLayout> layoutForLayer(CLayer* layer, CLayout& layout);
    // The framed preview of such a layout (which it moves to fit); on any
    // thread.
    static std::shared_ptr<platform::Image> previewOfLayout(CLayout& single, platform::Size size);
    // A white rounded rectangle of the size with the image centred in it at
    // its own size, clipped to the rectangle and outlined in grey 0.5.
    static std::shared_ptr<platform::Image> createFramedPreview(const platform::Image* image, platform::Size imageSize,
                                                                double cornerRadius);
};
