#pragma once
// Composing whole layouts for test files: an owning document that the file
// writer can write in any version, and a composer that places tracks end to
// end (each new track starts where the previous one left off, facing the
// same way, so the reader connects their joints), puts texts and shapes,
// layers, groups, images and baseboards in, and prices parts.
//
// Test support only. Lengths are millimetres, angles degrees (counter-
// clockwise positive); a heading is the direction of travel.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/geometry/Color.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Groups.h"
#include "engine/model/Image.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/geometry/Point.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace ULayoutGen {

// ------------------------------------------------------------ documents

// A layout ready to be written. Owns what the file writer only points at.
struct tLayoutDocument {
    int version = CLayout::kNewestFileVersion;
    // Element record version; the file version unless a scenario says else.
    int recordVersion = CCompositeGeometry::kNewestRecordVersion;
    CLayoutParameters parameters = DefaultParameters();
    // Null: the writer's one layer "Layer 1".
    std::unique_ptr<CLayerManager> layers;
    std::vector<std::unique_ptr<CCompositeGeometry>> elements;
    tSerializedGroups groups;
    std::vector<std::unique_ptr<CImageElement>> images;
    std::vector<std::unique_ptr<CBaseboardElement>> baseboards;

    // Fixed values, so that equal inputs give equal files: author
    // "layoutgen", a fixed creation date, zoom 100, workspace 4000 x 3000.
    static CLayoutParameters DefaultParameters();

    // What the writer needs; valid while the document lives unchanged.
    ULayoutFileWriter::tLayoutFile FileContent() const;
    // The sections `version` leaves out: images below 10, baseboards below
    // 11, layers below 4 (only those that are not the plain default).
    std::vector<std::string> SectionsLeftOut() const;
    // Image `index` (which must exist) made again of the picture `bytes`,
    // with the name, place, size and layer it had.
    void ReplacePicture(std::size_t index, const std::vector<std::uint8_t>& bytes);
};

// A track library ready to be written.
struct tLibraryDocument {
    ULayoutFileWriter::tTrackLibraryFile header;  // its element list is filled by FileContent
    std::vector<std::unique_ptr<CCompositeGeometry>> elements;

    ULayoutFileWriter::tTrackLibraryFile FileContent() const;
};

// ------------------------------------------------------------ composing

// Where a track starts: its entry point and heading.
struct tPose {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double heading = 0.0;
};

// The catalogue and appearance of one element. An empty library name makes
// the element user-created (not a library part; a user-created flex track is
// still a part).
struct tPart {
    std::string productNumber;
    std::string manufacturer;
    std::string libraryName;
    std::string description;
    std::string label;
    std::int32_t price = 0;         // hundredths
    std::int32_t currencyId = 129;  // EUR
    std::int32_t modelScale = 16;   // H0
    std::int32_t elementType = 0;   // 0: left for the reader to guess
    tTrackMeasures measures;
    std::optional<CColor> firstColor;
    std::optional<CColor> secondColor;
    std::int32_t startTrim = 0;  // tunnel section, percent of the length
    std::int32_t endTrim = 0;
    // Translations of the description by language code.
    std::map<std::string, std::string> descriptions;
    // The layer named in the record; empty: the composer's current layer.
    std::string layerName;
    // Height a track gains from its start to its end (below 0: loses), laid
    // as the element's grade.
    double rise = 0.0;
};

// One side of a baseboard's border laid as a circular arc about `centre`,
// counter-clockwise in the plan unless `clockwise`.
struct tBorderArc {
    CPoint centre;
    bool clockwise = false;
};

// Which end of a track.
enum class tTrackEnd { Start, End, Branch };

// A real as generator parameters hold it: six decimals.
std::string ParameterText(double value);

// Adds a generator of `type` to the element and builds its components. The
// element stands at the origin meanwhile, since the generators place their
// parts at the joints' layout points. Returns the shift of the element's
// own origin, as UGeneratedElements::RegenerateComponents does; false in
// `made` (when given) when the generator gave nothing and the element was
// left as it was (the generator then taken out again).
CPoint AddGenerator(CCompositeGeometry& element, int type, const std::map<int, std::string>& parameters,
                    bool* made = nullptr);

