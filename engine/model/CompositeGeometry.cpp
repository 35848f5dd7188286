#include "engine/model/CompositeGeometry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

#include "engine/drawing/RenderStrategy.h"
#include "engine/fileformat/FileHeader.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/ComponentFactory.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/Layer.h"
#include "engine/model/ModelInternal.h"
#include "engine/model/PolyBIG.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "engine/services/Uuid.h"
#include "platform/foundation/OwnedList.h"

namespace {

// Any version from the oldest to the int range is read; one past it would be
// negative as the int the readers gate on.
constexpr tFileFormat kRecordFormat = {
    {'R', 'C', 'i', 'g'}, static_cast<std::uint32_t>(CCompositeGeometry::kOldestRecordVersion), 0x7fffffffu};

// Beyond this a position coordinate is damage, not a layout.
constexpr double kMaxPositionMagnitude = 1e7;

// Smallest bytes one item can take in a record: a tag header of 4 bytes and
// its value. A component begins with tag 300 (int); a generator has tags
// 235 and 236 (ints); a parameter has tag 237 (int) and 238 (a text of at
// least its NUL).
constexpr long kMinComponentBytes = 8;
constexpr long kMinGeneratorBytes = 16;
constexpr long kMinParameterBytes = 13;

// The raw colour of old records: three big-endian 16-bit words.
constexpr std::size_t kOldCompositeColorBytes = 6;
// Raw tag 204 is dropped; read into a bounded buffer.
constexpr std::size_t kOldSecondColorBufferSize = 16;

const CColor& DefaultFirstColor() {
    static const CColor color(0.75, 1.0);
    return color;
}

// True when `count` items of at least `minBytes` each fit into the rest of
// the file and the count is not above `maximum`.
bool CountFits(FILE* file, std::int64_t count, std::int64_t maximum, long minBytes) {
    if (count > maximum) return false;
    const long long left = BytesLeftInStream(file);
    return left < 0 || count <= left / minBytes;
}

void CopyText(char* field, std::size_t size, const char* text) {
    if (text == nullptr) return;
    std::strncpy(field, text, size - 1);
    field[size - 1] = '\0';
}

bool WriteCompositeColor(CTaggedFile& tags, std::uint16_t firstId, const CColor& color) {
    return tags.WriteDouble(firstId, color.mRed) && tags.WriteDouble(firstId + 1, color.mGreen) &&
           tags.WriteDouble(firstId + 2, color.mBlue) && tags.WriteDouble(firstId + 3, color.mAlpha);
}

}  // namespace

// ------------------------------------------------------------ life cycle

CCompositeGeometry::CCompositeGeometry()
    : mIdentifier(UUuid::NewUuidString()), mFirstColor(DefaultFirstColor()), mSecondColor(CColor::Black()) {}

CCompositeGeometry::CCompositeGeometry(const CCompositeGeometry& other)
    : CGroupable(other),
      mHeaderValue212(other.mHeaderValue212),
      mPrice(other.mPrice),
      mCurrencyId(other.mCurrencyId),
      mModelScale(other.mModelScale),
      mElementType(other.mElementType),
      mHeaderValue244(other.mHeaderValue244),
      mFlag216(other.mFlag216),
      mFlag245(other.mFlag245),
      mIdentifier(UUuid::NewUuidString()),
      mFirstColor(other.mFirstColor),
      mSecondColor(other.mSecondColor),
      mFirstFlag(other.mFirstFlag),
      mSecondFlag(other.mSecondFlag),
      mAttributeValue(other.mAttributeValue),
      mStartTrim(other.mStartTrim),
      mEndTrim(other.mEndTrim),
      mPosition(other.mPosition),
      mCachedPoint(other.mCachedPoint),
      mAngle(other.mAngle),
      mGrade(other.mGrade),
      mLayer(other.mLayer) {
    mComponents.reserve(other.mComponents.size());
    for (CBasicGeometry* component : other.mComponents) {
        if (CBasicGeometry* copy = UElementComponents::CloneComponent(component)) mComponents.push_back(copy);
    }
    std::memcpy(mProductNumber, other.mProductNumber, sizeof mProductNumber);
    std::memcpy(mDescription, other.mDescription, sizeof mDescription);
    std::memcpy(mLabelText, other.mLabelText, sizeof mLabelText);
    std::memcpy(mManufacturer, other.mManufacturer, sizeof mManufacturer);
    std::memcpy(mLibraryName, other.mLibraryName, sizeof mLibraryName);
    std::memcpy(mText211, other.mText211, sizeof mText211);
    std::memcpy(mText242, other.mText242, sizeof mText242);
    UpdateJoints();
    mGeneratorMap = other.mGeneratorMap;
    mTranslations = other.mTranslations;
}

