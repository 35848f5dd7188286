#pragma once
// CBasicGeometry: the abstract component of a layout element, a piece of
// geometry with a type code, an offset inside its element, track measures, a
// colour and two ends (CJoint) at which tracks connect. The concrete classes
// (straight, curve, polygon, text, oval, flex track) provide the geometry;
// this base owns the shared fields, the shared part of the component record
// and the two joints.
//
// Lengths are millimetres, angles degrees (positive turns counter-clockwise).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/geometry/DoubleRect.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/GradeVector.h"
#include "engine/geometry/Point.h"

class CCompositeGeometry;
class CTaggedFile;

// Component type codes: GetType, tag 300 of every component record.
constexpr int kComponentTypeStraight = 1;
constexpr int kComponentTypeCurve = 2;
constexpr int kComponentTypePoly = 3;
constexpr int kComponentTypeText = 4;
constexpr int kComponentTypeOval = 5;
constexpr int kComponentTypeFlexTrack = 6;

// One tag of a record and the record versions that carry it. A reader and
// a writer of the same record test the same gate, so what a version holds
// is said once.
struct tRecordTagGate {
    std::uint16_t id;
    int firstVersion;
    int lastVersion;

    constexpr bool Carries(int version) const { return version >= firstVersion && version <= lastVersion; }
};

// One end of a component. A joint and its partner point at each other; the
// link is cleared on both sides by Disconnect and when either joint is
// destroyed.
class CJoint {
public:
    CJoint() = default;
    // Copies every field but the partner link: a copy starts unconnected.
    CJoint(const CJoint& other);
    // Disconnects this joint first, then copies as the copy constructor.
    CJoint& operator=(const CJoint& other);
    // Frees the partner (its link cleared, its free flag set).
    ~CJoint();

    // Links a and b to each other and clears both free flags. Either joint's
    // earlier partner is disconnected first so that no one-sided link is
    // left behind. Null joints fail through UErrorHandling::ThrowIfNull.
    static void Connect(CJoint* a, CJoint* b);
    // Frees the partner (when there is one) and this joint.
    void Disconnect();

    // The points (x, y - w, z) and (x, y + w, z) about the element point
    // (which == 2) or the layout point (any other value), turned about it by
    // the joint angle; w is the half width.
    std::pair<CPoint, CPoint> GetEdgePoints(int which, double halfWidth) const;
    // The same with `turn`, the turn by the joint angle, worked out already.
    std::pair<CPoint, CPoint> GetEdgePoints(int which, double halfWidth, const CPlanTurn& turn) const;

    // Direction from this end into the component, degrees.
    double GetAngle() const { return mAngle; }
    void SetAngle(double angle) { mAngle = angle; }
    // The end in layout coordinates (element position added).
    const CPoint& GetLayoutPoint() const { return mLayoutPoint; }
    void SetLayoutPoint(const CPoint& point) { mLayoutPoint = point; }
    // The end inside the element (offset, rotation and grade applied).
    const CPoint& GetElementPoint() const { return mElementPoint; }
    void SetElementPoint(const CPoint& point) { mElementPoint = point; }

    CJoint* GetPartner() const { return mPartner; }
    bool IsConnected() const { return mPartner != nullptr; }
    CCompositeGeometry* GetParent() const { return mParent; }
    void SetParent(CCompositeGeometry* parent) { mParent = parent; }

    // Set by each joint update of the component (1 at joint 0 of a curve,
    // else 0); the layout's joint index keeps its connection state here.
    std::uint8_t GetMark() const { return mMark; }
    void SetMark(std::uint8_t mark) { mMark = mark; }

    // True: the end is open for a connection.
    bool IsFree() const { return mFree; }
    void SetFree(bool free) { mFree = free; }

private:
    double mAngle = 0.0;
    CPoint mLayoutPoint;
    CPoint mElementPoint;
    CJoint* mPartner = nullptr;
    CCompositeGeometry* mParent = nullptr;
    std::uint8_t mMark = 0;
    bool mFree = true;
};

// The two joints of a component: (joint 0, joint 1).
using tJointPair = std::pair<CJoint*, CJoint*>;

class CBasicGeometry {
public:
    // Size of the base part of the packed record.
    static constexpr std::size_t kBasicSerializedSize = 92;
    // Oldest and newest versions of the records that hold components.
    static constexpr int kOldestRecordVersion = 3;
    static constexpr int kNewestRecordVersion = 13;
    static constexpr bool IsRecordVersion(int version) {
        return version >= kOldestRecordVersion && version <= kNewestRecordVersion;
    }

    virtual ~CBasicGeometry() = default;

    CBasicGeometry& operator=(const CBasicGeometry&) = delete;