// What kind of thing the composer made of an element.
enum class tElementKind { Straight, Curve, Turnout, Flex, Text, Rectangle, Polygon, Line, Oval, Arrow, Dimension };
const char* ElementKindName(tElementKind kind);

class CLayoutComposer {
public:
    // Appends to `document`, which must outlive the composer.
    explicit CLayoutComposer(tLayoutDocument& document);

    // ---- layers. The first layer made replaces the writer's default one.
    // Elements, images and baseboards go on the current layer unless they
    // name one. False when a layer of that name exists already.
    bool AddLayer(const std::string& name, std::int32_t type, bool visible, bool locked,
                  const std::optional<CColor>& color);
    // False when there is no layer of that name.
    bool UseLayer(const std::string& name);
    // The last layer added of `type`, or null.
    CLayer* LastLayerOfType(std::int32_t type) const;
    CLayer* FindLayer(const std::string& name) const;

    // ---- tracks. Each starts at `at`, or where the last track ended
    // (0, 0 heading 0 before the first). Returns the element index.
    std::size_t AddStraight(const tPart& part, double length, const std::optional<tPose>& at = {});
    // `sweep` above 0 turns counter-clockwise in the plan (from x towards
    // y), below 0 clockwise.
    std::size_t AddCurve(const tPart& part, double radius, double sweep, const std::optional<tPose>& at = {});
    // A straight of `length` and a curve of `radius` and `sweep` leaving
    // from the same end. Left and right are as the reader's type guess names
    // them: a left turnout's branch turns clockwise in the plan, a right
    // one's counter-clockwise. The chain goes on along the straight;
    // Exit(index, true) is the end of the branch.
    std::size_t AddTurnout(const tPart& part, double length, double radius, double sweep, bool left,
                           const std::optional<tPose>& at = {});
    // A flex track from the start to the point `length` ahead and `bend`
    // aside (counter-clockwise side), at most `maxLength` long.
    std::size_t AddFlex(const tPart& part, double length, double bend, double maxLength,
                        const std::optional<tPose>& at = {});
    // A flex track that arrives at `target`'s point travelling along its
    // heading: a Bezier curve that leaves and arrives along the headings,
    // so that both of its ends meet the tracks there.
    std::size_t AddFlexTo(const tPart& part, const tPose& target, double maxLength,
                          const std::optional<tPose>& at = {});

    // The end where a track element leaves off (branch: the curve's end of
    // a turnout); nullopt for an index that is no track.
    std::optional<tPose> Exit(std::size_t index, bool branch = false) const;
    // An end of a track, heading the way one travels through it there: into
    // the track at its start, out of it at the others.
    std::optional<tPose> EndOf(std::size_t index, tTrackEnd end) const;
    // A bumper (0 Bracket, 1 Hayes, 2 Earthen, 3 Friction) at one end of a
    // straight, curve or flex track, which closes that end; the track stays
    // where it is. False for another element or end, or when nothing was
    // made.
    bool AddBumper(std::size_t index, tTrackEnd end, int type);
    // A tunnel portal of `style` (1 to 4) at one end of a straight, curve or
    // flex track, across it. False as for AddBumper.
    bool AddPortal(std::size_t index, tTrackEnd end, int style);

    // Where the next track starts when it gives no pose.
    void ContinueFrom(const tPose& pose) { mChain = pose; }
    const tPose& Chain() const { return mChain; }

