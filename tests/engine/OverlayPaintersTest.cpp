// Overlay painters as data: the instructions each painter appends (kinds,
// order, colours, sizes, positions) for element names under each flag,
// free-joint marks, curve centres of curves and curved flex tracks, and
// height labels (texts, positions, stacking, one label per joint).

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/OverlayPainters.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/OwnedList.h"

namespace {

const char* const kFont = "AppleSDGothicNeo-Bold";
const CColor kTextColor(0.9, 0.2, 0.1, 1.0);
const CColor kMarkColor(0.1, 0.7, 0.2, 1.0);
const CColor kGrey(0.5, 1.0);

// Every text is 10 wide per byte and as high as its size.
class FixedTextService : public TextCalculationServiceBase {
public:
    std::string GetServiceName() const override { return "TextCalculationService"; }
    tDoubleRect GetTextBounds(std::string, int size, std::string text, double) override {
        return tDoubleRect{0.0, 0.0, static_cast<double>(size), 10.0 * text.size()};
    }
};

// Takes the name, but is no text service: lookups of the interface find none.
class NoTextService : public CLocatableService {
public:
    std::string GetServiceName() const override { return "TextCalculationService"; }
};

void UseTextService(bool present) {
    if (present) CServiceLocator::Instance().RegisterService(new FixedTextService());
    else CServiceLocator::Instance().RegisterService(new NoTextService());
}

void UseUnits(int unitType) {
    if (UPreferences::GetPreferencesService() == nullptr) {
        CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
    }
    UPreferences::SetInt("QLUnits", unitType);
}

// Owns what the painters append.
struct OwnedList {
    tDrawingInstructions list;
    ~OwnedList() { platform::DeleteAll(list); }
};

using tElementPtr = std::unique_ptr<CCompositeGeometry>;

// A straight at offset 0: its centre line runs at y = gauge from x 0 to
// `length`; joint 0 faces +x (angle 0), joint 1 -x (angle 180).
CStraightBIG* NewStraight(double length, double gauge, double bedWidth) {
    auto* straight = new CStraightBIG();
    straight->SetLength(length);
    straight->SetGauge(gauge);
    straight->SetTrackbedWidth(bedWidth);
    straight->SetRailWidth(1.0);
    return straight;
}

tElementPtr NewElement(const std::vector<CBasicGeometry*>& components, const CPoint& position, CLayer* layer,
                       const char* productNumber = "24188") {
    auto element = std::make_unique<CCompositeGeometry>();
    for (CBasicGeometry* component : components) element->GetComponents().push_back(component);
    element->SetPosition(position);
    element->SetLayer(layer);
    element->SetProductNumber(productNumber);
    element->SetLibraryName("Library");
    element->UpdateJoints();
    return element;
}

tElementPtr Straight(const CPoint& position, CLayer* layer, double bedWidth = 20.0) {
    return NewElement({NewStraight(100.0, 10.0, bedWidth)}, position, layer);
}

// A graded straight: every joint at the height of the position's z.
tElementPtr GradedStraight(const CPoint& position, CLayer* layer) {
    tElementPtr element = Straight(position, layer, 110.0);
    element->SetGrade(CGradeVector(CPoint(), CPoint(), 1.0));
    element->UpdateJoints();
    return element;
}

const CTextDrawingInstruction& AsText(const CDrawingInstruction* instruction) {
    const auto* text = dynamic_cast<const CTextDrawingInstruction*>(instruction);
    if (text == nullptr) throw std::logic_error("not a text instruction");
    return *text;
}
const COvalDrawingInstruction& AsOval(const CDrawingInstruction* instruction) {
    const auto* oval = dynamic_cast<const COvalDrawingInstruction*>(instruction);
    if (oval == nullptr) throw std::logic_error("not an oval instruction");
    return *oval;
}
const CPathDrawingInstruction& AsPath(const CDrawingInstruction* instruction) {
    const auto* path = dynamic_cast<const CPathDrawingInstruction*>(instruction);
    if (path == nullptr) throw std::logic_error("not a path instruction");
    return *path;
}

std::vector<CPoint> LinePoints(const CDrawingInstruction* instruction) {
    std::vector<CPoint> points;
    for (const auto& step : AsPath(instruction).mPathMicroInstructions) {
        const auto* line = std::get_if<CPathLineToMicroInstruction>(&step);
        if (line == nullptr) throw std::logic_error("not a line-to step");
        points.push_back(line->mPoint);
    }
    return points;
}

void ExpectPoint(const CPoint& actual, double x, double y, const std::string& name) {
    EXPECT_NEAR(actual.x, x, 1e-9) << name;
    EXPECT_NEAR(actual.y, y, 1e-9) << name;
}

void ExpectStyle(const CDrawingInstruction* instruction, bool fill, bool stroke, const CColor& fillColor,
                 const CColor& strokeColor, const std::string& name) {
    EXPECT_EQ(instruction->mUseFill, fill) << name;
    EXPECT_EQ(instruction->mUseStroke, stroke) << name;
    EXPECT_FALSE(instruction->mUsePattern) << name;
    EXPECT_EQ(instruction->mFillColor, fillColor) << name;
    EXPECT_EQ(instruction->mStrokeColor, strokeColor) << name;
}

}  // namespace

