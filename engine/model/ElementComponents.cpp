#include "engine/model/ElementComponents.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "engine/model/ContentChanges.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/ModelInternal.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "platform/foundation/ByteOrder.h"

namespace {

template <typename T>
CBasicGeometry* CopyAs(CBasicGeometry* component) {
    auto* typed = dynamic_cast<T*>(component);
    return typed != nullptr ? new T(*typed) : nullptr;
}

// The largest value of `get` among the components; 0 without components.
template <typename Getter>
double MaxOf(const CCompositeGeometry* element, Getter get) {
    if (element == nullptr || element->GetComponents().empty()) return 0.0;
    const tComponents& components = element->GetComponents();
    double largest = get(*components.front());
    for (const CBasicGeometry* component : components) largest = std::max(largest, get(*component));
    return largest;
}

void DisableAndClose(CBasicGeometry& component) {
    for (int index = 0; index < 2; ++index) {
        component.DisableJoint(index);
        component.GetJoint(index)->SetFree(false);
    }
}

// The index that `end` selects, or -1 with the warning for an empty polygon
// or an end above the count.
long SelectPoint(CPolyBIG* polygon, int end, bool detailedRangeWarning) {
    const auto count = static_cast<long>(polygon->GetNumberOfPoints());
    if (count == 0) {
        LogWarning("Polygon is empty ?");
        return -1;
    }
    if (end > count) {
        if (detailedRangeWarning) LogWarning("Range error (%d of %d) for polygon point", end, static_cast<int>(count));
        else LogWarning("Range error for polygon point");
        return -1;
    }
    if (end == 0) return count < 2 ? 0 : count - 1;
    return 0;
}

std::uint16_t FromBigEndian(std::uint16_t word) {
    return platform::loadBigEndian16(reinterpret_cast<const std::uint8_t*>(&word));
}

}  // namespace

