#include "engine/model/BasicGeometry.h"

#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "platform/foundation/ByteOrder.h"

// ------------------------------------------------------------------ CJoint

CJoint::CJoint(const CJoint& other)
    : mAngle(other.mAngle),
      mLayoutPoint(other.mLayoutPoint),
      mElementPoint(other.mElementPoint),
      mParent(other.mParent),
      mMark(other.mMark),
      mFree(other.mFree) {}

CJoint& CJoint::operator=(const CJoint& other) {
    if (this == &other) return *this;
    Disconnect();
    mAngle = other.mAngle;
    mLayoutPoint = other.mLayoutPoint;
    mElementPoint = other.mElementPoint;
    mParent = other.mParent;
    mMark = other.mMark;
    mFree = other.mFree;
    return *this;
}

CJoint::~CJoint() {
    if (mPartner != nullptr) {
        mPartner->mPartner = nullptr;
        mPartner->mFree = true;
    }
}

void CJoint::Connect(CJoint* a, CJoint* b) {
    static const char* const kSignature = "static void CJoint::Connect(CJoint *, CJoint *)";
    UErrorHandling::ThrowIfNull(a, kSignature, "Invalid joint parameter supplied");
    UErrorHandling::ThrowIfNull(b, kSignature, "Invalid joint parameter supplied");
    if (a == b) return;
    a->Disconnect();
    b->Disconnect();
    a->mPartner = b;
    b->mPartner = a;
    a->mFree = false;
    b->mFree = false;
}

void CJoint::Disconnect() {
    if (mPartner != nullptr) {
        mPartner->mPartner = nullptr;
        mPartner->mFree = true;
    }
    mFree = true;
    mPartner = nullptr;
}

std::pair<CPoint, CPoint> CJoint::GetEdgePoints(int which, double halfWidth) const {
    return GetEdgePoints(which, halfWidth, CPlanTurn(mAngle));
}

std::pair<CPoint, CPoint> CJoint::GetEdgePoints(int which, double halfWidth, const CPlanTurn& turn) const {
    const CPoint& base = which == 2 ? mElementPoint : mLayoutPoint;
    CPoint first(base.x, base.y - halfWidth, base.z);
    CPoint second(base.x, base.y + halfWidth, base.z);
    turn.Apply(first.x, first.y, base.x, base.y);
    turn.Apply(second.x, second.y, base.x, base.y);
    return {first, second};
}

// ---------------------------------------------------------- CBasicGeometry

namespace {

// The old colour of records before version 6 is read and dropped.
constexpr std::size_t kOldColorBufferSize = 16;
// Three big-endian 16-bit words: red, green, blue.
constexpr std::size_t kOldColorBytes = 6;

// The base tags in record order, each with the versions that carry it.
// Loading and saving both walk this table.
constexpr tRecordTagGate kBasicTagGates[] = {
    {301, 3, 13},  // mOffsetX
    {302, 3, 13},  // mOffsetY
    {303, 3, 13},  // mGauge
    {304, 3, 13},  // mAngle
    {305, 3, 13},  // mJointEnabled[0]
    {306, 3, 13},  // mJointEnabled[1]
    {307, 3, 13},  // mTrackbedWidth
    {308, 3, 13},  // mRailWidth
    {309, 3, 13},  // mComponentAttribute
    {310, 3, 5},   // old colour, read and dropped
    {328, 6, 13},  // mFixedColor red
    {329, 6, 13},  // green
    {330, 6, 13},  // blue
    {331, 6, 13},  // alpha
    {335, 9, 13},  // mColorLocked
    {334, 9, 13},  // mComponentGeneratorID
    {333, 7, 13},  // mIsGenerated
};

void PutBigEndian16(std::uint8_t* bytes, double channel) {
    const double clamped = std::clamp(std::isnan(channel) ? 0.0 : channel, 0.0, 1.0);
    platform::storeBigEndian16(bytes, static_cast<std::uint16_t>(std::lround(clamped * 65535.0)));
}

}  // namespace

CBasicGeometry::CBasicGeometry() : mFixedColor(CColor::Gray50()) {}

