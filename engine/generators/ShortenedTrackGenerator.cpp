#include "engine/generators/ShortenedTrackGenerator.h"

#include "engine/generators/FlexTrackGenerators.h"

#include <memory>
#include <string>

#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/StraightBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

constexpr const char* kGenerateSignature =
    "virtual tComponents CShortenedTrackComponentGenerator::Generate(tGeneratorParameters &, CCompositeGeometry *)";
constexpr const char* kDefaultsSignature =
    "virtual tGeneratorParameters CShortenedTrackComponentGenerator::DefaultParameters(CCompositeGeometry *) const";
constexpr const char* kParameterlessSignature =
    "virtual tGeneratorParameters CShortenedTrackComponentGenerator::DefaultParameters() const";
constexpr const char* kActionsSignature =
    "virtual void CShortenedTrackComponentGenerator::PerformElementActions(tGeneratorParameters &, "
    "CCompositeGeometry *)";
}  // namespace

CBasicGeometry* CShortenedTrackComponentGenerator::ShortenedComponent(const tGeneratorParameters& parameters,
                                                                      const CCompositeGeometry* prototype) {
    if (prototype == nullptr) return nullptr;
    CBasicGeometry* track = UElementComponents::GetFirstTrackComponent(prototype);
    if (auto* straight = dynamic_cast<CStraightBIG*>(track)) {
        const CGeneratorParameter* length = UGeneratorParameters::FindParameter(parameters, kStraightLengthKey);
        if (length == nullptr || !length->ToDouble()) return nullptr;
        auto* copy = new CStraightBIG(*straight);
        copy->SetLength(*length->ToDouble());
        return copy;
    }
    if (auto* curve = dynamic_cast<CCurveBIG*>(track)) {
        const CGeneratorParameter* arc = UGeneratorParameters::FindParameter(parameters, kCurveArcAngleKey);
        if (arc == nullptr || !arc->ToDouble()) return nullptr;
        auto* copy = new CCurveBIG(*curve);
        // Also sets the length to arc angle x radius x pi / 180.
        copy->SetArcAngle(*arc->ToDouble());
        return copy;
    }
    return nullptr;
}

tComponents CShortenedTrackComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) {
    CCompositeGeometry* prototype =
        UTrackComponentGenerators::GetPrototypeTrackFromLibraryElementParameters(parameters);
    if (prototype == nullptr) return {};
    if (!UElementInspector::IsShortableTrackElement(prototype)) {
        LogWarning("Element '%s' cannot be shortened (%s)", prototype->GetProductNumber(), kGenerateSignature);
        return {};
    }
    CBasicGeometry* component = ShortenedComponent(parameters, prototype);
    if (component == nullptr) return {};
    return {component};
}

tGeneratorParameters CShortenedTrackComponentGenerator::DefaultParameters() const {
    UErrorHandling::ThrowIfNull(static_cast<const void*>(nullptr), kParameterlessSignature,
                                "Parameterless constructor not supported for this type of component generator");
    return {};
}

tGeneratorParameters CShortenedTrackComponentGenerator::DefaultParameters(CCompositeGeometry* element) const {
    if (element == nullptr) {
        LogWarning("No proto library flex track provided to %s", kDefaultsSignature);
        return {};
    }
    if (!UElementInspector::IsShortableTrackElement(element)) {
        LogWarning("Element '%s' cannot be shortened (%s)", element->GetProductNumber(), kDefaultsSignature);
        return {};
    }
    const tComponents& components = element->GetComponents();
    CBasicGeometry* first = components.empty() ? nullptr : components.front();
    tGeneratorParameters parameters;
    if (auto* straight = dynamic_cast<CStraightBIG*>(first)) {
        parameters[kStraightLengthKey] = CGeneratorParameter(straight->GetLength());
        parameters[kPrototypeLengthKey] = CGeneratorParameter(straight->GetLength());
    } else if (auto* curve = dynamic_cast<CCurveBIG*>(first)) {
        parameters[kCurveArcAngleKey] = CGeneratorParameter(curve->GetArcAngle());
        parameters[kPrototypeArcAngleKey] = CGeneratorParameter(curve->GetArcAngle());
    } else {
        return {};
    }
    parameters[kGaugeKey] = CGeneratorParameter(first->GetGauge());
    parameters[kTrackbedWidthKey] = CGeneratorParameter(first->GetTrackbedWidth());
    parameters[kLibraryNameKey] = CGeneratorParameter(element->GetLibraryName());
    parameters[kElementNameKey] = CGeneratorParameter(element->GetProductNumber());
    return parameters;
}

void CShortenedTrackComponentGenerator::PerformElementActions(tGeneratorParameters& parameters,
                                                              CCompositeGeometry* element) {
    if (element == nullptr || element->GetComponents().size() == 1) return;
    const int index = UGeneratorParameters::GetInt(parameters, kComponentIndexKey, 0);
    if (index < 0) {
        LogWarning("Invalid component index %d", index);
        return;
    }
    CBasicGeometry* track = UElementComponents::GetFirstTrackComponent(element);
    if (track == nullptr) {
        LogWarning("Error - could not retrieve track component from element in %s", kActionsSignature);
        return;
    }
    UElementComponents::MoveComponent(track, element->GetComponents(), index);
}