CCompositeGeometry::~CCompositeGeometry() { platform::DeleteAll(mComponents); }

// ------------------------------------------------------------ record reading

bool CCompositeGeometry::Load(FILE* file, std::string& errorText) {
    if (!LoadUnplaced(file, errorText)) return false;
    PlaceAtOrigin();
    return true;
}

bool CCompositeGeometry::LoadUnplaced(FILE* file, std::string& errorText) {
    const tFileHeader header = ReadFileHeader(file, kRecordFormat);
    if (!header.MagicMatched()) {
        errorText = "Element expected, bad header found.";
        return false;
    }
    const int version = static_cast<int>(header.version);
    if (header.status != tFileHeaderStatus::Ok) {
        LogWarning("%s: Unsupported file format (version %d)", "bool CCompositeGeometry::Load(FILE *, string &)",
                   version);
        return false;
    }

    std::int32_t componentCount = 0;
    {
        CTaggedFile tags(file);
        if (!ReadElementTags(file, tags, version, componentCount, errorText)) return false;
    }
    if (!ReadComponents(file, version, componentCount, errorText)) return false;

    if (version >= 13) {
        CTaggedFile tags(file);
        if (!UTranslationsMap::ReadTranslations(mTranslations, tags)) {
            errorText = std::string("Failed to read element translations (") + ReadStatusName(tags.LastStatus()) + ")";
            return false;
        }
    }

    if (version < 9 && !mGeneratorMap.empty())
        UElementComponents::MarkAsGenerated(mComponents, mGeneratorMap.begin()->first);
    if (version < 6 && std::strlen(mLibraryName) < 2 && !mComponents.empty()) {
        const auto* line = dynamic_cast<const CPolyBIG*>(mComponents.front());
        if (line != nullptr && line->GetKind() == kPolyKindLine) mSecondColor = mFirstColor;
    }
    return true;
}

void CCompositeGeometry::PlaceAtOrigin() {
    tDoubleRect oldBox;
    MoveToOrigin(&oldBox);
    mPosition.x += oldBox.minX;
    mPosition.y += oldBox.minY;
    UpdateJoints();
}

