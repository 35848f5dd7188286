#include "engine/model/TrackConnections.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

constexpr const char* kConnectedTracksSignature =
    "static void UTrackConnectionMap::GetConnectedTracks(CCompositeGeometry *, tTrackConnectionMap &)";
constexpr const char* kShortenSignature =
    "static CCompositeGeometry *UTrackLengthEditing::CalculateShortenedTrack(CCompositeGeometry *, int, double)";

constexpr double kMinFactor = 0.001;
constexpr double kMaxFactor = 1.0;

// The shortened copy of one track component, or null for another kind.
CBasicGeometry* ShortenedComponent(CBasicGeometry* component, int anchorJointIndex, double factor) {
    if (auto* straight = dynamic_cast<CStraightBIG*>(component)) {
        auto* copy = new CStraightBIG(*straight);
        copy->SetLength(straight->GetLength() * factor);
        return copy;
    }
    if (auto* curve = dynamic_cast<CCurveBIG*>(component)) {
        auto* copy = new CCurveBIG(*curve);
        copy->SetArcAngle(curve->GetArcAngle() * factor);
        return copy;
    }
    if (auto* flex = dynamic_cast<CFlexTrackBIG*>(component)) {
        auto* copy = new CFlexTrackBIG(*flex);
        std::vector<CPoint> controls = flex->GetTransformedPoints(0.0);
        const bool keepStart = anchorJointIndex == 0;
        UTrackLengthEditing::CutControlPathAtFactor(controls, keepStart, keepStart ? factor : 1.0 - factor);
        copy->SetPoints(controls);
        return copy;
    }
    return nullptr;
}

}  // namespace

// ------------------------------------------------------------ connection map

void UTrackConnectionMap::GetConnectedTracks(CCompositeGeometry* element, tTrackConnectionMap& map) {
    if (element == nullptr) return;
    // Depth first as a recursion would go, with an explicit stack so that
    // long chains cannot exhaust the call stack.
    std::vector<CCompositeGeometry*> pending{element};
    while (!pending.empty()) {
        CCompositeGeometry* current = pending.back();
        pending.pop_back();
        std::vector<CCompositeGeometry*> discovered;
        for (CJoint* joint : current->GetJoints(kJointFilterAll)) {
            if (joint == nullptr || joint->IsFree() || joint->GetPartner() == nullptr) continue;
            CCompositeGeometry* connected = UErrorHandling::ThrowIfNull(
                joint->GetPartner()->GetParent(), kConnectedTracksSignature, "No element connected at current joint");
            const bool known = map.count(connected) != 0;
            map[current].insert(connected);
            if (!known) {
                // Give the neighbour its key now so that it is walked once.
                map[connected];
                discovered.push_back(connected);
            }
        }
        // Reverse, so that the first joint's neighbour is walked first.
        pending.insert(pending.end(), discovered.rbegin(), discovered.rend());
    }
    if (map.empty()) map[element];
}

CCompositeGeometry* UTrackConnectionMap::GetStartElement(const tTrackConnectionMap& map) {
    for (const auto& [element, neighbours] : map) {
        if (neighbours.size() < 2) return element;
    }
    return map.empty() ? nullptr : map.begin()->first;
}

// ------------------------------------------------------------ length editing

