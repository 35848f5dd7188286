#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"

#include <algorithm>

#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"

platform::Point VKMLayoutResizeHelper::sizeLayoutToFitContents(CLayout& layout) {
    const platform::Size content = layoutContentSize(layout);
    if (content.width <= 0 && content.height <= 0) return {0, 0};
    const CLayoutParameters& parameters = layout.GetParameters();
    const double workspaceSide = std::max(parameters.mWorkspaceWidth, parameters.mWorkspaceHeight);
    const double contentSide = std::max(content.width, content.height);
    const double padding = std::max(0.0, std::min(workspaceSide, contentSide));
    const tPaddedContent padded =
        ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, padding);
    ULayoutBounds::TranslateLayout(layout, padded);
    return {padded.dx, padded.dy};
}

platform::Point VKMLayoutResizeHelper::sizeLayoutToFitContents() {
    return sizeLayoutToFitContents(*CCurrentCloudLayout::Instance().Layout());
}

platform::Size VKMLayoutResizeHelper::layoutContentSize(CLayout& layout) {
    const tPaddedContent content = ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, 0);
    return {content.width, content.height};
}

platform::Size VKMLayoutResizeHelper::layoutContentSize() {
    return layoutContentSize(*CCurrentCloudLayout::Instance().Layout());
}
