#include "engine/model/ElementQueries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/ModelInternal.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

const CBasicGeometry* FirstComponent(const CCompositeGeometry* element) {
    const tComponents& components = element->GetComponents();
    return components.empty() ? nullptr : components.front();
}

template <typename T>
const T* FirstComponentAs(const CCompositeGeometry* element) {
    return dynamic_cast<const T*>(FirstComponent(element));
}

bool IsPolyOfKind(const CCompositeGeometry* element, std::int32_t kind) {
    const CPolyBIG* polygon = FirstComponentAs<CPolyBIG>(element);
    return polygon != nullptr && polygon->GetKind() == kind;
}

void RequireElement(const CCompositeGeometry* element, const char* signature) {
    UErrorHandling::ThrowIfNull(element, signature, "Parameter is NULL");
}

// A box with no extent on some axis (an empty polygon's) counts as a point at
// the origin rather than one of infinite negative size.
tDoubleRect UnrotatedBox(CBasicGeometry* component) {
    const tDoubleRect box = component->CalcBoundingBox(0.0);
    if (!(box.maxX >= box.minX) || !(box.maxY >= box.minY)) return tDoubleRect{};
    return box;
}

tElements Filter(const tElements& elements, const std::function<bool(const CCompositeGeometry*)>& keep) {
    tElements kept;
    for (CCompositeGeometry* element : elements) {
        if (element != nullptr && keep(element)) kept.push_back(element);
    }
    return kept;
}

}  // namespace

namespace UElementInspector {

bool IsGeneratedElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsGeneratedElement(const CCompositeGeometry *)");
    return !element->GetGeneratorMap().empty();
}

bool IsFlexTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsFlexTrack(const CCompositeGeometry *)");
    return FirstComponentAs<CFlexTrackBIG>(element) != nullptr;
}

bool IsPolyElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsPolyElement(const CCompositeGeometry *)");
    return IsPolyOfKind(element, kPolyKindPolygon);
}

bool IsLineElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsLineElement(const CCompositeGeometry *)");
    return IsPolyOfKind(element, kPolyKindLine);
}

bool IsRectElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsRectElement(const CCompositeGeometry *)");
    return IsPolyOfKind(element, kPolyKindRectangle);
}

bool IsCircleElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsCircleElement(const CCompositeGeometry *)");
    return FirstComponentAs<COvalBIG>(element) != nullptr;
}

bool IsTextElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsTextElement(const CCompositeGeometry *)");
    return FirstComponentAs<CTextBIG>(element) != nullptr && element->GetComponents().size() == 1;
}

bool IsUserCreatedElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsUserCreatedElement(const CCompositeGeometry *)");
    return std::strlen(element->GetLibraryName()) < 2;
}

bool IsUserCreatedFlex(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsUserCreatedFlex(const CCompositeGeometry *)");
    return IsUserCreatedElement(element) && IsFlexTrack(element);
}

bool IsTrackElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsTrackElement(const CCompositeGeometry *)");
    const tComponents& components = element->GetComponents();
    return std::any_of(components.begin(), components.end(), [](const CBasicGeometry* component) {
        return UModelInternal::IsTrackType(component->GetType());
    });
}

int GetNumberOfTrackComponents(const CCompositeGeometry* element) {
    RequireElement(element, "static int UElementInspector::GetNumberOfTrackComponents(const CCompositeGeometry *)");
    const tComponents& components = element->GetComponents();
    return static_cast<int>(std::count_if(components.begin(), components.end(), [](const CBasicGeometry* component) {
        return UModelInternal::IsTrackType(component->GetType());
    }));
}

bool IsSingleTrackElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsSingleTrackElement(const CCompositeGeometry *)");
    return GetNumberOfTrackComponents(element) == 1;
}

bool IsCurvedTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsCurvedTrack(const CCompositeGeometry *)");
    return GetNumberOfTrackComponents(element) == 1 &&
           dynamic_cast<const CCurveBIG*>(UElementComponents::GetFirstTrackComponent(element)) != nullptr;
}

bool IsPlainTrack(const CCompositeGeometry* element) {
    // Asked of list entries without a check of their own; a null entry is no
    // track rather than a crash.
    return element != nullptr && element->GetElementType() == kElementTypePlainTrack;
}

bool IsParallelTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsParallelTrack(const CCompositeGeometry *)");
    const std::int32_t type = element->GetElementType();
    return IsTrackElement(element) && GetNumberOfTrackComponents(element) == 2 &&
           (type == kElementTypeParallelTrack || type == kElementTypeRailwayBridge);
}

bool IsCurvedParallelTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsCurvedParallelTrack(const CCompositeGeometry *)");
    if (!IsParallelTrack(element)) return false;
    const tComponents tracks = UElementComponents::GetTrackComponents(element);
    return std::all_of(tracks.begin(), tracks.end(), [](const CBasicGeometry* component) {
        return dynamic_cast<const CCurveBIG*>(component) != nullptr;
    });
}

