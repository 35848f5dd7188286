#include "engine/drawing/DrawingOptions.h"

#include "engine/model/CompositeGeometry.h"

CDrawingOptions::CDrawingOptions(const CCompositeGeometry& element, int trackStyle, bool tunnelHidden,
                                 const CColor& markedColor)
    : mTrackStyle(trackStyle),
      mTunnelHidden(tunnelHidden),
      mMarked(element.GetSecondFlag()),
      mFillColor(element.GetFirstColor()),
      mOutlineColor(element.GetSecondColor()),
      mMarkedColor(markedColor) {}
