#include "engine/generators/FlexTrackGenerators.h"

#include <memory>

#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/TrackLibrary.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

using Base = CFlexTrackComponentGeneratorBase;

// A generic flex track's rails are a sixteenth of its gauge wide.
constexpr double kRailWidthPerGauge = 0.0625;

CFlexTrackBIG* FirstFlexTrack(CCompositeGeometry* element) {
    if (element == nullptr || element->GetComponents().empty()) return nullptr;
    return dynamic_cast<CFlexTrackBIG*>(element->GetComponents().front());
}

bool HasAll(const tGeneratorParameters& parameters, std::initializer_list<int> keys) {
    for (const int key : keys) {
        if (!UGeneratorParameters::HasParameter(parameters, key)) return false;
    }
    return true;
}

}  // namespace

// ------------------------------------------------------------ base

tGeneratorParameters CFlexTrackComponentGeneratorBase::DefaultParameters() const {
    UErrorHandling::ThrowIfNull(
        static_cast<const void*>(nullptr),
        "virtual tGeneratorParameters CFlexTrackComponentGeneratorBase::DefaultParameters() const",
        "Parameterless constructor not supported for this type of component generator");
    return {};
}

CCompositeGeometry* CFlexTrackComponentGeneratorBase::CreateWorkingElement(const tGeneratorParameters& parameters) {
    using namespace UGeneratorParameters;
    if (!GetString(parameters, kLibraryNameKey, "").empty()) {
        tGeneratorParameters lookup = parameters;
        const CCompositeGeometry* prototype =
            UTrackComponentGenerators::GetPrototypeTrackFromLibraryElementParameters(lookup);
        // A copy: the library's element stays as the library has it.
        if (prototype != nullptr) return new CCompositeGeometry(*prototype);
    }

    if (!HasAll(parameters, {kGaugeKey, kTrackbedWidthKey})) return nullptr;
    const double gauge = GetDouble(parameters, kGaugeKey, 0.0);
    const double trackbedWidth = GetDouble(parameters, kTrackbedWidthKey, 0.0);
    const double maxLength = static_cast<double>(GetInt(parameters, kMaxLengthKey, kDefaultMaxLength));
    const CPoint origin(0.0, 0.0, 0.0);
    std::unique_ptr<CFlexTrackBIG> flex(UElementComponents::CreateFlexTrackComponent(
        origin, origin, true, true, 0.0, 0.0, maxLength, gauge, trackbedWidth, gauge * kRailWidthPerGauge));
    flex->SetComponentAttribute(GetInt(parameters, kComponentAttributeKey, kDefaultComponentAttribute));
    auto element = std::make_unique<CCompositeGeometry>();
    if (!UElementComponents::AppendComponent(element.get(), flex.get())) return nullptr;
    flex.release();
    return element.release();
}

tGeneratorParameters CFlexTrackComponentGeneratorBase::GenericFlexParameters(CCompositeGeometry* element,
                                                                             const char* signature) {
    CBasicGeometry* first = UElementComponents::GetFirstTrackComponent(element);
    auto* flex = UErrorHandling::ThrowIfNull(dynamic_cast<CFlexTrackBIG*>(first), signature,
                                             "No flex track component found in element");
    tGeneratorParameters parameters;
    parameters[kGaugeKey] = CGeneratorParameter(UElementComponents::GetMaxGauge(element));
    parameters[kTrackbedWidthKey] = CGeneratorParameter(UElementComponents::GetMaxTrackbedWidth(element));
    parameters[kComponentAttributeKey] =
        CGeneratorParameter(static_cast<int>(UElementComponents::GetComponentAttribute(element)));
    parameters[kMaxLengthKey] = CGeneratorParameter(flex->GetMaxLength());
    return parameters;
}

void CFlexTrackComponentGeneratorBase::AddLibraryParameters(tGeneratorParameters& parameters,
                                                            const CCompositeGeometry* element) {
    parameters[kLibraryNameKey] = CGeneratorParameter(element->GetLibraryName());
    parameters[kElementNameKey] = CGeneratorParameter(element->GetProductNumber());
}

tComponents CFlexTrackComponentGeneratorBase::HandOver(CCompositeGeometry* element, CFlexTrackBIG* flex,
                                                       const CPoint& keptEnd) {
    flex->SetGenerated(true);
    UPolygonPoints::SetPoint(element, flex, 0, keptEnd);
    // The working element only served to place the track: the flex track
    // leaves it before it is deleted with whatever else it held.
    tComponents& components = element->GetComponents();
    components.erase(components.begin());
    delete element;
    return {flex};
}

// ------------------------------------------------------------ straight