bool IsShortableTrackElement(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsShortableTrackElement(const CCompositeGeometry *)");
    if (element->GetElementType() == kElementTypeShortableTrack) return true;
    return GetNumberOfTrackComponents(element) == 1 && element->GetComponents().size() == 1;
}

bool IsTunnelTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsTunnelTrack(const CCompositeGeometry *)");
    // The trims first: they are the element's own, the track test visits
    // every component.
    return (element->GetStartTrim() != 0 || element->GetEndTrim() != 0) && IsTrackElement(element);
}

bool IsPartialTunnelTrack(const CCompositeGeometry* element) {
    RequireElement(element, "static bool UElementInspector::IsPartialTunnelTrack(const CCompositeGeometry *)");
    const std::int32_t end = element->GetEndTrim();
    return IsTrackElement(element) && (element->GetStartTrim() > 0 || (end >= 1 && end <= 99));
}

}  // namespace UElementInspector

namespace UElementJointQueries {

namespace {
constexpr const char* kNullGeometry = "Invalid geometry parameter supplied";
}

CJoint* GetOppositeJoint(const CJoint* joint) {
    UErrorHandling::ThrowIfNull(joint, "static CJoint *UElementJointQueries::GetOppositeJoint(const CJoint *)",
                                "Invalid joint parameter supplied");
    CCompositeGeometry* owner = joint->GetParent();
    if (owner == nullptr) return nullptr;
    for (CBasicGeometry* component : owner->GetComponents()) {
        if (component->GetJoint(0) == joint) return component->GetJoint(1);
        if (component->GetJoint(1) == joint) return component->GetJoint(0);
    }
    return nullptr;
}

int GetNumberOfJoints(CCompositeGeometry* element) {
    UErrorHandling::ThrowIfNull(element, "static int UElementJointQueries::GetNumberOfJoints(CCompositeGeometry *)",
                                kNullGeometry);
    return static_cast<int>(element->GetJoints(kJointFilterAll).size());
}

CJoint* GetJointWithIndex(CCompositeGeometry* element, int index) {
    static const char* const kSignature =
        "static CJoint *UElementJointQueries::GetJointWithIndex(CCompositeGeometry *, int)";
    UErrorHandling::ThrowIfNull(element, kSignature, kNullGeometry);
    const tConstJoints joints = element->GetJoints(kJointFilterAll);
    if (index < 0 || static_cast<std::size_t>(index) >= joints.size()) {
        LogWarning("%s: Invalid index %d for geometry %s with %lu joints", kSignature, index,
                   element->GetProductNumber(), static_cast<unsigned long>(joints.size()));
        return nullptr;
    }
    return joints[static_cast<std::size_t>(index)];
}

int GetIndexOfJointInElementJointVector(CCompositeGeometry* element, const CJoint* joint) {
    UErrorHandling::ThrowIfNull(
        element,
        "static int UElementJointQueries::GetIndexOfJointInElementJointVector(CCompositeGeometry *, const "
        "CJoint *)",
        kNullGeometry);
    const tConstJoints joints = element->GetJoints(kJointFilterAll);
    const auto found = std::find(joints.begin(), joints.end(), joint);
    return found == joints.end() ? -1 : static_cast<int>(found - joints.begin());
}

}  // namespace UElementJointQueries

namespace UComponentPositioning {

CPoint GetAdjustedComponentOffsetWithMode(CBasicGeometry* component, PositioningMode mode, double x, double y) {
    if (component == nullptr) return CPoint(x, y, 0.0);
    const CPoint offset = component->GetOffset();
    switch (mode) {
        case kPositioningModeOffset: return CPoint(x, y, 0.0);
        case kPositioningModeCenter: {
            const CPoint centre = GetComponentCenter(component);
            return CPoint(offset.x + x - centre.x, offset.y + y - centre.y, 0.0);
        }
        case kPositioningModeJoint0:
        case kPositioningModeJoint1: {
            const tJointPair joints = component->GetUpdatedJoints(CPoint::Origin(), CGradeVector::Null(), 0.0);
            const CPoint& end = (mode == kPositioningModeJoint0 ? joints.first : joints.second)->GetLayoutPoint();
            return CPoint(offset.x + x - end.x, offset.y + y - end.y, 0.0);
        }
    }
    LogWarning("Unsupported positioning mode <%d> in %s", static_cast<int>(mode),
               "static CPoint UComponentPositioning::GetAdjustedComponentOffsetWithMode(CBasicGeometry *, "
               "PositioningMode, double, double)");
    return CPoint(x, y, 0.0);
}

void AdjustComponentOffsetWithMode(CBasicGeometry* component, PositioningMode mode, double x, double y) {
    if (component == nullptr) return;
    const CPoint offset = GetAdjustedComponentOffsetWithMode(component, mode, x, y);
    component->SetOffsetX(offset.x);
    component->SetOffsetY(offset.y);
}

CPoint GetComponentCenter(CBasicGeometry* component) {
    if (component == nullptr) return CPoint();
    const tDoubleRect box = UnrotatedBox(component);
    return CPoint((box.minX + box.maxX) / 2.0, (box.minY + box.maxY) / 2.0, 0.0);
}

double GetComponentWidth(CBasicGeometry* component) {
    return component == nullptr ? 0.0 : UnrotatedBox(component).Width();
}

double GetComponentHeight(CBasicGeometry* component) {
    return component == nullptr ? 0.0 : UnrotatedBox(component).Height();
}

}  // namespace UComponentPositioning