bool CCompositeGeometry::ReadElementTags(FILE* file, CTaggedFile& tags, int version, std::int32_t& componentCount,
                                         std::string& errorText) {
    tags.ReadCString(207, mProductNumber);
    tags.ReadCString(208, mDescription);
    tags.ReadCString(209, mManufacturer);
    tags.ReadCString(210, mLibraryName);
    tags.ReadCString(211, mText211);
    tags.ReadInt(212, mHeaderValue212);
    tags.ReadInt(213, mPrice);
    tags.ReadInt(214, mCurrencyId);
    tags.ReadInt(215, mModelScale);
    tags.ReadBool(216, mFlag216);
    if (version >= 13) {
        tags.ReadCString(241, mLabelText);
        tags.ReadCString(242, mText242);
        tags.ReadInt(243, mElementType);
        tags.ReadInt(244, mHeaderValue244);
        tags.ReadBool(245, mFlag245);
    }
    tags.ReadDouble(200, mPosition.x);
    tags.ReadDouble(201, mPosition.y);
    if (version >= 4) tags.ReadDouble(218, mPosition.z);
    if (std::fabs(mPosition.x) > kMaxPositionMagnitude) mPosition.x = 0.0;
    if (std::fabs(mPosition.y) > kMaxPositionMagnitude) mPosition.y = 0.0;
    mGrade.Load(tags, version);
    tags.ReadDouble(202, mAngle);

    if (version >= 6) {
        mFirstColor = tags.ReadColor(226, 227, 228, 229);
        mSecondColor = tags.ReadColor(230, 231, 232, 233);
    } else {
        std::uint16_t words[3] = {};
        std::size_t copied = 0;
        if (tags.ReadData(203, words, sizeof words, &copied)) {
            if (copied == kOldCompositeColorBytes) {
                UColorWords::BigEndianTripleToHost(words);
                mFirstColor = CColor(words[0], words[1], words[2]);
            } else {
                LogWarning("Element colour of %zu bytes ignored", copied);
            }
        }
        std::uint8_t dropped[kOldSecondColorBufferSize];
        tags.ReadData(204, dropped, sizeof dropped);
        mSecondColor = CColor::Black();
    }
    bool ignored = false;
    tags.ReadBool(205, ignored);
    if (version >= 9) {
        tags.ReadInt(239, mStartTrim);
        tags.ReadInt(240, mEndTrim);
    }
    if (version >= 4) tags.ReadString(217, mLayerName);
    if (version >= 7 && !ReadGenerators(file, tags, errorText)) return false;

    // Without a count nothing of the record can follow: the stream has run
    // out or the record is damaged here.
    if (!tags.ReadInt(206, componentCount)) {
        errorText = std::string("Failed to read the component count (") + ReadStatusName(tags.LastStatus()) + ")";
        return false;
    }
    return true;
}

bool CCompositeGeometry::ReadGenerators(FILE* file, CTaggedFile& tags, std::string& errorText) {
    std::int32_t generatorCount = 0;
    if (!tags.ReadInt(234, generatorCount)) return true;
    if (generatorCount < 0) generatorCount = 0;
    if (!CountFits(file, generatorCount, kMaxGenerators, kMinGeneratorBytes)) {
        errorText = "Generator count " + std::to_string(generatorCount) + " out of range";
        return false;
    }
    for (std::int32_t g = 0; g < generatorCount; ++g) {
        std::int32_t type = 0;
        std::int32_t parameterCount = 0;
        if (!tags.ReadInt(235, type) || !tags.ReadInt(236, parameterCount)) break;
        if (parameterCount < 0) parameterCount = 0;
        if (!CountFits(file, parameterCount, kMaxGeneratorParameters, kMinParameterBytes)) {
            errorText = "Generator parameter count " + std::to_string(parameterCount) + " out of range";
            return false;
        }
        tGeneratorParameters parameters;
        bool complete = true;
        for (std::int32_t p = 0; p < parameterCount; ++p) {
            std::int32_t key = 0;
            std::string text;
            if (!tags.ReadInt(237, key) || !tags.ReadString(238, text)) {
                complete = false;
                break;
            }
            parameters[key] = CGeneratorParameter(std::move(text));
        }
        mGeneratorMap.insert({type, std::move(parameters)});
        if (!complete) break;
    }
    return true;
}

