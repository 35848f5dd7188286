#pragma once
// Baseboards: the outlines of the boards a layout is built on, each a closed
// border of straight and arc segments between named border points, lying on
// a baseboard layer. The layout document keeps them in a list and reads them
// from the layout file (tags 700 to 727, from version 11).

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/BorderSegment.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"
#include "engine/model/ContentChanges.h"

class CLayer;

class CBaseboardElement {
public:
    // A fresh identifier, position at the origin, light grey and black.
    CBaseboardElement();
    CBaseboardElement(const CPoint& position, double realParameter704, std::string name, const CColor& firstColor,
                      const CColor& secondColor);
    // Deep copy with a fresh identifier; every segment is copied as its own
    // kind with a fresh identifier too.
    CBaseboardElement(const CBaseboardElement& other);
    CBaseboardElement& operator=(const CBaseboardElement&) = delete;
    // Deletes the segments.
    virtual ~CBaseboardElement();

    // The stored point, or null.
    CPoint* FindBorderPoint(const std::string& id);
    const CPoint* FindBorderPoint(const std::string& id) const;
    // Stores the point (z as given) under the ID, replacing one of that ID.
    void SetBorderPoint(const std::string& id, const CPoint& point);
    // Moves the point by (dx, dy, 0); an unknown ID changes nothing.
    void TranslateBorderPoint(const std::string& id, double dx, double dy);
    // An unknown ID is logged as a warning.
    void RemoveBorderPoint(const std::string& id);
    // Removes every point that no segment starts or ends at.
    void RemoveOrphanedPoints();
    // Moves every border point and every arc centre; the position stays.
    void MoveBy(double dx, double dy);
    // The points in ID order.
    std::vector<CPoint> GetBorderPoints() const;
    const tBorderPoints& GetBorderPointMap() const { return mBorderPoints; }

    // Takes ownership and appends; null is ignored.
    void AddBorderSegment(CBorderSegment* segment);
    const tBorderSegments& GetBorderSegments() const { return mBorderSegments; }

    const std::string& GetIdentifier() const { return mIdentifier; }
    bool IsEditInProgress() const { return mEditInProgress; }
    void SetEditInProgress(bool value) { mEditInProgress = value; }
    const CPoint& GetPosition() const { return mPosition; }
    void SetPosition(const CPoint& position) {
        mPosition = position;
        UContentChanges::Note();
    }
    double GetRealParameter704() const { return mRealParameter704; }
    void SetRealParameter704(double value) { mRealParameter704 = value; }
    // Not owned; the layer manager keeps the layers.
    CLayer* GetLayer() const { return mLayer; }
    void SetLayer(CLayer* layer) {
        mLayer = layer;
        UContentChanges::Note();
    }
    // The fill colour (tags 706 to 709) and the border colour (710 to 713).
    const CColor& GetFirstColor() const { return mFirstColor; }
    void SetFirstColor(const CColor& color) { mFirstColor = color; }
    const CColor& GetSecondColor() const { return mSecondColor; }
    void SetSecondColor(const CColor& color) { mSecondColor = color; }
    const std::string& GetName() const { return mName; }
    void SetName(const std::string& name) { mName = name; }
    // Not stored in the file.
    const std::string& GetSecondText() const { return mSecondText; }
    void SetSecondText(const std::string& text) { mSecondText = text; }

private:
    std::string mIdentifier;
    bool mEditInProgress = false;
    CPoint mPosition;
    double mRealParameter704 = 0.0;
    CLayer* mLayer = nullptr;
    tBorderPoints mBorderPoints;
    CColor mFirstColor{0.75, 0.75, 0.75, 1.0};
    CColor mSecondColor{0.0, 0.0, 0.0, 1.0};
    std::string mName;
    std::string mSecondText;
    tBorderSegments mBorderSegments;
};

// Ordered; whoever holds the list owns the baseboards in it.
using tBaseboardElements = std::vector<CBaseboardElement*>;

// How the reader finds a baseboard's layer without depending on the layer
// manager: the layer of a name (exact comparison), or null. An empty
// function finds nothing.
using tFindLayerByName = std::function<CLayer*(const std::string&)>;

namespace UBaseboardElements {

// Counts above these are taken as damage and cut, as are counts above what
// the rest of the file can hold.
constexpr std::int32_t kMaxBaseboards = 65536;
constexpr std::int32_t kMaxBorderPoints = 1 << 20;
constexpr std::int32_t kMaxBorderSegments = 1 << 20;

// Reads the baseboard section (tags 700 to 727) at the file's position and
// appends the baseboards to `baseboards` (which then owns them). A baseboard
// whose layer is missing is read and dropped; the next one is still read.
// Segments of an unknown type or naming a point the baseboard lacks are
// dropped with a warning. Reading stops at the first record that cannot be
// read; what was read before stays (a baseboard cut short keeps the points
// and segments read so far). Negative counts read as 0 and counts beyond
// what the rest of the file can hold are cut. True when the section was
// whole: every count sound and every counted record read.
bool ReadBaseboards(tBaseboardElements& baseboards, FILE* file, const tFindLayerByName& findLayerByName, int version);

// Writes the section as ReadBaseboards reads it, flag 727 only from version
// 12. For test files; the app never writes layouts. False for a version
// below 11, a null baseboard or segment of unknown kind in the list (nothing
// written then), or when a record cannot be written (a real beyond the
// 32-bit range among them).
bool WriteBaseboards(const tBaseboardElements& baseboards, FILE* file, int version);

// A new baseboard on the named layer, or null (with a warning) when the
// layer is missing. A layer of another type than the baseboard type is
// logged and reported as an integrity failure, and used all the same.
std::unique_ptr<CBaseboardElement> CreateBaseboardElement(const CPoint& position, const std::string& name,
                                                          const CColor& firstColor, const CColor& secondColor,
                                                          const std::string& layerName,
                                                          const tFindLayerByName& findLayerByName,
                                                          double realParameter704);

void MoveAll(const tBaseboardElements& baseboards, double dx, double dy);
// The union of every border point and every segment's bounds (arcs with
// their bulge); all four values 0 for an empty list. A list whose baseboards
// have no points gives the empty rectangle (EmptyRect).
tDoubleRect GetBoundingBox(const tBaseboardElements& baseboards);
// The first baseboard being edited, or null.
CBaseboardElement* FindBaseboardBeingEdited(const tBaseboardElements& baseboards);
// Deep copies in order, owned by the caller.
tBaseboardElements CloneBaseboards(const tBaseboardElements& baseboards);
void AssignLayer(const tBaseboardElements& baseboards, CLayer* layer);

}  // namespace UBaseboardElements
