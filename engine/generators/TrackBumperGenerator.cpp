#include "engine/generators/TrackBumperGenerator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/generators/ComponentShapes.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/RailConstants.h"
#include "engine/model/TrackConnections.h"
#include "engine/services/Logger.h"

namespace {

constexpr int kKeyJointIndex = 31;
constexpr int kKeyColor = 39;
constexpr int kKeyBumperType = 40;
constexpr int kKeyInsetPercent = 41;

// The bumper scales with the trackbed against twice this scale's gauge.
constexpr int kReferenceModelScale = 18;
constexpr double kSin35 = 0.573576436351046;
constexpr double kCos35 = 0.8191520442889918;
constexpr double kCos25 = 0.9063077870366499;

constexpr const char* kBumperComponentsSignature =
    "static tComponents CTrackBumperComponentGenerator::GetBumperComponentsForType(CCompositeGeometry *, "
    "double, CPoint, int, CColor &)";
constexpr const char* kPerformSignature =
    "virtual void CTrackBumperComponentGenerator::PerformElementActions(tGeneratorParameters &, "
    "CCompositeGeometry *)";
constexpr const char* kResetSignature =
    "virtual void CTrackBumperComponentGenerator::ResetElementActions(tGeneratorParameters &, "
    "CCompositeGeometry *)";

const std::vector<CPoint>& BracketOutline() {
    static const std::vector<CPoint> points{{0, 0},  {29.263, 0},  {29.263, 63},    {0, 63},
                                            {0, 55}, {20.842, 55}, {20.842, 8.421}, {0, 8.421}};
    return points;
}

const std::vector<CPoint>& EarthenMound() {
    static const std::vector<CPoint> points{{0, 1.5}, {19, 0}, {39, 15}, {42.5, 40}, {39, 65}, {19, 80}, {0, 78.5}};
    return points;
}

const std::vector<CPoint>& FrictionShoe() {
    static const std::vector<CPoint> points{{0, 0}, {50, 0}, {35, 26.5}, {0, 26.5}};
    return points;
}

// How far in from the track end each kind sits, in gauges.
double DepthFactor(int type) {
    switch (type) {
        case kBumperTypeBracket: return 0.6;
        case kBumperTypeHayes: return 0.75;
        case kBumperTypeEarthen: return 0.85;
        case kBumperTypeFriction: return 1.65;
        default: return 0.0;
    }
}

struct tJointLocation {
    CPoint point;
    double angle = 0.0;
};

// Where joint `j` lies, and which way it points, on the element shortened to
// `factor` with its other end kept in place; the origin on failure.
tJointLocation ShortenedJointLocation(CCompositeGeometry* element, int j, double factor) {
    CJoint* joint = UElementJointQueries::GetJointWithIndex(element, j);
    const CJoint* opposite = joint != nullptr ? UElementJointQueries::GetOppositeJoint(joint) : nullptr;
    if (opposite == nullptr) {
        LogWarning("Failed to retrieve anchoredJoint");
        return {};
    }
    const int anchor = UElementJointQueries::GetIndexOfJointInElementJointVector(element, opposite);
    std::unique_ptr<CCompositeGeometry> copy(UTrackLengthEditing::CalculateShortenedTrack(element, anchor, factor));
    if (copy == nullptr) {
        LogWarning("Failed to calculate shortened track with inset factor");
        return {};
    }
    const tConstJoints joints = copy->GetJoints(kJointFilterAll);
    if (j < 0 || static_cast<std::size_t>(j) >= joints.size()) {
        LogWarning("Failed to retrieve joint instance on shortened track for inset location/angle");
        return {};
    }
    return {joints[j]->GetLayoutPoint(), joints[j]->GetAngle()};
}

// The share of the track's length by which its end joint moves `depth` in.
double InsetForDepth(CCompositeGeometry* element, int j, double depth) {
    const CJoint* joint = UElementJointQueries::GetJointWithIndex(element, j);
    if (joint == nullptr) return 0.0;
    const CPoint end = joint->GetLayoutPoint();
    double bestFactor = 0.25;
    double bestDistance = std::numeric_limits<double>::max();
    for (int i = 1; i <= 499; ++i) {
        const double factor = 1.0 - i / 1000.0;
        const double distance = std::fabs(end.Distance2D(ShortenedJointLocation(element, j, factor).point) - depth);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestFactor = factor;
        } else if (distance > bestDistance + 1.0) {
            LogDebug(
                "Adjusting insetMM for bumper location: insetMM = %.1f, best distance = %.2f, factor = "
                "%.3f (#%d)",
                depth, bestDistance, bestFactor, i);
            return 1.0 - bestFactor;
        }
    }
    LogDebug("Adjusting insetMM for bumper location: insetMM = %.1f, best distance = %.2f, factor = %.3f (#%d)", depth,
             bestDistance, bestFactor, 499);
    return 1.0 - bestFactor;
}