namespace UElementComponents {

bool AppendComponent(CCompositeGeometry* element, CBasicGeometry* component) {
    static const char* const kSignature =
        "static bool UElementComponents::AppendComponent(CCompositeGeometry *, CBasicGeometry *)";
    UErrorHandling::ThrowIfNull(component, kSignature, "No CBasicGeometry object specified");
    UErrorHandling::ThrowIfNull(element, kSignature, "No CCompositeGeometry object specified");
    tComponents& components = element->GetComponents();
    if (components.size() >= CCompositeGeometry::kMaxComponents) {
        LogWarning("Failed to add component - too many components in geometry (%lu)",
                   static_cast<unsigned long>(components.size()));
        return false;
    }
    if (!components.empty()) component->SetComponentAttribute(components.front()->GetComponentAttribute());
    components.push_back(component);
    UContentChanges::Note();
    return true;
}

bool ReplaceComponentAt(CCompositeGeometry* element, int index, CBasicGeometry* component) {
    if (element == nullptr || component == nullptr) return false;
    tComponents& components = element->GetComponents();
    if (index < 0 || static_cast<std::size_t>(index) > components.size()) {
        LogWarning("Cannot replace component at index %d (%lu components)", index,
                   static_cast<unsigned long>(components.size()));
        return false;
    }
    if (static_cast<std::size_t>(index) < components.size()) components.erase(components.begin() + index);
    components.insert(components.begin() + index, component);
    UContentChanges::Note();
    return true;
}

bool MoveComponent(CBasicGeometry* component, tComponents& list, int newIndex) {
    const auto found = std::find(list.begin(), list.end(), component);
    if (found == list.end()) {
        LogWarning("Cannot move component (not found in component list)");
        return false;
    }
    if (newIndex < 0 || static_cast<std::size_t>(newIndex) >= list.size()) return false;
    const auto target = list.begin() + newIndex;
    if (found > target) std::rotate(target, found, found + 1);
    else if (found < target) std::rotate(found, found + 1, target + 1);
    return true;
}

tComponents CloneComponents(const tComponents& list) {
    tComponents copies;
    copies.reserve(list.size());
    for (CBasicGeometry* component : list) {
        if (CBasicGeometry* copy = CloneComponent(component)) copies.push_back(copy);
    }
    return copies;
}

CBasicGeometry* CloneComponent(CBasicGeometry* component) {
    if (component == nullptr) return nullptr;
    const int type = component->GetType();
    switch (type) {
        case kComponentTypeStraight: return CopyAs<CStraightBIG>(component);
        case kComponentTypeCurve: return CopyAs<CCurveBIG>(component);
        case kComponentTypePoly: return CopyAs<CPolyBIG>(component);
        case kComponentTypeText: return CopyAs<CTextBIG>(component);
        case kComponentTypeOval: return CopyAs<COvalBIG>(component);
        case kComponentTypeFlexTrack: return CopyAs<CFlexTrackBIG>(component);
        default:
            LogWarning("%s: Constructor failed to create element: Unknown type %d requested",
                       "static CBasicGeometry *UElementComponents::CloneComponent(CBasicGeometry *)", type);
            return nullptr;
    }
}

void MarkAsGenerated(tComponents& list, std::int32_t generatorID) {
    for (CBasicGeometry* component : list) {
        component->SetGenerated(true);
        component->SetComponentGeneratorID(generatorID);
    }
}

void RemoveGeneratedComponents(tComponents& list, std::int32_t generatorID) {
    tComponents removed;
    for (CBasicGeometry* component : list) {
        if (component->IsGenerated() && (generatorID == 0 || component->GetComponentGeneratorID() == generatorID))
            removed.push_back(component);
    }
    for (CBasicGeometry* component : removed) {
        list.erase(std::find(list.begin(), list.end(), component));
        delete component;
    }
    UContentChanges::Note();
}

int GetComponentIndex(const CCompositeGeometry* element, const CBasicGeometry* component) {
    if (element == nullptr) return -1;
    const tComponents& components = element->GetComponents();
    const auto found = std::find(components.begin(), components.end(), component);
    if (found == components.end()) {
        LogWarning("Component not found in component list");
        return -1;
    }
    return static_cast<int>(found - components.begin());
}

tComponents GetTrackComponents(const CCompositeGeometry* element) {
    tComponents tracks;
    if (element == nullptr) return tracks;
    for (CBasicGeometry* component : element->GetComponents()) {
        if (UModelInternal::IsTrackType(component->GetType())) tracks.push_back(component);
    }
    return tracks;
}

CBasicGeometry* GetFirstTrackComponent(const CCompositeGeometry* element) {
    if (element == nullptr) return nullptr;
    for (CBasicGeometry* component : element->GetComponents()) {
        if (UModelInternal::IsTrackType(component->GetType())) return component;
    }
    return nullptr;
}

double GetMaxGauge(const CCompositeGeometry* element) {
    return MaxOf(element, [](const CBasicGeometry& c) { return c.GetGauge(); });
}

double GetMaxTrackbedWidth(const CCompositeGeometry* element) {
    return MaxOf(element, [](const CBasicGeometry& c) { return c.GetTrackbedWidth(); });
}

double GetMaxRailWidth(const CCompositeGeometry* element) {
    return MaxOf(element, [](const CBasicGeometry& c) { return c.GetRailWidth(); });
}

std::int32_t GetMaxLineWidth(const CCompositeGeometry* element) {
    std::int32_t largest = 0;
    if (element == nullptr) return largest;
    for (const CBasicGeometry* component : element->GetComponents())
        largest = std::max(largest, component->GetLineWidth());
    return largest;
}

std::int32_t GetComponentAttribute(const CCompositeGeometry* element) {
    // Callers ask only of elements with components; an empty one answers the
    // component default instead of reading past the list.
    if (element == nullptr || element->GetComponents().empty()) return 1;
    return element->GetComponents().front()->GetComponentAttribute();
}

CPolyBIG* CreatePolyComponent(const std::vector<CPoint>& points, std::int32_t lineWidth, std::int32_t kind,
                              double offsetX, double offsetY, double angle) {
    auto* polygon = new CPolyBIG(points, lineWidth, kind, offsetX, offsetY, angle);
    polygon->SetGauge(0.0);
    DisableAndClose(*polygon);
    return polygon;
}

CFlexTrackBIG* CreateFlexTrackComponent(const CPoint& firstPoint, const CPoint& lastPoint, bool joint0Enabled,
                                        bool joint1Enabled, double offsetX, double offsetY, double maxLength,
                                        double gauge, double trackbedWidth, double railWidth) {
    return new CFlexTrackBIG(firstPoint, lastPoint, joint0Enabled, joint1Enabled, offsetX, offsetY, maxLength, gauge,
                             trackbedWidth, railWidth);
}

COvalBIG* CreateCircleComponent(std::int32_t lineWidth, double centreX, double centreY, double radius) {
    auto* oval = new COvalBIG();
    oval->SetLineWidth(lineWidth);
    oval->SetOffsetX(centreX);
    oval->SetOffsetY(centreY);
    oval->SetRadiusX(radius);
    oval->SetRadiusY(radius);
    oval->SetGauge(0.0);
    DisableAndClose(*oval);
    return oval;
}

}  // namespace UElementComponents

namespace UPolygonPoints {

CPoint GetPoint(CCompositeGeometry* element, CPolyBIG* polygon, int end) {
    if (element == nullptr || polygon == nullptr) return CPoint::Origin();
    const long index = SelectPoint(polygon, end, true);
    if (index < 0) return CPoint::Origin();
    return polygon->GetPointAt(static_cast<std::size_t>(index), element->GetAngle());
}

void SetPoint(CCompositeGeometry* element, CPolyBIG* polygon, int end, const CPoint& layoutPoint) {
    if (element == nullptr || polygon == nullptr) return;
    const long index = SelectPoint(polygon, end, false);
    if (index < 0) return;
    element->MoveToOrigin(nullptr);
    const CPoint selected = polygon->GetPointAt(static_cast<std::size_t>(index), element->GetAngle());
    const double dx = layoutPoint.x - selected.x;
    const double dy = layoutPoint.y - selected.y;
    CPoint position = element->GetPosition();
    if (dx != 0.0 && !std::isnan(dx)) position.x += dx;
    if (dy != 0.0 && !std::isnan(dy)) position.y += dy;
    element->SetPosition(position);
}

}  // namespace UPolygonPoints

namespace UColorWords {

void BigEndianTripleToHost(std::uint16_t (&words)[3]) {
    for (std::uint16_t& word : words) word = FromBigEndian(word);
}

void BigEndianQuadrupleToHost(std::uint16_t (&words)[4]) {
    for (std::uint16_t& word : words) word = FromBigEndian(word);
}

}  // namespace UColorWords