// ----------------------------------------------------------------- names

TEST(OverlayPainters, NamesFollowTheFlagsAndTheElementKind) {
    UseTextService(true);
    CLayer layer("Tracks");

    tElementPtr track = Straight(CPoint(1000, 2000), &layer);
    track->SetLabelText("Bf. Nord");
    tElementPtr house = NewElement(
        {new CPolyBIG({CPoint(0, 0), CPoint(40, 0), CPoint(40, 30), CPoint(0, 30)}, 1, kPolyKindRectangle, 0, 0, 0)},
        CPoint(0, 0), &layer, "House");
    tElementPtr unnamed = Straight(CPoint(0, 0), &layer);
    unnamed->SetProductNumber("");
    tElementPtr text = NewElement({new CTextBIG()}, CPoint(0, 0), &layer, "Sign");

    struct Case {
        const char* name;
        int flags;
        std::vector<std::string> expected;  // names of track, house, unnamed, text
    };
    const Case cases[] = {
        {"no flags: every named element that is no text", 0, {"24188", "House"}},
        {"8: track elements only", 8, {"24188"}},
        {"128: own label where there is one, else the display name", 128, {"Bf. Nord", "House"}},
        {"136: own labels of track elements only", 136, {"Bf. Nord"}},
        {"other bits change nothing", 0x10 | 0x1, {"24188", "House"}},
    };
    for (const Case& c : cases) {
        OwnedList output;
        CElementOverlayDrawingParameters parameters(kFont, c.flags, 14, 11, kTextColor, kMarkColor, &output.list);
        CElementNamePainter painter(&parameters);
        for (CCompositeGeometry* element : {track.get(), house.get(), unnamed.get(), text.get()})
            painter.PaintElement(element);
        painter.PaintElement(nullptr);

        ASSERT_EQ(output.list.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const CTextDrawingInstruction& name = AsText(output.list[i]);
            EXPECT_EQ(name.mText, c.expected[i]) << c.name;
            ExpectStyle(&name, true, false, kTextColor, CColor::Black(), c.name);
            EXPECT_EQ(name.mOutlineWidth, 2) << c.name;
            EXPECT_EQ(name.mFontName, kFont) << c.name;
            EXPECT_EQ(name.mTextSize, 14) << c.name;
            ASSERT_TRUE(name.GetOwnerLayer().has_value()) << c.name;
            EXPECT_EQ(name.GetOwnerLayer()->mName, "Tracks") << c.name;
        }
    }

    // With flag 128 an empty label falls back to the display name.
    track->SetLabelText("");
    OwnedList output;
    CElementOverlayDrawingParameters parameters(kFont, 128, 14, 11, kTextColor, kMarkColor, &output.list);
    CElementNamePainter(&parameters).PaintElement(track.get());
    ASSERT_EQ(output.list.size(), 1u);
    EXPECT_EQ(AsText(output.list[0]).mText, "24188");

    EXPECT_THROW(CElementOverlayDrawingParameters(kFont, 0, 14, 11, kTextColor, kMarkColor, nullptr),
                 std::runtime_error);
    EXPECT_THROW(CElementNamePainter(nullptr), std::runtime_error);
}

