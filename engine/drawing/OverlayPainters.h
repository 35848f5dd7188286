#pragma once
// The overlays drawn above a layout's elements: element names, marks at free
// joints (open track ends), the centres of curved tracks, and height labels
// at track joints. The painters do not draw: they turn one element at a time
// into drawing instructions and append them to the output list of a
// CElementOverlayDrawingParameters, which owns them from then on.
//
// Coordinates are layout millimetres, angles degrees.

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"

class CCompositeGeometry;
class CJoint;
class CLayout;

// What the overlay painters share: the look of names and labels and the
// list every instruction goes to.
class CElementOverlayDrawingParameters {
public:
    // Bits of mFlags.
    static constexpr std::int32_t kNamesOnlyForTracks = 8;
    static constexpr std::int32_t kUseElementLabelText = 128;

    // `output` (not owned) receives every instruction; a null list fails
    // through UErrorHandling::ThrowIfNull.
    CElementOverlayDrawingParameters(const std::string& fontName, std::int32_t flags, std::int32_t textSize,
                                     std::int32_t heightLabelSize, const CColor& textColor, const CColor& markColor,
                                     tDrawingInstructions* output);
    virtual ~CElementOverlayDrawingParameters() = default;

    // Computes the instruction's bounds and appends it to the output list,
    // which owns it from then on. Null is ignored.
    void AddInstruction(CDrawingInstruction* instruction);

    // Font of names and height labels.
    std::string mFontName;
    std::int32_t mFlags;
    // Size of names; height labels are measured with it too.
    std::int32_t mTextSize;
    // Text size of height labels; half of it also pushes each label away
    // from its joint.
    std::int32_t mHeightLabelSize;
    // Fill of names and height labels.
    CColor mTextColor;
    // Fill of free-joint marks.
    CColor mMarkColor;
    // Not owned, never null.
    tDrawingInstructions* mOutput;
};

// Appends the overlay of one element to the parameters' list.
class CElementOverlayPainter {
public:
    virtual ~CElementOverlayPainter() = default;

    // A null element adds nothing.
    virtual void PaintElement(CCompositeGeometry* element) = 0;

protected:
    // `parameters` (not owned) must outlive the painter; null fails through
    // UErrorHandling::ThrowIfNull.
    explicit CElementOverlayPainter(CElementOverlayDrawingParameters* parameters);

    CElementOverlayDrawingParameters* mParameters;
};

// The element's name, centred on the element. Elements without a product
// number and text elements get none; with kNamesOnlyForTracks only track
// elements get one. The first paint with a text measurement service stores
// the name's offset in the element (its cached point) while that is still
// (0, 0); later paints reuse it.
class CElementNamePainter : public CElementOverlayPainter {
public:
    explicit CElementNamePainter(CElementOverlayDrawingParameters* parameters) : CElementOverlayPainter(parameters) {}
    void PaintElement(CCompositeGeometry* element) override;
};

// For a track element, two circles at every free joint: a filled one in the
// mark colour (its stroke colour, white, is carried but a fill-only style
// draws no rim), then a thin grey outline, both of half the element's
// largest gauge.
class CJointOverlayPainter : public CElementOverlayPainter {
public:
    explicit CJointOverlayPainter(CElementOverlayDrawingParameters* parameters) : CElementOverlayPainter(parameters) {}
    void PaintElement(CCompositeGeometry* element) override;
};

// For a curved track, or a flex track made by the curved flex-track
// generator, the centre of its circle: a small grey circle, a black cross
// and a dashed grey line from each of the two joints to the centre.
class CCurveCenterOverlayPainter : public CElementOverlayPainter {
public:
    explicit CCurveCenterOverlayPainter(CElementOverlayDrawingParameters* parameters)
        : CElementOverlayPainter(parameters) {}
    void PaintElement(CCompositeGeometry* element) override;
};

// Height labels at the joints of track elements. Joints are collected by
// their position rounded to whole millimetres: of connected joints at one
// spot only the highest keeps a label; a free joint at a spot already taken
// gets a label of its own, stacked 10 units further along x and y. A joint
// is added or takes a spot's label over, never both, so no joint is
// labelled twice and none is lost.
class CElementHeightLabelPainter {
public:
    // Bit of the layout's display flags word: only elements whose grade
    // rises (height above 0.001) are labelled.
    static constexpr std::int32_t kOnlyGradedElements = 0x20;
    // Stacking step of labels on one spot.
    static constexpr double kStackingOffset = 10.0;

    // Position key: x, then y, each rounded to the nearest whole number.
    using tPositionKey = std::pair<double, double>;
    using tJointMap = std::multimap<tPositionKey, CJoint*>;

    // Neither is owned; both must outlive the painter. Null fails through
    // UErrorHandling::ThrowIfNull.
    CElementHeightLabelPainter(const CLayout* layout, CElementOverlayDrawingParameters* parameters);

    // Collects the joints of the track elements on visible layers (with the
    // layout's kOnlyGradedElements bit, graded ones only). A joint whose
    // plan position is not finite is left out.
    void CollectJoints(const tElements& elements);
    // Appends one label per collected entry, in key order.
    void DrawLabels();
    // CollectJoints, then DrawLabels.
    void PaintHeightLabels(const tElements& elements);

    const tJointMap& GetJoints() const { return mJoints; }

private:
    void AddJoint(CJoint* joint);

    tJointMap mJoints;
    const CLayout* mLayout;
    CElementOverlayDrawingParameters* mParameters;
};

// One height label: its text, its position and its text instruction.
namespace UHeightLabels {

// Text, position and instruction, in that order. A null joint adds nothing.
void AppendHeightLabel(const CJoint* joint, CElementOverlayDrawingParameters* parameters, double stackingOffset);

// "-" below a height of -0.1 mm, else "+"; then the absolute height in the
// user's unit with one decimal, no unit name ("+1.2" for 12 mm in cm).
std::string GetHeightLabelText(const CJoint* joint);

// The joint's plan point pushed along x by half the height-label size plus
// sqrt(27.5 x the element's largest bed width), turned about the joint by
// fmod(joint angle - 90 + 3600, 180), then moved back by half the text's
// measured size and on by the stacking offset in x and y; z 0. The origin
// without a text measurement service.
CPoint GetHeightLabelPosition(const CJoint* joint, double stackingOffset, const std::string& labelText,
                              const CElementOverlayDrawingParameters* parameters);

// Appends the text instruction of a label.
void AddHeightLabelInstruction(const CPoint& position, const std::string& labelText,
                               CElementOverlayDrawingParameters* parameters);

}  // namespace UHeightLabels
