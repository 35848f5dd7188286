#include "engine/generators/TunnelPortalGenerator.h"

#include "engine/geometry/Color.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/RailConstants.h"
#include "engine/services/Logger.h"

namespace {

constexpr int kTunnelDebugFlag = 17;
// The outlines are drawn for this model scale (H0).
constexpr int kOutlineModelScale = 16;
constexpr double kDefaultGray = 0.6;
// Polygon kind of a filled outline.
constexpr std::int32_t kPolygonKind = 1;

const std::vector<CPoint>& Style1() {
    static const std::vector<CPoint> points = {
        {0, 70},  {0, 30},  {1, 22},  {4, 15},  {4, 15},  {15, 4},  {22, 1},  {30, 0},  {40, 0.5}, {48, 1},  {55, 4},
        {61, 9},  {66, 15}, {69, 22}, {70, 30}, {70, 70}, {60, 70}, {60, 30}, {59, 25}, {57, 20},  {54, 16}, {50, 13},
        {46, 11}, {40, 10}, {30, 10}, {24, 11}, {20, 13}, {16, 16}, {13, 20}, {11, 25}, {10, 30},  {10, 70}, {0, 70}};
    return points;
}

const std::vector<CPoint>& Style2() {
    static const std::vector<CPoint> points = {{0, 70},  {0, 20},  {20, 0},  {50, 0},  {70, 20}, {70, 70}, {60, 70},
                                               {60, 25}, {45, 10}, {25, 10}, {10, 25}, {10, 70}, {0, 70}};
    return points;
}

const std::vector<CPoint>& Style3() {
    static const std::vector<CPoint> points = {{85, 32.912},    {71.971, 32.912}, {56.667, 9.444},
                                               {28.333, 9.444}, {13.037, 32.912}, {0, 32.912},
                                               {21.25, 0},      {63.75, 0},       {85, 32.912}};
    return points;
}

const std::vector<CPoint>& Style4() {
    static const std::vector<CPoint> points = {
        {1.5, 29},        {2.943, 24.436},  {5.262, 19.818},  {8.137, 15.563},  {11.519, 11.721}, {15.361, 8.339},
        {19.616, 5.464},  {24.234, 3.145},  {29.169, 1.43},   {34.373, 0.365},  {39.798, 0},      {45.222, 0.365},
        {50.426, 1.43},   {55.361, 3.145},  {59.98, 5.464},   {64.234, 8.339},  {68.077, 11.721}, {71.459, 15.563},
        {74.333, 19.818}, {76.652, 24.436}, {78.368, 29.372}, {79.432, 34.575}, {79.6, 44},       {67.8, 44},
        {67.668, 38.187}, {66.197, 30.833}, {62.967, 24.383}, {58.248, 19.021}, {52.309, 15.013}, {45.416, 12.628},
        {37.899, 12.128}, {30.631, 13.601}, {24.181, 16.831}, {18.819, 21.55},  {14.811, 27.489}, {12.426, 34.381},
        {12, 44},         {0, 44}};
    return points;
}

}  // namespace

std::vector<CPoint> CTunnelPortalComponentGenerator::OutlineForStyle(int style) {
    switch (style) {
        case 1: return Style1();
        case 2: return Style2();
        case 3: return Style3();
        case 4: return Style4();
        default: return {};
    }
}

CPoint CTunnelPortalComponentGenerator::AnchorForStyle(int style) {
    switch (style) {
        case 1:
        case 2: return CPoint(35, 0.25);
        case 3: return CPoint(42.5, 0);
        case 4: return CPoint(40, 0.25);
        default: return CPoint();
    }
}

tComponents CTunnelPortalComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) {
    if (element == nullptr) return {};
    const int style = UGeneratorParameters::GetInt(parameters, kStyleKey, kDefaultStyle);
    const std::string colorText =
        UGeneratorParameters::GetString(parameters, kColorKey, CColor(kDefaultGray, 1.0).ToHexString());
    const double angle = UGeneratorParameters::GetDouble(parameters, kAngleKey, 0.0);
    const int portalNumber = UGeneratorParameters::GetInt(parameters, kPortalNumberKey, 0);
    const int jointIndex = UGeneratorParameters::GetInt(parameters, kJointIndexKey, 0);
    double x = UGeneratorParameters::GetDouble(parameters, kOffsetXKey, 0.0);
    double y = UGeneratorParameters::GetDouble(parameters, kOffsetYKey, 0.0);

    const tConstJoints joints = element->GetJoints(kJointFilterAll);
    if (jointIndex >= 0 && static_cast<std::size_t>(jointIndex) < joints.size() && joints[jointIndex] != nullptr) {
        const CPoint& jointPoint = joints[jointIndex]->GetLayoutPoint();
        x += jointPoint.x;
        y += jointPoint.y;
    }

    if (CDebugFlags::Get().IsOn(kTunnelDebugFlag)) {
        LogDebug("Creating portal component [%d] for E:<%p>, J:%d at angle %.1f (%.1f / %.1f)", portalNumber,
                 static_cast<void*>(element), jointIndex, angle, x, y);
    }

    std::vector<CPoint> points = OutlineForStyle(style);
    if (points.empty()) return {};
    const double gauge = URailConstants::GetGaugeForModelScale(kOutlineModelScale);
    const double scale = UElementComponents::GetMaxTrackbedWidth(element) / (2.0 * gauge);
    CPoint anchor = AnchorForStyle(style);
    anchor.Scale(CPoint::Origin(), scale);
    for (CPoint& point : points) {
        point.Scale(CPoint::Origin(), scale);
        point.Translate(-anchor.x, -anchor.y, 0.0);
        point.Rotate(CPoint::Origin(), angle + 90.0);
    }

    CPolyBIG* polygon = UElementComponents::CreatePolyComponent(points, 0, kPolygonKind, x, y, 0.0);
    polygon->SetFixedColor(CColor::FromHexString(colorText));
    return {polygon};
}

tGeneratorParameters CTunnelPortalComponentGenerator::DefaultParameters() const {
    tGeneratorParameters parameters;
    parameters[kStyleKey] = CGeneratorParameter(kDefaultStyle);
    parameters[kColorKey] = CGeneratorParameter(CColor(kDefaultGray, 1.0).ToHexString());
    return parameters;
}