TEST(OverlayPainters, NameIsCentredOnceAndItsOffsetReused) {
    UseTextService(true);
    CLayer layer("Tracks");
    // Box of the straight: x 0 to 100, y 0 to 20 (bed 20 about y = 10), so
    // its centre (50, 10) is also the track's centre. "24188" at size 14
    // measures 50 x 14: the offset that centres it is (-25, -7).
    tElementPtr track = Straight(CPoint(1000, 2000), &layer);

    OwnedList output;
    CElementOverlayDrawingParameters first(kFont, 0, 14, 11, kTextColor, kMarkColor, &output.list);
    CElementNamePainter(&first).PaintElement(track.get());
    ASSERT_EQ(output.list.size(), 1u);
    const CTextDrawingInstruction& name = AsText(output.list[0]);
    ExpectPoint(name.mPosition, 1025.0, 2003.0, "first paint");
    EXPECT_EQ(name.mPosition.z, 0.0);
    EXPECT_EQ(name.mBounds, (tDoubleRect{2003.0, 1025.0, 2017.0, 1075.0}));
    ExpectPoint(track->GetCachedPoint(), -25.0, -7.0, "stored offset");

    // A larger size would centre at (-25, -10); the stored offset stays.
    CElementOverlayDrawingParameters larger(kFont, 0, 20, 11, kTextColor, kMarkColor, &output.list);
    CElementNamePainter(&larger).PaintElement(track.get());
    ASSERT_EQ(output.list.size(), 2u);
    ExpectPoint(AsText(output.list[1]).mPosition, 1025.0, 2003.0, "second paint");
    ExpectPoint(track->GetCachedPoint(), -25.0, -7.0, "offset kept");

    // An offset the user moved is used as it is.
    track->SetCachedPoint(CPoint(5.0, -40.0));
    CElementNamePainter(&first).PaintElement(track.get());
    ASSERT_EQ(output.list.size(), 3u);
    ExpectPoint(AsText(output.list[2]).mPosition, 1055.0, 1970.0, "moved offset");
}

TEST(OverlayPainters, NameWithoutTextServiceStaysAtTheOrigin) {
    UseTextService(false);
    CLayer layer("Tracks");
    tElementPtr track = Straight(CPoint(1000, 2000), &layer);

    OwnedList output;
    CElementOverlayDrawingParameters parameters(kFont, 0, 14, 11, kTextColor, kMarkColor, &output.list);
    CElementNamePainter(&parameters).PaintElement(track.get());
    ASSERT_EQ(output.list.size(), 1u);
    const CTextDrawingInstruction& name = AsText(output.list[0]);
    EXPECT_EQ(name.mText, "24188");
    ExpectPoint(name.mPosition, 0.0, 0.0, "origin");
    EXPECT_EQ(name.mBounds, tDoubleRect{});
    ExpectPoint(track->GetCachedPoint(), 0.0, 0.0, "offset untouched");
}

// ----------------------------------------------------------------- free joints