bool CCompositeGeometry::ReadComponents(FILE* file, int version, int count, std::string& errorText) {
    static const char* const kSignature = "bool CCompositeGeometry::ReadComponents(FILE *, int, int, string &)";
    if (count < 1) return true;
    if (file == nullptr) {
        errorText = "No file to read components from";
        return false;
    }
    if (!CountFits(file, count, static_cast<std::int64_t>(kMaxComponents), kMinComponentBytes)) {
        errorText = "Component count " + std::to_string(count) + " out of range";
        return false;
    }
    mComponents.reserve(mComponents.size() + static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        std::int32_t type = -1;
        if (version >= kOldestRecordVersion && version <= kNewestRecordVersion) {
            CTaggedFile tags(file);
            if (!tags.ReadInt(300, type)) type = -1;
        }
        if (type < 0) {
            errorText = "Unsupported component type encountered.";
            LogWarning("%s: %s", kSignature, errorText.c_str());
            return false;
        }
        CBasicGeometry* component =
            type <= kComponentTypeFlexTrack ? UComponentFactory::CreateComponent(type) : nullptr;
        if (component == nullptr) {
            errorText = "Unknown component type requested. Please update to a newer fileVersion!";
            LogWarning("Failed to load component of type %d", type);
            return false;
        }
        mComponents.push_back(component);
        std::string componentError;
        if (!component->Load(file, version, componentError)) {
            errorText = componentError;
            return false;
        }
        if (type == kComponentTypePoly || type == kComponentTypeText || type == kComponentTypeOval) {
            component->DisableJoint(0);
            component->DisableJoint(1);
        }
    }
    return true;
}

// ------------------------------------------------------------ record writing

bool CCompositeGeometry::Save(FILE* file, int version) {
    if (file == nullptr || version < kOldestRecordVersion || version > kNewestRecordVersion) return false;
    if (mComponents.size() > kMaxComponents) return false;
    if (!WriteFileHeader(file, kRecordFormat.magic, static_cast<std::uint32_t>(version))) return false;

    {
        CTaggedFile tags(file);
        if (!WriteElementTags(file, tags, version)) return false;
    }
    for (CBasicGeometry* component : mComponents) {
        if (!component->Save(file, version)) return false;
    }
    if (version >= 13) {
        CTaggedFile tags(file);
        if (!UTranslationsMap::WriteTranslations(mTranslations, tags)) return false;
    }
    return true;
}

bool CCompositeGeometry::WriteElementTags(FILE* file, CTaggedFile& tags, int version) const {
    bool ok = tags.WriteString(207, mProductNumber) && tags.WriteString(208, mDescription) &&
              tags.WriteString(209, mManufacturer) && tags.WriteString(210, mLibraryName) &&
              tags.WriteString(211, mText211) && tags.WriteInt(212, mHeaderValue212) && tags.WriteInt(213, mPrice) &&
              tags.WriteInt(214, mCurrencyId) && tags.WriteInt(215, mModelScale) && tags.WriteBool(216, mFlag216);
    if (ok && version >= 13) {
        ok = tags.WriteString(241, mLabelText) && tags.WriteString(242, mText242) && tags.WriteInt(243, mElementType) &&
             tags.WriteInt(244, mHeaderValue244) && tags.WriteBool(245, mFlag245);
    }
    ok = ok && tags.WriteDouble(200, mPosition.x) && tags.WriteDouble(201, mPosition.y);
    if (ok && version >= 4) {
        ok = tags.WriteDouble(218, mPosition.z) && tags.WriteDouble(219, mGrade.start.x) &&
             tags.WriteDouble(220, mGrade.start.y) && tags.WriteDouble(221, mGrade.start.z) &&
             tags.WriteDouble(222, mGrade.end.x) && tags.WriteDouble(223, mGrade.end.y) &&
             tags.WriteDouble(224, mGrade.end.z) && tags.WriteDouble(225, mGrade.height);
    }
    ok = ok && tags.WriteDouble(202, mAngle);
    if (ok && version >= 6) {
        ok = WriteCompositeColor(tags, 226, mFirstColor) && WriteCompositeColor(tags, 230, mSecondColor);
    } else if (ok) {
        ok = CBasicGeometry::WriteOldColor(file, 203, mFirstColor) &&
             CBasicGeometry::WriteOldColor(file, 204, mSecondColor);
    }
    ok = ok && tags.WriteBool(205, false);
    if (ok && version >= 9) ok = tags.WriteInt(239, mStartTrim) && tags.WriteInt(240, mEndTrim);
    if (ok && version >= 4) ok = tags.WriteString(217, GetLayerName());
    if (ok && version >= 7) ok = WriteGenerators(tags);
    return ok && tags.WriteInt(206, static_cast<std::int32_t>(mComponents.size()));
}

