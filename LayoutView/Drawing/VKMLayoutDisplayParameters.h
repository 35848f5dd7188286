#pragma once
// Where the viewer finds its display settings among the document's stored
// values. The document keeps several parameters under their file tags only;
// the viewer reads them through these functions so that the mapping lives
// in one place:
//
//   grid spacing        integer 414 (10 for base-ten units, 12 otherwise)
//   grid colour mode    integer 415 (0 none, 1 custom, 2 light, 3 dark,
//                       other values black; 2 by default)
//   custom grid colour  the third colour (443 to 446)
//   label text size     integer 451 (24 by default)
//   label colour        the first colour (431 to 434)
//   image turn, alpha   real parameters 606 (degrees) and 607 (0 to 1)
//   dimension mode      integer 723 of a border segment (0 none)

#include <cstdint>

#include "engine/geometry/Color.h"

class CBorderSegment;
class CImageElement;
class CLayout;

namespace VKMLayoutDisplayParameters {

constexpr std::int32_t kGridColorNone = 0;
constexpr std::int32_t kGridColorCustom = 1;
constexpr std::int32_t kGridColorLight = 2;
constexpr std::int32_t kGridColorDark = 3;

std::int32_t gridSpacing(const CLayout& layout);
std::int32_t gridColorMode(const CLayout& layout);
CColor customGridColor(const CLayout& layout);
std::int32_t labelTextSize(const CLayout& layout);
CColor labelColor(const CLayout& layout);

double imageRotationAngle(const CImageElement& image);
double imageAlpha(const CImageElement& image);

std::int32_t dimensionMode(const CBorderSegment& segment);

}  // namespace VKMLayoutDisplayParameters
