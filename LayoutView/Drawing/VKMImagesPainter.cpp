#include "LayoutView/Drawing/VKMImagesPainter.h"

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>
#include <utility>

#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

namespace {

// The box of the rectangle the painter draws: turned about its centre, with
// width and height swapped at a quarter turn as the painter swaps them.
tDoubleRect TurnedBounds(const CImageDrawingInstruction& instruction) {
    const double angle = instruction.mRotationAngle;
    double width = instruction.mWidth;
    double height = instruction.mHeight;
    const double centreX = instruction.mPlacement.x + width / 2;
    const double centreY = instruction.mPlacement.y + height / 2;
    if (!std::isfinite(angle)) return instruction.mBounds;
    double whole = std::fmod(std::trunc(angle), 360.0);
    if (whole < 0) whole += 360.0;
    if (whole == 90.0 || whole == 270.0) std::swap(width, height);
    const double radians = angle * std::numbers::pi / 180.0;
    const double c = std::fabs(std::cos(radians));
    const double s = std::fabs(std::sin(radians));
    const double halfX = (width * c + height * s) / 2;
    const double halfY = (width * s + height * c) / 2;
    return {centreY - halfY, centreX - halfX, centreY + halfY, centreX + halfX};
}

}  // namespace

void VKMImagesPainter::drawImages(const tImages& images, const CLayer* layer, tDrawingInstructions& instructions) {
    for (const CImageElement* element : images) {
        if (element == nullptr || element->GetLayer() != layer) continue;
        std::shared_ptr<platform::Image> picture = getImageForImageElement(*element);
        if (!picture) continue;
        auto instruction =
            std::make_unique<CImageDrawingInstruction>(std::move(picture), element->GetWidth(), element->GetHeight());
        instruction->mRotationAngle = VKMLayoutDisplayParameters::imageRotationAngle(*element);
        instruction->mPlacement = element->GetPosition();
        instruction->mWidth = element->GetWidth();
        instruction->mHeight = element->GetHeight();
        instruction->mAlpha = VKMLayoutDisplayParameters::imageAlpha(*element);
        instruction->CalcBoundingBox();
        instruction->mBounds = TurnedBounds(*instruction);
        instruction->SetOwnerLayer(layer);
        VKMInstructionList::append(instructions, std::move(instruction));
    }
}

std::shared_ptr<platform::Image> VKMImagesPainter::getImageForImageElement(const CImageElement& image) {
    if (image.GetData() == nullptr || image.GetDataLength() <= 0 || !(image.GetWidth() > 0) || !(image.GetHeight() > 0))
        return nullptr;
    // The platform's default budget is the one made for layout images.
    const platform::ImageDecoding decoded = platform::Image::decode(
        std::span<const std::uint8_t>(image.GetData(), static_cast<std::size_t>(image.GetDataLength())));
    if (decoded.overBudget) ZDUtils::logWarning("Layout image: %s", decoded.warning().c_str());
    return decoded.image;
}
