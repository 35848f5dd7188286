#include "engine/generators/DimensionGenerator.h"

#include <cmath>
#include <memory>

#include "engine/generators/ComponentShapes.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/model/TrackLibrary.h"
#include "engine/services/PreferencesService.h"

namespace {

constexpr int kKeyDistance = 22;
constexpr int kKeyFontSize = 23;
constexpr int kKeyTextAngle = 36;
constexpr int kKeyLengthDivisor = 37;
constexpr int kKeyArrowSize = 38;
constexpr int kKeyLineWidth = 43;

constexpr const char* kFontName = "CourierNewPSMT";
// Shown in place of a length that does not fit.
constexpr const char* kEllipsis = " \xE2\x80\xA6 ";
// Width of the text against the dimension line above which it does not fit.
constexpr double kMaxTextShare = 0.7;

// The text component of `label` centred between A and B, taken out of the
// element the factory makes for it. Sets `width` to its unrotated width.
std::unique_ptr<CBasicGeometry> MakeLabel(const std::string& label, const tGeneratorParameters& parameters,
                                          const CPoint& middle, double& width) {
    std::unique_ptr<CCompositeGeometry> element(
        UCompositeGeometryFactory::CreateText(CPoint::Origin(), CColor::Black(), label,
                                              UGeneratorParameters::GetInt(parameters, kKeyFontSize, 18), kFontName));
    tComponents& components = element->GetComponents();
    if (components.empty()) {
        width = 0.0;
        return nullptr;
    }
    CBasicGeometry* text = components.front();
    UComponentPositioning::AdjustComponentOffsetWithMode(text, kPositioningModeCenter, middle.x, middle.y);
    if (UGeneratorParameters::HasParameter(parameters, kKeyTextAngle)) {
        text->SetAngle(UGeneratorParameters::GetDouble(parameters, kKeyTextAngle, 0.0));
        element->MoveToOrigin(nullptr);
        UComponentPositioning::AdjustComponentOffsetWithMode(text, kPositioningModeCenter, middle.x, middle.y);
    }
    const tDoubleRect box = text->CalcBoundingBox(-text->GetAngle());
    width = box.maxX - box.minX;
    components.erase(components.begin());
    return std::unique_ptr<CBasicGeometry>(text);
}

// The length label between A and B, or null when even the ellipsis is too
// wide for the dimension line.
std::unique_ptr<CBasicGeometry> MakeText(const tGeneratorParameters& parameters, const CPoint& a, const CPoint& b,
                                         double& width) {
    double length = a.Distance3D(b);
    // A divisor of 0 or below would show an endless or negative length.
    const double divisor = UGeneratorParameters::GetDouble(parameters, kKeyLengthDivisor, 1.0);
    if (UGeneratorParameters::HasParameter(parameters, kKeyLengthDivisor) && divisor > 0.0) length /= divisor;

    const double room = kMaxTextShare * a.Distance3D(b);
    const CPoint middle = CPoint::MidPoint(a, b);
    std::unique_ptr<CBasicGeometry> text =
        MakeLabel(UMeasureUnits::FormatLength(UMeasureUnits::GetUnitType(), length), parameters, middle, width);
    if (text != nullptr && width > room) text = MakeLabel(kEllipsis, parameters, middle, width);
    if (text != nullptr && width > room) text.reset();
    return text;
}

// The arrow at one end: a triangle turned by `angle` with its apex on `tip`.
CPolyBIG* MakeArrow(double size, double angle, const CPoint& tip) {
    CPolyBIG* arrow = UComponentShapes::CreateTriangle(1, true, size);
    arrow->SetAngle(angle);
    UComponentShapes::MovePointTo(tip, arrow, 2);
    return arrow;
}

}  // namespace

tComponents CDimensionComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry*) {
    const auto [p, q] = UComponentGeneratorParameters::GetLineEndPoints(parameters);
    const double angle = p.AngleTo(q);

    const int setting = UGeneratorParameters::GetInt(parameters, kKeyDistance, 10);
    const int k = static_cast<int>(2.5 * setting);
    int offset = k >= 0 ? k + 5 : k - 5;
    if (offset == 0 || offset == 1) offset = 1;

    CPoint a(p.x + offset, p.y, 0.0);
    a.Rotate(p, angle + 90.0);
    CPoint b(q.x + offset, q.y, 0.0);
    b.Rotate(q, angle + 90.0);

    const double lineWidth = UGeneratorParameters::GetDouble(parameters, kKeyLineWidth, 1.0);
    const CPoint a2 = UComponentShapes::GetPointAtDistance(a, b, 1.5 * lineWidth);
    const CPoint b2 = UComponentShapes::GetPointAtDistance(b, a, 1.5 * lineWidth);

    tComponents result;
    double textWidth = 0.0;
    std::unique_ptr<CBasicGeometry> text = MakeText(parameters, a, b, textWidth);
    if (text != nullptr) {
        result.push_back(text.release());
        const double half = a2.Distance3D(b2) / 2.0 - 0.55 * textWidth;
        result.push_back(UComponentShapes::CreateLine(1, a2, UComponentShapes::GetPointAtDistance(a2, b2, half)));
        result.push_back(UComponentShapes::CreateLine(1, b2, UComponentShapes::GetPointAtDistance(b2, a2, half)));
    } else {
        result.push_back(UComponentShapes::CreateLine(1, a2, b2));
    }

    const double arrowSize = 10.0 * UGeneratorParameters::GetDouble(parameters, kKeyArrowSize, 1.5);
    result.push_back(UComponentShapes::CreateLine(1, p, UComponentShapes::GetPointAtDistance(a, p, -5.0)));
    result.push_back(MakeArrow(arrowSize, angle + 90.0, a2));
    result.push_back(UComponentShapes::CreateLine(1, q, UComponentShapes::GetPointAtDistance(b, q, -5.0)));
    result.push_back(MakeArrow(arrowSize, angle - 90.0, b2));

    const auto width = static_cast<std::int32_t>(lineWidth);
    for (CBasicGeometry* component : result) component->SetLineWidth(width);
    UElementComponents::MarkAsGenerated(result, kGeneratorDimension);
    return result;
}

tGeneratorParameters CDimensionComponentGenerator::DefaultParameters() const {
    tGeneratorParameters parameters;
    parameters.emplace(kKeyDistance, CGeneratorParameter(10));
    parameters.emplace(kKeyFontSize, CGeneratorParameter(18));
    parameters.emplace(kKeyArrowSize, CGeneratorParameter(1));
    parameters.emplace(kKeyLineWidth, CGeneratorParameter(1));
    parameters.emplace(10, CGeneratorParameter(0));
    parameters.emplace(11, CGeneratorParameter(0));
    parameters.emplace(12, CGeneratorParameter(200));
    parameters.emplace(13, CGeneratorParameter(0));
    return parameters;
}
