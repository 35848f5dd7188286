#include "engine/model/ElementNames.h"

#include <algorithm>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/model/TrackLibrary.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "platform/foundation/AsciiText.h"

namespace {

// Component generators whose elements are named by their generator.
constexpr int kArrowGenerator = 3;
constexpr int kDimensionGenerator = 4;
constexpr int kShortenedTrackGenerator = 6;

constexpr const char* kInvalidElement = "Invalid element supplied";
constexpr const char* kUnknownName = "???";

const CCompositeGeometry* Require(const CCompositeGeometry* element, const char* signature) {
    return UErrorHandling::ThrowIfNull(element, signature, kInvalidElement);
}

bool IsBlank(const std::string& text) { return platform::ascii::trimmed(text).empty(); }

void ReplaceAll(std::string& text, char from, char to) { std::replace(text.begin(), text.end(), from, to); }

std::string UnitName(int unitType) { return UMeasureUnits::GetUnitName(unitType, true); }

}  // namespace

namespace UElementNameGenerator {

std::string GetGenericGraphicElementDescription(int unitType, const CCompositeGeometry* element) {
    static const char* const kSignature =
        "static std::string UElementNameGenerator::GetGenericGraphicElementDescription(int, const "
        "CCompositeGeometry *)";
    Require(element, kSignature);

    if (UElementInspector::IsGeneratedElement(element)) return GetNameForGeneratedElement(element);
    if (UElementInspector::IsTextElement(element)) return GetTextElementDescription(element);
    if (UElementInspector::IsCircleElement(element)) return GetCircleElementDescription(unitType, element);
    if (UElementInspector::IsRectElement(element)) {
        const double width =
            UMeasureUnits::ConvertFromMillimeters(unitType, UElementComponents::GetRectangleWidth(element));
        const double height =
            UMeasureUnits::ConvertFromMillimeters(unitType, UElementComponents::GetRectangleHeight(element));
        return ULocalization::GetLocalizedFormattedString("GenericRectName", width, height, UnitName(unitType).c_str());
    }
    if (UElementInspector::IsPolyElement(element)) {
        return ULocalization::GetLocalizedFormattedString("GenericPolyName",
                                                          UElementComponents::GetPolygonPointCount(element));
    }
    if (UElementInspector::IsLineElement(element)) {
        return ULocalization::GetLocalizedFormattedString("GenericLineName",
                                                          UElementComponents::GetPolygonPointCount(element));
    }
    LogWarning("%s: Unrecognized element type", kSignature);
    return kUnknownName;
}

std::string GetNameForGeneratedElement(const CCompositeGeometry* element) {
    static const char* const kSignature =
        "static std::string UElementNameGenerator::GetNameForGeneratedElement(const CCompositeGeometry *)";
    Require(element, kSignature);
    if (element->UsesComponentGenerator(kArrowGenerator)) {
        return ULocalization::GetLocalizedString("GeneratedArrowName");
    }
    if (element->UsesComponentGenerator(kDimensionGenerator)) {
        return ULocalization::GetLocalizedString("GeneratedDimensionName");
    }
    LogWarning("%s: Unrecognized generated element type", kSignature);
    return kUnknownName;
}

std::string GetTextElementName(const CCompositeGeometry* element) {
    Require(element, "static std::string UElementNameGenerator::GetTextElementName(const CCompositeGeometry *)");
    if (!UElementInspector::IsTextElement(element)) return std::string();
    const auto* text = dynamic_cast<const CTextBIG*>(element->GetComponents().front());
    if (text == nullptr || IsBlank(text->GetText())) return std::string();
    return text->GetText();
}

std::string GetTextElementDescription(const CCompositeGeometry* element) {
    Require(element, "static std::string UElementNameGenerator::GetTextElementDescription(const CCompositeGeometry *)");
    std::string name = GetTextElementName(element);
    ReplaceAll(name, '\r', ' ');
    ReplaceAll(name, '\n', ' ');
    if (name.empty()) return ULocalization::GetLocalizedString("GenericTextName");
    return name;
}

std::string GetCircleElementDescription(int unitType, const CCompositeGeometry* element) {
    Require(element,
            "static std::string UElementNameGenerator::GetCircleElementDescription(int, const "
            "CCompositeGeometry *)");
    const double diameter =
        UMeasureUnits::ConvertFromMillimeters(unitType, 2.0 * UElementComponents::GetCircleRadius(element));
    return ULocalization::GetLocalizedFormattedString("GenericCircleName", diameter, UnitName(unitType).c_str());
}

std::string GetShortenedTrackName(const CCompositeGeometry* element) {
    Require(element, "static std::string UElementNameGenerator::GetShortenedTrackName(const CCompositeGeometry *)");
    return std::string(element->GetProductNumber()) + " (-)";
}

std::string GetUserCreatedShapeName(const CCompositeGeometry* element) {
    Require(element, "static std::string UElementNameGenerator::GetUserCreatedShapeName(const CCompositeGeometry *)");
    std::string name = element->GetProductNumber();
    if (name.empty()) return ULocalization::GetLocalizedString("UserCreatedShape");
    return name;
}

std::string GetDisplayNameForElement(const CCompositeGeometry* element) {
    Require(element, "static std::string UElementNameGenerator::GetDisplayNameForElement(const CCompositeGeometry *)");
    if (element->UsesComponentGenerator(kShortenedTrackGenerator)) return GetShortenedTrackName(element);
    if (UElementInspector::IsTextElement(element)) return GetTextElementDescription(element);
    if (UElementInspector::IsUserCreatedElement(element) && !UElementInspector::IsFlexTrack(element)) {
        return GetUserCreatedShapeName(element);
    }
    return element->GetProductNumber();
}

void SetGenericDescription(CCompositeGeometry* element, const std::string& language) {
    Require(element,
            "static void UElementNameGenerator::SetGenericDescription(CCompositeGeometry *, const "
            "std::string &)");
    if (!UElementInspector::IsUserCreatedElement(element) || UElementInspector::IsTrackElement(element)) return;
    const std::string description = UElementInspector::IsTextElement(element)
                                        ? ULocalization::GetLocalizedString("GenericTextName")
                                        : GetGenericGraphicElementDescription(UMeasureUnits::GetUnitType(), element);
    element->SetLocalizedDescription(description, language);
}

}  // namespace UElementNameGenerator