CCompositeGeometry* UTrackLengthEditing::CalculateShortenedTrack(CCompositeGeometry* element, int anchorJointIndex,
                                                                 double factor) {
    UErrorHandling::ThrowIfNull(element, kShortenSignature, "Invalid geometry supplied");
    if (!UElementInspector::IsShortableTrackElement(element)) {
        LogWarning("Unsupported track element in %s", kShortenSignature);
        return nullptr;
    }
    if (anchorJointIndex < 0) {
        LogWarning("Invalid anchor joint index %d supplied to %s", anchorJointIndex, kShortenSignature);
        return nullptr;
    }
    if (!(factor >= kMinFactor && factor <= kMaxFactor)) {
        LogWarning("Invalid factor %.2f supplied to %s", factor, kShortenSignature);
        factor = std::isnan(factor) ? kMaxFactor : std::clamp(factor, kMinFactor, kMaxFactor);
    }

    auto copy = std::make_unique<CCompositeGeometry>(*element);
    CJointReferencePointComparer comparer(copy.get(), anchorJointIndex);

    CBasicGeometry* track = UElementComponents::GetFirstTrackComponent(copy.get());
    if (track == nullptr) {
        LogWarning("No track component found in shortable element");
        return nullptr;
    }
    const int index = UElementComponents::GetComponentIndex(copy.get(), track);
    if (index < 0) {
        LogWarning("Index of track component not found in shortable element");
        return nullptr;
    }
    std::unique_ptr<CBasicGeometry> shortened(ShortenedComponent(track, anchorJointIndex, factor));
    if (!shortened) {
        LogWarning("Failed to calculate shortened track component for %s", element->GetProductNumber());
        return nullptr;
    }
    if (!UElementComponents::ReplaceComponentAt(copy.get(), index, shortened.get())) return nullptr;
    shortened.release();
    delete track;

    copy->MoveToOrigin(nullptr);
    copy->Rotate(CPoint::Origin(), -comparer.GetAngleDifference());
    const CPoint offset = comparer.GetOffset();
    CPoint position = copy->GetPosition();
    position.Set(position.x - offset.x, position.y - offset.y);
    copy->SetPosition(position);
    copy->UpdateJoints();
    return copy.release();
}

void UTrackLengthEditing::CutControlPathAtFactor(std::vector<CPoint>& controlPoints, bool keepStart, double t) {
    if (controlPoints.size() < 2) return;
    std::vector<CPoint> level = controlPoints;
    std::vector<CPoint> firsts{level.front()};
    std::vector<CPoint> lasts{level.back()};
    while (level.size() > 1) {
        std::vector<CPoint> next;
        next.reserve(level.size() - 1);
        for (std::size_t i = 0; i + 1 < level.size(); ++i) {
            const CPoint& a = level[i];
            const CPoint& b = level[i + 1];
            next.emplace_back((1.0 - t) * a.x + t * b.x, (1.0 - t) * a.y + t * b.y, (1.0 - t) * a.z + t * b.z);
        }
        level = std::move(next);
        firsts.push_back(level.front());
        lasts.push_back(level.back());
    }
    if (keepStart) {
        controlPoints = std::move(firsts);
    } else {
        controlPoints.assign(lasts.rbegin(), lasts.rend());
    }
}

CPoint UTrackLengthEditing::GetCircleCenter(const CPoint& a, const CPoint& b, double radius) {
    const CPoint middle((a.x + b.x) / 2.0, (a.y + b.y) / 2.0, 0.0);
    const double chord = std::hypot(b.x - a.x, b.y - a.y);
    const double square = radius * radius - (chord / 2.0) * (chord / 2.0);
    // No circle of that radius passes through both points: the midpoint is
    // the nearest defined answer.
    if (!(chord > 0.0) || !(square >= 0.0)) return middle;
    const double factor = std::sqrt(square) / chord;
    return CPoint(middle.x + factor * (a.y - b.y), middle.y + factor * (b.x - a.x), 0.0);
}

// ------------------------------------------------------------ comparers

void CReferencePointComparer::StoreReference() {
    mReferencePoint = GetReferencePoint();
    mReferenceAngle = GetReferenceAngle();
}

CPoint CReferencePointComparer::GetOffset() {
    const CPoint current = GetReferencePoint();
    return CPoint(current.x - mReferencePoint.x, current.y - mReferencePoint.y, current.z - mReferencePoint.z);
}

double CReferencePointComparer::GetAngleDifference() { return GetReferenceAngle() - mReferenceAngle; }

CJointReferencePointComparer::CJointReferencePointComparer(CCompositeGeometry* element, int jointIndex)
    : CReferencePointComparer(element), mJointIndex(jointIndex) {
    StoreReference();
}

CJoint* CJointReferencePointComparer::Joint() {
    if (mElement == nullptr || mJointIndex < 0) return nullptr;
    const tConstJoints joints = mElement->GetJoints(kJointFilterAll);
    if (static_cast<std::size_t>(mJointIndex) >= joints.size()) return nullptr;
    return joints[static_cast<std::size_t>(mJointIndex)];
}

CPoint CJointReferencePointComparer::GetReferencePoint() {
    CJoint* joint = Joint();
    return joint != nullptr ? joint->GetLayoutPoint() : CPoint();
}

double CJointReferencePointComparer::GetReferenceAngle() {
    CJoint* joint = Joint();
    return joint != nullptr ? joint->GetAngle() : 0.0;
}
