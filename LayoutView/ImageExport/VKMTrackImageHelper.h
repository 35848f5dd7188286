#pragma once
// VKMTrackImageHelper: the scale at which one element fills an image.

#include "platform/graphics/Geometry.h"

class CCompositeGeometry;

class VKMTrackImageHelper {
public:
    // Image width / the larger of the element's box width and height. A
    // null element (soft assertion) or one without extent gives 1.0.
    static double scaleFactorForGeometry(CCompositeGeometry* geometry, platform::Size imageSize);
};
