// Element names: the generic names of drawn elements in the user's unit, in
// English and German, display names, generic descriptions, and the circle
// and rectangle measures they are made from.

#include "engine/model/ElementNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/PolyBIG.h"
#include "engine/services/PreferencesService.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::CountWarnings;
using testsupport::RegisterServices;

using tElementPtr = std::unique_ptr<CCompositeGeometry>;
using ULayoutGen::CElementBuilder;

// User-drawn elements have no library name.
tElementPtr Circle(double radius, const std::string& library = "") {
    return CElementBuilder().Catalogue("", "", library, "").Oval(radius, radius).Build();
}
// A rectangle spanning (0, 0) to (width, height).
tElementPtr Rectangle(double width, double height) {
    return CElementBuilder()
        .Poly({CPoint(0, 0), CPoint(width, 0), CPoint(width, height), CPoint(0, height)}, kPolyKindRectangle)
        .Build();
}
tElementPtr Polygon(int points, std::int32_t kind) {
    std::vector<CPoint> list;
    for (int i = 0; i < points; ++i) list.emplace_back(10.0 * i, (i % 2) * 15.0);
    return CElementBuilder().Poly(list, kind).Build();
}
tElementPtr Text(const std::string& text) { return CElementBuilder().Text(text, "Futura-Medium", 24).Build(); }
tElementPtr Straight(const std::string& product, const std::string& library = "Lib") {
    return CElementBuilder().Catalogue(product, "M", library, "").Straight(100.0).Build();
}
tElementPtr Flex(const std::string& product, const std::string& library = "") {
    return CElementBuilder().Catalogue(product, "M", library, "").FlexTrack(CPoint(0, 0), CPoint(200, 0), 500).Build();
}
tElementPtr Generated(int generatorType) {
    return CElementBuilder()
        .Line(CPoint(0, 0), CPoint(100, 0))
        .MarkGenerated(generatorType)
        .Generator(generatorType, {{10, "0"}, {12, "100"}})
        .Build();
}

struct tNameCase {
    const char* name;
    std::function<tElementPtr()> make;
    int unitType;
    const char* expected;
};

void ExpectGenericNames(const std::vector<tNameCase>& cases) {
    for (const tNameCase& c : cases) {
        tElementPtr element = c.make();
        EXPECT_EQ(UElementNameGenerator::GetGenericGraphicElementDescription(c.unitType, element.get()), c.expected)
            << c.name;
    }
}

}  // namespace

TEST(ElementNames, GenericNamesInEnglish) {
    RegisterServices("en");
    ExpectGenericNames({
        {"circle of radius 50 mm in cm", [] { return Circle(50); }, 2, "Circle \xC3\x98 10.0 cm"},
        {"circle of radius 50 mm in mm", [] { return Circle(50); }, 1, "Circle \xC3\x98 100.0 mm"},
        {"circle of radius 25.4 mm in inch", [] { return Circle(25.4); }, 4, "Circle \xC3\x98 2.0 \""},
        {"circle of radius 750 mm in m", [] { return Circle(750); }, 3, "Circle \xC3\x98 1.5 m"},
        {"rectangle 120 x 35 mm in cm", [] { return Rectangle(120, 35); }, 2, "Rectangle 12.0 \xC3\x97 3.5 cm"},
        {"rectangle 1500 x 400 mm in m", [] { return Rectangle(1500, 400); }, 3, "Rectangle 1.5 \xC3\x97 0.4 m"},
        {"rectangle 304.8 x 914.4 mm in ft", [] { return Rectangle(304.8, 914.4); }, 5,
         "Rectangle 1.0 \xC3\x97 3.0 ft"},
        {"polygon of 5 points", [] { return Polygon(5, kPolyKindPolygon); }, 2, "Polygon (5 points)"},
        {"line of 2 points", [] { return Polygon(2, kPolyKindLine); }, 2, "Line (2 points)"},
        {"line of 7 points", [] { return Polygon(7, kPolyKindLine); }, 2, "Line (7 points)"},
        {"arrow", [] { return Generated(3); }, 2, "Arrow"},
        {"dimension line", [] { return Generated(4); }, 2, "Dimension"},
        {"two lines of text", [] { return Text("Line one\nLine two"); }, 2, "Line one Line two"},
        {"text with CR LF", [] { return Text("a\r\nb"); }, 2, "a  b"},
        {"text of three blanks", [] { return Text("   "); }, 2, "Text"},
        {"text of tab and line feed", [] { return Text("\t\n"); }, 2, "Text"},
        {"empty text (stored as a blank)", [] { return Text(""); }, 2, "Text"},
    });
}