bool CCompositeGeometry::WriteGenerators(CTaggedFile& tags) const {
    if (mGeneratorMap.size() > static_cast<std::size_t>(kMaxGenerators)) return false;
    if (!tags.WriteInt(234, static_cast<std::int32_t>(mGeneratorMap.size()))) return false;
    for (const auto& [type, parameters] : mGeneratorMap) {
        if (parameters.size() > static_cast<std::size_t>(kMaxGeneratorParameters)) return false;
        if (!tags.WriteInt(235, type) || !tags.WriteInt(236, static_cast<std::int32_t>(parameters.size())))
            return false;
        for (const auto& [key, parameter] : parameters) {
            if (!tags.WriteInt(237, key) || !tags.WriteString(238, parameter.GetText())) return false;
        }
    }
    return true;
}

// ------------------------------------------------------------ joints

bool CCompositeGeometry::IsCurvedParallelTrack() const {
    if (mElementType != 2 && mElementType != 209) return false;
    int tracks = 0;
    for (const CBasicGeometry* component : mComponents) {
        if (!UModelInternal::IsTrackType(component->GetType())) continue;
        if (component->GetType() != kComponentTypeCurve) return false;
        ++tracks;
    }
    return tracks == 2;
}

CGradeVector CCompositeGeometry::ComponentGrade(CBasicGeometry& component) const {
    const tJointPair joints = component.GetJoints();
    const CJoint* startJoint = joints.first;
    const CJoint* endJoint = joints.second;
    if (joints.first->GetLayoutPoint().z > joints.second->GetLayoutPoint().z) std::swap(startJoint, endJoint);
    CPoint start = startJoint->GetLayoutPoint();
    CPoint end = endJoint->GetLayoutPoint();
    start.Translate(-mPosition.x, -mPosition.y, -mPosition.z);
    start.z = 0.0;
    end.Translate(-mPosition.x, -mPosition.y, 0.0);
    end.z = 0.0;
    return CGradeVector(start, end, mGrade.height);
}

void CCompositeGeometry::UpdateJoints() {
    const bool ownGrades = IsCurvedParallelTrack();
    for (CBasicGeometry* component : mComponents) {
        if (ownGrades) component->UpdateJoints(mPosition, ComponentGrade(*component), 1, mAngle);
        else component->UpdateJoints(mPosition, mGrade, 1, mAngle);
        component->GetJoint(0)->SetParent(this);
        component->GetJoint(1)->SetParent(this);
    }
}

// ------------------------------------------------------------ drawing

void CCompositeGeometry::Render(CRenderStrategy* strategy, const CPoint& position, const CDrawingOptions& options) {
    static constexpr const char* kSignature =
        "void CCompositeGeometry::Render(CRenderStrategy *, const CPoint &, const CDrawingOptions &)";
    UErrorHandling::ThrowIfNull(strategy, kSignature, "Invalid render strategy");
    const bool ownGrades = IsCurvedParallelTrack();
    for (CBasicGeometry* component : mComponents) {
        if (component == nullptr) {
            LogWarning("Invalid component in '%s' (%s), total of %lu components", mProductNumber, mLibraryName,
                       static_cast<unsigned long>(mComponents.size()));
            UErrorHandling::ThrowIfNull(component, kSignature, "Invalid CCompositeGeometry component");
        }
        const CGradeVector grade = ownGrades ? ComponentGrade(*component) : mGrade;
        strategy->RenderComponent(component, position, mAngle, grade, options);
    }
}

tConstJoints CCompositeGeometry::GetJoints(JointFilter filter) {
    UpdateJoints();
    return static_cast<const CCompositeGeometry*>(this)->GetJoints(filter);
}