TEST(OverlayPainters, FreeJointMarksOnlyAtOpenEnds) {
    CLayer layer("Tracks");
    // A: (0, 10) to (100, 10); B: (100, 10) to (200, 10), joined at x 100.
    tElementPtr a = Straight(CPoint(0, 0), &layer);
    tElementPtr b = Straight(CPoint(100, 0), &layer);
    CJoint::Connect(a->GetComponents()[0]->GetJoint(1), b->GetComponents()[0]->GetJoint(0));
    // Two loose tracks of gauge 10 and 16 in one element: radius 8 at all four ends.
    tElementPtr pair = NewElement({NewStraight(100, 10, 20), NewStraight(50, 16, 30)}, CPoint(0, 500), &layer);
    tElementPtr house = NewElement(
        {new CPolyBIG({CPoint(0, 0), CPoint(40, 0), CPoint(40, 30), CPoint(0, 30)}, 1, kPolyKindRectangle, 0, 0, 0)},
        CPoint(0, 0), &layer, "House");

    OwnedList output;
    CElementOverlayDrawingParameters parameters(kFont, 0, 14, 11, kTextColor, kMarkColor, &output.list);
    CJointOverlayPainter painter(&parameters);
    for (CCompositeGeometry* element : {a.get(), b.get(), house.get(), pair.get()}) painter.PaintElement(element);

    struct Mark {
        double x, y, radius;
    };
    const Mark marks[] = {{0, 10, 5}, {200, 10, 5}, {0, 510, 8}, {100, 510, 8}, {0, 516, 8}, {50, 516, 8}};
    ASSERT_EQ(output.list.size(), 2 * std::size(marks));
    for (std::size_t i = 0; i < std::size(marks); ++i) {
        const std::string name = "mark " + std::to_string(i);
        const COvalDrawingInstruction& filled = AsOval(output.list[2 * i]);
        ExpectStyle(&filled, true, false, kMarkColor, CColor::White(), name + " filled");
        ExpectPoint(filled.mPosition, marks[i].x, marks[i].y, name + " filled");
        EXPECT_EQ(filled.mRadiusX, marks[i].radius) << name;
        EXPECT_EQ(filled.mRadiusY, marks[i].radius) << name;
        EXPECT_EQ(filled.mLineWidth, 1.0) << name;
        // Bounds are computed: radius and line width about the centre.
        EXPECT_EQ(filled.mBounds.minX, marks[i].x - marks[i].radius - 1.0) << name;

        const COvalDrawingInstruction& outline = AsOval(output.list[2 * i + 1]);
        ExpectStyle(&outline, false, true, CColor::White(), kGrey, name + " outline");
        ExpectPoint(outline.mPosition, marks[i].x, marks[i].y, name + " outline");
        EXPECT_EQ(outline.mRadiusX, marks[i].radius) << name;
        EXPECT_EQ(outline.mLineWidth, 0.5) << name;
    }
}

// ----------------------------------------------------------------- curve centres