namespace UElementComponents {

double GetCircleRadius(const CCompositeGeometry* element) {
    Require(element, "static double UElementComponents::GetCircleRadius(const CCompositeGeometry *)");
    if (!UElementInspector::IsCircleElement(element)) {
        LogWarning("Not a circle component");
        return 0.0;
    }
    const auto* circle = dynamic_cast<const COvalBIG*>(element->GetComponents().front());
    if (circle == nullptr) {
        LogWarning("Element doesn't contain a circle component at index 0");
        return 0.0;
    }
    return circle->GetRadiusX();
}

CPoint GetRectangleCorner(const CCompositeGeometry* element) {
    Require(element, "static CPoint UElementComponents::GetRectangleCorner(const CCompositeGeometry *)");
    if (!UElementInspector::IsRectElement(element)) {
        LogWarning("Not a rectangle component");
        return CPoint();
    }
    const auto* polygon = dynamic_cast<const CPolyBIG*>(element->GetComponents().front());
    if (polygon == nullptr || polygon->GetNumberOfPoints() < 3) {
        LogWarning("Element doesn't contain a polygon component at index 0");
        return CPoint();
    }
    return polygon->GetPoint(2);
}

double GetRectangleWidth(const CCompositeGeometry* element) { return GetRectangleCorner(element).x; }

double GetRectangleHeight(const CCompositeGeometry* element) { return GetRectangleCorner(element).y; }

}  // namespace UElementComponents
