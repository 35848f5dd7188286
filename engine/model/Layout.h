#pragma once
// CLayout: the layout document. It owns the elements of one track layout
// with their layers, groups, images and baseboards, the layout's parameters
// (workspace size, zoom, track style, display switches, three colours,
// author and dates) and the joint connections between its elements.
//
// It reads the layout file, a file of tagged records that begins with the
// magic "WkSt" and a big-endian file version (3 to 13):
//
//   header       "WkSt", version (unsigned 32-bit big-endian)
//   parameters   tags 400 to 452 in reading order (ReadLayoutParameter)
//   layers       tags 500 to 511, from version 4
//   423          the element count
//   elements     that many element records ("RCig")
//   groups       tag 424 and the tags 425
//   images       tags 600 to 610, from version 10
//   baseboards   tags 700 to 727, from version 11
//
// The app only reads layout files. Main thread only; no locks.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/BasicGeometry.h"
#include "engine/geometry/Color.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ContentChanges.h"
#include "engine/geometry/DoubleRect.h"
#include "engine/model/Groups.h"
#include "engine/model/Image.h"
#include "engine/model/TrackElementsContainer.h"

class CLayer;
class CLayerManager;
class CTrackElementsStatistics;

// The result of CLayout::Load.
enum LayoutErrorCode : int {
    kLayoutLoaded = 0,
    kLayoutFailedToOpenFile = 1,
    kLayoutWrongFileType = 2,        // the first four bytes are not "WkSt"
    kLayoutObsoleteVersion = 3,      // version below 3
    kLayoutVersionNotSupported = 4,  // version 14 or higher
    kLayoutElementsError = 5,        // an element record failed to load
    kLayoutParameterError = 6,       // the parameters or the layers failed
    kLayoutLoadStopped = 7,          // the caller asked the load to stop
};

// Asked between element records and between the steps of a load: true
// makes the load give up as soon as it can (kLayoutLoadStopped). Called on
// the loading thread; none never stops.
using tLoadStopped = std::function<bool()>;

// The sections of a layout file after its elements. They have no result
// code of their own: a file cut short or damaged in one of them still loads
// with what was read before, and the document names the section.
enum class tLayoutSection {
    kNone,
    kGroups,
    kImages,      // from version 10
    kBaseboards,  // from version 11
};

// "groups", "images", "baseboards"; "none".
const char* LayoutSectionName(tLayoutSection section);

// The layout's parameters, one block of plain values so that display edits
// can save and restore it whole. Each field names the tag it is read from;
// texts are NUL-terminated fields cut to their size.
struct CLayoutParameters {
    static constexpr std::size_t kAuthorSize = 128;
    static constexpr std::size_t kCreationDateSize = 32;
    static constexpr std::size_t kText403Size = 32;
    static constexpr std::size_t kText404Size = 4096;
    static constexpr std::size_t kText405Size = 1024;
    static constexpr std::size_t kText406Size = 128;
    static constexpr std::size_t kText407Size = 32;

    // Bits of the display flags word (410).
    static constexpr std::int32_t kShowElementNames = 0x1;
    static constexpr std::int32_t kShowHeightLabels = 0x10;
    // Bits of the track style word (411).
    static constexpr std::int32_t kSingleLineTracks = 0x4;
    static constexpr std::int32_t kTrackMarks = 0x8;
    static constexpr std::int32_t kRailsDrawn = 0x40;
    static constexpr std::int32_t kCurveCentresMarked = 0x400;

    char mAuthor[kAuthorSize] = {};              // 400
    char mCreationDate[kCreationDateSize] = {};  // 402
    char mText403[kText403Size] = {};
    char mText404[kText404Size] = {};
    char mText405[kText405Size] = {};
    char mText406[kText406Size] = {};  // emptied for files below version 13
    char mText407[kText407Size] = {};
    std::uint8_t mLegacyRaw408[4] = {};  // versions 3 to 5
    std::int32_t mLegacyInt409 = 0;      // versions 3 to 5
    std::int32_t mDisplayFlags = 0;      // 410
    std::int32_t mTrackStyle = 0;        // 411
    std::int32_t mInt413 = 1;
    std::int32_t mInt414 = 10;
    std::int32_t mInt415 = 2;
    bool mShowGrid = false;                  // 416
    std::int32_t mZoomPercent = 10;          // 417
    std::int32_t mWorkspaceWidth = 0;        // 418
    std::int32_t mWorkspaceHeight = 0;       // 419
    CColor mFirstColor{0.0, 0.0, 0.0, 1.0};  // 431-434, or 420 below version 6
    std::uint16_t mParameter421[4] = {};     // host order; 0 below version 8
    bool mRender3DTerrain = false;           // 426
    bool m3DOnlyTracks = false;              // 427
    std::int32_t mInt428 = 2;
    std::int32_t mInt429 = 0;
    bool mSwitch430 = false;
    std::int32_t mInt435 = 25;
    CColor mSecondColor{0.25, 0.25, 0.25, 1.0};  // 436-439
    std::int32_t mInt440 = 25;
    std::int32_t mInt441 = 2;
    // 442; the display settings treat 2 (tunnels hidden) apart from the rest.
    std::int32_t mTunnelDisplayMode = 0;
    CColor mThirdColor{0.6, 0.6, 0.6, 1.0};  // 443-446
    std::int32_t mInt447 = 50;
    std::int32_t mInt448 = 0;
    std::int32_t mInt449 = 0;
    std::int32_t mInt450 = 1;
    std::int32_t mInt451 = 24;
    std::int32_t mInt452 = 0;
};

