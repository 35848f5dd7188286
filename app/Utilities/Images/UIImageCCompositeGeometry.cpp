#include "app/Utilities/Images/UIImageCCompositeGeometry.h"

#include <algorithm>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "engine/model/LayoutBounds.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/SystemColors.h"

namespace UIImageCCompositeGeometry {

namespace {

constexpr const char* kSignature =
    "+[UIImage(CCompositeGeometry) imageFromCCompositeGeometries:usingScale:drawingStyle:outlineColor:]";
// Tunnels drawn as the elements have them.
constexpr int kTunnelStyle = 0;

tElements listOf(CCompositeGeometry* element) {
    if (element == nullptr) return {};
    return {element};
}

}  // namespace

std::shared_ptr<platform::Image> imageFromCCompositeGeometry(CCompositeGeometry* element, float scale,
                                                             int drawingStyle) {
    return imageFromCCompositeGeometries(listOf(element), scale, drawingStyle);
}

std::shared_ptr<platform::Image> imageFromCCompositeGeometry(CCompositeGeometry* element, float scale, int drawingStyle,
                                                             const platform::Color& outlineColor) {
    return imageFromCCompositeGeometries(listOf(element), scale, drawingStyle, outlineColor);
}

std::shared_ptr<platform::Image> imageFromCCompositeGeometries(const tElements& elements, float scale,
                                                               int drawingStyle) {
    return imageFromCCompositeGeometries(elements, scale, drawingStyle, platform::ui::SystemColors::kBlack);
}

std::shared_ptr<platform::Image> imageFromCCompositeGeometries(const tElements& elements, float scale, int drawingStyle,
                                                               const platform::Color& outlineColor) {
    if (elements.empty()) {
        ZDUtils::logWarning("No elements provided in %s", kSignature);
        return nullptr;
    }
    const tDoubleRect box = UElementVectorOperations::GetBoundingBox(elements);
    const double width = box.maxX - box.minX;
    const double height = box.maxY - box.minY;
    const platform::Size size{std::max(width * scale, 1.0), std::max(height * scale, 1.0)};
    auto bitmap = platform::BitmapContext::createForPointSize(size, platform::ui::Screen::mainScreen()->scale());
    if (!bitmap) return nullptr;
    bitmap->scale(scale, scale);
    // The box's corner at the image's corner, wherever the elements lie.
    bitmap->translate(-box.minX, -box.minY);

    VKMScopedInstructionList instructions;
    const ::CColor outline = UIColorCColor::CColor(outlineColor);
    VKMLayoutElementsPainter::drawElements(elements, drawingStyle, kTunnelStyle, instructions.list(), &outline);
    VKMDrawingInstructionsPainter::draw(*bitmap, instructions.list(),
                                        platform::Rect{box.minX, box.minY, size.width / scale, size.height / scale},
                                        "ImageFromElements");
    return bitmap->makeImage();
}

}  // namespace UIImageCCompositeGeometry