TEST(OverlayPainters, CurveCentresOfCurvesAndCurvedFlexTracks) {
    CLayer layer("Tracks");
    // A curve of radius 100 over 90 degrees, gauge 10: joint 0 at (0, 10)
    // heading +x, turning left about (0, 110) to joint 1 at (100, 110).
    auto* curve = new CCurveBIG();
    curve->SetRadius(100.0);
    curve->SetArcAngle(90.0);
    curve->SetGauge(10.0);
    curve->SetTrackbedWidth(20.0);
    tElementPtr curved = NewElement({curve}, CPoint(1000, 2000), &layer);
    // Both ends joined: the centre is drawn all the same.
    tElementPtr before = Straight(CPoint(900, 2000), &layer);
    tElementPtr after = Straight(CPoint(1100, 2100), &layer);
    CJoint::Connect(curve->GetJoint(0), before->GetComponents()[0]->GetJoint(1));
    CJoint::Connect(curve->GetJoint(1), after->GetComponents()[0]->GetJoint(0));

    // A curved flex track of radius 50 over a chord of 60: its centre lies
    // 40 to the left of the chord's middle. Without the radius parameter
    // the middle itself.
    auto flexElement = [&](bool withRadius) {
        tElementPtr flex = NewElement({new CFlexTrackBIG(CPoint(0, 0), CPoint(60, 0), true, true, 0, 0, 500, 8, 20, 1)},
                                      CPoint(1000, 2000), &layer);
        tGeneratorParameters generator;
        if (withRadius) generator.emplace(5, CGeneratorParameter("50.000000"));
        flex->GetGeneratorMap().emplace(2, generator);
        return flex;
    };
    tElementPtr flex = flexElement(true);
    tElementPtr flexWithoutRadius = flexElement(false);
    tElementPtr plainFlex = NewElement(
        {new CFlexTrackBIG(CPoint(0, 0), CPoint(60, 0), true, true, 0, 0, 500, 8, 20, 1)}, CPoint(0, 0), &layer);
    tElementPtr straight = Straight(CPoint(0, 0), &layer);

    struct Case {
        const char* name;
        CCompositeGeometry* element;
        bool drawn;
        double cx, cy, gauge;
        double j0x, j0y, j1x, j1y;
    };
    const Case cases[] = {
        {"curve with both ends joined", curved.get(), true, 1000, 2110, 10, 1000, 2010, 1100, 2110},
        {"curved flex track", flex.get(), true, 1030, 2040, 8, 1000, 2000, 1060, 2000},
        {"curved flex track without radius", flexWithoutRadius.get(), true, 1030, 2000, 8, 1000, 2000, 1060, 2000},
        {"flex track of no generator", plainFlex.get(), false, 0, 0, 0, 0, 0, 0, 0},
        {"straight", straight.get(), false, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        OwnedList output;
        CElementOverlayDrawingParameters parameters(kFont, 0, 14, 11, kTextColor, kMarkColor, &output.list);
        CCurveCenterOverlayPainter(&parameters).PaintElement(c.element);
        if (!c.drawn) {
            EXPECT_TRUE(output.list.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(output.list.size(), 4u) << c.name;
        const double r = c.gauge / 4.0;

        const COvalDrawingInstruction& circle = AsOval(output.list[0]);
        ExpectStyle(&circle, false, true, CColor::White(), kGrey, std::string(c.name) + " circle");
        ExpectPoint(circle.mPosition, c.cx, c.cy, std::string(c.name) + " circle");
        EXPECT_EQ(circle.mRadiusX, r) << c.name;
        EXPECT_EQ(circle.mRadiusY, r) << c.name;
        EXPECT_EQ(circle.mLineWidth, 0.5) << c.name;

        const CPathDrawingInstruction& cross = AsPath(output.list[1]);
        ExpectStyle(&cross, false, true, CColor::White(), CColor::Black(), std::string(c.name) + " cross");
        EXPECT_EQ(cross.mLineWidth, 0.5) << c.name;
        EXPECT_FALSE(cross.mDrawWithDash) << c.name;
        const std::vector<CPoint> crossPoints = LinePoints(&cross);
        ASSERT_EQ(crossPoints.size(), 5u) << c.name;
        ExpectPoint(crossPoints[0], c.cx, c.cy - 3 * r, std::string(c.name) + " cross 0");
        ExpectPoint(crossPoints[1], c.cx, c.cy + 3 * r, std::string(c.name) + " cross 1");
        ExpectPoint(crossPoints[2], c.cx, c.cy, std::string(c.name) + " cross 2");
        ExpectPoint(crossPoints[3], c.cx - 3 * r, c.cy, std::string(c.name) + " cross 3");
        ExpectPoint(crossPoints[4], c.cx + 3 * r, c.cy, std::string(c.name) + " cross 4");
        EXPECT_NEAR(cross.mBounds.minX, c.cx - 3 * r - 0.5, 1e-9) << c.name;

        const double joints[2][2] = {{c.j0x, c.j0y}, {c.j1x, c.j1y}};
        for (int j = 0; j < 2; ++j) {
            const std::string name = std::string(c.name) + " radius line " + std::to_string(j);
            const CPathDrawingInstruction& line = AsPath(output.list[2 + j]);
            ExpectStyle(&line, false, true, CColor::White(), kGrey, name);
            EXPECT_EQ(line.mLineWidth, 0.5) << name;
            EXPECT_TRUE(line.mDrawWithDash) << name;
            EXPECT_EQ(line.mDashPattern[0], c.gauge) << name;
            EXPECT_EQ(line.mDashPattern[1], c.gauge) << name;
            const std::vector<CPoint> points = LinePoints(&line);
            ASSERT_EQ(points.size(), 2u) << name;
            ExpectPoint(points[0], joints[j][0], joints[j][1], name + " start");
            ExpectPoint(points[1], c.cx, c.cy, name + " end");
        }
    }
}

// ----------------------------------------------------------------- height labels

TEST(OverlayPainters, HeightLabelTextInTheUsersUnit) {
    struct Case {
        const char* name;
        int unitType;
        double height;
        const char* expected;
    };
    const Case cases[] = {
        {"12 mm in centimetres", UMeasureUnits::kUnitTypeCentimeters, 12.0, "+1.2"},
        {"below ground", UMeasureUnits::kUnitTypeCentimeters, -12.0, "-1.2"},
        {"just below zero keeps the plus", UMeasureUnits::kUnitTypeCentimeters, -0.05, "+0.0"},
        {"-0.1 itself keeps the plus", UMeasureUnits::kUnitTypeMillimeters, -0.1, "+0.1"},
        {"millimetres", UMeasureUnits::kUnitTypeMillimeters, 25.55, "+25.6"},
        {"inches, no unit name", UMeasureUnits::kUnitTypeInches, 50.8, "+2.0"},
        {"ground level", UMeasureUnits::kUnitTypeMeters, 0.0, "+0.0"},
    };
    for (const Case& c : cases) {
        UseUnits(c.unitType);
        CJoint joint;
        joint.SetLayoutPoint(CPoint(1, 2, c.height));
        EXPECT_EQ(UHeightLabels::GetHeightLabelText(&joint), c.expected) << c.name;
    }
}

// A joint without element: pushed by half the label size 10 only, turned
// by fmod(angle - 90 + 3600, 180) about the joint; "+1.0" measures 40 x 14.
TEST(OverlayPainters, HeightLabelPositionTurnsWithTheJoint) {
    UseTextService(true);
    OwnedList output;
    CElementOverlayDrawingParameters parameters(kFont, 0, 14, 10, kTextColor, kMarkColor, &output.list);
    struct Case {
        const char* name;
        double angle;
        double offset;
        double turn;  // degrees
    };
    const Case cases[] = {
        {"angle 0", 0.0, 0.0, 90.0},          {"angle 30", 30.0, 0.0, 120.0},
        {"angle 250", 250.0, 0.0, 160.0},     {"angle 90: no turn", 90.0, 0.0, 0.0},
        {"negative angle", -45.0, 0.0, 45.0}, {"stacked twice", 30.0, 20.0, 120.0},
    };
    for (const Case& c : cases) {
        CJoint joint;
        joint.SetLayoutPoint(CPoint(100, 200, 10));
        joint.SetAngle(c.angle);
        const double turn = c.turn * CPoint::kDegreesToRadians;
        const CPoint position = UHeightLabels::GetHeightLabelPosition(&joint, c.offset, "+1.0", &parameters);
        EXPECT_NEAR(position.x, 100 + 5 * std::cos(turn) - 20 + c.offset, 1e-9) << c.name;
        EXPECT_NEAR(position.y, 200 + 5 * std::sin(turn) - 7 + c.offset, 1e-9) << c.name;
        EXPECT_EQ(position.z, 0.0) << c.name;
    }
}

namespace {

struct Label {
    std::string text;
    double x, y;
};

std::vector<Label> PaintLabels(const CLayout& layout, const tElements& elements, bool measured = true) {
    OwnedList output;
    CElementOverlayDrawingParameters parameters(kFont, 0, 14, 10, kTextColor, kMarkColor, &output.list);
    CElementHeightLabelPainter painter(&layout, &parameters);
    painter.PaintHeightLabels(elements);
    std::vector<Label> labels;
    for (const CDrawingInstruction* instruction : output.list) {
        const CTextDrawingInstruction& text = AsText(instruction);
        EXPECT_EQ(text.mTextSize, 10);
        EXPECT_EQ(text.mOutlineWidth, 4);
        EXPECT_EQ(text.mFontName, kFont);
        EXPECT_EQ(text.mPosition.z, 0.0);
        ExpectStyle(&text, true, false, kTextColor, CColor::Black(), "label " + text.mText);
        // Bounds computed with the label's own size.
        if (measured) {
            EXPECT_EQ(text.mBounds.maxY - text.mBounds.minY, 10.0);
        }
        labels.push_back({text.mText, text.mPosition.x, text.mPosition.y});
    }
    return labels;
}

void ExpectLabels(const std::vector<Label>& actual, const std::vector<Label>& expected, const std::string& name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].text, expected[i].text) << name << " label " << i;
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-9) << name << " label " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-9) << name << " label " << i;
    }
}

}  // namespace

