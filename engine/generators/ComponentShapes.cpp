#include "engine/generators/ComponentShapes.h"

#include <algorithm>
#include <cmath>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/PolyBIG.h"

namespace UComponentShapes {

namespace {

CPolyBIG* MakeShape(const std::vector<CPoint>& points, std::int32_t lineWidth, std::int32_t kind, bool fill) {
    CPolyBIG* shape = UElementComponents::CreatePolyComponent(points, lineWidth, kind, 0.0, 0.0, 0.0);
    shape->SetFillFlag(fill);
    return shape;
}

}  // namespace

CPolyBIG* CreateRectangle(std::int32_t lineWidth, double width, double height) {
    return UElementComponents::CreatePolyComponent(
        {CPoint(0.0, 0.0), CPoint(width, 0.0), CPoint(width, height), CPoint(0.0, height)}, lineWidth,
        kPolyKindRectangle, 0.0, 0.0, 0.0);
}

CPolyBIG* CreateLine(std::int32_t lineWidth, const CPoint& start, const CPoint& end) {
    return MakeShape({start, end}, lineWidth, kPolyKindPolygon, false);
}

CPolyBIG* CreateDiamond(std::int32_t lineWidth, double size) {
    const double s = std::fabs(size);
    return MakeShape({CPoint(0.0, s / 2.0), CPoint(s / 2.0, 0.0), CPoint(s, s / 2.0), CPoint(s / 2.0, s)}, lineWidth,
                     kPolyKindPolygon, true);
}

CPolyBIG* CreateTriangle(std::int32_t lineWidth, bool apexUp, double size) {
    const double s = size;
    if (apexUp) {
        return MakeShape({CPoint(0.0, 0.0), CPoint(s, 0.0), CPoint(s / 2.0, s)}, lineWidth, kPolyKindPolygon, true);
    }
    return MakeShape({CPoint(0.0, s), CPoint(s, s), CPoint(s / 2.0, 0.0)}, lineWidth, kPolyKindPolygon, true);
}

CPolyBIG* CreateBaseAnchoredTriangle(std::int32_t lineWidth, double size) {
    const double s = size;
    return MakeShape({CPoint(s / 2.0, 0.0), CPoint(s, 0.0), CPoint(s / 2.0, s), CPoint(0.0, 0.0)}, lineWidth,
                     kPolyKindPolygon, true);
}

CPolyBIG* CreateNotchedArrowHead(double size, double notchRatio) {
    const double s = size;
    return MakeShape({CPoint(s * notchRatio, s / 2.0), CPoint(s, 0.0), CPoint(0.0, s / 2.0), CPoint(s, s)}, 1,
                     kPolyKindPolygon, true);
}

CPolyBIG* CreateOpenArrowHead(double size) {
    const double s = size;
    return MakeShape({CPoint(s, 0.0), CPoint(0.0, s / 2.0), CPoint(s, s)}, 1, kPolyKindPolygon, false);
}

CPolyBIG* CreateChevron(double size) {
    const double s = size;
    // The arms are the point (s / sqrt 2, s) turned about (0, s) by -45 and
    // +45 degrees.
    CPoint lower(s * 0.7071067811865476, s, 0.0);
    CPoint upper = lower;
    lower.Rotate(CPoint(0.0, s, 0.0), -45.0);
    upper.Rotate(CPoint(0.0, s, 0.0), 45.0);
    return MakeShape({lower, CPoint(0.0, s), upper}, 1, kPolyKindPolygon, false);
}

void ScaleComponent(CPolyBIG* component, double factor, bool scaleOffset) {
    ScaleComponent(component, factor, factor, scaleOffset);
}

void ScaleComponent(CPolyBIG* component, double factorX, double factorY, bool scaleOffset) {
    if (component == nullptr) return;
    std::vector<CPoint> points = component->GetPoints();
    for (CPoint& point : points) {
        point.x *= factorX;
        point.y *= factorY;
    }
    component->SetPoints(points);
    if (scaleOffset) {
        component->SetOffsetX(component->GetOffsetX() * factorX);
        component->SetOffsetY(component->GetOffsetY() * factorY);
    }
}

void MirrorY(CPolyBIG* component) {
    if (component == nullptr) return;
    std::vector<CPoint> points = component->GetPoints();
    for (CPoint& point : points) point.y = -point.y;
    component->SetPoints(points);
}

void RotateAroundPoint(CPolyBIG* component, const CPoint& centre, double angle) {
    if (component == nullptr) return;
    CPoint wanted = component->GetPointAt(0, 0.0);
    wanted.Rotate(centre, angle);
    const CPoint turned = component->GetPointAt(0, angle);
    component->SetAngle(angle);
    component->MoveBy(wanted.x - turned.x, wanted.y - turned.y);
}

void MovePointTo(const CPoint& target, CPolyBIG* component, std::size_t index) {
    if (component == nullptr) return;
    const std::vector<CPoint> points = component->GetTransformedPoints(0.0);
    if (index >= points.size()) return;
    component->MoveBy(target.x - points[index].x, target.y - points[index].y);
}

CPoint GetPointAtDistance(const CPoint& from, const CPoint& toward, double distance) {
    const double fraction = distance / from.Distance3D(toward);
    // Coinciding points give no direction: stay where we are.
    if (!std::isfinite(fraction)) return CPoint(from.x, from.y, from.z);
    return CPoint(from.x + (toward.x - from.x) * fraction, from.y + (toward.y - from.y) * fraction,
                  from.z + (toward.z - from.z) * fraction);
}

}  // namespace UComponentShapes

