#pragma once
// The tunnel sections of track elements joined into as few continuous
// centre-line paths as possible, for drawing tunnels as bands over tracks.

#include <vector>

#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"

// One continuous tunnel section.
struct tTunnelSectionPath {
    double width = 0.0;
    std::vector<CPoint> points;
};
using tTunnelSectionPaths = std::vector<tTunnelSectionPath>;

namespace UContiguousTunnelPaths {

// Width type 0: each path as wide as its group's seed element's largest
// gauge; any other value: its largest trackbed width. Tunnel tracks on
// hidden layers add no points, but the walk passes through them.
tTunnelSectionPaths GetPathsForTunnelTracks(const tElements& elements, int widthType);

// Joins `points` to the first path with an end within `tolerance` (3-D) of
// one of their ends, or appends them as a new path. The meeting point is
// kept on both sides.
void AppendAsContiguousPath(std::vector<std::vector<CPoint>>& paths, const std::vector<CPoint>& points,
                            double tolerance);

// The part of a polyline from `startFraction` to `endFraction` (0 to 1) of
// its length.
std::vector<CPoint> GetSubPath(const std::vector<CPoint>& points, double startFraction, double endFraction);

}  // namespace UContiguousTunnelPaths
