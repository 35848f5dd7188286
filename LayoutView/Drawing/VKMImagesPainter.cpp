#include "LayoutView/Drawing/VKMImagesPainter.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "engine/drawing/ImageInstruction.h"
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
    // Nothing once the list's pictures are decoded: the first build does it
    // for all of them together.
    VKMLayoutPictures::decodePictures(images);
    for (const CImageElement* element : images) {
        if (element == nullptr || element->GetLayer() != layer) continue;
        if (!(element->GetWidth() > 0) || !(element->GetHeight() > 0)) continue;
        std::shared_ptr<const platform::Image> picture = element->GetPicture();
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

std::shared_ptr<const platform::Image> VKMImagesPainter::getImageForImageElement(CImageElement& image) {
    if (image.GetData() == nullptr || image.GetDataLength() <= 0 || !(image.GetWidth() > 0) || !(image.GetHeight() > 0))
        return nullptr;
    VKMLayoutPictures::decodePictures({&image});
    return image.GetPicture();
}