    // ---- texts and shapes, placed by the lower left corner of their box
    // before turning by `angle`.
    std::size_t AddText(const tPart& part, const std::string& text, const std::string& font, std::int32_t size,
                        const CPoint& at, double angle);
    std::size_t AddRectangle(const tPart& part, double width, double height, std::int32_t lineWidth, const CPoint& at,
                             double angle);
    std::size_t AddPolygon(const tPart& part, const std::vector<CPoint>& points, std::int32_t lineWidth,
                           const CPoint& at, double angle);
    std::size_t AddLine(const tPart& part, const CPoint& from, const CPoint& to, std::int32_t lineWidth);
    std::size_t AddOval(const tPart& part, double radiusX, double radiusY, std::int32_t lineWidth, const CPoint& at);

    // ---- generated marks between two layout points: an arrow with head
    // and tail shapes and sizes as the arrow generator takes them, and a
    // dimension `offset` steps aside with its length as text.
    std::size_t AddArrow(const tPart& part, const CPoint& from, const CPoint& to, int head, int headSize, int tail,
                         int tailSize);
    std::size_t AddDimension(const tPart& part, const CPoint& from, const CPoint& to, int offset, int fontSize,
                             double lineWidth);

    // ---- groups: members are element indices, `parent` an earlier group's
    // index or -1. False (nothing added) for an index out of range.
    bool AddGroup(const std::vector<std::size_t>& members, int parent);
    std::size_t GroupCount() const { return mGroups.size(); }

    // ---- images and baseboards, on the named layer or else on the last
    // layer of their type; null when there is none.
    CImageElement* AddImage(const std::string& name, const CPoint& at, double width, double height, int pixelsWide,
                            int pixelsHigh, const std::string& layerName);
    // A closed border through `corners` (at least 3): straight segments,
    // but arcs[i] makes the side from corner i to the next an arc.
    CBaseboardElement* AddBaseboard(const std::string& name, const std::vector<CPoint>& corners,
                                    const std::optional<CColor>& fill, const std::string& layerName,
                                    const std::map<std::size_t, tBorderArc>& arcs = {});

    // Sets price (and currency when given) of every element with that
    // product number, made so far. Returns how many.
    int SetPrice(const std::string& productNumber, std::int32_t price, std::optional<std::int32_t> currencyId);

    // Writes the groups into the document (call once at the end).
    void Finish();

    tElementKind KindOf(std::size_t index) const { return mKinds.at(index); }
    std::size_t ElementCount() const { return mDocument.elements.size(); }

private:
    struct tExits {
        std::optional<tPose> main;
        std::optional<tPose> branch;
        std::optional<tPose> entry;
        // The joints of the first component at the start and the main end.
        int entryJoint = 0;
        int exitJoint = 1;
    };
    struct tGroup {
        std::vector<std::size_t> members;
        int parent = -1;
    };

    // Applies the part to a builder: catalogue, price, scale, type, label,
    // colours, trims, translations and layer.
    void Describe(CElementBuilder& builder, const tPart& part) const;
    std::size_t Append(std::unique_ptr<CCompositeGeometry> element, tElementKind kind, tExits exits);
    std::string LayerFor(const tPart& part) const;
    // Lays a placed track on a grade that gains `rise` from its start joint
    // to its main end joint (first component).
    static void LayOnGrade(CCompositeGeometry& element, double rise, const tExits& exits);
    // A generated mark from `from` to `to`, its generator given the vector
    // between them as keys 12 and 13.
    std::size_t AddMark(const tPart& part, const CPoint& from, const CPoint& to, int type,
                        std::map<int, std::string> parameters, tElementKind kind);
    // The single-track element and its component joint at that end, or null.
    CCompositeGeometry* TrackEnd(std::size_t index, tTrackEnd end, int& joint) const;

    tLayoutDocument& mDocument;
    CLayer* mCurrentLayer = nullptr;
    tPose mChain;
    std::vector<tElementKind> mKinds;
    std::vector<tExits> mExits;
    std::vector<tGroup> mGroups;
};

// ------------------------------------------------------------ images

// A PNG of `width` x `height` RGB pixels (1 to 256 each) in a pattern of
// `seed`: uncompressed deflate blocks, so it needs no compressor.
std::vector<std::uint8_t> TinyPng(int width, int height, std::uint32_t seed);

}  // namespace ULayoutGen