CBasicGeometry::CBasicGeometry(const CBasicGeometry& other)
    : mOffsetX(other.GetOffsetX()),
      mOffsetY(other.GetOffsetY()),
      mGauge(other.GetGauge()),
      mTrackbedWidth(other.GetTrackbedWidth()),
      mRailWidth(other.GetRailWidth()),
      mAngle(other.GetAngle()),
      mTrackLength(other.GetTrackLength()),
      mComponentAttribute(other.mComponentAttribute),
      mComponentGeneratorID(other.mComponentGeneratorID),
      mFixedColor(other.mFixedColor),
      mIsGenerated(other.mIsGenerated),
      mColorLocked(other.mColorLocked) {
    mJointEnabled[0] = other.mJointEnabled[0];
    mJointEnabled[1] = other.mJointEnabled[1];
    SyncJointFreeFlags();
}

std::uint8_t* CBasicGeometry::PutInt32(std::uint8_t* buffer, std::int32_t value) {
    const auto raw = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return buffer + 4;
}

std::uint8_t* CBasicGeometry::PutDouble(std::uint8_t* buffer, double value) {
    std::uint64_t raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    for (int i = 0; i < 8; ++i) buffer[i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return buffer + 8;
}

std::uint8_t* CBasicGeometry::PutBool(std::uint8_t* buffer, bool value) {
    buffer[0] = value ? 1 : 0;
    return buffer + 1;
}

std::uint8_t* CBasicGeometry::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = buffer;
    p = PutDouble(p, mOffsetX);
    p = PutDouble(p, mOffsetY);
    p = PutDouble(p, mGauge);
    p = PutDouble(p, mAngle);
    p = PutBool(p, mJointEnabled[0]);
    p = PutBool(p, mJointEnabled[1]);
    p = PutDouble(p, mTrackbedWidth);
    p = PutDouble(p, mRailWidth);
    p = PutInt32(p, mComponentAttribute);
    p = PutBool(p, mIsGenerated);
    p = PutInt32(p, mComponentGeneratorID);
    p = PutDouble(p, mFixedColor.mRed);
    p = PutDouble(p, mFixedColor.mGreen);
    p = PutDouble(p, mFixedColor.mBlue);
    p = PutDouble(p, mFixedColor.mAlpha);
    p = PutBool(p, mColorLocked);
    return p;
}

std::size_t CBasicGeometry::GetSerializedSize() const { return kBasicSerializedSize; }

void CBasicGeometry::GetParallelPathWithGrade(const CGradeVector& grade, std::vector<CPoint>& points,
                                              double elementAngle, double lateralOffset) {
    GetParallelPath(points, elementAngle, lateralOffset);
    if (!(grade.height > 0.001)) return;
    const double planAngle = grade.GetAngle();
    const double slopeAngle = grade.GetSlopeAngle();
    for (CPoint& point : points) {
        CPoint turned(point);
        turned.RotateAroundZAxis(grade.start.x, grade.start.y, -planAngle);
        turned.RotateAroundYAxis(grade.start.x, grade.start.z, slopeAngle);
        point.z = turned.z;
    }
}

void CBasicGeometry::GetParallelPath(std::vector<CPoint>&, double, double) {}

void CBasicGeometry::GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                                         double firstOffset, double secondOffset) {
    GetParallelPath(first, elementAngle, firstOffset);
    GetParallelPath(second, elementAngle, secondOffset);
}

std::vector<CPoint> CBasicGeometry::GetCorners(double elementAngle) {
    UpdateJoints(CPoint::Origin(), CGradeVector::Null(), 2, elementAngle);
    const double halfWidth = GetHalfTrackbedWidth();
    const auto first = mJoints[0].GetEdgePoints(2, halfWidth);
    const auto last = mJoints[1].GetEdgePoints(2, halfWidth);
    return {first.first, first.second, last.first, last.second};
}

std::vector<CPoint> CBasicGeometry::GetCorners(const CGradeVector& grade, double elementAngle) {
    std::vector<CPoint> corners = GetCorners(elementAngle);
    for (CPoint& corner : corners) corner.z = GetHeightOnGrade(corner, grade);
    return corners;
}

double CBasicGeometry::GetHalfTrackbedWidth() const { return mTrackbedWidth * 0.5; }

CPoint CBasicGeometry::GetReferencePoint(double) { return mJoints[0].GetElementPoint(); }

CJoint* CBasicGeometry::GetJoint(int index) {
    if (index != 0 && index != 1) return nullptr;
    return &mJoints[index];
}

