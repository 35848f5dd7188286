#include "engine/model/Baseboard.h"
#include "engine/fileformat/Tag.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/Layer.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/Logger.h"
#include "engine/services/Uuid.h"
#include "platform/foundation/OwnedList.h"

namespace {

// The fewest bytes each item can take in the file: every record has a
// 4-byte header, a text at least its NUL, an int 4 bytes, a real 8.
constexpr long kMinBaseboardBytes = 5 + 3 * 12 + 5 + 8 * 12 + 8 + 8;  // 701 to 714, 718
constexpr long kMinBorderPointBytes = 5 + 12 + 12;                    // 715 to 717
constexpr long kMinBorderSegmentBytes = 8 + 5 + 5 + 5 + 8 + 8;        // 719 to 724

constexpr int kFirstVersionWithBaseboards = 11;
constexpr int kFirstVersionWithFlag727 = 12;

// The count cut to [0, maximum] and to what the rest of the file can hold,
// so that a forged count can neither size anything nor keep a loop going.
// `intact` is cleared when the count had to be cut.
std::int32_t BoundCount(FILE* file, std::int32_t count, std::int32_t maximum, long minBytes, const char* what,
                        bool& intact) {
    if (count <= 0) {
        if (count < 0) {
            LogWarning("Negative %s count %d read as 0", what, count);
            intact = false;
        }
        return 0;
    }
    std::int32_t bound = maximum;
    const long left = BytesLeftInStream(file);
    if (left >= 0) bound = static_cast<std::int32_t>(std::min<long>(bound, left / minBytes));
    if (count > bound) {
        LogWarning("Too large %s count %d - reading at most %d", what, count, bound);
        intact = false;
        return bound;
    }
    return count;
}

void WarnCutShort(const CTaggedFile& tags, const char* what) {
    LogWarning("Baseboards: failed to read %s (%s) - reading stops here", what, ReadStatusName(tags.LastStatus()));
}

bool ReadColor(CTaggedFile& tags, std::uint16_t firstId, CColor& color) {
    color = tags.ReadColor(firstId, firstId + 1, firstId + 2, firstId + 3);
    return tags.LastStatus() == tReadStatus::Ok;
}

bool ReadBorderPoints(CTaggedFile& tags, FILE* file, CBaseboardElement& baseboard, bool& intact) {
    std::int32_t count = 0;
    if (!tags.ReadInt(714, count)) {
        WarnCutShort(tags, "the border point count");
        return false;
    }
    count = BoundCount(file, count, UBaseboardElements::kMaxBorderPoints, kMinBorderPointBytes, "border point", intact);
    for (std::int32_t i = 0; i < count; ++i) {
        std::string id;
        double x = 0.0;
        double y = 0.0;
        if (!tags.ReadString(715, id) || !tags.ReadDouble(716, x) || !tags.ReadDouble(717, y)) {
            WarnCutShort(tags, "a border point");
            return false;
        }
        baseboard.SetBorderPoint(id, CPoint(x, y, 0.0));
    }
    return true;
}

bool ReadBorderSegments(CTaggedFile& tags, FILE* file, CBaseboardElement& baseboard, int version, bool& intact) {
    std::int32_t count = 0;
    if (!tags.ReadInt(718, count)) {
        WarnCutShort(tags, "the border segment count");
        return false;
    }
    count = BoundCount(file, count, UBaseboardElements::kMaxBorderSegments, kMinBorderSegmentBytes, "border segment",
                       intact);
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t type = 0;
        std::string startId;
        std::string endId;
        bool flag722 = false;
        std::int32_t integer723 = 0;
        std::int32_t integer724 = 0;
        if (!tags.ReadInt(719, type) || !tags.ReadString(720, startId) || !tags.ReadString(721, endId) ||
            !tags.ReadBool(722, flag722) || !tags.ReadInt(723, integer723) || !tags.ReadInt(724, integer724)) {
            WarnCutShort(tags, "a border segment");
            return false;
        }

        CPoint centre;
        bool directionFlag = false;
        if (type == 1) {
            if (!tags.ReadDouble(725, centre.x) || !tags.ReadDouble(726, centre.y) ||
                (version >= kFirstVersionWithFlag727 && !tags.ReadBool(727, directionFlag))) {
                WarnCutShort(tags, "an arc border segment");
                return false;
            }
        } else if (type != 0) {
            LogWarning("Unsupported border type");
            continue;
        }

        // A segment must never point past the border points it joins.
        const char* missing = baseboard.FindBorderPoint(startId) == nullptr ? startId.c_str()
                              : baseboard.FindBorderPoint(endId) == nullptr ? endId.c_str()
                                                                            : nullptr;
        if (missing != nullptr) {
            LogWarning("Border segment of baseboard '%s' names unknown border point '%s' - skipping",
                       baseboard.GetName().c_str(), missing);
            continue;
        }

        CBorderSegment* segment = nullptr;
        if (type == 1) {
            auto* arc = new CCircleArcBorderSegment(startId, endId);
            arc->SetCentre(centre);
            arc->SetDirectionFlag(directionFlag);
            segment = arc;
        } else {
            segment = new CStraightBorderSegment(startId, endId);
        }
        segment->SetFlag722(flag722);
        segment->SetInteger723(integer723);
        segment->SetInteger724(integer724);
        baseboard.AddBorderSegment(segment);
    }
    return true;
}

