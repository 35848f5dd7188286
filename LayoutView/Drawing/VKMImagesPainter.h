#pragma once
// VKMImagesPainter: the pictures of one image layer as image instructions.

#include <memory>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/model/Image.h"

namespace platform {
class Image;
}
class CLayer;

class VKMImagesPainter {
public:
    // For each image element on `layer`, in list order, an instruction with
    // its picture, turn, placement, size and alpha. Elements whose bytes do
    // not decode are skipped; one whose picture was left out for the
    // layout's budget is marked by its frame with both diagonals, thin and
    // grey, so that it is not taken for empty. The list's pictures are decoded
    // first when they have not been, all of them together within the
    // layout's budget (VKMLayoutPictures). The stored box is that of the
    // rectangle as drawn, turn included, so a turned picture is culled by
    // the area it really covers.
    static void drawImages(const tImages& images, const CLayer* layer, tDrawingInstructions& instructions);

    // The decoded picture; null without bytes, without a positive width and
    // height, or when the bytes are no PNG or JPEG. The element's own when
    // it has been decoded; otherwise decoded now, alone within the layout's
    // budget (reduced to the budget of one picture, 4096 x 4096, or not at
    // all, with a warning in the log).
    static std::shared_ptr<const platform::Image> getImageForImageElement(CImageElement& image);
};