// Label positions: bed width 110 pushes by sqrt(27.5 x 110) = 55 plus half
// the label size 10, so 60 from the joint. Both joints of a straight along
// x (angles 0 and 180) turn that by fmod(angle - 90 + 3600, 180) = 90
// degrees, to 60 above the joint. A label "+10.0" measures 50 x 14 (with the
// names' size) and is centred there.
TEST(OverlayPainters, HeightLabelsOneLabelPerJoint) {
    UseTextService(true);
    UseUnits(UMeasureUnits::kUnitTypeMillimeters);
    CLayout layout;
    layout.GetParameters().mDisplayFlags = 0;
    CLayer layer("Tracks");

    // A at height 10 from (0, 10) to (100, 10); B at 20 from (100, 10) to
    // (200, 10), joined to A.
    tElementPtr a = GradedStraight(CPoint(0, 0, 10), &layer);
    tElementPtr b = GradedStraight(CPoint(100, 0, 20), &layer);
    CJoint::Connect(a->GetComponents()[0]->GetJoint(1), b->GetComponents()[0]->GetJoint(0));

    // Joined joints on one spot: one label, the higher joint's, whichever
    // comes first.
    const std::vector<Label> joined = {{"+10.0", -25, 63}, {"+20.0", 75, 63}, {"+20.0", 175, 63}};
    ExpectLabels(PaintLabels(layout, {a.get(), b.get()}), joined, "A then B");
    ExpectLabels(PaintLabels(layout, {b.get(), a.get()}), joined, "B then A");

    // C at height 30 starts 0.3 beside A's loose end: same rounded spot. The
    // free joint gets a label of its own, 10 further along x and y; A's end
    // keeps its label.
    tElementPtr a2 = GradedStraight(CPoint(0, 0, 10), &layer);
    tElementPtr c = GradedStraight(CPoint(100.3, 0, 30), &layer);
    ExpectLabels(PaintLabels(layout, {a2.get(), c.get()}),
                 {{"+10.0", -25, 63}, {"+10.0", 75, 63}, {"+30.0", 85.3, 73}, {"+30.0", 175.3, 63}},
                 "loose ends on one spot");
    ExpectLabels(PaintLabels(layout, {c.get(), a2.get()}),
                 {{"+10.0", -25, 63}, {"+30.0", 75.3, 63}, {"+10.0", 85, 73}, {"+30.0", 175.3, 63}},
                 "loose ends on one spot, higher first");
}

