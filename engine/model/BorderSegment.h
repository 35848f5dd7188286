#pragma once
// The border of a baseboard is a closed chain of segments, each running from
// one named border point of its baseboard to another: straight lines and
// circular arcs about a centre.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"
#include "engine/model/ContentChanges.h"

// A baseboard's border points by ID, in ID order.
using tBorderPoints = std::map<std::string, CPoint>;

class CBorderSegment;
// Ordered; the baseboard owns its segments, holders of the list do not.
using tBorderSegments = std::vector<CBorderSegment*>;

class CBorderSegment {
public:
    virtual ~CBorderSegment() = 0;

    CBorderSegment& operator=(const CBorderSegment&) = delete;

    const std::string& GetIdentifier() const { return mIdentifier; }
    const std::string& GetStartPointId() const { return mStartPointId; }
    const std::string& GetEndPointId() const { return mEndPointId; }

    // Set by the editing screens, never stored in the file.
    bool IsSelected() const { return mSelected; }
    void SetSelected(bool selected) { mSelected = selected; }

    // Stored values of tags 722, 723 and 724.
    bool GetFlag722() const { return mFlag722; }
    void SetFlag722(bool value) { mFlag722 = value; }
    std::int32_t GetInteger723() const { return mInteger723; }
    void SetInteger723(std::int32_t value) { mInteger723 = value; }
    std::int32_t GetInteger724() const { return mInteger724; }
    void SetInteger724(std::int32_t value) { mInteger724 = value; }

protected:
    // A fresh identifier. Equal start and end IDs are logged as a warning
    // and accepted.
    CBorderSegment(std::string startPointId, std::string endPointId);
    // Copies every field but the identifier, which is fresh.
    CBorderSegment(const CBorderSegment& other);

private:
    void WarnWhenClosedOnItself() const;

    bool mSelected = false;
    bool mFlag722 = false;
    std::string mStartPointId;
    std::string mEndPointId;
    std::string mIdentifier;
    std::int32_t mInteger723 = 0;
    std::int32_t mInteger724 = 0;
};

class CStraightBorderSegment : public CBorderSegment {
public:
    CStraightBorderSegment(std::string startPointId, std::string endPointId);
    CStraightBorderSegment(const CStraightBorderSegment& other);
    ~CStraightBorderSegment() override;
};

// An arc about its centre from the start point to the end point. The radius
// is the centre's distance to the start point. With the direction flag
// (tag 727) clear the arc runs from the start with growing plan angle
// (counter-clockwise in the plan); with it set, with falling angle.
class CCircleArcBorderSegment : public CBorderSegment {
public:
    CCircleArcBorderSegment(std::string startPointId, std::string endPointId);
    CCircleArcBorderSegment(const CCircleArcBorderSegment& other);
    ~CCircleArcBorderSegment() override;

    const CPoint& GetCentre() const { return mCentre; }
    // The centre handed out may be moved.
    CPoint& GetCentre() {
        UContentChanges::Note();
        return mCentre;
    }
    void SetCentre(const CPoint& centre) {
        mCentre = centre;
        UContentChanges::Note();
    }

    bool GetDirectionFlag() const { return mDirectionFlag; }
    void SetDirectionFlag(bool value) {
        mDirectionFlag = value;
        UContentChanges::Note();
    }

private:
    CPoint mCentre;
    bool mDirectionFlag = false;
};

namespace UCircleArcBorderSegments {

// A copy of the segment as its own kind (straight or arc) with a fresh
// identifier; null for a kind this file does not know.
CBorderSegment* CopySegment(const CBorderSegment& segment);

// The plan bounds of one segment: its end points, looked up in `points`,
// and for an arc the whole arc as drawn, bulge included. An end point that
// is missing adds nothing (and an arc then adds nothing either); with both
// missing the result is the empty rectangle (EmptyRect). An arc whose ends
// coincide within 0.001 is drawn as nothing and adds only its end points.
tDoubleRect GetBoundingBox(const CBorderSegment& segment, const tBorderPoints& points);

// Shifts the centre of every arc segment of the list by (dx, dy); other
// kinds are left alone (they move with their border points).
void MoveBy(const tBorderSegments& segments, double dx, double dy);

}  // namespace UCircleArcBorderSegments