bool WriteColor(CTaggedFile& tags, std::uint16_t firstId, const CColor& color) {
    return tags.WriteDouble(firstId, color.mRed) && tags.WriteDouble(firstId + 1, color.mGreen) &&
           tags.WriteDouble(firstId + 2, color.mBlue) && tags.WriteDouble(firstId + 3, color.mAlpha);
}

bool WriteBaseboard(CTaggedFile& tags, const CBaseboardElement& baseboard, int version) {
    const std::string layerName = baseboard.GetLayer() != nullptr ? baseboard.GetLayer()->GetName() : "";
    bool ok = tags.WriteString(701, layerName) && tags.WriteDouble(702, baseboard.GetPosition().x) &&
              tags.WriteDouble(703, baseboard.GetPosition().y) &&
              tags.WriteDouble(704, baseboard.GetRealParameter704()) && tags.WriteString(705, baseboard.GetName()) &&
              WriteColor(tags, 706, baseboard.GetFirstColor()) && WriteColor(tags, 710, baseboard.GetSecondColor());
    if (!ok) return false;

    const tBorderPoints& points = baseboard.GetBorderPointMap();
    if (!tags.WriteInt(714, static_cast<std::int32_t>(points.size()))) return false;
    for (const auto& [id, point] : points) {
        if (!tags.WriteString(715, id) || !tags.WriteDouble(716, point.x) || !tags.WriteDouble(717, point.y))
            return false;
    }

    const tBorderSegments& segments = baseboard.GetBorderSegments();
    if (!tags.WriteInt(718, static_cast<std::int32_t>(segments.size()))) return false;
    for (const CBorderSegment* segment : segments) {
        const auto* arc = dynamic_cast<const CCircleArcBorderSegment*>(segment);
        ok = tags.WriteInt(719, arc != nullptr ? 1 : 0) && tags.WriteString(720, segment->GetStartPointId()) &&
             tags.WriteString(721, segment->GetEndPointId()) && tags.WriteBool(722, segment->GetFlag722()) &&
             tags.WriteInt(723, segment->GetInteger723()) && tags.WriteInt(724, segment->GetInteger724());
        if (ok && arc != nullptr) {
            ok = tags.WriteDouble(725, arc->GetCentre().x) && tags.WriteDouble(726, arc->GetCentre().y) &&
                 (version < kFirstVersionWithFlag727 || tags.WriteBool(727, arc->GetDirectionFlag()));
        }
        if (!ok) return false;
    }
    return true;
}

bool IsWritable(const CBaseboardElement* baseboard) {
    if (baseboard == nullptr) return false;
    if (baseboard->GetBorderPointMap().size() > static_cast<std::size_t>(UBaseboardElements::kMaxBorderPoints) ||
        baseboard->GetBorderSegments().size() > static_cast<std::size_t>(UBaseboardElements::kMaxBorderSegments))
        return false;
    return std::all_of(baseboard->GetBorderSegments().begin(), baseboard->GetBorderSegments().end(),
                       [](const CBorderSegment* segment) {
                           return dynamic_cast<const CStraightBorderSegment*>(segment) != nullptr ||
                                  dynamic_cast<const CCircleArcBorderSegment*>(segment) != nullptr;
                       });
}

}  // namespace

// ------------------------------------------------------------ CBaseboardElement

CBaseboardElement::CBaseboardElement() : mIdentifier(UUuid::NewUuidString()) {}