    // Packed record, little-endian, no padding. `buffer` must hold
    // GetSerializedSize() bytes; returns the position after what was written.
    // The base writes its 92-byte part only; each class writes its int32 type
    // code, then the base part, then its own fields.
    virtual std::uint8_t* Serialize(std::uint8_t* buffer) const;
    virtual std::size_t GetSerializedSize() const;

    // GetParallelPath, then each point's z taken from the grade when the
    // grade's height is above 0.001.
    virtual void GetParallelPathWithGrade(const CGradeVector& grade, std::vector<CPoint>& points, double elementAngle,
                                          double lateralOffset);
    // The centre line moved sideways by `lateralOffset`; the base leaves
    // `points` unchanged, track components fill it.
    virtual void GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset);
    // The same as GetParallelPath at `firstOffset` into `first`, then at
    // `secondOffset` into `second`, point for point; track components share
    // the work the two sides have in common.
    virtual void GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                                     double firstOffset, double secondOffset);

    // Debug text with lengths in the measure unit `unitType`.
    virtual std::string Dump(int unitType) const = 0;

    // The four corners of the bed outline: joint 0's two edge points, then
    // joint 1's (joints updated at the origin without grade, mode 2).
    virtual std::vector<CPoint> GetCorners(double elementAngle);
    // The same with each corner's z lifted onto the grade.
    virtual std::vector<CPoint> GetCorners(const CGradeVector& grade, double elementAngle);
    virtual double GetHalfTrackbedWidth() const;

    // The component's axis-aligned box in element coordinates.
    virtual tDoubleRect CalcBoundingBox(double elementAngle) = 0;
    // The point the element turns the component by; the base gives joint 0's
    // element point as last computed.
    virtual CPoint GetReferencePoint(double elementAngle);

    // Recomputes both joints' angles and element points for the element angle
    // and grade; mode 1 also sets each layout point to the element point plus
    // `elementPosition`. Other modes leave the layout points.
    virtual void UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode,
                              double elementAngle) = 0;
    // Joint 0 or 1; null for any other index.
    virtual CJoint* GetJoint(int index);
    // UpdateJoints in mode 1, then the joints.
    virtual tJointPair GetUpdatedJoints(const CPoint& elementPosition, const CGradeVector& grade, double elementAngle);
    virtual tJointPair GetJoints();
    // False for an index other than 0 and 1; Enable and Disable ignore one.
    virtual bool IsJointEnabled(int index) const;
    virtual void DisableJoint(int index);
    virtual void EnableJoint(int index);

    virtual int GetType() const = 0;

    virtual double GetRailWidth() const { return mRailWidth; }
    virtual void SetRailWidth(double width) {
        mRailWidth = width;
        UContentChanges::Note();
    }
    virtual double GetGauge() const { return mGauge; }
    virtual void SetGauge(double gauge) {
        mGauge = gauge;
        UContentChanges::Note();
    }
    virtual double GetTrackbedWidth() const { return mTrackbedWidth; }
    virtual void SetTrackbedWidth(double width) {
        mTrackbedWidth = width;
        UContentChanges::Note();
    }
    virtual double GetOffsetX() const { return mOffsetX; }
    virtual double GetOffsetY() const { return mOffsetY; }
    virtual CPoint GetOffset() const { return CPoint(mOffsetX, mOffsetY, 0.0); }
    virtual void SetOffsetX(double x) {
        mOffsetX = x;
        UContentChanges::Note();
    }
    virtual void SetOffsetY(double y) {
        mOffsetY = y;
        UContentChanges::Note();
    }
    virtual void MoveBy(double dx, double dy);
    virtual std::int32_t GetComponentAttribute() const { return mComponentAttribute; }
    virtual void SetComponentAttribute(std::int32_t attribute) { mComponentAttribute = attribute; }
    virtual CColor GetFixedColor() const { return mFixedColor; }
    // Sets the colour and locks it.
    virtual void SetFixedColor(const CColor& color);
    virtual bool IsColorLocked() const { return mColorLocked; }
    virtual void SetColorLocked(bool locked) { mColorLocked = locked; }
    // 0 and no effect here; polygons and ovals keep a line width.
    virtual std::int32_t GetLineWidth() const { return 0; }
    virtual void SetLineWidth(std::int32_t) {}
    virtual void SetGenerated(bool generated) { mIsGenerated = generated; }
    virtual bool IsGenerated() const { return mIsGenerated; }
    virtual std::int32_t GetComponentGeneratorID() const { return mComponentGeneratorID; }
    virtual void SetComponentGeneratorID(std::int32_t id) { mComponentGeneratorID = id; }
    // Stored unchanged (no normalisation).
    virtual void SetAngle(double angle) {
        mAngle = angle;
        UContentChanges::Note();
    }
    virtual double GetAngle() const { return mAngle; }
    virtual double GetTrackLength() const { return mTrackLength; }

    // Reads the component's tags from the file's current position, for an
    // element record of `fileVersion`; tag 300 (the type code) has been read
    // by the caller. False, with `errorText` set, for a version outside 3 to
    // 13 or when a tag cannot be read (record cut short or damaged); the
    // fields read before the failure keep their new values, the others their
    // old ones. The base reads the base tags only.
    virtual bool Load(FILE* file, int fileVersion, std::string& errorText);
    // Writes the component's tags as a record of `version` holds them: only
    // the tags that version carries, the old colour (310) before version 6.
    // Each class writes tag 300 first; the base writes the base tags only.
    // False, with nothing written, for a version outside 3 to 13; false when
    // a tag cannot be written (a value the format cannot hold). Not const: a
    // polygon repairs NaN points in itself as it writes them.
    virtual bool Save(FILE* file, int version);
    // The newest record form.
    bool Save(FILE* file) { return Save(file, kNewestRecordVersion); }

    // Tag `id` holding a colour in the form of records before version 6:
    // red, green and blue as big-endian 16-bit words (0 to 65535), no alpha.
    static bool WriteOldColor(FILE* file, std::uint16_t id, const CColor& color);

    // "<name address> mOffsetX: ..., " : the base part of the debug text.
    virtual std::string DumpBasicProperties(const char* className) const;

    // Height of `point` (x, y) on the grade: the point is turned about the
    // grade start by minus the grade angle in the plan, then by the slope
    // angle in the x-z plane.
    static double GetHeightOnGrade(const CPoint& point, const CGradeVector& grade);

