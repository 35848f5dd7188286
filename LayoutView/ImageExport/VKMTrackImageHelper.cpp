#include "LayoutView/ImageExport/VKMTrackImageHelper.h"

#include <algorithm>

#include "engine/services/VKMSoftAssert.h"
#include "engine/model/CompositeGeometry.h"

double VKMTrackImageHelper::scaleFactorForGeometry(CCompositeGeometry* geometry, platform::Size imageSize) {
    if (!VKM_SOFT_ASSERT(geometry != nullptr)) return 1.0;
    tDoubleRect box;
    geometry->CalcBoundingBox(box);
    const double side = std::max(box.Width(), box.Height());
    if (!(side > 0)) return 1.0;
    return imageSize.width / side;
}