// The parameters from tag 426 on, in file order with the versions that carry
// them. The reader and the test writer both walk this one list, so the two
// cannot drift apart. `visitor` offers Int, Bool and Color(tag, field).
template <typename Visitor, typename Parameters>
void VisitLaterLayoutParameters(Visitor& visitor, Parameters& p, int version) {
    if (version >= 4) {
        visitor.Bool(426, p.mRender3DTerrain);
        visitor.Bool(427, p.m3DOnlyTracks);
    }
    if (version >= 5) {
        visitor.Int(428, p.mInt428);
        visitor.Int(429, p.mInt429);
        visitor.Bool(430, p.mSwitch430);
    }
    if (version >= 8) {
        visitor.Int(435, p.mInt435);
        visitor.Color(436, p.mSecondColor);
        visitor.Int(440, p.mInt440);
    }
    if (version >= 9) {
        visitor.Int(441, p.mInt441);
        visitor.Int(442, p.mTunnelDisplayMode);
        visitor.Color(443, p.mThirdColor);
        visitor.Int(447, p.mInt447);
        visitor.Int(448, p.mInt448);
    }
    if (version >= 11) {
        visitor.Int(449, p.mInt449);
        visitor.Int(450, p.mInt450);
        visitor.Int(451, p.mInt451);
        visitor.Int(452, p.mInt452);
    }
}

// Connection states a joint keeps in its mark byte after RebuildConnections.
enum JointConnectionState : std::uint8_t {
    kJointStateNone = 0,
    kJointStateNear = 1,    // near another joint, but not within the tolerance
    kJointStateHeight = 2,  // within the tolerance in plan, at another height
    kJointStateAngle = 3,   // within the tolerance, not facing each other
};

// The joint index of a document: the enabled joints of all its elements, in
// the order their elements were added. The joints belong to the elements'
// components; an element's joints must be removed before it is deleted.
class CLayoutJoints {
public:
    // The snap distance is UJointSnapping::GetSnapDistance of the gauge of
    // model scale 16, fixed here.
    CLayoutJoints();

    // Appends every enabled joint of the element (brought up to date).
    void AddElementJoints(CCompositeGeometry* element);
    // The same for an element whose joints are up to date already (placed
    // at its origin, nothing changed since): they are not worked out again.
    void AddCurrentElementJoints(const CCompositeGeometry* element);
    // Removes every joint whose parent is `element`, disconnecting each one
    // that is connected (its partner becomes free); the others keep their
    // order. Returns the number removed.
    int RemoveElementJoints(const CCompositeGeometry* element);
    // Every joint gets state 0 and every connected joint is disconnected.
    void ResetConnections();
    // ResetConnections, then forgets every joint: for a document about to
    // delete all its elements.
    void Clear();
    // Connects the free joints that face each other within the tolerance of
    // the preference "QLJointDistanceTolerancePercent" (percent of the
    // larger joint's element gauge) and marks near misses with their state.
    void RebuildConnections();

    const std::vector<CJoint*>& GetJoints() const { return mJoints; }
    double GetSnapDistance() const { return mSnapDistance; }

private:
    std::vector<CJoint*> mJoints;
    double mSnapDistance;
};

class CLayout : public CTrackElementsContainer {
public:
    static constexpr int kOldestFileVersion = 3;
    static constexpr int kNewestFileVersion = 13;

    // An empty document with the default parameters (partly from the
    // preferences), one layer named by "NewLayerName" with the number 1, and
    // its statistics.
    CLayout();
    // Deletes the elements, the layers, the statistics, the images and the
    // baseboards.
    ~CLayout() override;

    CLayout(const CLayout&) = delete;
    CLayout& operator=(const CLayout&) = delete;

    // Replaces the document's contents by those of the file. A failed load
    // is not rolled back: what was read until the failure stays, and the
    // holder replaces the document at its next reset. The file is closed on
    // every path. `stopped` ends it early (its elements read so far stay).
    LayoutErrorCode Load(const std::string& path, const tLoadStopped& stopped = {});

    // The parameters, the layers (from version 4) and the element count, in
    // file order. False when a tag that `version` carries is missing or
    // damaged, or the layers fail. A negative count is 0.
    bool ReadLayoutParameter(FILE* file, int version, int& elementCount);
    // Reads `elementCount` element records (none below 1). An element
    // without components is skipped. Code 5 at the first record that fails;
    // the elements read before it stay. `stopped` is asked before each record.
    LayoutErrorCode LoadElements(FILE* file, int elementCount, const tLoadStopped& stopped = {});
    // The groups list (tags 424 and 425). False when it is missing or
    // damaged; the list is then unchanged.
    bool ReadSerializedGroups(FILE* file, tSerializedGroups& serializedGroups);

