#include "engine/generators/ComponentGenerator.h"

#include <typeinfo>

#include "engine/generators/ArrowGenerator.h"
#include "engine/generators/DimensionGenerator.h"
#include "engine/generators/FlexTrackGenerators.h"
#include "engine/generators/ShortenedTrackGenerator.h"
#include "engine/generators/TrackBumperGenerator.h"
#include "engine/generators/TunnelPortalGenerator.h"
#include "engine/services/Logger.h"
#include "engine/services/TypeInfo.h"

// ------------------------------------------------------------ CDummyComponentGenerator

tComponents CDummyComponentGenerator::Generate(tGeneratorParameters& parameters, CCompositeGeometry*) {
    const std::string name = UTypeInfo::GetClassName(typeid(this).name());
    LogInfo("%s dumping generator parameters for unrecognized generator type:", name.c_str());
    for (const auto& [key, parameter] : parameters) LogInfo(" - %d : %s", key, parameter.GetText().c_str());
    return {};
}

tGeneratorParameters CDummyComponentGenerator::DefaultParameters() const {
    tGeneratorParameters parameters;
    parameters[0] = CGeneratorParameter();
    return parameters;
}

// ------------------------------------------------------------ UComponentGeneratorFactory

namespace UComponentGeneratorFactory {

namespace {

// One shared generator per class, made on first use (the initialisation of a
// function-local static is thread-safe) and never destroyed, so that no
// caller at process exit finds it gone.
template <typename T>
CComponentGenerator* Shared() {
    static T* const generator = new T();
    return generator;
}

}  // namespace

CComponentGenerator* GetGeneratorForType(int type) {
    switch (type) {
        case kGeneratorStraightFlexTrack: return Shared<CStraightFlexTrackComponentGenerator>();
        case kGeneratorCurvedFlexTrack: return Shared<CCurvedFlexTrackComponentGenerator>();
        case kGeneratorArrow: return Shared<CArrowComponentGenerator>();
        case kGeneratorDimension: return Shared<CDimensionComponentGenerator>();
        case kGeneratorTunnelPortal: return Shared<CTunnelPortalComponentGenerator>();
        case kGeneratorShortenedTrack: return Shared<CShortenedTrackComponentGenerator>();
        case kGeneratorTrackBumper: return Shared<CTrackBumperComponentGenerator>();
        default:
            LogWarning("Component generator type %d not recognized", type);
            return Shared<CDummyComponentGenerator>();
    }
}

}  // namespace UComponentGeneratorFactory