namespace UCompositeGeometryFactory {

namespace {

constexpr const char* kCreateFailed = "Failed to create CCompositeGeometry object";

// Appends or, when the element is full, deletes the component.
void AppendOrDrop(CCompositeGeometry* element, std::unique_ptr<CBasicGeometry> component) {
    if (UElementComponents::AppendComponent(element, component.get())) component.release();
}

void MakeGenericSymbolIfUnclassified(CCompositeGeometry* element) {
    if (element->GetElementType() == kElementTypeUnclassified) element->SetElementType(kElementTypeGenericSymbol);
}

}  // namespace

CCompositeGeometry* CreateEmptyElement(const CPoint& position, const CColor& color, const std::string& name) {
    auto* element = UErrorHandling::ThrowIfNull(
        new CCompositeGeometry(),
        "static CCompositeGeometry *UCompositeGeometryFactory::CreateEmptyElement(const CPoint &, const "
        "CColor &, "
        "const string &)",
        kCreateFailed);
    element->SetPosition(position);
    element->SetFirstColor(color);
    element->SetProductNumber(name.c_str());
    return element;
}

CCompositeGeometry* CreateOval(const CPoint& position, const CColor& firstColor, const CColor& secondColor, bool metric,
                               const std::string& name, CCompositeGeometry* element) {
    // 10 cm or 5 inch across.
    const double radius = metric ? UMeasureUnits::ConvertToMillimeters(UMeasureUnits::kUnitTypeCentimeters, 10.0) / 2.0
                                 : UMeasureUnits::ConvertToMillimeters(UMeasureUnits::kUnitTypeInches, 5.0) / 2.0;
    // The oval's offset is its box corner: this puts its centre on the origin.
    std::unique_ptr<CBasicGeometry> circle(UElementComponents::CreateCircleComponent(1, -radius, -radius, radius));
    if (element == nullptr) element = CreateEmptyElement(position, firstColor, name);
    UErrorHandling::ThrowIfNull(element,
                                "static CCompositeGeometry *UCompositeGeometryFactory::CreateOval(const "
                                "CPoint &, const CColor &, const "
                                "CColor &, bool, const string &, CCompositeGeometry *)",
                                kCreateFailed);
    element->SetSecondColor(secondColor);
    MakeGenericSymbolIfUnclassified(element);
    AppendOrDrop(element, std::move(circle));
    return element;
}

CCompositeGeometry* CreateText(const CPoint& position, const CColor& color, const std::string& text, std::int32_t size,
                               const std::string& fontName) {
    auto label = std::make_unique<CTextBIG>();
    label->SetText(text.c_str());
    label->SetTextSize(size);
    label->SetFontName(fontName);
    CCompositeGeometry* element = CreateEmptyElement(position, color, text);
    UErrorHandling::ThrowIfNull(element,
                                "static CCompositeGeometry *UCompositeGeometryFactory::CreateText(const "
                                "CPoint &, const CColor &, const "
                                "string &, int, const string &)",
                                kCreateFailed);
    element->SetSecondColor(color);
    MakeGenericSymbolIfUnclassified(element);
    AppendOrDrop(element, std::move(label));
    return element;
}

}  // namespace UCompositeGeometryFactory

namespace UElementComponents {

void SetLineWidth(CCompositeGeometry* element, std::int32_t width) {
    if (element == nullptr) return;
    for (CBasicGeometry* component : element->GetComponents()) component->SetLineWidth(width);
}

}  // namespace UElementComponents

namespace UElementGeometry {

void ApplyGradeToPoint(CPoint& point, const CGradeVector& grade) {
    point.z = CBasicGeometry::GetHeightOnGrade(point, grade);
}

}  // namespace UElementGeometry