void Place(CBasicGeometry* component, const CPoint& at) {
    UComponentPositioning::AdjustComponentOffsetWithMode(component, kPositioningModeCenter, at.x, at.y);
}

CPolyBIG* TableShape(std::vector<CPoint> points, double scale) {
    UPointListOperations::Scale(points, scale);
    return UElementComponents::CreatePolyComponent(points, 0, kPolyKindPolygon, 0.0, 0.0, 0.0);
}

CPolyBIG* Rectangle(double width, double height, const CColor& color) {
    CPolyBIG* rectangle = UComponentShapes::CreateRectangle(1, width, height);
    rectangle->SetFixedColor(color);
    return rectangle;
}

void MoveRotated(CBasicGeometry* component, double dx, double dy, double angle) {
    CPoint vector(dx, dy, 0.0);
    vector.Rotate(CPoint::Origin(), angle);
    component->MoveBy(vector.x, vector.y);
}

// Bracket and Earthen: an outline from a table and a bar behind it.
tComponents OutlineAndBar(const std::vector<CPoint>& table, double s, double outlineAngle, double barWidth,
                          double barHeight, double angle, const CPoint& position, const CColor& color) {
    CPolyBIG* outline = TableShape(table, s);
    const double width = UComponentPositioning::GetComponentWidth(outline);
    outline->SetFixedColor(color);
    outline->SetAngle(outlineAngle);
    Place(outline, position);

    CPolyBIG* bar = Rectangle(barWidth, barHeight, CColor::Gray20());
    bar->SetAngle(outlineAngle);
    Place(bar, position);
    MoveRotated(bar, barWidth / 2.0 + width / 2.0, 0.0, angle);
    return {outline, bar};
}

tComponents Hayes(double s, double g, double a, const CPoint& position, const CColor& color) {
    CPolyBIG* plate = Rectangle(2.0 * s, 2.0 * s, color);
    Place(plate, position);
    const CPoint centre = UComponentPositioning::GetComponentCenter(plate);
    const double e = s - 3.5 * s;

    const double strutWidth = std::fabs(0.55 * g / kSin35);
    CPolyBIG* strut = Rectangle(strutWidth, 3.5 * s, CColor::Gray25());
    Place(strut, position);
    CPolyBIG* strutCopy = new CPolyBIG(*strut);
    Place(strutCopy, position);
    double w = UComponentPositioning::GetComponentWidth(strutCopy);
    double h = UComponentPositioning::GetComponentHeight(strutCopy);
    strutCopy->MoveBy(w / 2.0 + e + 1.75 * s, -h / 2.0 - e);
    strut->MoveBy(w / 2.0 + e + 1.75 * s, e + h / 2.0);
    UComponentShapes::RotateAroundPoint(strutCopy, centre, a - 180.0 - 35.0);
    UComponentShapes::RotateAroundPoint(strut, centre, a - 180.0 + 35.0);

    CPolyBIG* crossBar = Rectangle(std::max(2.0 * s, 1.0), g, CColor::Gray25());
    Place(crossBar, position);
    crossBar->MoveBy(strutWidth * kCos35 + e + 1.75 * s, 0.0);
    UComponentShapes::RotateAroundPoint(crossBar, centre, a - 180.0);

    CPolyBIG* brace = Rectangle(std::fabs(0.55 * g / kCos25), 2.5 * s, CColor::Gray25());
    Place(brace, position);
    CPolyBIG* braceCopy = new CPolyBIG(*brace);
    Place(braceCopy, position);
    w = UComponentPositioning::GetComponentWidth(brace);
    h = UComponentPositioning::GetComponentHeight(brace);
    braceCopy->MoveBy(-w / 2.0 - e, -h / 2.0 - e - 2.5 * s);
    brace->MoveBy(-w / 2.0 - e, 2.5 * s + e + h / 2.0);
    UComponentShapes::RotateAroundPoint(braceCopy, centre, a - 180.0 + 65.0);
    UComponentShapes::RotateAroundPoint(brace, centre, a - 180.0 - 65.0);

    UComponentShapes::ScaleComponent(plate, 6.0, false);
    Place(plate, CPoint(centre.x - UComponentPositioning::GetComponentWidth(plate) / 2.0, centre.y, 0.0));
    UComponentShapes::RotateAroundPoint(plate, centre, a - 180.0);
    return {plate, crossBar, strut, strutCopy, brace, braceCopy};
}

