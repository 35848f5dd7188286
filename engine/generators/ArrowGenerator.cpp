#include "engine/generators/ArrowGenerator.h"

#include "engine/generators/ComponentShapes.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TrackLibrary.h"
#include "engine/services/Logger.h"

namespace {

constexpr int kKeyHeadShape = 18;
constexpr int kKeyHeadSize = 19;
constexpr int kKeyTailShape = 20;
constexpr int kKeyTailSize = 21;

void Place(CBasicGeometry* component, const CPoint& at) {
    UComponentPositioning::AdjustComponentOffsetWithMode(component, kPositioningModeCenter, at.x, at.y);
}

// `count` heads or chevrons along the shaft, the apex (point 1) of the k-th
// one `k * spacing` from `from` toward `toward`.
template <typename Make>
void AddRepeated(tComponents& result, int count, double spacing, double angle, const CPoint& from, const CPoint& toward,
                 Make make) {
    for (int k = 0; k < count; ++k) {
        CPolyBIG* shape = make();
        shape->SetAngle(angle);
        UComponentShapes::MovePointTo(UComponentShapes::GetPointAtDistance(from, toward, k * spacing), shape, 1);
        result.push_back(shape);
    }
}

void AddHead(tComponents& result, int shape, double size, double angle, const CPoint& start, const CPoint& end) {
    auto openHead = [size] { return UComponentShapes::CreateOpenArrowHead(size); };
    auto chevron = [size] { return UComponentShapes::CreateChevron(size); };
    switch (shape) {
        case 100: break;
        case 101:
        case 108:
        case 109:
            AddRepeated(result, shape == 101 ? 1 : shape == 108 ? 2 : 3, size * 0.5, angle, start, end, openHead);
            break;
        case 102:
        case 103: {
            CPolyBIG* head = UComponentShapes::CreateNotchedArrowHead(size, shape == 102 ? 0.25 : 0.5);
            head->SetAngle(angle);
            UComponentShapes::MovePointTo(start, head, 0);
            result.push_back(head);
            break;
        }
        case 104: {
            CPolyBIG* head = UComponentShapes::CreateBaseAnchoredTriangle(1, size);
            head->SetAngle(angle + 90.0);
            UComponentShapes::MovePointTo(start, head, 0);
            result.push_back(head);
            break;
        }
        case 105:
        case 106:
        case 107: AddRepeated(result, shape - 104, size * 0.5, angle, start, end, chevron); break;
        default: LogWarning("Arrow head shape not recognized: %d", shape); break;
    }
}

void AddTail(tComponents& result, int shape, int sizeValue, double size, double angle, const CPoint& start,
             const CPoint& end) {
    auto openHead = [size] { return UComponentShapes::CreateOpenArrowHead(size); };
    auto chevron = [size] { return UComponentShapes::CreateChevron(size); };
    switch (shape) {
        case 200: break;
        case 201: {
            CPolyBIG* head = UComponentShapes::CreateNotchedArrowHead(size, 0.25);
            head->SetAngle(angle);
            UComponentShapes::MovePointTo(end, head, 2);
            result.push_back(head);
            break;
        }
        case 202:
        case 206:
        case 207:
            AddRepeated(result, shape == 202 ? 2 : shape == 206 ? 3 : 1, size * 0.75, angle, end, start, openHead);
            break;
        case 203: {
            COvalBIG* circle = UElementComponents::CreateCircleComponent(1, 0.0, 0.0, size * 0.5);
            Place(circle, end);
            result.push_back(circle);
            break;
        }
        case 204: {
            CPolyBIG* line = UComponentShapes::CreateLine(1, CPoint(0.0, 0.0), CPoint(size, 0.0));
            line->SetAngle(angle + 90.0);
            Place(line, end);
            result.push_back(line);
            break;
        }
        case 205: {
            CPolyBIG* diamond = UComponentShapes::CreateDiamond(sizeValue, size);
            Place(diamond, end);
            diamond->SetAngle(angle);
            result.push_back(diamond);
            break;
        }
        case 208:
        case 209:
        case 210: AddRepeated(result, shape - 207, size * 0.75, angle, end, start, chevron); break;
        default: LogWarning("Arrow tail shape not recognized: %d", shape); break;
    }
}

}  // namespace

tComponents CArrowComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry*) {
    const auto [start, end] = UComponentGeneratorParameters::GetLineEndPoints(parameters);
    const double angle = start.AngleTo(end);

    tComponents result;
    if (UGeneratorParameters::HasParameter(parameters, kKeyHeadShape) &&
        UGeneratorParameters::HasParameter(parameters, kKeyHeadSize)) {
        const int shape = UGeneratorParameters::GetInt(parameters, kKeyHeadShape, 0);
        const double size = 10.0 * UGeneratorParameters::GetInt(parameters, kKeyHeadSize, 0);
        AddHead(result, shape, size, angle, start, end);
    }

    result.push_back(UComponentShapes::CreateLine(1, start, end));

    if (UGeneratorParameters::HasParameter(parameters, kKeyTailShape) &&
        UGeneratorParameters::HasParameter(parameters, kKeyTailSize)) {
        const int shape = UGeneratorParameters::GetInt(parameters, kKeyTailShape, 0);
        const int sizeValue = UGeneratorParameters::GetInt(parameters, kKeyTailSize, 0);
        AddTail(result, shape, sizeValue, 10.0 * sizeValue * 0.5, angle, start, end);
    }

    UElementComponents::MarkAsGenerated(result, kGeneratorArrow);
    return result;
}

tGeneratorParameters CArrowComponentGenerator::DefaultParameters() const {
    tGeneratorParameters parameters;
    parameters.emplace(kKeyHeadShape, CGeneratorParameter(103));
    parameters.emplace(kKeyHeadSize, CGeneratorParameter(2));
    parameters.emplace(kKeyTailShape, CGeneratorParameter(204));
    parameters.emplace(kKeyTailSize, CGeneratorParameter(1));
    parameters.emplace(10, CGeneratorParameter(0));
    parameters.emplace(11, CGeneratorParameter(0));
    parameters.emplace(12, CGeneratorParameter(100));
    parameters.emplace(13, CGeneratorParameter(0));
    return parameters;
}