TEST(ElementNames, GenericNamesInGerman) {
    RegisterServices("de");
    ExpectGenericNames({
        {"circle of radius 50 mm in cm", [] { return Circle(50); }, 2, "Kreis \xC3\x98 10.0 cm"},
        {"circle of radius 25.4 mm in inch", [] { return Circle(25.4); }, 4, "Kreis \xC3\x98 2.0 \""},
        {"rectangle 120 x 35 mm in cm", [] { return Rectangle(120, 35); }, 2, "Rechteck 12.0 \xC3\x97 3.5 cm"},
        {"polygon of 4 points", [] { return Polygon(4, kPolyKindPolygon); }, 2, "Polygon (4 Punkte)"},
        {"line of 3 points", [] { return Polygon(3, kPolyKindLine); }, 2, "Linie (3 Punkte)"},
        {"arrow", [] { return Generated(3); }, 2, "Pfeil"},
        {"dimension line", [] { return Generated(4); }, 2, "Bema\xC3\x9Fung"},
        {"text of blanks", [] { return Text("  "); }, 2, "Text"},
        {"text kept as written",
         [] {
             return Text(
                 "Bahnhof\nS\xC3\xBC"
                 "d");
         },
         2,
         "Bahnhof S\xC3\xBC"
         "d"},
    });
    tElementPtr shape = Polygon(4, kPolyKindPolygon);
    EXPECT_EQ(UElementNameGenerator::GetDisplayNameForElement(shape.get()), "Eigene Form");
}

TEST(ElementNames, UnrecognisedKindsGiveQuestionMarks) {
    RegisterServices("en");
    // A generated element is named by its generator, whatever it holds.
    tElementPtr generatedCircle = CElementBuilder().Oval(50, 50).Generator(3, {}).Build();
    EXPECT_EQ(UElementNameGenerator::GetGenericGraphicElementDescription(2, generatedCircle.get()), "Arrow");

    const long generatedWarnings = CountWarnings(": Unrecognized generated element type");
    tElementPtr otherGenerator = Generated(7);
    EXPECT_EQ(UElementNameGenerator::GetGenericGraphicElementDescription(2, otherGenerator.get()), "???");
    EXPECT_EQ(UElementNameGenerator::GetNameForGeneratedElement(otherGenerator.get()), "???");
    EXPECT_EQ(CountWarnings(": Unrecognized generated element type"), generatedWarnings + 2);

    const long kindWarnings = CountWarnings(": Unrecognized element type");
    tElementPtr track = Straight("2200");
    EXPECT_EQ(UElementNameGenerator::GetGenericGraphicElementDescription(2, track.get()), "???");
    EXPECT_EQ(CountWarnings("GetGenericGraphicElementDescription(int, const CCompositeGeometry *): "
                            "Unrecognized element type"),
              kindWarnings + 1);

    // A null element is a broken precondition: a clear error, no crash.
    const std::vector<std::function<void()>> nullCalls = {
        [] { UElementNameGenerator::GetGenericGraphicElementDescription(2, nullptr); },
        [] { UElementNameGenerator::GetDisplayNameForElement(nullptr); },
        [] { UElementNameGenerator::SetGenericDescription(nullptr, "en"); },
        [] { UElementComponents::GetCircleRadius(nullptr); },
    };
    for (const auto& call : nullCalls) {
        try {
            call();
            ADD_FAILURE() << "a null element was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("Invalid element supplied"), std::string::npos);
        }
    }
}

TEST(ElementNames, DisplayNames) {
    RegisterServices("en");
    const struct {
        const char* name;
        std::function<tElementPtr()> make;
        const char* expected;
    } cases[] = {
        {"shortened track 6051",
         [] { return CElementBuilder().Catalogue("6051", "M", "Lib", "").Straight(80).Generator(6, {}).Build(); },
         "6051 (-)"},
        {"library track", [] { return Straight("2200"); }, "2200"},
        {"library circle", [] { return CElementBuilder().Catalogue("C1", "M", "Lib", "").Oval(5, 5).Build(); }, "C1"},
        {"user-created flex track", [] { return Flex("FLEX-1"); }, "FLEX-1"},
        {"user-created flex track without a name", [] { return Flex(""); }, ""},
        {"library flex track", [] { return Flex("9100", "Lib"); }, "9100"},
        {"named user shape", [] { return CElementBuilder().Catalogue("My pond", "", "", "").Oval(5, 5).Build(); },
         "My pond"},
        {"unnamed user shape", [] { return Polygon(4, kPolyKindPolygon); }, "Custom shape"},
        {"library name of one byte is user-created", [] { return Straight("", "L"); }, "Custom shape"},
        {"text", [] { return Text("Signal box\n2"); }, "Signal box 2"},
        {"blank text", [] { return Text(" \t "); }, "Text"},
    };
    for (const auto& c : cases) {
        tElementPtr element = c.make();
        EXPECT_EQ(UElementNameGenerator::GetDisplayNameForElement(element.get()), c.expected) << c.name;
    }

    tElementPtr shortened = CElementBuilder().Catalogue("6051", "M", "Lib", "").Straight(80).Build();
    EXPECT_EQ(UElementNameGenerator::GetShortenedTrackName(shortened.get()), "6051 (-)");
    tElementPtr unnamed = Circle(5);
    EXPECT_EQ(UElementNameGenerator::GetUserCreatedShapeName(unnamed.get()), "Custom shape");
}

