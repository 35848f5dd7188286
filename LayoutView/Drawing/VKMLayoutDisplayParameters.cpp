#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"

#include "engine/model/BorderSegment.h"
#include "engine/model/Image.h"
#include "engine/model/Layout.h"

namespace VKMLayoutDisplayParameters {

std::int32_t gridSpacing(const CLayout& layout) { return layout.GetParameters().mInt414; }

std::int32_t gridColorMode(const CLayout& layout) { return layout.GetParameters().mInt415; }

CColor customGridColor(const CLayout& layout) { return layout.GetParameters().mThirdColor; }

std::int32_t labelTextSize(const CLayout& layout) { return layout.GetParameters().mInt451; }

CColor labelColor(const CLayout& layout) { return layout.GetParameters().mFirstColor; }

double imageRotationAngle(const CImageElement& image) { return image.GetParameter606(); }

double imageAlpha(const CImageElement& image) { return image.GetParameter607(); }

std::int32_t dimensionMode(const CBorderSegment& segment) { return segment.GetInteger723(); }

}  // namespace VKMLayoutDisplayParameters
