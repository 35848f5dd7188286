#include "engine/model/TunnelPaths.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TrackConnections.h"
#include "engine/services/Logger.h"

namespace {

constexpr int kTunnelDebugFlag = 17;
// Share of the seed's gauge within which two centre lines count as joined.
constexpr double kJoinToleranceFactor = 0.25;
// How close the centre line's start must be to joint 0 to keep its order.
constexpr double kJointMatchTolerance = 0.001;

using tPointList = std::vector<CPoint>;

bool IsOnVisibleLayer(const CCompositeGeometry* element) {
    const CLayer* layer = element->GetLayer();
    return layer == nullptr || layer->IsVisible();
}

// The centre lines of the element's tunnel section, one list per track
// component, in layout coordinates.
std::vector<tPointList> TunnelParts(CCompositeGeometry* element) {
    std::vector<tPointList> parts;
    const CPoint& position = element->GetPosition();
    const bool partial = UElementInspector::IsPartialTunnelTrack(element);
    CPoint joint0;
    bool hasJoint0 = false;
    if (partial) {
        const tConstJoints joints = element->GetJoints(kJointFilterAll);
        if (!joints.empty() && joints.front() != nullptr) {
            joint0 = joints.front()->GetLayoutPoint();
            hasJoint0 = true;
        }
    }
    for (CBasicGeometry* component : element->GetComponents()) {
        if (dynamic_cast<CStraightBIG*>(component) == nullptr && dynamic_cast<CCurveBIG*>(component) == nullptr &&
            dynamic_cast<CFlexTrackBIG*>(component) == nullptr) {
            continue;
        }
        tPointList points;
        component->GetParallelPath(points, element->GetAngle(), 0.0);
        for (CPoint& point : points) point.Translate(position.x, position.y, position.z);
        if (partial && !points.empty()) {
            const CPoint& first = points.front();
            if (hasJoint0 && !(std::fabs(first.x - joint0.x) <= kJointMatchTolerance &&
                               std::fabs(first.y - joint0.y) <= kJointMatchTolerance)) {
                std::reverse(points.begin(), points.end());
            }
            points = UContiguousTunnelPaths::GetSubPath(points, element->GetStartTrim() / 100.0,
                                                        element->GetEndTrim() / 100.0);
        }
        if (!points.empty()) parts.push_back(std::move(points));
    }
    return parts;
}

// Appends `points` to `path`, from its first point or from its last.
void AppendPoints(tPointList& path, const tPointList& points, bool backwards) {
    if (backwards) {
        path.insert(path.end(), points.rbegin(), points.rend());
    } else {
        path.insert(path.end(), points.begin(), points.end());
    }
}

bool TryJoin(tPointList& path, const tPointList& points, double tolerance) {
    if (path.empty() || points.empty()) return false;
    const std::array<double, 4> distances = {
        path.front().Distance3D(points.front()),
        path.front().Distance3D(points.back()),
        path.back().Distance3D(points.front()),
        path.back().Distance3D(points.back()),
    };
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (distances[i] < distances[best]) best = i;
    }
    if (!(distances[best] <= tolerance)) return false;
    switch (best) {
        case 0:
            std::reverse(path.begin(), path.end());
            AppendPoints(path, points, false);
            break;
        case 1:
            std::reverse(path.begin(), path.end());
            AppendPoints(path, points, true);
            break;
        case 2: AppendPoints(path, points, false); break;
        default: AppendPoints(path, points, true); break;
    }
    return true;
}

CPoint Between(const CPoint& a, const CPoint& b, double t) {
    return CPoint(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t);
}

}  // namespace

void UContiguousTunnelPaths::AppendAsContiguousPath(std::vector<tPointList>& paths, const tPointList& points,
                                                    double tolerance) {
    if (points.empty()) return;
    for (tPointList& path : paths) {
        if (TryJoin(path, points, tolerance)) return;
    }
    if (!paths.empty() && CDebugFlags::Get().IsOn(kTunnelDebugFlag)) {
        LogDebug("AppendAsContiguousPath() - Could not append to existing path with tolerance = %.2f", tolerance);
    }
    paths.push_back(points);
}