tConstJoints CCompositeGeometry::GetJoints(JointFilter filter) const {
    static const char* const kSignature = "tConstJoints CCompositeGeometry::GetJoints(JointFilter) const";
    tConstJoints joints;
    joints.reserve(mComponents.size() * 2);
    for (CBasicGeometry* component : mComponents) {
        CJoint* first = component->GetJoint(0);
        CJoint* last = component->GetJoint(1);
        UErrorHandling::ThrowIfNull(first->GetParent(), kSignature, "Parent element not yet assigned for joint1");
        UErrorHandling::ThrowIfNull(last->GetParent(), kSignature, "Parent element not yet assigned for joint2");
        for (int index = 0; index < 2; ++index) {
            CJoint* joint = index == 0 ? first : last;
            if (!component->IsJointEnabled(index)) continue;
            const bool accepted = filter == kJointFilterAll || (filter == kJointFilterFree && joint->IsFree()) ||
                                  (filter == kJointFilterConnected && !joint->IsFree());
            if (accepted) joints.push_back(joint);
        }
    }
    return joints;
}

// ------------------------------------------------------------ geometry

void CCompositeGeometry::CalcBoundingBox(tDoubleRect& box) {
    if (mComponents.empty()) {
        LogWarning("No components for '%s' (%s) - cannot calculate bounding box!", mProductNumber, mLibraryName);
        UActivityAnalytics::TrackIntegrityCheckFailure("NoComponents.CalcBoundingBox.CCompositeGeometry");
        box = tDoubleRect{};
        return;
    }
    box = EmptyRect();
    for (CBasicGeometry* component : mComponents) {
        const tDoubleRect part = component->CalcBoundingBox(mAngle);
        box.minX = std::min(box.minX, part.minX);
        box.minY = std::min(box.minY, part.minY);
        box.maxX = std::max(box.maxX, part.maxX);
        box.maxY = std::max(box.maxY, part.maxY);
    }
}

CPoint CCompositeGeometry::MoveToOrigin(tDoubleRect* oldBox) {
    tDoubleRect box;
    CalcBoundingBox(box);
    if (oldBox != nullptr) *oldBox = box;
    for (CBasicGeometry* component : mComponents) component->MoveBy(-box.minX, -box.minY);
    return CPoint(-box.minX, -box.minY, 0.0);
}

CPoint CCompositeGeometry::TurningReference(CBasicGeometry& component, double elementAngle) {
    switch (component.GetType()) {
        case kComponentTypeStraight:
        case kComponentTypeCurve:
        case kComponentTypeFlexTrack:
            return component.GetUpdatedJoints(CPoint::Origin(), CGradeVector::Null(), elementAngle)
                .first->GetLayoutPoint();
        case kComponentTypePoly:
            if (auto* polygon = dynamic_cast<CPolyBIG*>(&component)) return polygon->GetPointAt(0, elementAngle);
            return component.GetReferencePoint(elementAngle);
        default: return component.GetReferencePoint(elementAngle);
    }
}

void CCompositeGeometry::SetAngle(double angle) {
    CPoint centre;
    if (!mComponents.empty()) {
        tDoubleRect box;
        CalcBoundingBox(box);
        centre.Set((box.minX + box.maxX) / 2.0, (box.minY + box.maxY) / 2.0, 0.0);
    }
    const double oldAngle = mAngle;
    // The field promises [0, 360); fmod keeps the sign of a negative angle,
    // and a tiny negative remainder plus 360 rounds to 360.
    double newAngle = std::fmod(angle, 360.0);
    if (newAngle < 0.0) newAngle += 360.0;
    if (newAngle >= 360.0) newAngle = 0.0;
    mAngle = newAngle;

    for (CBasicGeometry* component : mComponents) {
        CPoint turned = TurningReference(*component, oldAngle);
        turned.Rotate(centre, newAngle - oldAngle);
        const CPoint now = TurningReference(*component, newAngle);
        component->MoveBy(turned.x - now.x, turned.y - now.y);
    }
    mCachedPoint = CPoint::Origin();
    UContentChanges::Note();
}