tJointPair CBasicGeometry::GetUpdatedJoints(const CPoint& elementPosition, const CGradeVector& grade,
                                            double elementAngle) {
    UpdateJoints(elementPosition, grade, 1, elementAngle);
    return GetJoints();
}

tJointPair CBasicGeometry::GetJoints() { return {&mJoints[0], &mJoints[1]}; }

bool CBasicGeometry::IsJointEnabled(int index) const {
    if (index != 0 && index != 1) return false;
    return mJointEnabled[index];
}

void CBasicGeometry::DisableJoint(int index) {
    if (index == 0 || index == 1) mJointEnabled[index] = false;
}

void CBasicGeometry::EnableJoint(int index) {
    if (index == 0 || index == 1) mJointEnabled[index] = true;
}

void CBasicGeometry::MoveBy(double dx, double dy) {
    mOffsetX += dx;
    mOffsetY += dy;
    UContentChanges::Note();
}

void CBasicGeometry::SetFixedColor(const CColor& color) {
    mFixedColor = color;
    mColorLocked = true;
}

double CBasicGeometry::GetHeightOnGrade(const CPoint& point, const CGradeVector& grade) {
    CPoint turned(point.x, point.y, 0.0);
    turned.RotateAroundZAxis(grade.start.x, grade.start.y, -grade.GetAngle());
    turned.RotateAroundYAxis(grade.start.x, grade.start.z, grade.GetSlopeAngle());
    return turned.z;
}

void CBasicGeometry::SyncJointFreeFlags() {
    mJoints[0].SetFree(mJointEnabled[0]);
    mJoints[1].SetFree(mJointEnabled[1]);
}

// ----------------------------------------------------------- record I/O

bool CBasicGeometry::ReadFailed(const CTaggedFile& file, std::uint16_t id, std::string& errorText) {
    char text[128];
    std::snprintf(text, sizeof text, "Failed to read component tag %u (%s)", unsigned{id},
                  ReadStatusName(file.LastStatus()));
    errorText = text;
    return false;
}

bool CBasicGeometry::ReadRequiredBool(CTaggedFile& file, std::uint16_t id, bool& value, std::string& errorText) {
    return file.ReadBool(id, value) || ReadFailed(file, id, errorText);
}

bool CBasicGeometry::ReadRequiredInt(CTaggedFile& file, std::uint16_t id, std::int32_t& value, std::string& errorText) {
    return file.ReadInt(id, value) || ReadFailed(file, id, errorText);
}

bool CBasicGeometry::ReadRequiredDouble(CTaggedFile& file, std::uint16_t id, double& value, std::string& errorText) {
    return file.ReadDouble(id, value) || ReadFailed(file, id, errorText);
}

bool CBasicGeometry::ReadRequiredString(CTaggedFile& file, std::uint16_t id, std::string& value,
                                        std::string& errorText) {
    return file.ReadString(id, value) || ReadFailed(file, id, errorText);
}

bool CBasicGeometry::CheckFileVersion(int fileVersion, const char* signature, std::string& errorText) {
    if (fileVersion >= 3 && fileVersion <= 13) return true;
    LogWarning("%s: Unsupported file format (version %d)", signature, fileVersion);
    char text[96];
    std::snprintf(text, sizeof text, "Unsupported file format (version %d)", fileVersion);
    errorText = text;
    return false;
}

template <typename Self, typename Visitor>
bool CBasicGeometry::VisitBasicField(Self& self, std::uint16_t id, Visitor&& visit) {
    switch (id) {
        case 301: return visit(self.mOffsetX);
        case 302: return visit(self.mOffsetY);
        case 303: return visit(self.mGauge);
        case 304: return visit(self.mAngle);
        case 305: return visit(self.mJointEnabled[0]);
        case 306: return visit(self.mJointEnabled[1]);
        case 307: return visit(self.mTrackbedWidth);
        case 308: return visit(self.mRailWidth);
        case 309: return visit(self.mComponentAttribute);
        case 310: return visit(self.mFixedColor);
        case 328: return visit(self.mFixedColor.mRed);
        case 329: return visit(self.mFixedColor.mGreen);
        case 330: return visit(self.mFixedColor.mBlue);
        case 331: return visit(self.mFixedColor.mAlpha);
        case 335: return visit(self.mColorLocked);
        case 334: return visit(self.mComponentGeneratorID);
        case 333: return visit(self.mIsGenerated);
        default: return false;
    }
}