TEST(ElementNames, TextElementNames) {
    RegisterServices("en");
    const struct {
        const char* name;
        std::function<tElementPtr()> make;
        const char* expected;
    } cases[] = {
        {"text kept with its line breaks", [] { return Text("A\r\nB"); }, "A\r\nB"},
        {"leading blanks kept", [] { return Text("  A"); }, "  A"},
        {"blanks only", [] { return Text("   "); }, ""},
        {"vertical tab and form feed", [] { return Text("\v\f"); }, ""},
        {"not a text element", [] { return Circle(5); }, ""},
        {"text with a second component",
         [] { return CElementBuilder().Text("A", "Futura-Medium", 24).Oval(5, 5).Build(); }, ""},
    };
    for (const auto& c : cases) {
        tElementPtr element = c.make();
        EXPECT_EQ(UElementNameGenerator::GetTextElementName(element.get()), c.expected) << c.name;
    }
}

TEST(ElementNames, GenericDescriptionsOnlyForUserShapes) {
    RegisterServices("en");
    UPreferences::SetInt("QLUnits", UMeasureUnits::kUnitTypeCentimeters);

    tElementPtr circle = Circle(50);
    UElementNameGenerator::SetGenericDescription(circle.get(), "de");
    EXPECT_EQ(circle->GetTranslations(), (tTranslationsMap{{"Description#de", "Circle \xC3\x98 10.0 cm"}}));

    UPreferences::SetInt("QLUnits", UMeasureUnits::kUnitTypeInches);
    tElementPtr rectangle = Rectangle(254, 50.8);
    UElementNameGenerator::SetGenericDescription(rectangle.get(), "en");
    EXPECT_EQ(rectangle->GetLocalizedDescription("en"), "Rectangle 10.0 \xC3\x97 2.0 \"");

    // A text gets the generic word, not its own text.
    tElementPtr text = Text("Depot");
    UElementNameGenerator::SetGenericDescription(text.get(), "en");
    EXPECT_EQ(text->GetTranslations(), (tTranslationsMap{{"Description#en", "Text"}}));

    // Library elements and user-created tracks are left alone.
    const struct {
        const char* name;
        std::function<tElementPtr()> make;
    } untouched[] = {
        {"library circle", [] { return Circle(50, "Lib"); }},
        {"library track", [] { return Straight("2200"); }},
        {"user-created flex track", [] { return Flex("FLEX-1"); }},
        {"user-created straight", [] { return Straight("S", ""); }},
    };
    for (const auto& c : untouched) {
        tElementPtr element = c.make();
        element->SetDescription("kept");
        UElementNameGenerator::SetGenericDescription(element.get(), "en");
        EXPECT_TRUE(element->GetTranslations().empty()) << c.name;
        EXPECT_STREQ(element->GetDescription(), "kept") << c.name;
    }
}

TEST(ElementNames, CircleAndRectangleMeasures) {
    RegisterServices("en");
    tElementPtr circle = CElementBuilder().Oval(30, 20).Build();
    EXPECT_DOUBLE_EQ(UElementComponents::GetCircleRadius(circle.get()), 30.0);
    tElementPtr rectangle = Rectangle(120, 35);
    EXPECT_DOUBLE_EQ(UElementComponents::GetRectangleWidth(rectangle.get()), 120.0);
    EXPECT_DOUBLE_EQ(UElementComponents::GetRectangleHeight(rectangle.get()), 35.0);

    const long notCircle = CountWarnings("Not a circle component");
    EXPECT_DOUBLE_EQ(UElementComponents::GetCircleRadius(rectangle.get()), 0.0);
    EXPECT_EQ(CountWarnings("Not a circle component"), notCircle + 1);

    const long notRectangle = CountWarnings("Not a rectangle component");
    const CPoint fromCircle = UElementComponents::GetRectangleCorner(circle.get());
    EXPECT_EQ(fromCircle.x, 0.0);
    EXPECT_EQ(fromCircle.y, 0.0);
    EXPECT_EQ(CountWarnings("Not a rectangle component"), notRectangle + 1);

    // A rectangle polygon of two points has no corner.
    const long noPolygon = CountWarnings("Element doesn't contain a polygon component at index 0");
    tElementPtr cut = CElementBuilder().Poly({CPoint(0, 0), CPoint(40, 20)}, kPolyKindRectangle).Build();
    EXPECT_DOUBLE_EQ(UElementComponents::GetRectangleWidth(cut.get()), 0.0);
    EXPECT_EQ(CountWarnings("Element doesn't contain a polygon component at index 0"), noPolygon + 1);
    // ... and is named with zero sizes.
    EXPECT_EQ(UElementNameGenerator::GetGenericGraphicElementDescription(1, cut.get()),
              "Rectangle 0.0 \xC3\x97 0.0 mm");
}
