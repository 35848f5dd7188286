#pragma once
// Track connections and track-length editing: the map of every track
// reachable from one track over its connected joints, the shortened copy of
// a straight, curve or flex track, and the reference-point comparers that
// keep an element's anchor joint in place across such a change.

#include <map>
#include <set>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/geometry/Point.h"

// Element (by identity) -> the elements connected to it.
using tTrackConnectionMap = std::map<CCompositeGeometry*, std::set<CCompositeGeometry*>>;

namespace UTrackConnectionMap {

// Adds every element reachable from `element` over connected joints; an
// element without connections gets an empty set. The walk keeps its own
// list of pending elements, so chains of any length are safe. A connected
// joint without an owner fails through UErrorHandling::ThrowIfNull.
void GetConnectedTracks(CCompositeGeometry* element, tTrackConnectionMap& map);

// The first key with fewer than two neighbours, else the first key; null
// for an empty map.
CCompositeGeometry* GetStartElement(const tTrackConnectionMap& map);

}  // namespace UTrackConnectionMap

namespace UTrackLengthEditing {

// A copy of a shortable track cut to `factor` (0.001 to 1) of its length,
// joint `anchorJointIndex` left where it was with its angle. Null, with a
// warning, for what cannot be shortened. The caller owns the result. A null
// element fails through UErrorHandling::ThrowIfNull.
CCompositeGeometry* CalculateShortenedTrack(CCompositeGeometry* element, int anchorJointIndex, double factor);

// Replaces the Bezier control points by those of the part from 0 to t
// (keepStart) or from t to 1. Fewer than two points stay as they are.
void CutControlPathAtFactor(std::vector<CPoint>& controlPoints, bool keepStart, double t);

// The centre of the circle of `radius` through a and b, to the left of the
// direction from a to b; z 0. Without a real solution (a radius shorter
// than half the chord, or a and b on one spot) the midpoint of a and b.
CPoint GetCircleCenter(const CPoint& a, const CPoint& b, double radius);

}  // namespace UTrackLengthEditing

// Remembers a point and angle of an element so that the element can be put
// back in place after its shape changed.
class CReferencePointComparer {
public:
    explicit CReferencePointComparer(CCompositeGeometry* element) : mElement(element) {}
    virtual ~CReferencePointComparer() = default;

    virtual CPoint GetReferencePoint() = 0;
    virtual double GetReferenceAngle() = 0;

    void StoreReference();
    // Current reference point minus the stored one.
    CPoint GetOffset();
    // Current reference angle minus the stored one.
    double GetAngleDifference();

protected:
    CPoint mReferencePoint;
    double mReferenceAngle = 0.0;
    CCompositeGeometry* mElement = nullptr;
};

// The reference is one joint of the element; an index out of range gives
// the zero point and angle 0.
class CJointReferencePointComparer : public CReferencePointComparer {
public:
    // Stores the reference at once.
    CJointReferencePointComparer(CCompositeGeometry* element, int jointIndex);

    CPoint GetReferencePoint() override;
    double GetReferenceAngle() override;

private:
    CJoint* Joint();

    int mJointIndex = 0;
};
