#pragma once
// CDrawingOptions: how one element is drawn (track style, tunnel state,
// marked state, colours) and the render options of the current pass. Made
// per element by the caller, on the stack.

#include "engine/geometry/Color.h"

class CCompositeGeometry;
class CParallelPathCache;
class CRenderStrategyOptions;

// Track-style bits read by the track renderers.
constexpr int kTrackStyleSingleLine = 4;    // side lines at the rail width
constexpr int kTrackStyleJointEnds = 8;     // joint end lines
constexpr int kTrackStyleBed = 32;          // bed lines, bed filled
constexpr int kTrackStyleRails = 64;        // the two rail lines
constexpr int kTrackStyleCenterLine = 128;  // centre line
constexpr int kTrackStyleRailColor = 512;   // thick rails in the rail colour

class CDrawingOptions {
public:
    // Fill colour = the element's first colour, outline colour = its second;
    // marked = the element's second flag; fill on; no render options; rail
    // colour opaque black.
    CDrawingOptions(const CCompositeGeometry& element, int trackStyle, bool tunnelHidden, const CColor& markedColor);
    virtual ~CDrawingOptions() = default;

    int mTrackStyle;
    // The element is a tunnel track and tunnels are hidden.
    bool mTunnelHidden;
    // Outlined in mMarkedColor, filled with the pattern flag.
    bool mMarked;
    // Fill instructions are made only when set.
    bool mFill = true;
    // Not owned; the caller points it at the current pass's options.
    CRenderStrategyOptions* mRenderOptions = nullptr;
    // Not owned; when set, track renderers take side lines from it, so that
    // the passes of one element work each out once. Null works them out
    // every time.
    CParallelPathCache* mPathCache = nullptr;
    CColor mFillColor;
    CColor mOutlineColor;
    CColor mMarkedColor;
    CColor mRailColor{0.0, 1.0};
};
