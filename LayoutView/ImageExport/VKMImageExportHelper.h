#pragma once
// VKMImageExportHelper: images of a whole layout drawn off screen with the
// viewer's painters: on white, optionally over the grid, the baseboards and
// then the elements. Pictures of image layers and overlays are not part of
// exported images.

#include <memory>

#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

namespace platform {
class Image;
}
class CLayer;
class CLayout;

class VKMImageExportHelper {
public:
    // The workspace at the zoom: (width x zoom, height x zoom) points. Null
    // when no bitmap of that size can be made.
    static std::shared_ptr<platform::Image> imageForLayout(CLayout& layout, double zoomFactor, bool includeGrid);
    // The same with every stroked line at least `minimumLineWidth` points
    // wide on the image, so that content drawn far smaller than a pixel
    // still shows.
    static std::shared_ptr<platform::Image> imageForLayout(CLayout& layout, double zoomFactor, bool includeGrid,
                                                           double minimumLineWidth);
    // At the layout's own zoom.
    static std::shared_ptr<platform::Image> imageForLayout(CLayout& layout, bool includeGrid);
    // The image of a temporary layout of that layer only, at the source
    // layout's zoom.
    static std::shared_ptr<platform::Image> imageForLayer(CLayer* layer, CLayout& layout, double zoomFactor,
                                                          bool includeGrid);

    // The visible content with `padding` millimetres around it, its longer
    // side `targetImageSize` points. Null when it cannot be made.
    static std::shared_ptr<platform::Image> getCroppedImage(CLayout& layout, int padding, double targetImageSize);

    // The crop of getCroppedImage: the page size in points, the zoom and the
    // shift of the layout within the page.
    struct tCrop {
        platform::Size size;
        double zoom = 1;
        platform::Point offset;
    };
    static tCrop croppedFrame(CLayout& layout, int padding, double targetImageSize);
    // Draws the layout as getCroppedImage does into any context (a vector
    // document, for instance) of the crop's size.
    static void drawCroppedLayout(CLayout& layout, platform::Context& context, const tCrop& crop);

    // Fills the workspace area (0, 0, width x zoom, height x zoom) white,
    // draws the grid when asked, then the baseboards ("ImageExportBaseboards")
    // and the elements ("ImageExportElements") at the zoom, their stroked
    // lines at least `minimumLineWidth` points wide. The context's state is
    // as before afterwards.
    static void drawLayout(CLayout& layout, platform::Context& rendererContext, double zoomFactor, bool includeGrid,
                           double minimumLineWidth = 0);
};
