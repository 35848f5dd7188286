#pragma once
// VKMLayoutResizeHelper: fits the document's workspace to its content, so
// the content sits inside the workspace with room around it to pan.

#include "platform/graphics/Geometry.h"

class CLayout;

class VKMLayoutResizeHelper {
public:
    // Moves the content so that it starts at the padding and sets the
    // workspace to the content plus the padding on every side; returns the
    // shift applied (layout units). The padding is the workspace's larger
    // side, but never more than the content's larger side, so the workspace
    // stays within three times the content however often this runs (each
    // load and each colour change runs it): once fitted, a second call
    // changes nothing. A layout without content is left alone.
    static platform::Point sizeLayoutToFitContents(CLayout& layout);
    // The same on the current document.
    static platform::Point sizeLayoutToFitContents();

    // Width and height of the content (all of it, hidden layers too), in
    // millimetres, rounded up.
    static platform::Size layoutContentSize(CLayout& layout);
    static platform::Size layoutContentSize();
};