void CCompositeGeometry::Rotate(const CPoint& centre, double angle) {
    if (mComponents.empty()) {
        LogWarning("No components for '%s' (%s) - cannot rotate element!", mProductNumber, mLibraryName);
        return;
    }
    UpdateJoints();
    CBasicGeometry* first = mComponents.front();
    const double z0 = first->GetJoint(0)->GetLayoutPoint().z;
    const double z1 = first->GetJoint(1)->GetLayoutPoint().z;
    const double height = mGrade.height;

    CPoint target = first->GetReferencePoint(mAngle);
    target.Translate(mPosition.x, mPosition.y, mPosition.z);
    target.Rotate(centre, angle);

    SetAngle(angle + mAngle);
    MoveToOrigin(nullptr);
    mGrade = CGradeVector::Null();
    UpdateJoints();

    if (height > 0.001) {
        const CJoint* startJoint = first->GetJoint(0);
        const CJoint* endJoint = first->GetJoint(1);
        if (z0 > z1) std::swap(startJoint, endJoint);
        CPoint start = startJoint->GetLayoutPoint();
        CPoint end = endJoint->GetLayoutPoint();
        start.Translate(-mPosition.x, -mPosition.y, 0.0);
        end.Translate(-mPosition.x, -mPosition.y, 0.0);
        start.z = 0.0;
        end.z = 0.0;
        mGrade = CGradeVector(start, end, height);
        UpdateJoints();
    }

    const CPoint reference = first->GetReferencePoint(mAngle);
    mPosition.x = target.x - reference.x;
    mPosition.y = target.y - reference.y;
    UContentChanges::Note();
}

double CCompositeGeometry::GetTrackLength() const {
    double length = 0.0;
    for (const CBasicGeometry* component : mComponents) length += component->GetTrackLength();
    return length;
}

void CCompositeGeometry::SetTrackbedWidth(double width) {
    for (CBasicGeometry* component : mComponents) component->SetTrackbedWidth(width);
}

void CCompositeGeometry::SetRailWidth(double width) {
    for (CBasicGeometry* component : mComponents) component->SetRailWidth(width);
}

// ------------------------------------------------------------ texts

const std::string& CCompositeGeometry::GetLayerName() const {
    return mLayer != nullptr ? mLayer->GetName() : mLayerName;
}

void CCompositeGeometry::SetProductNumber(const char* text) {
    CopyText(mProductNumber, sizeof mProductNumber, text);
    mCachedPoint = CPoint::Origin();
}

void CCompositeGeometry::SetDescription(const char* text) { CopyText(mDescription, sizeof mDescription, text); }
void CCompositeGeometry::SetLabelText(const char* text) { CopyText(mLabelText, sizeof mLabelText, text); }
void CCompositeGeometry::SetManufacturer(const char* text) { CopyText(mManufacturer, sizeof mManufacturer, text); }
void CCompositeGeometry::SetLibraryName(const char* text) { CopyText(mLibraryName, sizeof mLibraryName, text); }
void CCompositeGeometry::SetText211(const char* text) { CopyText(mText211, sizeof mText211, text); }
void CCompositeGeometry::SetText242(const char* text) { CopyText(mText242, sizeof mText242, text); }

std::string CCompositeGeometry::GetLocalizedDescription(const std::string& language) const {
    std::string text = UTranslationsMap::GetTranslation(mTranslations, "Description", language, "");
    return text.empty() ? std::string(mDescription) : text;
}

void CCompositeGeometry::SetLocalizedDescription(const std::string& text, const std::string& language) {
    UTranslationsMap::AddTranslation(mTranslations, "Description", language, text);
}

bool CCompositeGeometry::UsesComponentGenerator(int generatorType) const {
    return mGeneratorMap.count(generatorType) != 0;
}
