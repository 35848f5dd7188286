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

// A picture's rectangle as the painter draws it: turned about its centre,
// with width and height swapped at a quarter turn as the painter swaps them
// (not turned at all when the angle is no number).
struct TurnedRect {
    double centreX = 0;
    double centreY = 0;
    double halfX = 0;
    double halfY = 0;
    double radians = 0;
};

TurnedRect Turned(const CPoint& at, double width, double height, double angle) {
    TurnedRect turned{at.x + width / 2, at.y + height / 2, width / 2, height / 2};
    if (!std::isfinite(angle)) return turned;
    double whole = std::fmod(std::trunc(angle), 360.0);
    if (whole < 0) whole += 360.0;
    if (whole == 90.0 || whole == 270.0) std::swap(turned.halfX, turned.halfY);
    turned.radians = angle * std::numbers::pi / 180.0;
    return turned;
}

// The box of the rectangle the painter draws.
tDoubleRect TurnedBounds(const CImageDrawingInstruction& instruction) {
    if (!std::isfinite(instruction.mRotationAngle)) return instruction.mBounds;
    const TurnedRect t =
        Turned(instruction.mPlacement, instruction.mWidth, instruction.mHeight, instruction.mRotationAngle);
    const double c = std::fabs(std::cos(t.radians));
    const double s = std::fabs(std::sin(t.radians));
    const double halfX = t.halfX * c + t.halfY * s;
    const double halfY = t.halfX * s + t.halfY * c;
    return {t.centreY - halfY, t.centreX - halfX, t.centreY + halfY, t.centreX + halfX};
}

// The mark of a picture left out: its frame and both diagonals, thin and
// grey, turned as the picture would be.
void DrawLeftOutFrame(const CImageElement& element, const CLayer* layer, tDrawingInstructions& instructions) {
    const TurnedRect t = Turned(element.GetPosition(), element.GetWidth(), element.GetHeight(),
                                VKMLayoutDisplayParameters::imageRotationAngle(element));
    const double c = std::cos(t.radians);
    const double s = std::sin(t.radians);
    const auto corner = [&](double x, double y) {
        return CPoint(t.centreX + x * c - y * s, t.centreY + x * s + y * c);
    };
    const CPoint corners[4] = {corner(-t.halfX, -t.halfY), corner(t.halfX, -t.halfY), corner(t.halfX, t.halfY),
                               corner(-t.halfX, t.halfY)};
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