tComponents Friction(double s, double g, double a, const CPoint& position, const CColor& color) {
    CPolyBIG* block = Rectangle(9.0 * s, 18.0 * s, color);
    Place(block, position);
    const CPoint centre = UComponentPositioning::GetComponentCenter(block);
    block->SetFixedColor(CColor::Gray25());
    UComponentShapes::RotateAroundPoint(block, centre, a - 180.0);

    const double barWidth = 60.0 * g / 45.0;
    CPolyBIG* bar = Rectangle(barWidth, 9.0 * s, CColor::Black());
    Place(bar, position);
    bar->MoveBy((barWidth + 9.0 * s) / 2.0, 0.0);
    UComponentShapes::RotateAroundPoint(bar, centre, a - 180.0);

    CPolyBIG* shoe = TableShape(FrictionShoe(), g / 45.0);
    const double p2x = shoe->GetPoint(2).x;
    const double height = UComponentPositioning::GetComponentHeight(shoe);
    shoe->SetFixedColor(color);
    auto* mirrored = static_cast<CPolyBIG*>(UElementComponents::CloneComponent(shoe));
    UComponentShapes::MirrorY(mirrored);
    const double dx = (barWidth + 9.0 * s) / 2.0 + barWidth - p2x - 9.0 * s;
    Place(shoe, position);
    shoe->MoveBy(dx, -height / 2.0);
    UComponentShapes::RotateAroundPoint(shoe, centre, a - 180.0);
    Place(mirrored, position);
    mirrored->MoveBy(dx, height / 2.0);
    UComponentShapes::RotateAroundPoint(mirrored, centre, a - 180.0);
    return {shoe, mirrored, block, bar};
}

// The component joint the bumper closes, or null with the reason logged.
CJoint* BumperedJoint(const tGeneratorParameters& parameters, CCompositeGeometry* element, const char* signature,
                      CBasicGeometry*& track, int& j) {
    j = UGeneratorParameters::GetInt(parameters, kKeyJointIndex, 0);
    if (j != 0 && j != 1) {
        // A track has two ends; any other index from a file names no joint.
        LogWarning("Invalid joint index %d", j);
        return nullptr;
    }
    track = element != nullptr ? UElementComponents::GetFirstTrackComponent(element) : nullptr;
    if (track == nullptr) {
        LogWarning("Error - could not retrieve track component from element in %s", signature);
        return nullptr;
    }
    CJoint* joint = track->GetJoint(j);
    if (joint == nullptr) LogWarning("Could not retrieve joint #%d in element in %s", j, signature);
    return joint;
}

}  // namespace