tPointList UContiguousTunnelPaths::GetSubPath(const tPointList& points, double startFraction, double endFraction) {
    if (points.size() < 2) return points;
    startFraction = std::clamp(std::isnan(startFraction) ? 0.0 : startFraction, 0.0, 1.0);
    endFraction = std::clamp(std::isnan(endFraction) ? 1.0 : endFraction, 0.0, 1.0);
    if (endFraction < startFraction) return {};

    std::vector<double> along(points.size(), 0.0);
    for (std::size_t i = 1; i < points.size(); ++i) along[i] = along[i - 1] + points[i - 1].Distance3D(points[i]);
    const double total = along.back();
    if (!(total > 0.0)) return {points.front()};
    const double from = startFraction * total;
    const double to = endFraction * total;

    // The point at distance `d` along the line.
    auto pointAt = [&](double d) {
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (d <= along[i]) {
                const double segment = along[i] - along[i - 1];
                return segment > 0.0 ? Between(points[i - 1], points[i], (d - along[i - 1]) / segment) : points[i];
            }
        }
        return points.back();
    };

    tPointList result{pointAt(from)};
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        if (along[i] > from && along[i] < to) result.push_back(points[i]);
    }
    result.push_back(pointAt(to));
    return result;
}

tTunnelSectionPaths UContiguousTunnelPaths::GetPathsForTunnelTracks(const tElements& elements, int widthType) {
    tTunnelSectionPaths result;
    // The tunnel tracks not yet drawn, in address order; each seed is the
    // first of them. Whether an element is a tunnel track is asked once.
    std::set<CCompositeGeometry*> seeds;
    for (CCompositeGeometry* element : elements) {
        if (element != nullptr && UElementInspector::IsTunnelTrack(element)) seeds.insert(element);
    }

    while (!seeds.empty()) {
        CCompositeGeometry* seed = *seeds.begin();
        tTrackConnectionMap map;
        UTrackConnectionMap::GetConnectedTracks(seed, map);
        if (map.empty()) break;

        CCompositeGeometry* start = UTrackConnectionMap::GetStartElement(map);
        const double tolerance = kJoinToleranceFactor * UElementComponents::GetMaxGauge(start);

        // Depth first from the start, each element once; an explicit stack
        // keeps long chains off the call stack.
        std::vector<tPointList> paths;
        std::set<CCompositeGeometry*> visited;
        std::vector<CCompositeGeometry*> pending{start};
        while (!pending.empty()) {
            CCompositeGeometry* element = pending.back();
            pending.pop_back();
            if (!visited.insert(element).second) continue;
            // A tunnel track not yet drawn.
            if (IsOnVisibleLayer(element) && seeds.count(element) != 0) {
                for (const tPointList& part : TunnelParts(element)) AppendAsContiguousPath(paths, part, tolerance);
            }
            const auto neighbours = map.find(element);
            if (neighbours == map.end()) continue;
            for (auto it = neighbours->second.rbegin(); it != neighbours->second.rend(); ++it) {
                if (visited.count(*it) == 0) pending.push_back(*it);
            }
        }

        const double width =
            widthType == 0 ? UElementComponents::GetMaxGauge(seed) : UElementComponents::GetMaxTrackbedWidth(seed);
        for (tPointList& path : paths) result.push_back(tTunnelSectionPath{width, std::move(path)});

        for (const auto& entry : map) seeds.erase(entry.first);
        seeds.erase(seed);
    }

    if (!result.empty() && CDebugFlags::Get().IsOn(kTunnelDebugFlag)) {
        LogDebug("Created %lu tunnel section paths for tunnel tracks in layout",
                 static_cast<unsigned long>(result.size()));
    }
    return result;
}