CBaseboardElement::CBaseboardElement(const CPoint& position, double realParameter704, std::string name,
                                     const CColor& firstColor, const CColor& secondColor)
    : mIdentifier(UUuid::NewUuidString()),
      mPosition(position),
      mRealParameter704(realParameter704),
      mFirstColor(firstColor),
      mSecondColor(secondColor),
      mName(std::move(name)) {}

CBaseboardElement::CBaseboardElement(const CBaseboardElement& other)
    : mIdentifier(UUuid::NewUuidString()),
      mEditInProgress(other.mEditInProgress),
      mPosition(other.mPosition),
      mRealParameter704(other.mRealParameter704),
      mLayer(other.mLayer),
      mBorderPoints(other.mBorderPoints),
      mFirstColor(other.mFirstColor),
      mSecondColor(other.mSecondColor),
      mName(other.mName),
      mSecondText(other.mSecondText) {
    mBorderSegments.reserve(other.mBorderSegments.size());
    for (const CBorderSegment* segment : other.mBorderSegments) {
        CBorderSegment* copy = segment != nullptr ? UCircleArcBorderSegments::CopySegment(*segment) : nullptr;
        if (copy != nullptr) mBorderSegments.push_back(copy);
    }
}

CBaseboardElement::~CBaseboardElement() { platform::DeleteAll(mBorderSegments); }

CPoint* CBaseboardElement::FindBorderPoint(const std::string& id) {
    // The point handed out may be moved.
    UContentChanges::Note();
    const auto found = mBorderPoints.find(id);
    return found != mBorderPoints.end() ? &found->second : nullptr;
}

const CPoint* CBaseboardElement::FindBorderPoint(const std::string& id) const {
    const auto found = mBorderPoints.find(id);
    return found != mBorderPoints.end() ? &found->second : nullptr;
}

void CBaseboardElement::SetBorderPoint(const std::string& id, const CPoint& point) {
    mBorderPoints.insert_or_assign(id, point);
    UContentChanges::Note();
}

void CBaseboardElement::TranslateBorderPoint(const std::string& id, double dx, double dy) {
    if (CPoint* point = FindBorderPoint(id)) point->Translate(dx, dy, 0.0);
}

void CBaseboardElement::RemoveBorderPoint(const std::string& id) {
    UContentChanges::Note();
    if (mBorderPoints.erase(id) == 0) {
        LogWarning("Invalid ID for border point '%s' in baseboard %s (%s)", id.c_str(), mIdentifier.c_str(),
                   mName.c_str());
    }
}

void CBaseboardElement::RemoveOrphanedPoints() {
    UContentChanges::Note();
    std::set<std::string> used;
    for (const CBorderSegment* segment : mBorderSegments) {
        used.insert(segment->GetStartPointId());
        used.insert(segment->GetEndPointId());
    }
    for (auto it = mBorderPoints.begin(); it != mBorderPoints.end();) {
        if (used.count(it->first) == 0) {
            LogInfo("Removing orphaned point <%s>", it->first.c_str());
            it = mBorderPoints.erase(it);
        } else {
            ++it;
        }
    }
}

void CBaseboardElement::MoveBy(double dx, double dy) {
    for (auto& entry : mBorderPoints) entry.second.Translate(dx, dy, 0.0);
    UCircleArcBorderSegments::MoveBy(mBorderSegments, dx, dy);
    UContentChanges::Note();
}

std::vector<CPoint> CBaseboardElement::GetBorderPoints() const {
    std::vector<CPoint> points;
    points.reserve(mBorderPoints.size());
    for (const auto& entry : mBorderPoints) points.push_back(entry.second);
    return points;
}

void CBaseboardElement::AddBorderSegment(CBorderSegment* segment) {
    if (segment != nullptr) mBorderSegments.push_back(segment);
    UContentChanges::Note();
}

// ------------------------------------------------------------ UBaseboardElements