namespace UPointListOperations {

namespace {

constexpr double kSmallestAngle = 0.0001;

CPoint Interpolate(const CPoint& a, const CPoint& b, double fraction) {
    return CPoint(a.x + (b.x - a.x) * fraction, a.y + (b.y - a.y) * fraction, a.z + (b.z - a.z) * fraction);
}

}  // namespace

void Translate(std::vector<CPoint>& points, double dx, double dy, double dz) {
    for (CPoint& point : points) point.Translate(dx, dy, dz);
}

void RotateAroundZAxis(std::vector<CPoint>& points, const CPoint& centre, double angle) {
    if (std::fabs(angle) < kSmallestAngle) return;
    for (CPoint& point : points) point.RotateAroundZAxis(centre.x, centre.y, angle);
}

void RotateAroundYAxis(std::vector<CPoint>& points, const CPoint& centre, double angle) {
    if (std::fabs(angle) < kSmallestAngle) return;
    for (CPoint& point : points) point.RotateAroundYAxis(centre.x, centre.z, angle);
}

void Scale(std::vector<CPoint>& points, double factor) {
    for (CPoint& point : points) {
        point.x *= factor;
        point.y *= factor;
        point.z *= factor;
    }
}

double GetPathLength(const std::vector<CPoint>& points) {
    double length = 0.0;
    for (std::size_t i = 1; i < points.size(); ++i) length += points[i - 1].Distance3D(points[i]);
    return length;
}

std::vector<CPoint> GetSubPath(const std::vector<CPoint>& points, double startPercent, double endPercent) {
    const std::size_t count = points.size();
    if (count < 2) return points;
    startPercent = std::clamp(std::isnan(startPercent) ? 0.0 : startPercent, 0.0, 100.0);
    endPercent = std::clamp(std::isnan(endPercent) ? 100.0 : endPercent, 0.0, 100.0);

    // Distance along the path of every point; each segment counts with its
    // own length, zero-length ones included.
    std::vector<double> along(count, 0.0);
    for (std::size_t i = 1; i < count; ++i) along[i] = along[i - 1] + points[i - 1].Distance3D(points[i]);
    const double total = along.back();

    auto pointAt = [&](std::size_t segment, double target) {
        const double length = along[segment + 1] - along[segment];
        const double fraction = length > 0.0 ? std::clamp((target - along[segment]) / length, 0.0, 1.0) : 0.0;
        return Interpolate(points[segment], points[segment + 1], fraction);
    };

    std::vector<CPoint> result;
    std::size_t index = 0;
    double reached = 0.0;
    if (startPercent != 0.0) {
        const double target = startPercent / 100.0 * total;
        std::size_t segment = 0;
        while (segment < count - 2 && along[segment + 1] < target) ++segment;
        result.push_back(pointAt(segment, target));
        index = segment + 1;
        reached = std::min(target, along[index]);
    }

    if (endPercent == 100.0) {
        result.insert(result.end(), points.begin() + static_cast<std::ptrdiff_t>(index), points.end());
        return result;
    }

    const double target = endPercent / 100.0 * total;
    if (result.empty()) {
        // The path's own start is always taken.
        result.push_back(points[0]);
        index = 1;
    }
    while (index < count && along[index] <= target) {
        result.push_back(points[index]);
        reached = along[index];
        ++index;
    }
    if (reached < target && index < count) result.push_back(pointAt(index - 1, target));
    return result;
}

}  // namespace UPointListOperations

namespace UElementComponents {

void SetTrackbedWidthOfAll(CCompositeGeometry* element, double width) {
    if (element == nullptr) return;
    for (CBasicGeometry* component : element->GetComponents()) {
        if (component != nullptr) component->SetTrackbedWidth(width);
    }
}

void SetRailWidthOfAll(CCompositeGeometry* element, double width) {
    if (element == nullptr) return;
    for (CBasicGeometry* component : element->GetComponents()) {
        if (component != nullptr) component->SetRailWidth(width);
    }
}

}  // namespace UElementComponents

namespace UPathStrings {

std::string GetLastPathComponent(const std::string& text) {
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace UPathStrings
