#pragma once
// Element type codes: what real-world thing a layout element stands for (a
// kind of track or turnout, a vehicle, a building, a plant, an electric or
// mechanical part, a symbol), their shown names, and the guess made for
// elements whose file gave no type.
//
// Codes come in groups by hundreds: 0 unclassified; 1 to 20 track pieces;
// 100 to 107 vehicles; 200 to 209 buildings and structures; 300 plants;
// 400 to 406 electric and mechanical parts; 500 and 501 symbols. Codes
// between the groups, above 501 and below 0 have no name.

#include <cstdint>
#include <string>

class CCompositeGeometry;

namespace UElementTypes {

constexpr std::int32_t kUnclassified = 0;
constexpr std::int32_t kPlainTrack = 1;
constexpr std::int32_t kParallelTrack = 2;
constexpr std::int32_t kPowerTrack = 3;
constexpr std::int32_t kBumperTrack = 4;
constexpr std::int32_t kFunctionalTrack = 5;
constexpr std::int32_t kPlainLeftTurnout = 6;
constexpr std::int32_t kPlainRightTurnout = 7;
constexpr std::int32_t kCurvedLeftTurnout = 8;
constexpr std::int32_t kCurvedRightTurnout = 9;
constexpr std::int32_t kWyeTurnout = 10;
constexpr std::int32_t kTripleTurnout = 11;
constexpr std::int32_t kCrossing = 12;
constexpr std::int32_t kDoubleSlip = 13;
constexpr std::int32_t kCustomTurnout = 14;
constexpr std::int32_t kTurntable = 15;
constexpr std::int32_t kTransferTable = 16;
constexpr std::int32_t kRailwayCrossing = 17;
constexpr std::int32_t kExpansionTrack = 18;
constexpr std::int32_t kDoubleCrossover = 19;
constexpr std::int32_t kSectorPlate = 20;

constexpr std::int32_t kGenericVehicle = 100;
constexpr std::int32_t kTrainVehicle = 101;
constexpr std::int32_t kBicycleMotorcycleVehicle = 102;
constexpr std::int32_t kBusVehicle = 103;
constexpr std::int32_t kCarVehicle = 104;
constexpr std::int32_t kBoatVehicle = 105;
constexpr std::int32_t kPlaneVehicle = 106;
constexpr std::int32_t kSpacecraftVehicle = 107;

constexpr std::int32_t kOtherBuilding = 200;
constexpr std::int32_t kStationaryCrane = 201;
constexpr std::int32_t kAgriculturalBuilding = 202;
constexpr std::int32_t kCommercialIndustrialBuilding = 203;
constexpr std::int32_t kResidentialBuilding = 204;
constexpr std::int32_t kMedicalBuilding = 205;
constexpr std::int32_t kEducationalBuilding = 206;
constexpr std::int32_t kGovernmentBuilding = 207;
constexpr std::int32_t kRailwayTransportBuilding = 208;
constexpr std::int32_t kRailwayBridge = 209;

constexpr std::int32_t kGenericPlant = 300;

constexpr std::int32_t kDigitalElectricComponent = 400;
constexpr std::int32_t kSwitchMachine = 401;
constexpr std::int32_t kBooster = 402;
constexpr std::int32_t kTransformer = 403;
constexpr std::int32_t kRailwaySignal = 404;
constexpr std::int32_t kCatenary = 405;
constexpr std::int32_t kMechanicalComponent = 406;

constexpr std::int32_t kGenericSymbol = 500;
constexpr std::int32_t kRailwaySymbol = 501;

// The string-table key of a code ("ElementType_PlainTrack" for 1), or null
// for a code without a name.
const char* GetElementTypeKey(std::int32_t code);

// The translation of the code's key; "???" (untranslated, with a warning)
// for a code without a name.
std::string GetElementTypeName(std::int32_t code);

// A type code proposed from the element's track geometry: its straights and
// flex tracks, curves, ovals and enabled joints. Reads the element and
// changes nothing (not even its joints); 0 when no rule fits or the element
// is null.
std::int32_t GuessElementType(const CCompositeGeometry* element);

}  // namespace UElementTypes