TEST(OverlayPainters, HeightLabelsSkipHiddenUngradedAndNonTrackElements) {
    UseTextService(true);
    UseUnits(UMeasureUnits::kUnitTypeMillimeters);
    CLayout layout;
    CLayer visible("Tracks");
    CLayer hidden("Hidden");
    hidden.SetVisible(false);

    tElementPtr graded = GradedStraight(CPoint(0, 0, 10), &visible);
    tElementPtr flat = Straight(CPoint(0, 500), &visible, 110.0);
    tElementPtr onHidden = GradedStraight(CPoint(0, 1000, 10), &hidden);
    tElementPtr noLayer = GradedStraight(CPoint(0, 1500, 10), nullptr);
    tElementPtr house = NewElement(
        {new CPolyBIG({CPoint(0, 0), CPoint(40, 0), CPoint(40, 30), CPoint(0, 30)}, 1, kPolyKindRectangle, 0, 0, 0)},
        CPoint(0, 2000), &visible, "House");
    const tElements all = {graded.get(), flat.get(), onHidden.get(), noLayer.get(), house.get(), nullptr};

    // Bit 0x20: graded elements only.
    layout.GetParameters().mDisplayFlags = 0x20;
    ExpectLabels(PaintLabels(layout, all), {{"+10.0", -25, 63}, {"+10.0", 75, 63}}, "graded only");

    layout.GetParameters().mDisplayFlags = 0;
    ExpectLabels(PaintLabels(layout, all),
                 {{"+10.0", -25, 63}, {"+0.0", -20, 563}, {"+10.0", 75, 63}, {"+0.0", 80, 563}},
                 "flat ones too, in key order: x first, then y");
}

TEST(OverlayPainters, HeightLabelWithoutTextServiceAtTheOrigin) {
    UseTextService(false);
    UseUnits(UMeasureUnits::kUnitTypeMillimeters);
    CLayout layout;
    layout.GetParameters().mDisplayFlags = 0;
    CLayer layer("Tracks");
    tElementPtr a = GradedStraight(CPoint(300, 400, 10), &layer);
    ExpectLabels(PaintLabels(layout, {a.get()}, false), {{"+10.0", 0, 0}, {"+10.0", 0, 0}}, "no service");

    EXPECT_THROW(CElementHeightLabelPainter(nullptr, nullptr), std::runtime_error);
}
