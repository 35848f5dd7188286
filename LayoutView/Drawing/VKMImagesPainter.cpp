#include "LayoutView/Drawing/VKMImagesPainter.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/geometry/Color.h"
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

// The mark of a picture left out: its frame and both diagonals, thin and
// grey, turned as the picture would be.
void DrawLeftOutFrame(const CImageElement& element, const CLayer* layer, tDrawingInstructions& instructions) {
    const double angle = VKMLayoutDisplayParameters::imageRotationAngle(element);
    double halfX = element.GetWidth() / 2;
    double halfY = element.GetHeight() / 2;
    const CPoint& at = element.GetPosition();
    const double centreX = at.x + halfX;
    const double centreY = at.y + halfY;
    double radians = 0;
    if (std::isfinite(angle)) {
        double whole = std::fmod(std::trunc(angle), 360.0);
        if (whole < 0) whole += 360.0;
        if (whole == 90.0 || whole == 270.0) std::swap(halfX, halfY);
        radians = angle * std::numbers::pi / 180.0;
    }
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const auto corner = [&](double x, double y) { return CPoint(centreX + x * c - y * s, centreY + x * s + y * c); };
    const CPoint corners[4] = {corner(-halfX, -halfY), corner(halfX, -halfY), corner(halfX, halfY),
                               corner(-halfX, halfY)};
    auto frame =
        std::make_unique<CPathDrawingInstruction>(kDrawingStyleStroke, false, CColor::Gray50(), CColor::Gray50());
    for (const CPoint& point : corners) frame->AddLineTo(point);
    frame->AddLineTo(corners[0]);
    frame->StartNewPath();
    frame->AddLineTo(corners[0]);
    frame->AddLineTo(corners[2]);
    frame->StartNewPath();
    frame->AddLineTo(corners[1]);
    frame->AddLineTo(corners[3]);
    frame->SetOwnerLayer(layer);
    frame->CalcBoundingBox();
    VKMInstructionList::append(instructions, std::move(frame));
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
        if (!picture) {
            if (element->IsPictureLeftOut()) DrawLeftOutFrame(*element, layer, instructions);
            continue;
        }
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