protected:
    CBasicGeometry();
    // Copies the fields (the measures through the source's getters); the
    // joints start fresh: unconnected, without parent, at the origin, free
    // exactly when the source's joint of that index is enabled.
    CBasicGeometry(const CBasicGeometry& other);

    // The base part of Load and Save on a reader or writer the subclass has
    // made, so that one component record is read with one tag reader.
    bool LoadBasicProperties(CTaggedFile& file, int fileVersion, std::string& errorText);
    // `handle` is the file under `file`; the old colour is a raw record.
    bool SaveBasicProperties(FILE* handle, CTaggedFile& file, int version) const;

    // Required reads of the component record: false with an error text
    // naming the tag and the reason when the tag cannot be read.
    static bool ReadRequiredBool(CTaggedFile& file, std::uint16_t id, bool& value, std::string& errorText);
    static bool ReadRequiredInt(CTaggedFile& file, std::uint16_t id, std::int32_t& value, std::string& errorText);
    static bool ReadRequiredDouble(CTaggedFile& file, std::uint16_t id, double& value, std::string& errorText);
    static bool ReadRequiredString(CTaggedFile& file, std::uint16_t id, std::string& value, std::string& errorText);
    // Sets `errorText` for a tag that could not be read and returns false.
    static bool ReadFailed(const CTaggedFile& file, std::uint16_t id, std::string& errorText);
    // The warning and error text of a version outside 3 to 13.
    static bool CheckFileVersion(int fileVersion, const char* signature, std::string& errorText);

    // Little-endian writers of the packed record; each returns the position
    // after the value.
    static std::uint8_t* PutInt32(std::uint8_t* buffer, std::int32_t value);
    static std::uint8_t* PutDouble(std::uint8_t* buffer, double value);
    static std::uint8_t* PutBool(std::uint8_t* buffer, bool value);

    // The class name for the debug text: the demangled name of the type
    // "pointer to const class", cut at its first "::".
    template <typename T>
    static std::string DumpClassName() {
        return DemangledName(typeid(const T*).name());
    }
    static std::string DemangledName(const char* mangledName);

    // Sets each joint's free flag from its enabled flag.
    void SyncJointFreeFlags();

    double mOffsetX = 0.0;
    double mOffsetY = 0.0;
    double mGauge = 0.0;
    double mTrackbedWidth = 0.0;
    double mRailWidth = 0.0;
    double mAngle = 0.0;
    double mTrackLength = 0.0;
    std::int32_t mComponentAttribute = 1;
    std::int32_t mComponentGeneratorID = 0;
    CColor mFixedColor;
    bool mJointEnabled[2] = {true, true};
    CJoint mJoints[2];
    bool mIsGenerated = false;
    bool mColorLocked = false;

private:
    // Calls `visit` with the field of base tag `id` (a double, bool, int32,
    // or the colour for the old colour tag 310); false for another id.
    template <typename Self, typename Visitor>
    static bool VisitBasicField(Self& self, std::uint16_t id, Visitor&& visit);
};