    // Deletes every element (its joints leave the index first) and the
    // groups, which referred to them; then refreshes the statistics.
    void ClearElements();
    // Puts the element (now owned) on `layer`, gives it the number
    // GetHighestElementNumber() + 1, appends it and indexes its joints.
    void AddElement(CCompositeGeometry* element, CLayer* layer);
    // AddElement for each, numbered on from one look at the highest
    // number: adding a whole layer one by one looks at every element for
    // each.
    void AddElementsToLayer(const tElements& elements, CLayer* layer);
    // Adds each element on the current layer or, with `useOwnLayer`, on the
    // layer it names when there is one. Then, with `rebuild`, the
    // connections are rebuilt; the statistics are refreshed and the prices
    // applied.
    void AddElements(const tElements& elements, bool rebuild, bool useOwnLayer);
    // Takes the listed elements out of the document without deleting them
    // (the caller owns them again); then rebuilds the connections and
    // refreshes the statistics.
    void RemoveElements(const tElements& elements);
    // Rebuilds the generated components of one of the document's elements.
    // The joint index points into the components that regeneration
    // replaces, so the element's joints leave it first, come back after, and
    // the connections are made again. Returns the regeneration's offset.
    CPoint RegenerateElement(CCompositeGeometry* element);  // defined with the generators

    // The largest element number (kept in the element's attribute value),
    // 0 for an empty document.
    int GetHighestElementNumber() const;

    // Sets the zoom factor itself (not the zoom percent).
    void SetZoom(double zoom) { mZoom = zoom; }
    void SetWorkspaceSize(int width, int height);

    // ---- CTrackElementsContainer
    const tElements& GetElements() const override { return mElements; }

    // The lists themselves, for the display edits that change them for the
    // length of one drawing pass and restore them afterwards. Handing a list
    // out counts as a change (UContentChanges); whoever keeps the list and
    // changes it later notes that change itself.
    tElements& GetElementList() {
        UContentChanges::Note();
        return mElements;
    }
    tImages& GetImages() {
        UContentChanges::Note();
        return mImages;
    }
    const tImages& GetImages() const { return mImages; }
    tBaseboardElements& GetBaseboards() {
        UContentChanges::Note();
        return mBaseboards;
    }
    const tBaseboardElements& GetBaseboards() const { return mBaseboards; }

    // Content bounds that ULayoutBounds keeps for each of its modes, with
    // the count of content changes they were worked out at.
    struct tKeptBounds {
        bool kept = false;
        std::uint64_t changes = 0;
        tDoubleRect box;
    };
    tKeptBounds& KeptContentBounds(bool visibleOnly) { return mKeptBounds[visibleOnly ? 1 : 0]; }

    CLayoutJoints& GetLayoutJoints() { return mJoints; }
    const CLayoutJoints& GetLayoutJoints() const { return mJoints; }
    // Never null.
    CLayerManager& GetLayerManager() const { return *mLayerManager; }
    CGroupsManager& GetGroupsManager() const { return *mGroupsManager; }
    CTrackElementsStatistics& GetStatistics() const { return *mStatistics; }

    double GetZoom() const { return mZoom; }
    // The version of the last file read (0 before any load).
    int GetFileVersion() const { return mFileVersion; }
    // The first section after the elements that the last load could not
    // read whole, because the file ends inside it or a record there is
    // damaged (kNone when every section was whole). What was read before
    // stays loaded; the rest of that section, and often of the sections
    // after it, is missing from the document.
    tLayoutSection GetIncompleteSection() const { return mIncompleteSection; }
    const std::string& GetFilePath() const { return mFilePath; }
    CLayoutParameters& GetParameters() { return mParameters; }
    const CLayoutParameters& GetParameters() const { return mParameters; }

private:
    // Statistics refreshed, then the prices applied.
    void RefreshStatistics();
    // Records (and logs) the first section of a load that ended early.
    void NoteIncompleteSection(tLayoutSection section);
    // Deletes the images and baseboards, which point at layers a load
    // replaces.
    void ClearBackgrounds();

    tElements mElements;
    tImages mImages;
    tBaseboardElements mBaseboards;
    CLayoutJoints mJoints;
    std::unique_ptr<CLayerManager> mLayerManager;
    // Remade when the elements are cleared: a group only refers to elements.
    std::unique_ptr<CGroupsManager> mGroupsManager;
    std::unique_ptr<CTrackElementsStatistics> mStatistics;
    double mZoom = 0.1;
    int mFileVersion = 0;
    tLayoutSection mIncompleteSection = tLayoutSection::kNone;
    CLayoutParameters mParameters;
    std::string mFilePath;
    // The loaded element of each element record of the last LoadElements
    // call, in file order; null for a record that was skipped. The groups
    // list refers to elements by this position.
    tElements mElementsByRecord;
    tKeptBounds mKeptBounds[2];
};