bool CBasicGeometry::LoadBasicProperties(CTaggedFile& file, int fileVersion, std::string& errorText) {
    if (!CheckFileVersion(fileVersion, "virtual bool CBasicGeometry::Load(FILE *, int)", errorText)) return false;

    // Every tag of the record's version is required: a missing one means the
    // reader has run to the end of the stream, so nothing after it is there.
    bool result = true;
    for (const tRecordTagGate& gate : kBasicTagGates) {
        if (!gate.Carries(fileVersion)) continue;
        const std::uint16_t id = gate.id;
        result = VisitBasicField(*this, id, [&](auto& field) -> bool {
            using tField = std::remove_cvref_t<decltype(field)>;
            if constexpr (std::is_same_v<tField, double>) {
                return ReadRequiredDouble(file, id, field, errorText);
            } else if constexpr (std::is_same_v<tField, bool>) {
                return ReadRequiredBool(file, id, field, errorText);
            } else if constexpr (std::is_same_v<tField, std::int32_t>) {
                return ReadRequiredInt(file, id, field, errorText);
            } else {
                // The old colour is dropped: the component keeps its colour.
                std::uint8_t oldColor[kOldColorBufferSize];
                return file.ReadData(id, oldColor, sizeof oldColor) || ReadFailed(file, id, errorText);
            }
        });
        if (!result) break;
    }
    // A disabled end is not open for connections, even in a damaged record.
    SyncJointFreeFlags();
    return result;
}

bool CBasicGeometry::SaveBasicProperties(FILE* handle, CTaggedFile& file, int version) const {
    if (!IsRecordVersion(version)) return false;
    for (const tRecordTagGate& gate : kBasicTagGates) {
        if (!gate.Carries(version)) continue;
        const std::uint16_t id = gate.id;
        const bool written = VisitBasicField(*this, id, [&](const auto& field) -> bool {
            using tField = std::remove_cvref_t<decltype(field)>;
            if constexpr (std::is_same_v<tField, double>) {
                return file.WriteDouble(id, field);
            } else if constexpr (std::is_same_v<tField, bool>) {
                return file.WriteBool(id, field);
            } else if constexpr (std::is_same_v<tField, std::int32_t>) {
                return file.WriteInt(id, field);
            } else {
                return WriteOldColor(handle, id, field);
            }
        });
        if (!written) return false;
    }
    return true;
}

bool CBasicGeometry::WriteOldColor(FILE* file, std::uint16_t id, const CColor& color) {
    std::uint8_t bytes[kOldColorBytes];
    PutBigEndian16(bytes, color.mRed);
    PutBigEndian16(bytes + 2, color.mGreen);
    PutBigEndian16(bytes + 4, color.mBlue);
    return CTag(id, sizeof bytes, bytes).WriteTag(file);
}

bool CBasicGeometry::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    return LoadBasicProperties(tags, fileVersion, errorText);
}

bool CBasicGeometry::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    return SaveBasicProperties(file, tags, version);
}

// ------------------------------------------------------------ debug text

std::string CBasicGeometry::DemangledName(const char* mangledName) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangledName, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled != nullptr) ? demangled : mangledName;
    std::free(demangled);
    const std::size_t scope = name.find("::");
    if (scope != std::string::npos) name.erase(scope);
    return name;
}

std::string CBasicGeometry::DumpBasicProperties(const char* className) const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "<%s %p> mOffsetX: %.1f, mOffsetY: %.1f, mAngle: %.1f, mRailWidth: %.1f, "
                  "mGauge: %.1f, mTrackbedWidth: %.1f, mIsGenerated: %d, "
                  "mComponentGeneratorID: %d, mColorLocked: %d, mFixedColor: %s, ",
                  className != nullptr ? className : "", static_cast<const void*>(this), mOffsetX, mOffsetY, mAngle,
                  mRailWidth, mGauge, mTrackbedWidth, mIsGenerated ? 1 : 0, mComponentGeneratorID, mColorLocked ? 1 : 0,
                  mFixedColor.ToString().c_str());
    return text;
}
