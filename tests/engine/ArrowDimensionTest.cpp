// Arrows and dimensions: the components each shape code makes and where they
// land, and the numbers, lines and arrows of a dimension.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/generators/ArrowGenerator.h"
#include "engine/generators/DimensionGenerator.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/TextCalculationService.h"
#include "tests/support/EngineServices.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "platform/foundation/OwnedList.h"

using testsupport::ExpectPoint;

namespace {

// Owns what a generator returns.
struct Generated {
    explicit Generated(tComponents list) : components(std::move(list)) {}
    ~Generated() { platform::DeleteAll(components); }
    CPolyBIG* Poly(std::size_t index) const {
        return index < components.size() ? dynamic_cast<CPolyBIG*>(components[index]) : nullptr;
    }
    tComponents components;
};

void ExpectLayoutPoints(CPolyBIG* shape, const std::vector<CPoint>& expected, const std::string& what) {
    ASSERT_NE(shape, nullptr) << what;
    const std::vector<CPoint> points = shape->GetTransformedPoints(0);
    ASSERT_EQ(points.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i)
        ExpectPoint(points[i], expected[i].x, expected[i].y, 1e-9, what + " point " + std::to_string(i));
}

tGeneratorParameters Arrow(int head, int headSize, int tail, int tailSize, CPoint start = {0, 0},
                           CPoint end = {100, 0}) {
    tGeneratorParameters parameters;
    parameters.emplace(18, CGeneratorParameter(head));
    parameters.emplace(19, CGeneratorParameter(headSize));
    parameters.emplace(20, CGeneratorParameter(tail));
    parameters.emplace(21, CGeneratorParameter(tailSize));
    parameters.emplace(10, CGeneratorParameter(start.x));
    parameters.emplace(11, CGeneratorParameter(start.y));
    parameters.emplace(12, CGeneratorParameter(end.x));
    parameters.emplace(13, CGeneratorParameter(end.y));
    return parameters;
}

void UseMillimetres() {
    testsupport::RegisterServices("en");
    testsupport::RegisteredTextService();
    UPreferences::SetInt("QLUnits", UMeasureUnits::kUnitTypeMillimeters);
}

double TextWidth(const std::string& text, int size) {
    const tDoubleRect box = testsupport::RegisteredTextService().GetTextBounds("CourierNewPSMT", size, text, 0);
    return box.maxX - box.minX;
}

}  // namespace

TEST(ArrowGenerator, DefaultArrowIsNotchedHeadShaftAndCrossLine) {
    CArrowComponentGenerator generator;
    tGeneratorParameters parameters = generator.DefaultParameters();
    const std::vector<std::pair<int, std::string>> defaults = {{10, "0"},   {11, "0"}, {12, "100"}, {13, "0"},
                                                               {18, "103"}, {19, "2"}, {20, "204"}, {21, "1"}};
    ASSERT_EQ(parameters.size(), defaults.size());
    for (const auto& [key, text] : defaults) EXPECT_EQ(parameters.at(key).GetText(), text) << "key " << key;

    Generated arrow(generator.Generate(parameters, nullptr));
    ASSERT_EQ(arrow.components.size(), 3u);
    // Notched head of size 20, ratio 0.5: its notch (10, 10) lies on the start.
    ExpectLayoutPoints(arrow.Poly(0), {{0, 0}, {10, -10}, {-10, 0}, {10, 10}}, "head");
    EXPECT_TRUE(arrow.Poly(0)->GetFillFlag());
    ExpectLayoutPoints(arrow.Poly(1), {{0, 0}, {100, 0}}, "shaft");
    EXPECT_FALSE(arrow.Poly(1)->GetFillFlag());
    EXPECT_EQ(arrow.Poly(1)->GetLineWidth(), 1);
    // A 5-long line across the end.
    ExpectLayoutPoints(arrow.Poly(2), {{100, -2.5}, {100, 2.5}}, "tail line");
    for (CBasicGeometry* component : arrow.components) {
        EXPECT_TRUE(component->IsGenerated());
        EXPECT_EQ(component->GetComponentGeneratorID(), 3);
    }
}

