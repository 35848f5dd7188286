#include "engine/model/ElementTypes.h"

#include <cmath>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"

namespace UElementTypes {

namespace {

struct tTypeKey {
    std::int32_t code;
    const char* key;
};

constexpr tTypeKey kTypeKeys[] = {
    {kUnclassified, "ElementType_Unclassified"},
    {kPlainTrack, "ElementType_PlainTrack"},
    {kParallelTrack, "ElementType_ParallelTrack"},
    {kPowerTrack, "ElementType_PowerTrack"},
    {kBumperTrack, "ElementType_BumperTrack"},
    {kFunctionalTrack, "ElementType_FunctionalTrack"},
    {kPlainLeftTurnout, "ElementType_PlainLeftTurnout"},
    {kPlainRightTurnout, "ElementType_PlainRightTurnout"},
    {kCurvedLeftTurnout, "ElementType_CurvedLeftTurnout"},
    {kCurvedRightTurnout, "ElementType_CurvedRightTurnout"},
    {kWyeTurnout, "ElementType_WyeTurnout"},
    {kTripleTurnout, "ElementType_TripleTurnout"},
    {kCrossing, "ElementType_Crossing"},
    {kDoubleSlip, "ElementType_DoubleSlip"},
    {kCustomTurnout, "ElementType_CustomTurnout"},
    {kTurntable, "ElementType_Turntable"},
    {kTransferTable, "ElementType_TransferTable"},
    {kRailwayCrossing, "ElementType_RailwayCrossing"},
    {kExpansionTrack, "ElementType_ExpansionTrack"},
    {kDoubleCrossover, "ElementType_DoubleCrossover"},
    {kSectorPlate, "ElementType_SectorPlate"},
    {kGenericVehicle, "ElementType_GenericVehicle"},
    {kTrainVehicle, "ElementType_TrainVehicle"},
    {kBicycleMotorcycleVehicle, "ElementType_BicycleMotorcycleVehicle"},
    {kBusVehicle, "ElementType_BusVehicle"},
    {kCarVehicle, "ElementType_CarVehicle"},
    {kBoatVehicle, "ElementType_BoatVehicle"},
    {kPlaneVehicle, "ElementType_PlaneVehicle"},
    {kSpacecraftVehicle, "ElementType_SpacecraftVehicle"},
    {kOtherBuilding, "ElementType_OtherBuilding"},
    {kStationaryCrane, "ElementType_StationaryCrane"},
    {kAgriculturalBuilding, "ElementType_AgriculturalBuilding"},
    {kCommercialIndustrialBuilding, "ElementType_CommercialIndustrialBuilding"},
    {kResidentialBuilding, "ElementType_ResidentialBuilding"},
    {kMedicalBuilding, "ElementType_MedicalBuilding"},
    {kEducationalBuilding, "ElementType_EducationalBuilding"},
    {kGovernmentBuilding, "ElementType_GovernmentBuilding"},
    {kRailwayTransportBuilding, "ElementType_RailwayTransportBuilding"},
    {kRailwayBridge, "ElementType_RailwayBridge"},
    {kGenericPlant, "ElementType_GenericPlant"},
    {kDigitalElectricComponent, "ElementType_DigitalElectricComponent"},
    {kSwitchMachine, "ElementType_SwitchMachine"},
    {kBooster, "ElementType_Booster"},
    {kTransformer, "ElementType_Transformer"},
    {kRailwaySignal, "ElementType_RailwaySignal"},
    {kCatenary, "ElementType_Catenary"},
    {kMechanicalComponent, "ElementType_MechanicalComponent"},
    {kGenericSymbol, "ElementType_GenericSymbol"},
    {kRailwaySymbol, "ElementType_RailwaySymbol"},
};

// Angles closer than this count as equal.
constexpr double kAngleTolerance = 0.001;

// The first track component has both joints and the last one joint 0, or
// the first joint 0 and the last both joints. Needs two track components.
bool IsLeftTurnout(const tComponents& tracks) {
    if (tracks.size() < 2) return false;
    const CBasicGeometry* first = tracks.front();
    const CBasicGeometry* last = tracks.back();
    return (first->IsJointEnabled(0) && first->IsJointEnabled(1) && last->IsJointEnabled(0)) ||
           (first->IsJointEnabled(0) && last->IsJointEnabled(0) && last->IsJointEnabled(1));
}

// First and last track components are curves that leave the common start
// bending to opposite sides.
bool IsWyeTurnout(const tComponents& tracks) {
    if (tracks.size() < 2) return false;
    const auto* first = dynamic_cast<const CCurveBIG*>(tracks.front());
    const auto* last = dynamic_cast<const CCurveBIG*>(tracks.back());
    if (first == nullptr || last == nullptr) return false;
    return std::fabs(first->GetAngle() - (180.0 - last->GetAngle() - last->GetArcAngle())) < kAngleTolerance;
}

// Exactly two track components, lying at the same angle.
bool HasTwoParallelTracks(const tComponents& tracks) {
    return tracks.size() == 2 && std::fabs(tracks[0]->GetAngle() - tracks[1]->GetAngle()) < kAngleTolerance;
}

}  // namespace

const char* GetElementTypeKey(std::int32_t code) {
    for (const tTypeKey& entry : kTypeKeys) {
        if (entry.code == code) return entry.key;
    }
    return nullptr;
}

std::string GetElementTypeName(std::int32_t code) {
    const char* key = GetElementTypeKey(code);
    if (key == nullptr) {
        LogWarning("%s: Unknown element type %d", "static std::string UElementTypes::GetElementTypeName(int32_t)",
                   code);
        return "???";
    }
    return ULocalization::GetLocalizedString(key);
}

std::int32_t GuessElementType(const CCompositeGeometry* element) {
    if (element == nullptr) {
        LogWarning("%s: Parameter is NULL",
                   "static int32_t UElementTypes::GuessElementType(const CCompositeGeometry *)");
        return kUnclassified;
    }

    int s = 0;  // straights and flex tracks
    int c = 0;  // curves
    int o = 0;  // ovals
    int j = 0;  // enabled joints, as UElementJointQueries::GetNumberOfJoints counts them
    for (const CBasicGeometry* component : element->GetComponents()) {
        // The type each component class answers (a class derived from one
        // of these answers its base's).
        switch (component->GetType()) {
            case kComponentTypeStraight:
            case kComponentTypeFlexTrack: ++s; break;
            case kComponentTypeCurve: ++c; break;
            case kComponentTypeOval: ++o; break;
            default: break;
        }
        j += (component->IsJointEnabled(0) ? 1 : 0) + (component->IsJointEnabled(1) ? 1 : 0);
    }

    // The first rule that holds decides.
    if (s == 1 && c == 0 && j == 1) return kBumperTrack;
    if ((c == 1 || s == 1) && j == 2) return kPlainTrack;
    const tComponents tracks = UElementComponents::GetTrackComponents(element);
    if ((c == 2 || s == 2) && j == 4 && HasTwoParallelTracks(tracks)) return kParallelTrack;
    if (s == 2 && c == 0 && j == 4) return kCrossing;
    if (s == 2 && c == 2 && j == 4) return kDoubleSlip;
    if (s >= 1 && c == 1 && j == 3) return IsLeftTurnout(tracks) ? kPlainLeftTurnout : kPlainRightTurnout;
    if (c == 2 && j == 3) {
        if (IsWyeTurnout(tracks)) return kWyeTurnout;
        return IsLeftTurnout(tracks) ? kCurvedLeftTurnout : kCurvedRightTurnout;
    }
    if (s >= 1 && c == 2 && j == 4) return kTripleTurnout;
    if (s >= 4 && c == 0 && j >= 5 && o > 1) return kTurntable;
    if (j >= 3 && (c > 1 || s >= 1) && !(c < 2 && s == 1)) return kCustomTurnout;
    return kUnclassified;
}

}  // namespace UElementTypes