tComponents CTrackBumperComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) {
    if (element == nullptr) return {};
    const int j = UGeneratorParameters::GetInt(parameters, kKeyJointIndex, 0);
    element->UpdateJoints();
    const CJoint* joint = UElementJointQueries::GetJointWithIndex(element, j);
    if (joint == nullptr) return {};

    const int type = UGeneratorParameters::GetInt(parameters, kKeyBumperType, kBumperTypeBracket);
    CColor color =
        CColor::FromHexString(UGeneratorParameters::GetString(parameters, kKeyColor, CColor::Gray60().ToHexString()));

    const double factor = std::max(UGeneratorParameters::GetInt(parameters, kKeyInsetPercent, 75) / 100.0, 0.6);
    LogDebug("User Bumper Inset Factor = %.2f", factor);

    const double depth = UElementComponents::GetMaxGauge(element) * DepthFactor(type);
    const double inset = InsetForDepth(element, j, depth);
    const tJointLocation location = ShortenedJointLocation(element, j, factor - inset);

    LogDebug("Creating bumper component for E:<%p>, J:%d at angle %.1fº - bumper at (%.1f / %.1f), %.1fº",
             static_cast<const void*>(element), j, joint->GetAngle(), location.point.x, location.point.y,
             location.angle);
    return GetBumperComponentsForType(element, location.angle, location.point, type, color);
}

tGeneratorParameters CTrackBumperComponentGenerator::DefaultParameters() const {
    tGeneratorParameters parameters;
    parameters.emplace(kKeyBumperType, CGeneratorParameter(kBumperTypeBracket));
    parameters.emplace(kKeyInsetPercent, CGeneratorParameter(85));
    parameters.emplace(kKeyColor, CGeneratorParameter(CColor::Gray60().ToHexString()));
    return parameters;
}

void CTrackBumperComponentGenerator::PerformElementActions(tGeneratorParameters& parameters,
                                                           CCompositeGeometry* element) {
    CBasicGeometry* track = nullptr;
    int j = 0;
    CJoint* joint = BumperedJoint(parameters, element, kPerformSignature, track, j);
    if (joint == nullptr) return;
    track->DisableJoint(j);
    joint->SetFree(false);
}

void CTrackBumperComponentGenerator::ResetElementActions(tGeneratorParameters& parameters,
                                                         CCompositeGeometry* element) {
    CBasicGeometry* track = nullptr;
    int j = 0;
    CJoint* joint = BumperedJoint(parameters, element, kResetSignature, track, j);
    if (joint == nullptr) return;
    track->EnableJoint(j);
    joint->SetFree(true);
}

tComponents CTrackBumperComponentGenerator::GetBumperComponentsForType(CCompositeGeometry* element, double angle,
                                                                       CPoint position, int type, CColor& color) {
    const double s = UElementComponents::GetMaxTrackbedWidth(element) /
                     (2.0 * URailConstants::GetGaugeForModelScale(kReferenceModelScale));
    const double g = UElementComponents::GetMaxGauge(element) - UElementComponents::GetMaxRailWidth(element);
    const std::string where = position.Dump(3);
    switch (type) {
        case kBumperTypeBracket:
            LogDebug("Generating Bracket Bumper at %s with %.1fº", where.c_str(), angle);
            return OutlineAndBar(BracketOutline(), s, angle, 12.5 * s, 75.0 * s, angle, position, color);
        case kBumperTypeHayes:
            LogDebug("Generating Hayes Bumper at %s with %.1fº", where.c_str(), angle);
            return Hayes(s, g, angle, position, color);
        case kBumperTypeEarthen:
            LogDebug("Generating Earthen Bumper at %s with %.1fº", where.c_str(), angle);
            return OutlineAndBar(EarthenMound(), s, angle - 180.0, 7.5 * s, 65.0 * s, angle, position, color);
        case kBumperTypeFriction:
            LogDebug("Generating Friction Bumper at %s with %.1fº", where.c_str(), angle);
            return Friction(s, g, angle, position, color);
        default: LogWarning("Bumper type <%d> not supported by %s", type, kBumperComponentsSignature); return {};
    }
}