tComponents CStraightFlexTrackComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry*) {
    using namespace UGeneratorParameters;
    std::unique_ptr<CCompositeGeometry> element(CreateWorkingElement(parameters));
    if (!element || !HasAll(parameters, {kAngleKey, kLengthKey})) return {};
    element->SetAngle(GetDouble(parameters, kAngleKey, 0.0));
    CFlexTrackBIG* flex = FirstFlexTrack(element.get());
    if (flex == nullptr) return {};
    const CPoint keptEnd = UPolygonPoints::GetPoint(element.get(), flex, 0);
    UFlextrack::MakeStraight(flex, GetDouble(parameters, kLengthKey, kDefaultLength));
    return HandOver(element.release(), flex, keptEnd);
}

tGeneratorParameters CStraightFlexTrackComponentGenerator::DefaultParameters(CCompositeGeometry* element) const {
    if (element == nullptr) {
        LogWarning("No proto library flex track provided to %s",
                   "virtual tGeneratorParameters "
                   "CStraightFlexTrackComponentGenerator::DefaultParameters(CCompositeGeometry *) const");
        return {};
    }
    if (UElementInspector::IsUserCreatedFlex(element)) return ParametersForGenericFlex(element);
    tGeneratorParameters parameters;
    parameters[kLengthKey] = CGeneratorParameter(kDefaultLength);
    AddLibraryParameters(parameters, element);
    return parameters;
}

tGeneratorParameters CStraightFlexTrackComponentGenerator::ParametersForGenericFlex(CCompositeGeometry* element) const {
    tGeneratorParameters parameters = GenericFlexParameters(
        element,
        "tGeneratorParameters "
        "CStraightFlexTrackComponentGenerator::ParametersForGenericFlex(CCompositeGeometry *) const");
    parameters[kLengthKey] = CGeneratorParameter(kDefaultLength);
    return parameters;
}

// ------------------------------------------------------------ curved

tComponents CCurvedFlexTrackComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry*) {
    using namespace UGeneratorParameters;
    std::unique_ptr<CCompositeGeometry> element(CreateWorkingElement(parameters));
    if (!element || !HasAll(parameters, {kAngleKey, kArcAngleKey, kRadiusKey})) return {};
    element->SetAngle(GetDouble(parameters, kAngleKey, 0.0));
    CFlexTrackBIG* flex = FirstFlexTrack(element.get());
    if (flex == nullptr) return {};
    const CPoint keptEnd = UPolygonPoints::GetPoint(element.get(), flex, 0);
    UFlextrack::BendToCurve(flex, GetDouble(parameters, kRadiusKey, kDefaultRadius),
                            GetDouble(parameters, kArcAngleKey, kDefaultArcAngle));
    return HandOver(element.release(), flex, keptEnd);
}

tGeneratorParameters CCurvedFlexTrackComponentGenerator::DefaultParameters(CCompositeGeometry* element) const {
    if (element == nullptr) {
        LogWarning("No proto library flex track provided to %s",
                   "virtual tGeneratorParameters "
                   "CCurvedFlexTrackComponentGenerator::DefaultParameters(CCompositeGeometry *) const");
        return {};
    }
    if (UElementInspector::IsUserCreatedFlex(element)) return ParametersForGenericFlex(element);
    tGeneratorParameters parameters;
    parameters[kArcAngleKey] = CGeneratorParameter(kDefaultArcAngle);
    parameters[kRadiusKey] = CGeneratorParameter(kDefaultRadius);
    AddLibraryParameters(parameters, element);
    return parameters;
}

tGeneratorParameters CCurvedFlexTrackComponentGenerator::ParametersForGenericFlex(CCompositeGeometry* element) const {
    tGeneratorParameters parameters = GenericFlexParameters(
        element,
        "tGeneratorParameters "
        "CCurvedFlexTrackComponentGenerator::ParametersForGenericFlex(CCompositeGeometry *) const");
    parameters[kArcAngleKey] = CGeneratorParameter(kDefaultArcAngle);
    parameters[kRadiusKey] = CGeneratorParameter(kDefaultRadius);
    return parameters;
}

// ------------------------------------------------------------ library lookup

namespace UTrackComponentGenerators {

CCompositeGeometry* GetPrototypeTrackFromLibraryElementParameters(tGeneratorParameters& parameters) {
    static const char* const kSignature =
        "static CCompositeGeometry *UTrackComponentGenerators::"
        "GetPrototypeTrackFromLibraryElementParameters(tGeneratorParameters &)";
    const CGeneratorParameter* library = UGeneratorParameters::FindParameter(parameters, Base::kLibraryNameKey);
    const CGeneratorParameter* name = UGeneratorParameters::FindParameter(parameters, Base::kElementNameKey);
    if (library == nullptr || name == nullptr) {
        LogWarning("Parameters missing for libraryName/elementName in %s", kSignature);
        return nullptr;
    }
    CCompositeGeometry* element = UTrackLibraryElements::GetTrackLibrary(library->GetText(), name->GetText());
    if (element == nullptr) {
        LogWarning("Failed to retrieve original track '%s' from library '%s' in %s", name->GetText().c_str(),
                   library->GetText().c_str(), kSignature);
    }
    return element;
}

}  // namespace UTrackComponentGenerators