namespace UElementVectorOperations {

tElements CloneElements(const tElements& elements) {
    tElements copies;
    copies.reserve(elements.size());
    for (const CCompositeGeometry* element : elements) {
        if (element != nullptr) copies.push_back(new CCompositeGeometry(*element));
    }
    return copies;
}

void TranslateElements(const tElements& elements, double dx, double dy) {
    const auto move = [dx, dy](CCompositeGeometry* element) {
        if (element == nullptr) return;
        CPoint position = element->GetPosition();
        position.x += dx;
        position.y += dy;
        element->SetPosition(position);
        element->UpdateJoints();
    };
    // Each element's joints are its own: a long list is moved in shares
    // side by side on the pool.
    UModelInternal::ForEachShare(elements.size(), [&elements, &move](std::size_t, std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) move(elements[i]);
    });
}

double GetOverallTrackLength(const tElements& elements) {
    double length = 0.0;
    for (const CCompositeGeometry* element : elements) {
        if (element != nullptr) length += element->GetTrackLength();
    }
    return length;
}

std::vector<double> GetListOfRadii(const tElements& elements) {
    std::vector<double> radii;
    for (const CCompositeGeometry* element : elements) {
        if (element == nullptr || !UElementInspector::IsCurvedTrack(element)) continue;
        const auto* curve = dynamic_cast<const CCurveBIG*>(UElementComponents::GetFirstTrackComponent(element));
        if (curve == nullptr) {
            char message[256];
            std::snprintf(message, sizeof message, "No curve component found in element %s (%s)",
                          element->GetProductNumber(), element->GetLibraryName());
            UErrorHandling::ThrowIfNull(curve,
                                        "static vector<double> UElementVectorOperations::GetListOfRadii(const "
                                        "tElements &)",
                                        message);
        }
        const double radius = curve->GetRadius();
        const bool known = std::any_of(radii.begin(), radii.end(),
                                       [radius](double listed) { return std::fabs(listed - radius) <= 0.001; });
        if (!known) radii.push_back(radius);
    }
    std::sort(radii.begin(), radii.end());
    return radii;
}

bool ContainsUnclassifiedElements(const tElements& elements) {
    return std::any_of(elements.begin(), elements.end(), [](const CCompositeGeometry* element) {
        return element != nullptr && element->GetElementType() == kElementTypeUnclassified;
    });
}

tElements SubtractElements(const tElements& elements, const tElements& subtracted) {
    const std::set<const CCompositeGeometry*> removed(subtracted.begin(), subtracted.end());
    tElements kept;
    for (CCompositeGeometry* element : elements) {
        if (removed.count(element) == 0) kept.push_back(element);
    }
    return kept;
}

tElements GetElementsOnVisibleLayers(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return element->GetLayer() != nullptr && element->GetLayer()->IsVisible();
    });
}

tElements GetTunnelTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsTunnelTrack(element) && UElementInspector::IsTrackElement(element);
    });
}

tElements GetElementsOfLayer(const tElements& elements, const CLayer* layer) {
    return Filter(elements, [layer](const CCompositeGeometry* element) { return element->GetLayer() == layer; });
}

tElements GetTrackElements(const tElements& elements) { return Filter(elements, UElementInspector::IsTrackElement); }

tElements GetElementsWithProductNumber(const tElements& elements, const std::string& productNumber) {
    return Filter(elements, [&productNumber](const CCompositeGeometry* element) {
        return productNumber == element->GetProductNumber();
    });
}

tElements GetElementsOfManufacturer(const tElements& elements, const std::string& manufacturer) {
    return Filter(elements, [&manufacturer](const CCompositeGeometry* element) {
        return manufacturer == element->GetManufacturer();
    });
}

tElements GetElementsOfType(const tElements& elements, std::int32_t type) {
    return Filter(elements, [type](const CCompositeGeometry* element) { return element->GetElementType() == type; });
}

tElements GetElementsWithTypeInRange(const tElements& elements, std::int32_t low, std::int32_t high) {
    return Filter(elements, [low, high](const CCompositeGeometry* element) {
        return element->GetElementType() >= low && element->GetElementType() <= high;
    });
}

tElements GetSingleCurvedTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsSingleTrackElement(element) && UElementInspector::IsCurvedTrack(element);
    });
}

tElements GetStraightPlainTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsPlainTrack(element) && !UElementInspector::IsCurvedTrack(element) &&
               !UElementInspector::IsFlexTrack(element);
    });
}

tElements GetCurvedPlainTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsPlainTrack(element) && UElementInspector::IsCurvedTrack(element);
    });
}

tElements GetPlainFlexTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsPlainTrack(element) && UElementInspector::IsFlexTrack(element);
    });
}

tElements GetCurvedFlexTracks(const tElements& elements) {
    return Filter(elements, [](const CCompositeGeometry* element) {
        return UElementInspector::IsPlainTrack(element) && UElementInspector::IsGeneratedElement(element) &&
               element->UsesComponentGenerator(kGeneratorTypeCurvedFlexTrack);
    });
}

}  // namespace UElementVectorOperations