namespace UBaseboardElements {

bool ReadBaseboards(tBaseboardElements& baseboards, FILE* file, const tFindLayerByName& findLayerByName, int version) {
    if (file == nullptr) return false;
    CTaggedFile tags(file);
    std::int32_t count = 0;
    if (!tags.ReadInt(700, count)) {
        WarnCutShort(tags, "the baseboard count");
        return false;
    }
    bool intact = true;
    count = BoundCount(file, count, kMaxBaseboards, kMinBaseboardBytes, "baseboard", intact);

    for (std::int32_t i = 0; i < count; ++i) {
        std::string layerName;
        std::string name;
        CPoint position;
        double realParameter704 = 0.0;
        CColor firstColor;
        CColor secondColor;
        if (!tags.ReadString(701, layerName) || !tags.ReadDouble(702, position.x) ||
            !tags.ReadDouble(703, position.y) || !tags.ReadDouble(704, realParameter704) ||
            !tags.ReadString(705, name) || !ReadColor(tags, 706, firstColor) || !ReadColor(tags, 710, secondColor)) {
            WarnCutShort(tags, "a baseboard");
            return false;
        }

        std::unique_ptr<CBaseboardElement> baseboard = CreateBaseboardElement(
            position, name, firstColor, secondColor, layerName, findLayerByName, realParameter704);
        // A baseboard without its layer is still read to the end, into a
        // scratch object, so that the next one starts at its own records.
        std::unique_ptr<CBaseboardElement> dropped;
        CBaseboardElement& target = baseboard ? *baseboard : *(dropped = std::make_unique<CBaseboardElement>());

        const bool complete =
            ReadBorderPoints(tags, file, target, intact) && ReadBorderSegments(tags, file, target, version, intact);
        if (baseboard) {
            baseboard->RemoveOrphanedPoints();
            baseboards.push_back(baseboard.release());
        }
        if (!complete) return false;
    }
    return intact;
}

bool WriteBaseboards(const tBaseboardElements& baseboards, FILE* file, int version) {
    if (file == nullptr || version < kFirstVersionWithBaseboards) return false;
    if (baseboards.size() > static_cast<std::size_t>(kMaxBaseboards) ||
        !std::all_of(baseboards.begin(), baseboards.end(), IsWritable)) {
        return false;
    }
    CTaggedFile tags(file);
    if (!tags.WriteInt(700, static_cast<std::int32_t>(baseboards.size()))) return false;
    for (const CBaseboardElement* baseboard : baseboards) {
        if (!WriteBaseboard(tags, *baseboard, version)) return false;
    }
    return true;
}

std::unique_ptr<CBaseboardElement> CreateBaseboardElement(const CPoint& position, const std::string& name,
                                                          const CColor& firstColor, const CColor& secondColor,
                                                          const std::string& layerName,
                                                          const tFindLayerByName& findLayerByName,
                                                          double realParameter704) {
    auto baseboard = std::make_unique<CBaseboardElement>(position, realParameter704, name, firstColor, secondColor);
    CLayer* layer = findLayerByName ? findLayerByName(layerName) : nullptr;
    if (layer == nullptr) {
        LogWarning("Layer '%s' not found in layout", layerName.c_str());
        return nullptr;
    }
    if (layer->GetLayerType() != CLayer::kBaseboardLayer) {
        LogWarning("Invalid layer type for '%s' - expected 'Baseboard'", layerName.c_str());
        UActivityAnalytics::TrackIntegrityCheckFailure("InvalidLayerType.CreateBaseboardElement.UBaseboardElements");
    }
    baseboard->SetLayer(layer);
    return baseboard;
}

void MoveAll(const tBaseboardElements& baseboards, double dx, double dy) {
    for (CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) baseboard->MoveBy(dx, dy);
    }
}

tDoubleRect GetBoundingBox(const tBaseboardElements& baseboards) {
    if (baseboards.empty()) return tDoubleRect{};
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard == nullptr) continue;
        for (const auto& entry : baseboard->GetBorderPointMap()) accumulator.AddPoint(entry.second);
        for (const CBorderSegment* segment : baseboard->GetBorderSegments()) {
            // The accumulator empties its rectangle when made, so the
            // segment's bounds are filled in after.
            tDoubleRect segmentBounds;
            CBoundsAccumulator segmentAccumulator(segmentBounds);
            segmentBounds = UCircleArcBorderSegments::GetBoundingBox(*segment, baseboard->GetBorderPointMap());
            accumulator.AddBoundsOf(segmentAccumulator);
        }
    }
    return bounds;
}

CBaseboardElement* FindBaseboardBeingEdited(const tBaseboardElements& baseboards) {
    for (CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr && baseboard->IsEditInProgress()) return baseboard;
    }
    return nullptr;
}

tBaseboardElements CloneBaseboards(const tBaseboardElements& baseboards) {
    tBaseboardElements copies;
    copies.reserve(baseboards.size());
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) copies.push_back(new CBaseboardElement(*baseboard));
    }
    return copies;
}

void AssignLayer(const tBaseboardElements& baseboards, CLayer* layer) {
    for (CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) baseboard->SetLayer(layer);
    }
}

}  // namespace UBaseboardElements