TEST(ArrowGenerator, HeadAndTailShapes) {
    CArrowComponentGenerator generator;
    struct Case {
        const char* name;
        tGeneratorParameters parameters;
        // Layout points of every component but the shaft, in order.
        std::vector<std::vector<CPoint>> shapes;
        std::size_t shaftIndex;
    };
    const std::vector<Case> cases = {
        {"no head, no tail", Arrow(100, 1, 200, 1), {}, 0},
        // Three open heads of size 10, apexes 0, 5 and 10 along the shaft.
        {"three open heads",
         Arrow(109, 1, 200, 1),
         {{{10, -5}, {0, 0}, {10, 5}}, {{15, -5}, {5, 0}, {15, 5}}, {{20, -5}, {10, 0}, {20, 5}}},
         3},
        {"two chevrons", Arrow(106, 1, 200, 1), {{{5, -5}, {0, 0}, {5, 5}}, {{10, -5}, {5, 0}, {10, 5}}}, 2},
        {"ratio 0.25 head", Arrow(102, 2, 200, 1), {{{0, 0}, {15, -10}, {-5, 0}, {15, 10}}}, 1},
        // Base-anchored triangle of size 10 turned by 90: base middle on the start.
        {"triangle head", Arrow(104, 1, 200, 1), {{{0, 0}, {0, 5}, {-10, 0}, {0, -5}}}, 1},
        // Upward arrow: the head turns with the shaft.
        {"upward notched head", Arrow(103, 2, 200, 1, {0, 0}, {0, 100}), {{{0, 0}, {10, 10}, {0, -10}, {-10, 10}}}, 1},
        // Tail size 2 gives S = 10: notched tail with its tip on the end.
        {"notched tail", Arrow(100, 1, 201, 2), {{{102.5, 0}, {110, -5}, {100, 0}, {110, 5}}}, 0},
        // Two open tails, apexes on the end and 7.5 before it.
        {"two open tails",
         Arrow(100, 1, 202, 2),
         {{{110, -5}, {100, 0}, {110, 5}}, {{102.5, -5}, {92.5, 0}, {102.5, 5}}},
         0},
        {"one chevron tail", Arrow(100, 1, 208, 2), {{{105, -5}, {100, 0}, {105, 5}}}, 0},
        // Diamond of size 15 centred on the end.
        {"diamond tail", Arrow(100, 1, 205, 3), {{{92.5, 0}, {100, -7.5}, {107.5, 0}, {100, 7.5}}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tGeneratorParameters parameters = c.parameters;
        Generated arrow(generator.Generate(parameters, nullptr));
        ASSERT_EQ(arrow.components.size(), c.shapes.size() + 1);
        ExpectLayoutPoints(arrow.Poly(c.shaftIndex),
                           {{c.parameters.at(10).ToDouble().value(), c.parameters.at(11).ToDouble().value()},
                            {c.parameters.at(12).ToDouble().value(), c.parameters.at(13).ToDouble().value()}},
                           "shaft");
        std::size_t shape = 0;
        for (std::size_t i = 0; i < arrow.components.size(); ++i) {
            if (i == c.shaftIndex) continue;
            ExpectLayoutPoints(arrow.Poly(i), c.shapes[shape], "shape " + std::to_string(shape));
            ++shape;
        }
    }

    // Diamond line width is the tail size itself.
    tGeneratorParameters diamond = Arrow(100, 1, 205, 3);
    Generated withDiamond(generator.Generate(diamond, nullptr));
    EXPECT_EQ(withDiamond.Poly(1)->GetLineWidth(), 3);
}

TEST(ArrowGenerator, CircleTailMissingKeysAndUnknownShapes) {
    CArrowComponentGenerator generator;
    tGeneratorParameters circle = Arrow(100, 1, 203, 2);
    Generated withCircle(generator.Generate(circle, nullptr));
    ASSERT_EQ(withCircle.components.size(), 2u);
    auto* oval = dynamic_cast<COvalBIG*>(withCircle.components[1]);
    ASSERT_NE(oval, nullptr);
    EXPECT_DOUBLE_EQ(oval->GetRadiusX(), 5.0);
    EXPECT_DOUBLE_EQ(oval->GetRadiusY(), 5.0);
    ExpectPoint(oval->GetCenterPoint(), 100, 0, 1e-9, "circle centre");
    EXPECT_EQ(oval->GetComponentGeneratorID(), 3);

    tGeneratorParameters noSizes = Arrow(103, 2, 204, 1);
    noSizes.erase(19);
    noSizes.erase(21);
    EXPECT_EQ(Generated(generator.Generate(noSizes, nullptr)).components.size(), 1u) << "shaft only";

    testsupport::LogWatch watch;
    tGeneratorParameters unknown = Arrow(150, 1, 299, 1);
    EXPECT_EQ(Generated(generator.Generate(unknown, nullptr)).components.size(), 1u);
    EXPECT_EQ(watch.Count("Arrow head shape not recognized: 150"), 1);
    EXPECT_EQ(watch.Count("Arrow tail shape not recognized: 299"), 1);
}

TEST(DimensionGenerator, DefaultDimension) {
    UseMillimetres();
    CDimensionComponentGenerator generator;
    tGeneratorParameters parameters = generator.DefaultParameters();
    const std::vector<std::pair<int, std::string>> defaults = {{10, "0"},  {11, "0"},  {12, "200"}, {13, "0"},
                                                               {22, "10"}, {23, "18"}, {38, "1"},   {43, "1"}};
    ASSERT_EQ(parameters.size(), defaults.size());
    for (const auto& [key, text] : defaults) EXPECT_EQ(parameters.at(key).GetText(), text) << "key " << key;

    Generated dimension(generator.Generate(parameters, nullptr));
    ASSERT_EQ(dimension.components.size(), 7u);
    auto* text = dynamic_cast<CTextBIG*>(dimension.components[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetText(), "200.0 mm");
    EXPECT_EQ(text->GetFontName(), "CourierNewPSMT");
    EXPECT_EQ(text->GetTextSize(), 18);
    ExpectPoint(UComponentPositioning::GetComponentCenter(text), 100, 30, 1e-6, "text centre");

    // The line leaves a gap of 1.1 text widths about the middle.
    const double gap = 0.55 * TextWidth("200.0 mm", 18);
    ASSERT_GT(gap, 0.0);
    ExpectLayoutPoints(dimension.Poly(1), {{1.5, 30}, {100 - gap, 30}}, "left piece");
    ExpectLayoutPoints(dimension.Poly(2), {{198.5, 30}, {100 + gap, 30}}, "right piece");
    ExpectLayoutPoints(dimension.Poly(3), {{0, 0}, {0, 35}}, "start extension");
    // Size-10 triangles, apexes on the line's ends pointing outward.
    ExpectLayoutPoints(dimension.Poly(4), {{11.5, 25}, {11.5, 35}, {1.5, 30}}, "start arrow");
    ExpectLayoutPoints(dimension.Poly(5), {{200, 0}, {200, 35}}, "end extension");
    ExpectLayoutPoints(dimension.Poly(6), {{188.5, 35}, {188.5, 25}, {198.5, 30}}, "end arrow");
    for (CBasicGeometry* component : dimension.components) EXPECT_EQ(component->GetComponentGeneratorID(), 4);
    for (std::size_t i = 1; i < 7; ++i) EXPECT_EQ(dimension.Poly(i)->GetLineWidth(), 1) << i;
}

TEST(DimensionGenerator, OffsetsLineWidthAndDivisor) {
    UseMillimetres();
    CDimensionComponentGenerator generator;

    // Line width 2.7: width 2 everywhere, each end drawn in by 4.05.
    tGeneratorParameters wide = generator.DefaultParameters();
    wide[43] = CGeneratorParameter(2.7);
    Generated thick(generator.Generate(wide, nullptr));
    ASSERT_EQ(thick.components.size(), 7u);
    EXPECT_NEAR(thick.Poly(1)->GetTransformedPoints(0)[0].x, 4.05, 1e-9);
    EXPECT_NEAR(thick.Poly(2)->GetTransformedPoints(0)[0].x, 195.95, 1e-9);
    for (std::size_t i = 1; i < 7; ++i) EXPECT_EQ(thick.Poly(i)->GetLineWidth(), 2) << i;

    // Distance -4: the line 15 below the segment, no text across a short one.
    struct Case {
        const char* name;
        int setting;
        double y;
    };
    for (const Case& c : std::vector<Case>{{"e = -4", -4, -15}, {"e = 0", 0, 5}, {"e = 3", 3, 12}}) {
        tGeneratorParameters parameters = generator.DefaultParameters();
        parameters[22] = CGeneratorParameter(c.setting);
        Generated dimension(generator.Generate(parameters, nullptr));
        CPolyBIG* extension = dimension.Poly(dimension.components.size() - 4);
        ExpectLayoutPoints(extension, {{0, 0}, {0, c.y + (c.y < 0 ? -5 : 5)}}, c.name);
    }

    // A turned text stays centred and leaves the gap of its unturned width.
    tGeneratorParameters turned = generator.DefaultParameters();
    turned[36] = CGeneratorParameter(90.0);
    Generated upright(generator.Generate(turned, nullptr));
    ASSERT_EQ(upright.components.size(), 7u);
    ASSERT_NE(dynamic_cast<CTextBIG*>(upright.components[0]), nullptr);
    EXPECT_EQ(upright.components[0]->GetAngle(), 90.0);
    ExpectPoint(UComponentPositioning::GetComponentCenter(upright.components[0]), 100, 30, 1e-6, "turned text");
    ExpectLayoutPoints(upright.Poly(1), {{1.5, 30}, {100 - 0.55 * TextWidth("200.0 mm", 18), 30}}, "left piece");

    struct Divisor {
        const char* name;
        const char* value;
        const char* label;
    };
    const std::vector<Divisor> divisors = {
        {"halved", "2", "100.0 mm"},
        {"scaled by 0.5", "0.5", "400.0 mm"},
        // Zero or below would give "inf mm" or a negative length: ignored.
        {"zero", "0", "200.0 mm"},
        {"negative", "-4", "200.0 mm"},
    };
    for (const Divisor& d : divisors) {
        tGeneratorParameters parameters = generator.DefaultParameters();
        parameters[37] = CGeneratorParameter(d.value);
        Generated dimension(generator.Generate(parameters, nullptr));
        auto* text = dynamic_cast<CTextBIG*>(dimension.components.front());
        ASSERT_NE(text, nullptr) << d.name;
        EXPECT_EQ(text->GetText(), d.label) << d.name;
    }
}

TEST(DimensionGenerator, TextThatDoesNotFit) {
    UseMillimetres();
    CDimensionComponentGenerator generator;
    const std::string ellipsis = " \xE2\x80\xA6 ";
    // A length whose label is too wide while the ellipsis fits.
    const double label = TextWidth("60.0 mm", 10);
    const double dots = TextWidth(ellipsis, 10);
    ASSERT_LT(dots, 0.7 * 60);
    ASSERT_GT(label, 0.7 * 60);

    tGeneratorParameters parameters = generator.DefaultParameters();
    parameters[12] = CGeneratorParameter(60);
    parameters[23] = CGeneratorParameter(10);
    Generated shortOne(generator.Generate(parameters, nullptr));
    ASSERT_EQ(shortOne.components.size(), 7u);
    auto* text = dynamic_cast<CTextBIG*>(shortOne.components[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetText(), ellipsis);

    // Too short even for the ellipsis: no text and one whole line.
    parameters[12] = CGeneratorParameter(dots / 0.7 - 1.0);
    // The end as the six-decimal parameter text holds it.
    const double end = parameters[12].ToDouble().value();
    Generated tiny(generator.Generate(parameters, nullptr));
    ASSERT_EQ(tiny.components.size(), 5u);
    EXPECT_EQ(dynamic_cast<CTextBIG*>(tiny.components[0]), nullptr);
    ExpectLayoutPoints(tiny.Poly(0), {{1.5, 30}, {end - 1.5, 30}}, "whole line");
}
