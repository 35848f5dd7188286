// Layout elements: the element record in every version, hostile records,
// placement (bounds, origin, angle, rotation), joints, copies and the element
// container.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/model/TrackElementsContainer.h"
#include "tests/support/EngineServices.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordWriter.h"

namespace {

constexpr double kElementPi = 3.14159265358979323846;
// Reals in the file keep seven decimals, truncated.
constexpr double kFileTolerance = 1e-6;

using testsupport::Analytics;
using testsupport::CountWarnings;
using testsupport::ExpectPoint;
using testsupport::RecordingAnalytics;
using testsupport::RecordWriter;
using testsupport::tFile;

// The element tags of a version-13 record up to and including the layer
// name, all fields at simple values; the caller adds generators, 206 and
// what follows.
void WriteV13Head(RecordWriter& r, double x = 0.0, double y = 0.0) {
    r.Header("RCig", 13);
    for (std::uint16_t id : {207, 208, 209, 210, 211}) r.Text(id, "T");
    for (std::uint16_t id : {212, 213, 214, 215}) r.Int(id, 1);
    r.Bool(216, false);
    r.Text(241, "L");
    r.Text(242, "M");
    r.Int(243, 1);
    r.Int(244, 1);
    r.Bool(245, false);
    r.Real(200, x);
    r.Real(201, y);
    r.Real(218, 0.0);
    for (std::uint16_t id = 219; id <= 225; ++id) r.Real(id, 0.0);
    r.Real(202, 0.0);
    for (std::uint16_t id = 226; id <= 233; ++id) r.Real(id, 1.0);
    r.Bool(205, false);
    r.Int(239, 0);
    r.Int(240, 0);
    r.Text(217, "Layer");
}

// The element tags of a version-5 record with the given position and raw
// colour tag 203, then a component count of 0.
void WriteV5Record(RecordWriter& r, double x, double y, const std::vector<std::uint8_t>& colour) {
    r.Header("RCig", 5);
    for (std::uint16_t id : {207, 208, 209, 210, 211}) r.Text(id, "T");
    for (std::uint16_t id : {212, 213, 214, 215}) r.Int(id, 1);
    r.Bool(216, false);
    r.Real(200, x);
    r.Real(201, y);
    r.Real(218, 0.0);
    for (std::uint16_t id = 219; id <= 225; ++id) r.Real(id, 0.0);
    r.Real(202, 0.0);
    r.Raw(203, colour);
    r.Raw(204, {0, 0, 0, 0, 0, 0});
    r.Bool(205, false);
    r.Text(217, "Layer");
    r.Int(206, 0);
}

// A straight component record of any version from 6 on, written tag by tag.
void WriteStraightRecord(RecordWriter& r, int version, double offsetX, bool withLength = true) {
    r.Int(300, 1);
    r.Real(301, offsetX);
    r.Real(302, 20.0);
    r.Real(303, 0.0);
    r.Real(304, 0.0);
    r.Bool(305, true);
    r.Bool(306, true);
    r.Real(307, 40.0);
    r.Real(308, 1.0);
    r.Int(309, 1);
    for (std::uint16_t id = 328; id <= 331; ++id) r.Real(id, 0.5);
    if (version >= 9) {
        r.Bool(335, false);
        r.Int(334, 0);
    }
    if (version >= 7) r.Bool(333, false);
    if (withLength) r.Real(311, 200.0);
}

struct tLoad {
    bool ok = false;
    std::string error;
};

tLoad LoadFrom(CCompositeGeometry& element, FILE* file) {
    tLoad result;
    result.error = "untouched";
    result.ok = element.Load(file, result.error);
    return result;
}

CStraightBIG* NewStraight(double length, double offsetX, double offsetY, double trackbedWidth) {
    auto* straight = new CStraightBIG();
    straight->SetLength(length);
    straight->SetOffsetX(offsetX);
    straight->SetOffsetY(offsetY);
    straight->SetTrackbedWidth(trackbedWidth);
    return straight;
}

CCurveBIG* NewCurve(double radius, double arcAngle) {
    auto* curve = new CCurveBIG();
    curve->SetRadius(radius);
    curve->SetArcAngle(arcAngle);
    return curve;
}

void ExpectColor(const CColor& c, double r, double g, double b, double a, double tolerance, const std::string& what) {
    EXPECT_NEAR(c.mRed, r, tolerance) << what;
    EXPECT_NEAR(c.mGreen, g, tolerance) << what;
    EXPECT_NEAR(c.mBlue, b, tolerance) << what;
    EXPECT_NEAR(c.mAlpha, a, tolerance) << what;
}

// Every field away from its default, with one component of each class;
// values exact in the file's reals. Turned to 30 degrees and normalised so
// that a load keeps its position.
std::unique_ptr<CCompositeGeometry> RichElement() {
    auto element = std::make_unique<CCompositeGeometry>();
    element->SetProductNumber("24188");
    element->SetDescription("Gerades Gleis 188 mm");
    element->SetManufacturer("Kessler");
    element->SetLibraryName("H0 C-Gleis");
    element->SetText211("X7");
    element->SetLabelText("Einfahrt Nord");
    element->SetText242("Weiche links");
    element->SetHeaderValue212(3);
    element->SetPrice(1299);
    element->SetCurrencyId(131);
    element->SetModelScale(12);
    element->SetElementType(5);
    element->SetHeaderValue244(4);
    element->SetFlag216(true);
    element->SetFlag245(true);
    element->SetFirstColor(CColor(0.25, 0.5, 0.75, 0.5));
    element->SetSecondColor(CColor(0.125, 0.375, 0.625, 0.875));
    element->SetStartTrim(15);
    element->SetEndTrim(85);
    element->SetPosition(CPoint(1234.5, -678.25, 12.5));
    element->SetGrade(CGradeVector(CPoint(10.0, 20.0, 1.5), CPoint(510.0, 20.0, 26.5), 25.0));
    element->SetLayerName("Bahnhof");
    element->GetGeneratorMap().insert({1, {{2, CGeneratorParameter("100")}, {7, CGeneratorParameter("16.5")}}});
    element->GetGeneratorMap().insert({3, {{10, CGeneratorParameter("")}}});
    element->GetGeneratorMap().insert({1, {}});
    element->SetLocalizedDescription("Gerades Gleis", "de");
    element->SetLocalizedDescription("Straight track", "en");

    CStraightBIG* straight = NewStraight(188.0, 0.0, 0.0, 40.0);
    straight->SetGauge(16.5);
    straight->SetRailWidth(1.5);
    straight->SetComponentAttribute(7);
    straight->SetFixedColor(CColor(0.25, 0.75, 0.5, 1.0));
    straight->SetGenerated(true);
    straight->SetComponentGeneratorID(3);
    straight->DisableJoint(1);
    element->GetComponents().push_back(straight);
    element->GetComponents().push_back(NewCurve(360.0, 30.0));
    element->GetComponents().push_back(
        new CPolyBIG({CPoint(0, 0), CPoint(100, 0), CPoint(100, 50)}, 2, kPolyKindLine, 5.0, 5.0, 0.0));
    auto* text = new CTextBIG();
    text->SetText("Bf Nord");
    text->SetFontName("Helvetica");
    text->SetTextSize(18);
    element->GetComponents().push_back(text);
    auto* oval = new COvalBIG();
    oval->SetRadiusX(25.0);
    oval->SetRadiusY(12.5);
    oval->SetStartAngle(45.0);
    oval->SetEndAngle(270.0);
    element->GetComponents().push_back(oval);
    element->GetComponents().push_back(
        new CFlexTrackBIG(CPoint(0, 0), CPoint(200, 0), true, true, 0.0, 0.0, 750.0, 16.5, 40.0, 1.0));

    element->SetAngle(30.0);
    element->MoveToOrigin(nullptr);
    element->UpdateJoints();
    return element;
}

}  // namespace

// ------------------------------------------------------------ record versions

TEST(ElementRecord, SavedRecordsOfEachVersionReadBackWithTheFieldsTheyCarry) {
    for (const int version : {3, 5, 6, 7, 9, 13}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::unique_ptr<CCompositeGeometry> source = RichElement();
        tFile file(std::tmpfile());
        ASSERT_TRUE(source->Save(file.get(), version));
        std::rewind(file.get());

        const long skippedBefore = CountWarnings("Skipped");
        CCompositeGeometry loaded;
        const tLoad result = LoadFrom(loaded, file.get());
        ASSERT_TRUE(result.ok) << result.error;
        // The record holds exactly the tags of its version, in reading order.
        EXPECT_EQ(CountWarnings("Skipped"), skippedBefore);
        EXPECT_EQ(std::fgetc(file.get()), EOF) << "the whole record is consumed";

        // Fields of every version.
        EXPECT_STREQ(loaded.GetProductNumber(), "24188");
        EXPECT_STREQ(loaded.GetDescription(), "Gerades Gleis 188 mm");
        EXPECT_STREQ(loaded.GetManufacturer(), "Kessler");
        EXPECT_STREQ(loaded.GetLibraryName(), "H0 C-Gleis");
        EXPECT_STREQ(loaded.GetText211(), "X7");
        EXPECT_EQ(loaded.GetHeaderValue212(), 3);
        EXPECT_EQ(loaded.GetPrice(), 1299);
        EXPECT_EQ(loaded.GetCurrencyId(), 131);
        EXPECT_EQ(loaded.GetModelScale(), 12);
        EXPECT_TRUE(loaded.GetFlag216());
        EXPECT_EQ(loaded.GetAngle(), 30.0);
        ExpectPoint(loaded.GetPosition(), 1234.5, -678.25, kFileTolerance, "position");

        // Version 4: height, grade and layer name.
        if (version >= 4) {
            EXPECT_EQ(loaded.GetPosition().z, 12.5);
            EXPECT_EQ(loaded.GetGrade().start.x, 10.0);
            EXPECT_EQ(loaded.GetGrade().start.z, 1.5);
            EXPECT_EQ(loaded.GetGrade().end.x, 510.0);
            EXPECT_EQ(loaded.GetGrade().end.z, 26.5);
            EXPECT_EQ(loaded.GetGrade().height, 25.0);
            EXPECT_EQ(loaded.GetLayerName(), "Bahnhof");
        } else {
            EXPECT_EQ(loaded.GetPosition().z, 0.0);
            EXPECT_EQ(loaded.GetGrade().height, 0.0);
            EXPECT_EQ(loaded.GetGrade().end.x, 0.0);
            EXPECT_EQ(loaded.GetLayerName(), "");
        }

        // Version 6: colours as four reals; before, the first as 16-bit
        // words (alpha 1) and the second black.
        if (version >= 6) {
            ExpectColor(loaded.GetFirstColor(), 0.25, 0.5, 0.75, 0.5, 1e-12, "first colour");
            ExpectColor(loaded.GetSecondColor(), 0.125, 0.375, 0.625, 0.875, 1e-12, "second colour");
        } else {
            ExpectColor(loaded.GetFirstColor(), 0.25, 0.5, 0.75, 1.0, 1.0 / 65535, "first colour");
            ExpectColor(loaded.GetSecondColor(), 0.0, 0.0, 0.0, 1.0, 0.0, "second colour");
        }

        // Version 7: generators, in insertion order within a type.
        if (version >= 7) {
            ASSERT_EQ(loaded.GetGeneratorMap().size(), 3u);
            auto it = loaded.GetGeneratorMap().begin();
            EXPECT_EQ(it->first, 1);
            ASSERT_EQ(it->second.size(), 2u);
            EXPECT_EQ(it->second.at(2).GetText(), "100");
            EXPECT_EQ(it->second.at(7).GetText(), "16.5");
            ++it;
            EXPECT_EQ(it->first, 1);
            EXPECT_TRUE(it->second.empty());
            ++it;
            EXPECT_EQ(it->first, 3);
            EXPECT_EQ(it->second.at(10).GetText(), "");
        } else {
            EXPECT_TRUE(loaded.GetGeneratorMap().empty());
        }

        // Version 9: trims.
        EXPECT_EQ(loaded.GetStartTrim(), version >= 9 ? 15 : 0);
        EXPECT_EQ(loaded.GetEndTrim(), version >= 9 ? 85 : 0);

        // Version 13: label, text 242, type, 244, 245 and translations.
        if (version >= 13) {
            EXPECT_STREQ(loaded.GetLabelText(), "Einfahrt Nord");
            EXPECT_STREQ(loaded.GetText242(), "Weiche links");
            EXPECT_EQ(loaded.GetElementType(), 5);
            EXPECT_EQ(loaded.GetHeaderValue244(), 4);
            EXPECT_TRUE(loaded.GetFlag245());
            EXPECT_EQ(loaded.GetTranslations(), source->GetTranslations());
        } else {
            EXPECT_STREQ(loaded.GetLabelText(), "");
            EXPECT_STREQ(loaded.GetText242(), "");
            EXPECT_EQ(loaded.GetElementType(), 0);
            EXPECT_EQ(loaded.GetHeaderValue244(), 1);
            EXPECT_FALSE(loaded.GetFlag245());
            EXPECT_TRUE(loaded.GetTranslations().empty());
        }

        // Components: class, geometry and the base fields of the version.
        const tComponents& parts = loaded.GetComponents();
        ASSERT_EQ(parts.size(), 6u);
        const std::vector<int> types = {1, 2, 3, 4, 5, 6};
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(parts[i]->GetType(), types[i]);
            EXPECT_NEAR(parts[i]->GetOffsetX(), source->GetComponents()[i]->GetOffsetX(), kFileTolerance);
            EXPECT_NEAR(parts[i]->GetOffsetY(), source->GetComponents()[i]->GetOffsetY(), kFileTolerance);
        }
        auto* straight = dynamic_cast<CStraightBIG*>(parts[0]);
        ASSERT_NE(straight, nullptr);
        EXPECT_EQ(straight->GetLength(), 188.0);
        EXPECT_EQ(straight->GetGauge(), 16.5);
        EXPECT_EQ(straight->GetTrackbedWidth(), 40.0);
        EXPECT_EQ(straight->GetRailWidth(), 1.5);
        EXPECT_EQ(straight->GetComponentAttribute(), 7);
        EXPECT_TRUE(straight->IsJointEnabled(0));
        EXPECT_FALSE(straight->IsJointEnabled(1));
        if (version >= 6) ExpectColor(straight->GetFixedColor(), 0.25, 0.75, 0.5, 1.0, 1e-12, "fixed colour");
        else ExpectColor(straight->GetFixedColor(), 0.5, 0.5, 0.5, 1.0, 1e-12, "default fixed colour");
        EXPECT_EQ(straight->IsColorLocked(), version >= 9);
        // Before version 9 a generated element marks all its components with
        // its first generator; version 9 keeps each component's own ID.
        if (version >= 9) {
            EXPECT_TRUE(straight->IsGenerated());
            EXPECT_EQ(straight->GetComponentGeneratorID(), 3);
            EXPECT_FALSE(parts[1]->IsGenerated());
        } else if (version >= 7) {
            for (CBasicGeometry* part : parts) {
                EXPECT_TRUE(part->IsGenerated());
                EXPECT_EQ(part->GetComponentGeneratorID(), 1);
            }
        } else {
            for (CBasicGeometry* part : parts) EXPECT_FALSE(part->IsGenerated());
        }
        auto* curve = dynamic_cast<CCurveBIG*>(parts[1]);
        ASSERT_NE(curve, nullptr);
        EXPECT_EQ(curve->GetRadius(), 360.0);
        EXPECT_EQ(curve->GetArcAngle(), 30.0);
        auto* line = dynamic_cast<CPolyBIG*>(parts[2]);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->GetKind(), kPolyKindLine);
        EXPECT_EQ(line->GetLineWidth(), 2);
        ASSERT_EQ(line->GetNumberOfPoints(), 3u);
        EXPECT_EQ(line->GetPoint(2).y, 50.0);
        auto* text = dynamic_cast<CTextBIG*>(parts[3]);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->GetText(), "Bf Nord");
        EXPECT_EQ(text->GetFontName(), "Helvetica");
        EXPECT_EQ(text->GetTextSize(), 18);
        auto* oval = dynamic_cast<COvalBIG*>(parts[4]);
        ASSERT_NE(oval, nullptr);
        EXPECT_EQ(oval->GetRadiusX(), 25.0);
        EXPECT_EQ(oval->GetRadiusY(), 12.5);
        EXPECT_EQ(oval->GetStartAngle(), version >= 13 ? 45.0 : 0.0);
        EXPECT_EQ(oval->GetEndAngle(), version >= 13 ? 270.0 : 360.0);
        auto* flex = dynamic_cast<CFlexTrackBIG*>(parts[5]);
        ASSERT_NE(flex, nullptr);
        EXPECT_EQ(flex->GetMaxLength(), 750.0);
        EXPECT_NEAR(flex->GetTrackLength(), 200.0, 1e-6);

        // Polygons, texts and ovals never connect.
        for (std::size_t i : {2u, 3u, 4u}) {
            EXPECT_FALSE(parts[i]->IsJointEnabled(0));
            EXPECT_FALSE(parts[i]->IsJointEnabled(1));
        }
        // Joints are computed and belong to the element.
        for (CBasicGeometry* part : parts) {
            EXPECT_EQ(part->GetJoint(0)->GetParent(), &loaded);
            EXPECT_EQ(part->GetJoint(1)->GetParent(), &loaded);
        }
    }
}

TEST(ElementRecord, SaveRefusesVersionsOutsideTheFormat) {
    CCompositeGeometry element;
    for (const int version : {-1, 0, 2, 14}) {
        tFile file(std::tmpfile());
        EXPECT_FALSE(element.Save(file.get(), version)) << version;
        EXPECT_EQ(std::ftell(file.get()), 0L) << "nothing written for version " << version;
    }
    EXPECT_FALSE(element.Save(nullptr, 13));
}

// A version-5 record written byte by byte: 16-bit colour, dropped second
// colour, a straight with the old colour tag 310, normalised at load.
TEST(ElementRecord, HandBuiltVersion5RecordIsReadAndNormalised) {
    RecordWriter r;
    r.Header("RCig", 5);
    r.Text(207, "5106");
    r.Text(208, "Gerades Gleis");
    r.Text(209, "Kessler");
    r.Text(210, "");             // user-created
    r.Text(211, "ABCDEFGHIJK");  // cut to 7 characters
    r.Int(212, 2);
    r.Int(213, 450);
    r.Int(214, 130);
    r.Int(215, 13);
    r.Bool(216, true);
    // Position x 100.5 as its two big-endian ints: 100 and 5,000,000.
    r.Raw(200, {0x00, 0x00, 0x00, 0x64, 0x00, 0x4C, 0x4B, 0x40});
    r.Real(201, 200.25);
    r.Real(218, 7.5);
    for (std::uint16_t id = 219; id <= 225; ++id) r.Real(id, id == 225 ? 0.0 : 1.0);
    r.Real(202, 0.0);
    r.Raw(203, {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00});
    r.Raw(204, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    r.Bool(205, true);
    r.Text(217, "Gleise");
    r.Int(206, 1);
    // A straight at x 100 to 300, its bed 40 wide about y 70.
    r.Int(300, 1);
    r.Real(301, 100.0);
    r.Real(302, 70.0);
    r.Real(303, 0.0);
    r.Real(304, 0.0);
    r.Bool(305, true);
    r.Bool(306, true);
    r.Real(307, 40.0);
    r.Real(308, 1.0);
    r.Int(309, 4);
    r.Raw(310, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05});
    r.Real(311, 200.0);

    CCompositeGeometry element;
    const tLoad result = LoadFrom(element, r.Rewound());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_STREQ(element.GetProductNumber(), "5106");
    EXPECT_STREQ(element.GetText211(), "ABCDEFG");
    EXPECT_EQ(element.GetPrice(), 450);
    EXPECT_EQ(element.GetCurrencyId(), 130);
    EXPECT_EQ(element.GetModelScale(), 13);
    EXPECT_EQ(element.GetLayerName(), "Gleise");
    ExpectColor(element.GetFirstColor(), 1.0, 32768.0 / 65535.0, 0.0, 1.0, 1e-12, "first colour");
    ExpectColor(element.GetSecondColor(), 0.0, 0.0, 0.0, 1.0, 0.0, "second colour");
    // Box from (100, 50): the components start at 0 and the element moves
    // 100 right and 50 up; z stays.
    EXPECT_NEAR(element.GetPosition().x, 200.5, 1e-9);
    EXPECT_NEAR(element.GetPosition().y, 250.25, 1e-9);
    EXPECT_EQ(element.GetPosition().z, 7.5);
    ASSERT_EQ(element.GetComponents().size(), 1u);
    const CBasicGeometry* straight = element.GetComponents()[0];
    EXPECT_NEAR(straight->GetOffsetX(), 0.0, 1e-9);
    EXPECT_NEAR(straight->GetOffsetY(), 20.0, 1e-9);
    EXPECT_EQ(straight->GetComponentAttribute(), 4);
    // Joint 0 at the layout start of the centre line.
    const tConstJoints joints = element.GetJoints(kJointFilterAll);
    ASSERT_EQ(joints.size(), 2u);
    ExpectPoint(joints[0]->GetLayoutPoint(), 200.5, 270.25, 1e-9, "joint 0");
    ExpectPoint(joints[1]->GetLayoutPoint(), 400.5, 270.25, 1e-9, "joint 1");
}

// A version-13 record written tag by tag with generators and translations.
TEST(ElementRecord, HandBuiltVersion13RecordWithGeneratorsAndTranslations) {
    RecordWriter r;
    WriteV13Head(r, 10.0, 20.0);
    r.Int(234, 2);
    r.Int(235, 4);
    r.Int(236, 2);
    r.Int(237, 5);
    r.Text(238, "first");
    r.Int(237, 5);  // a repeated key replaces the earlier value
    r.Text(238, "second");
    r.Int(235, 2);
    r.Int(236, 1);
    r.Int(237, 0);
    r.Text(238, "360.000000");
    r.Int(206, 1);
    WriteStraightRecord(r, 13, 0.0);
    r.Int(800, 2);
    r.Text(801, "Description#de");
    r.Text(802, "Gleis");
    r.Text(801, "Description#en");
    r.Text(802, "Track");

    CCompositeGeometry element;
    const tLoad result = LoadFrom(element, r.Rewound());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_STREQ(element.GetLabelText(), "L");
    EXPECT_STREQ(element.GetText242(), "M");
    ASSERT_EQ(element.GetGeneratorMap().size(), 2u);
    EXPECT_EQ(element.GetGeneratorMap().begin()->first, 2);
    const tGeneratorParameters& four = element.GetGeneratorMap().find(4)->second;
    ASSERT_EQ(four.size(), 1u);
    EXPECT_EQ(four.at(5).GetText(), "second");
    EXPECT_TRUE(element.UsesComponentGenerator(4));
    EXPECT_FALSE(element.UsesComponentGenerator(1));
    // Version 9 and later keep the components' own generated flags.
    EXPECT_FALSE(element.GetComponents()[0]->IsGenerated());
    EXPECT_EQ(element.GetLocalizedDescription("de"), "Gleis");
    EXPECT_EQ(element.GetLocalizedDescription("fr"), "Track");
}

// ------------------------------------------------------------ failures

TEST(ElementRecord, HeaderAndVersionFailures) {
    const char good[] = "RCig";
    for (int byte = 0; byte < 4; ++byte) {
        char magic[5];
        std::memcpy(magic, good, 5);
        magic[byte] = static_cast<char>(magic[byte] ^ 0x20);
        RecordWriter r;
        r.Header(magic, 13);
        r.Int(206, 0);
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok) << "byte " << byte;
        EXPECT_EQ(result.error, "Element expected, bad header found.") << "byte " << byte;
    }

    {  // fewer than eight bytes
        RecordWriter r;
        r.Append({'R', 'C', 'i', 'g', 0, 0});
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "Element expected, bad header found.");
    }
    {  // version 2: a warning, no error text
        RecordWriter r;
        r.Header("RCig", 2);
        const long before =
            CountWarnings("bool CCompositeGeometry::Load(FILE *, string &): Unsupported file format (version 2)");
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "untouched");
        EXPECT_EQ(CountWarnings("bool CCompositeGeometry::Load(FILE *, string &): Unsupported file "
                                "format (version 2)"),
                  before + 1);
    }
    {  // a version beyond 2^31 is negative as an int and refused the same way
        RecordWriter r;
        r.Header("RCig", 0xFFFFFFF0u);
        CCompositeGeometry element;
        EXPECT_FALSE(LoadFrom(element, r.Rewound()).ok);
    }
    CCompositeGeometry element;
    std::string error;
    EXPECT_FALSE(element.Load(nullptr, error));
    EXPECT_EQ(error, "Element expected, bad header found.");
}

TEST(ElementRecord, ComponentTypeFailuresKeepTheComponentsBefore) {
    struct tCase {
        const char* name;
        int version;
        std::int32_t secondType;  // -1: no second tag 300 at all
        const char* error;
        const char* warning;
    };
    const tCase cases[] = {
        {"type 7", 13, 7, "Unknown component type requested. Please update to a newer fileVersion!",
         "Failed to load component of type 7"},
        {"type 0", 13, 0, "Unknown component type requested. Please update to a newer fileVersion!",
         "Failed to load component of type 0"},
        {"no type tag", 13, -1, "Unsupported component type encountered.",
         "bool CCompositeGeometry::ReadComponents(FILE *, int, int, string &): Unsupported component "
         "type encountered."},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordWriter r;
        WriteV13Head(r);
        r.Int(234, 0);
        r.Int(206, 2);
        WriteStraightRecord(r, c.version, 0.0);
        if (c.secondType >= 0) {
            r.Int(300, c.secondType);
            r.Real(301, 1.0);
        }
        const long before = CountWarnings(c.warning);
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(CountWarnings(c.warning), before + 1);
        ASSERT_EQ(element.GetComponents().size(), 1u);
        EXPECT_EQ(element.GetComponents()[0]->GetType(), 1);
    }

    // A record version beyond 13 reads no component type at all.
    CCompositeGeometry element;
    RecordWriter r;
    WriteV13Head(r);
    r.Int(206, 1);
    WriteStraightRecord(r, 13, 0.0);
    std::string error;
    EXPECT_FALSE(element.ReadComponents(r.Rewound(), 14, 1, error));
    EXPECT_EQ(error, "Unsupported component type encountered.");
    EXPECT_TRUE(element.GetComponents().empty());
}

// A component whose own record is damaged fails the element with the
// component's error text instead of passing as loaded.
TEST(ElementRecord, FailingComponentFailsTheElement) {
    RecordWriter r;
    WriteV13Head(r);
    r.Int(234, 0);
    r.Int(206, 1);
    WriteStraightRecord(r, 13, 0.0, /*withLength=*/false);
    CCompositeGeometry element;
    const tLoad result = LoadFrom(element, r.Rewound());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("311"), std::string::npos) << result.error;
    EXPECT_EQ(element.GetComponents().size(), 1u);
}

TEST(ElementRecord, HostileCountsAreRefusedWithoutSizingAnything) {
    struct tCase {
        const char* name;
        std::int32_t generators;
        std::int32_t parameters;
        std::int32_t components;
        bool ok;
        const char* error;  // null: no error expected
        std::size_t componentsRead;
    };
    const tCase cases[] = {
        {"component count 2^31-1", 0, 0, 0x7FFFFFFF, false, "Component count 2147483647 out of range", 0},
        {"component count 501", 0, 0, 501, false, "Component count 501 out of range", 0},
        {"component count beyond the bytes left", 0, 0, 400, false, "Component count 400 out of range", 0},
        {"negative component count", 0, 0, -5, true, nullptr, 0},
        {"generator count 2e9", 2000000000, 0, 1, false, "Generator count 2000000000 out of range", 0},
        {"generator count beyond the bytes left", 5000, 0, 1, false, "Generator count 5000 out of range", 0},
        {"parameter count 1e6", 1, 1000000, 1, false, "Generator parameter count 1000000 out of range", 0},
        {"negative generator count", -3, 0, 1, true, nullptr, 1},
        {"negative parameter count", 1, -7, 1, true, nullptr, 1},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordWriter r;
        WriteV13Head(r);
        r.Int(234, c.generators);
        if (c.generators > 0) {
            r.Int(235, 1);
            r.Int(236, c.parameters);
        }
        r.Int(206, c.components);
        WriteStraightRecord(r, 13, 0.0);
        r.Int(800, 0);
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_EQ(result.ok, c.ok) << result.error;
        if (c.error != nullptr) {
            EXPECT_EQ(result.error, c.error);
        }
        EXPECT_EQ(element.GetComponents().size(), c.componentsRead);
    }
}

// 501 real component records: more than the element's own limit of 500.
TEST(ElementRecord, MoreThanFiveHundredComponentsAreRefused) {
    for (const int count : {500, 501}) {
        RecordWriter r;
        WriteV13Head(r);
        r.Int(234, 0);
        r.Int(206, count);
        for (int i = 0; i < count; ++i) WriteStraightRecord(r, 13, i);
        r.Int(800, 0);
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_EQ(result.ok, count == 500) << count << ": " << result.error;
        EXPECT_EQ(element.GetComponents().size(), count == 500 ? 500u : 0u);
    }
}

TEST(ElementRecord, LoopsStopAtTheFirstFailedRead) {
    // Three generators announced, one written: the second one's read runs to
    // the end of the record, which then has no component count.
    RecordWriter r;
    WriteV13Head(r);
    r.Int(234, 3);
    r.Int(235, 1);
    r.Int(236, 1);
    r.Int(237, 2);
    r.Text(238, "100");
    r.Int(206, 1);
    WriteStraightRecord(r, 13, 0.0);
    r.Int(800, 0);
    CCompositeGeometry element;
    const tLoad result = LoadFrom(element, r.Rewound());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Failed to read the component count (EndOfFile)");
    ASSERT_EQ(element.GetGeneratorMap().size(), 1u);
    EXPECT_EQ(element.GetGeneratorMap().begin()->second.at(2).GetText(), "100");

    // A damaged parameter key (two bytes) ends that generator's parameters;
    // the reader then finds the count and goes on.
    RecordWriter damaged;
    WriteV13Head(damaged);
    damaged.Int(234, 1);
    damaged.Int(235, 6);
    damaged.Int(236, 2);
    damaged.Raw(237, {0x00, 0x01});
    damaged.Text(238, "lost");
    damaged.Int(206, 1);
    WriteStraightRecord(damaged, 13, 0.0);
    damaged.Int(800, 0);
    CCompositeGeometry second;
    const tLoad secondResult = LoadFrom(second, damaged.Rewound());
    EXPECT_TRUE(secondResult.ok) << secondResult.error;
    ASSERT_EQ(second.GetGeneratorMap().size(), 1u);
    EXPECT_EQ(second.GetGeneratorMap().begin()->first, 6);
    EXPECT_TRUE(second.GetGeneratorMap().begin()->second.empty());
    EXPECT_EQ(second.GetComponents().size(), 1u);
}

TEST(ElementRecord, RecordCutShortOrWithDamagedTranslationsFails) {
    {  // ends after tag 205: no component count
        RecordWriter r;
        r.Header("RCig", 6);
        r.Text(207, "cut");
        r.Bool(205, false);
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "Failed to read the component count (EndOfFile)");
        EXPECT_STREQ(element.GetProductNumber(), "cut");
    }
    {  // two translations announced, one written
        RecordWriter r;
        WriteV13Head(r);
        r.Int(234, 0);
        r.Int(206, 1);
        WriteStraightRecord(r, 13, 0.0);
        r.Int(800, 2);
        r.Text(801, "Description#de");
        r.Text(802, "Gleis");
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "Failed to read element translations (EndOfFile)");
    }
    {  // no translations at all in a version-13 record
        RecordWriter r;
        WriteV13Head(r);
        r.Int(234, 0);
        r.Int(206, 1);
        WriteStraightRecord(r, 13, 0.0);
        CCompositeGeometry element;
        EXPECT_FALSE(LoadFrom(element, r.Rewound()).ok);
    }
}

TEST(ElementRecord, OldColourTagAndPositionDamage) {
    struct tCase {
        const char* name;
        std::vector<std::uint8_t> colour;
        double x;
        double y;
        double red;  // expected first colour red (green and blue follow it)
        double expectX;
        double expectY;
    };
    const double grey = 0.75;
    const tCase cases[] = {
        {"four colour bytes keep the default colour", {0xFF, 0xFF, 0xFF, 0xFF}, 5.0, 6.0, grey, 5.0, 6.0},
        {"eight colour bytes use the first six",
         {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB, 0xCD},
         5.0,
         6.0,
         0.0,
         5.0,
         6.0},
        {"x above 1e7 becomes 0", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 20000000.0, 6.0, 1.0, 0.0, 6.0},
        {"y below -1e7 becomes 0", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 5.0, -15000000.5, 1.0, 5.0, 0.0},
        {"exactly 1e7 stays",
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         10000000.0,
         -10000000.0,
         1.0,
         10000000.0,
         -10000000.0},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordWriter r;
        WriteV5Record(r, c.x, c.y, c.colour);
        const long before = CountWarnings("Element colour of 4 bytes ignored");
        CCompositeGeometry element;
        const tLoad result = LoadFrom(element, r.Rewound());
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(element.GetFirstColor().mRed, c.red);
        EXPECT_EQ(element.GetFirstColor().mGreen, c.red);
        EXPECT_EQ(element.GetFirstColor().mAlpha, 1.0);
        EXPECT_EQ(element.GetPosition().x, c.expectX);
        EXPECT_EQ(element.GetPosition().y, c.expectY);
        EXPECT_EQ(CountWarnings("Element colour of 4 bytes ignored"), before + (c.colour.size() == 4 ? 1 : 0));
    }
}

TEST(ElementRecord, OldUserCreatedLinesTakeTheFirstColourAsSecond) {
    struct tCase {
        const char* name;
        int version;
        const char* library;
        std::int32_t kind;
        bool colourCopied;
    };
    const tCase cases[] = {
        {"version 5 user-created line", 5, "", kPolyKindLine, true},
        {"one-character library name is user-created", 5, "x", kPolyKindLine, true},
        {"library line", 5, "H0", kPolyKindLine, false},
        {"user-created polygon", 5, "", kPolyKindPolygon, false},
        {"version 6 user-created line", 6, "", kPolyKindLine, false},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        CCompositeGeometry source;
        source.SetLibraryName(c.library);
        source.SetFirstColor(CColor(1.0, 0.0, 0.0, 1.0));
        source.SetSecondColor(CColor(0.0, 0.0, 1.0, 1.0));
        source.GetComponents().push_back(new CPolyBIG({CPoint(0, 0), CPoint(100, 0)}, 1, c.kind, 0.0, 0.0, 0.0));
        tFile file(std::tmpfile());
        ASSERT_TRUE(source.Save(file.get(), c.version));
        std::rewind(file.get());
        CCompositeGeometry loaded;
        ASSERT_TRUE(LoadFrom(loaded, file.get()).ok);
        if (c.colourCopied) ExpectColor(loaded.GetSecondColor(), 1.0, 0.0, 0.0, 1.0, 1e-12, "second colour");
        else if (c.version < 6) ExpectColor(loaded.GetSecondColor(), 0.0, 0.0, 0.0, 1.0, 0.0, "second colour");
        else ExpectColor(loaded.GetSecondColor(), 0.0, 0.0, 1.0, 1.0, 0.0, "second colour");
    }
}

// ------------------------------------------------------------ placement

TEST(Element, BoundsOriginAndTheEmptyElement) {
    RecordingAnalytics& analytics = Analytics();
    CCompositeGeometry element;
    element.SetProductNumber("P1");
    element.SetLibraryName("Lib");
    const std::size_t eventsBefore = analytics.events.size();
    const long before = CountWarnings("No components for 'P1' (Lib) - cannot calculate bounding box!");
    tDoubleRect box{1, 2, 3, 4};
    element.CalcBoundingBox(box);
    EXPECT_EQ(box, tDoubleRect{});
    EXPECT_EQ(CountWarnings("No components for 'P1' (Lib) - cannot calculate bounding box!"), before + 1);
    ASSERT_EQ(analytics.events.size(), eventsBefore + 1);
    EXPECT_EQ(analytics.events.back().first, "IntegrityCheckFailure");
    EXPECT_EQ(analytics.events.back().second,
              (ActivityAnalyticsServiceBase::tEventProperties{
                  {"IntegrityCheckType", "NoComponents.CalcBoundingBox.CCompositeGeometry"}}));

    // Two straights: x 100 to 300 and 50 to 150, beds 40 wide about y 70
    // and y 30.
    element.GetComponents().push_back(NewStraight(200.0, 100.0, 70.0, 40.0));
    element.GetComponents().push_back(NewStraight(100.0, 50.0, 30.0, 40.0));
    element.CalcBoundingBox(box);
    EXPECT_EQ(box, (tDoubleRect{10.0, 50.0, 90.0, 300.0}));
    tDoubleRect old;
    const CPoint shift = element.MoveToOrigin(&old);
    EXPECT_EQ(old, (tDoubleRect{10.0, 50.0, 90.0, 300.0}));
    ExpectPoint(shift, -50.0, -10.0, 0.0, "shift");
    element.CalcBoundingBox(box);
    EXPECT_EQ(box, (tDoubleRect{0.0, 0.0, 80.0, 250.0}));
    EXPECT_EQ(element.MoveToOrigin(nullptr).x, 0.0);
    EXPECT_DOUBLE_EQ(element.GetTrackLength(), 300.0);

    element.GetComponents().push_back(NewCurve(360.0, 15.0));
    EXPECT_NEAR(element.GetTrackLength(), 300.0 + 360.0 * 15.0 * kElementPi / 180.0, 1e-9);
}

TEST(Element, SetAngleNormalisesAndTurnsAboutTheBoxCentre) {
    struct tCase {
        double given;
        double stored;
    };
    const tCase cases[] = {{370.0, 10.0},  {-30.0, 330.0}, {720.0, 0.0}, {-720.0, 0.0},
                           {359.5, 359.5}, {-1e-20, 0.0},  {0.0, 0.0},   {-390.0, 330.0}};
    for (const tCase& c : cases) {
        CCompositeGeometry element;
        element.SetCachedPoint(CPoint(1, 2, 3));
        element.SetAngle(c.given);
        EXPECT_EQ(element.GetAngle(), c.stored) << c.given;
        ExpectPoint(element.GetCachedPoint(), 0.0, 0.0, 0.0, "cached point");
    }

    // A straight of 100 with a bed of 20 at (0, 0)..(100, 20): box centre
    // (50, 10). A quarter turn stands it upright about that centre.
    CCompositeGeometry element;
    element.GetComponents().push_back(NewStraight(100.0, 0.0, 10.0, 20.0));
    element.SetAngle(90.0);
    tDoubleRect box;
    element.CalcBoundingBox(box);
    EXPECT_NEAR(box.minX, 40.0, 1e-9);
    EXPECT_NEAR(box.maxX, 60.0, 1e-9);
    EXPECT_NEAR(box.minY, -40.0, 1e-9);
    EXPECT_NEAR(box.maxY, 60.0, 1e-9);
    // Back by -270 (stored 90 again) changes nothing; to 0 restores the box.
    element.SetAngle(-270.0);
    EXPECT_EQ(element.GetAngle(), 90.0);
    element.SetAngle(0.0);
    element.CalcBoundingBox(box);
    EXPECT_NEAR(box.minX, 0.0, 1e-9);
    EXPECT_NEAR(box.maxX, 100.0, 1e-9);
    EXPECT_NEAR(box.minY, 0.0, 1e-9);
    EXPECT_NEAR(box.maxY, 20.0, 1e-9);

    // A polygon turns with its first point: (0, 0)..(100, 0) plus a square,
    // element box centre (50, 50); its first point (0, 0) goes to (100, 0).
    CCompositeGeometry shapes;
    shapes.GetComponents().push_back(
        new CPolyBIG({CPoint(0, 0), CPoint(100, 0), CPoint(100, 100), CPoint(0, 100)}, 0, 1, 0.0, 0.0, 0.0));
    shapes.SetAngle(90.0);
    auto* polygon = static_cast<CPolyBIG*>(shapes.GetComponents()[0]);
    ExpectPoint(polygon->GetPointAt(0, 90.0), 100.0, 0.0, 1e-9, "first polygon point");
}

TEST(Element, RotateTurnsAboutALayoutPointAndKeepsHeights) {
    CCompositeGeometry element;
    element.GetComponents().push_back(NewStraight(100.0, 0.0, 10.0, 20.0));
    element.SetPosition(CPoint(1000.0, 500.0, 0.0));
    element.Rotate(CPoint(0.0, 0.0, 0.0), 90.0);
    EXPECT_EQ(element.GetAngle(), 90.0);
    tConstJoints joints = element.GetJoints(kJointFilterAll);
    ASSERT_EQ(joints.size(), 2u);
    // Joint 0 at (1000, 510) and joint 1 at (1100, 510) before the turn.
    ExpectPoint(joints[0]->GetLayoutPoint(), -510.0, 1000.0, 1e-9, "joint 0");
    ExpectPoint(joints[1]->GetLayoutPoint(), -510.0, 1100.0, 1e-9, "joint 1");

    // A rising straight: the heights of its ends survive the turn.
    CCompositeGeometry graded;
    graded.GetComponents().push_back(NewStraight(100.0, 0.0, 10.0, 20.0));
    graded.SetGrade(CGradeVector(CPoint(0.0, 10.0, 0.0), CPoint(100.0, 10.0, 0.0), 10.0));
    joints = graded.GetJoints(kJointFilterAll);
    const double low = joints[0]->GetLayoutPoint().z;
    const double high = joints[1]->GetLayoutPoint().z;
    // atan(10 / 100) over a run of 100.
    EXPECT_NEAR(std::fabs(high - low), 100.0 * std::sin(std::atan(0.1)), 1e-9);
    graded.Rotate(CPoint(50.0, 10.0, 0.0), 45.0);
    EXPECT_EQ(graded.GetGrade().height, 10.0);
    joints = graded.GetJoints(kJointFilterAll);
    EXPECT_NEAR(joints[0]->GetLayoutPoint().z, low, 1e-9);
    EXPECT_NEAR(joints[1]->GetLayoutPoint().z, high, 1e-9);

    // No components: a warning and nothing moves.
    CCompositeGeometry empty;
    empty.SetProductNumber("E1");
    empty.SetLibraryName("Lib");
    empty.SetPosition(CPoint(3.0, 4.0, 0.0));
    const long before = CountWarnings("No components for 'E1' (Lib) - cannot rotate element!");
    empty.Rotate(CPoint(0.0, 0.0, 0.0), 90.0);
    EXPECT_EQ(CountWarnings("No components for 'E1' (Lib) - cannot rotate element!"), before + 1);
    EXPECT_EQ(empty.GetAngle(), 0.0);
    ExpectPoint(empty.GetPosition(), 3.0, 4.0, 0.0, "position");
}

// ------------------------------------------------------------ joints

TEST(Element, JointFiltersAndParents) {
    CCompositeGeometry element;
    element.GetComponents().push_back(NewStraight(100.0, 0.0, 0.0, 20.0));
    element.GetComponents().push_back(UElementComponents::CreateCircleComponent(1, 0.0, 0.0, 10.0));
    element.GetComponents().push_back(NewCurve(360.0, 30.0));
    // The const form refuses joints that were never given their element.
    const CCompositeGeometry& constElement = element;
    try {
        constElement.GetJoints(kJointFilterAll);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("Parent element not yet assigned for joint1"), std::string::npos);
    }

    CCompositeGeometry other;
    other.GetComponents().push_back(NewStraight(50.0, 0.0, 0.0, 20.0));
    other.UpdateJoints();
    CJoint::Connect(element.GetComponents()[0]->GetJoint(0), other.GetComponents()[0]->GetJoint(1));

    CJoint* straight0 = element.GetComponents()[0]->GetJoint(0);
    CJoint* straight1 = element.GetComponents()[0]->GetJoint(1);
    CJoint* curve0 = element.GetComponents()[2]->GetJoint(0);
    CJoint* curve1 = element.GetComponents()[2]->GetJoint(1);
    struct tCase {
        int filter;
        tConstJoints expected;
    };
    const tCase cases[] = {
        {0, {straight0, straight1, curve0, curve1}},
        {1, {straight1, curve0, curve1}},
        {2, {straight0}},
        {3, {}},
        {-1, {}},
    };
    for (const tCase& c : cases) {
        EXPECT_EQ(element.GetJoints(static_cast<JointFilter>(c.filter)), c.expected) << c.filter;
    }
    for (const CJoint* joint : element.GetJoints(kJointFilterAll)) EXPECT_EQ(joint->GetParent(), &element);

    // A disabled end is left out even when it is free.
    element.GetComponents()[2]->DisableJoint(1);
    EXPECT_EQ(element.GetJoints(kJointFilterFree), (tConstJoints{straight1, curve0}));
}

// Two concentric curves of a parallel track each rise along their own chord.
TEST(Element, CurvedParallelTrackGradesEachCurveOnItsOwnChord) {
    for (const int type : {2, 209, 0}) {
        SCOPED_TRACE("type " + std::to_string(type));
        CCompositeGeometry element;
        element.SetElementType(type);
        element.GetComponents().push_back(NewCurve(300.0, 30.0));
        element.GetComponents().push_back(NewCurve(340.0, 30.0));
        element.SetGrade(CGradeVector(CPoint(0.0, 0.0, 0.0), CPoint(0.0, 1000.0, 0.0), 10.0));
        element.UpdateJoints();
        element.UpdateJoints();
        for (std::size_t i = 0; i < 2; ++i) {
            const double radius = i == 0 ? 300.0 : 340.0;
            const double chord = 2.0 * radius * std::sin(15.0 * kElementPi / 180.0);
            const CJoint* first = element.GetComponents()[i]->GetJoint(0);
            const CJoint* last = element.GetComponents()[i]->GetJoint(1);
            const double rise = std::fabs(last->GetLayoutPoint().z - first->GetLayoutPoint().z);
            if (type != 0) {
                EXPECT_NEAR(first->GetLayoutPoint().z, 0.0, 1e-9);
                EXPECT_NEAR(rise, chord * 10.0 / std::hypot(chord, 10.0), 1e-9);
            } else {
                // The element grade runs along y over 1,000: the rise follows
                // the y the curve covers.
                const double dy = std::fabs(last->GetLayoutPoint().y - first->GetLayoutPoint().y);
                EXPECT_NEAR(rise, dy * std::sin(std::atan(10.0 / 1000.0)), 1e-9);
            }
        }
    }
}

// ------------------------------------------------------------ copies and texts

TEST(Element, CopyIsDeepWithANewIdentity) {
    std::unique_ptr<CCompositeGeometry> source = RichElement();
    CLayer layer("Track layer");
    source->SetSecondString("second");
    source->SetFirstFlag(false);
    source->SetSecondFlag(true);
    source->SetAttributeValue(42);
    source->SetCachedPoint(CPoint(7, 8, 9));

    CCompositeGeometry copy(*source);
    EXPECT_NE(copy.GetIdentifier(), source->GetIdentifier());
    EXPECT_EQ(copy.GetIdentifier().size(), 36u);
    EXPECT_EQ(source->GetLayerName(), "Bahnhof");
    EXPECT_EQ(copy.GetLayerName(), "");
    EXPECT_EQ(copy.GetSecondString(), "");
    EXPECT_STREQ(copy.GetProductNumber(), "24188");
    EXPECT_STREQ(copy.GetLabelText(), "Einfahrt Nord");
    EXPECT_STREQ(copy.GetText211(), "X7");
    EXPECT_STREQ(copy.GetText242(), "Weiche links");
    EXPECT_EQ(copy.GetPrice(), 1299);
    EXPECT_EQ(copy.GetElementType(), 5);
    EXPECT_EQ(copy.GetHeaderValue244(), 4);
    EXPECT_TRUE(copy.GetFlag245());
    EXPECT_FALSE(copy.GetFirstFlag());
    EXPECT_TRUE(copy.GetSecondFlag());
    EXPECT_EQ(copy.GetAttributeValue(), 42);
    EXPECT_EQ(copy.GetStartTrim(), 15);
    EXPECT_EQ(copy.GetEndTrim(), 85);
    ExpectPoint(copy.GetCachedPoint(), 7, 8, 0, "cached point");
    ExpectPoint(copy.GetPosition(), 1234.5, -678.25, 0, "position");
    EXPECT_EQ(copy.GetAngle(), 30.0);
    EXPECT_EQ(copy.GetGrade().height, 25.0);
    EXPECT_EQ(copy.GetFirstColor(), source->GetFirstColor());
    EXPECT_EQ(copy.GetSecondColor(), source->GetSecondColor());
    EXPECT_EQ(copy.GetGeneratorMap().size(), 3u);
    EXPECT_EQ(copy.GetTranslations(), source->GetTranslations());

    ASSERT_EQ(copy.GetComponents().size(), source->GetComponents().size());
    for (std::size_t i = 0; i < copy.GetComponents().size(); ++i) {
        CBasicGeometry* original = source->GetComponents()[i];
        CBasicGeometry* cloned = copy.GetComponents()[i];
        EXPECT_NE(cloned, original);
        EXPECT_EQ(cloned->GetType(), original->GetType());
        EXPECT_EQ(cloned->GetOffsetX(), original->GetOffsetX());
        EXPECT_EQ(cloned->GetJoint(0)->GetParent(), &copy);
    }
    // Joints of the copy sit where the original's do.
    const tConstJoints a = source->GetJoints(kJointFilterAll);
    const tConstJoints b = copy.GetJoints(kJointFilterAll);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ExpectPoint(b[i]->GetLayoutPoint(), a[i]->GetLayoutPoint().x, a[i]->GetLayoutPoint().y, 1e-9, "joint");

    // The copy is independent of the original.
    static_cast<CStraightBIG*>(copy.GetComponents()[0])->SetLength(1.0);
    EXPECT_EQ(static_cast<CStraightBIG*>(source->GetComponents()[0])->GetLength(), 188.0);

    // The layer pointer is copied; the layer's name wins over the stored one.
    source->SetLayer(&layer);
    CCompositeGeometry onLayer(*source);
    EXPECT_EQ(onLayer.GetLayer(), &layer);
    EXPECT_EQ(onLayer.GetLayerName(), "Track layer");
    EXPECT_EQ(source->GetLayerName(), "Track layer");
}

TEST(Element, TextFieldsAndDescriptions) {
    CCompositeGeometry element;
    ExpectColor(element.GetFirstColor(), 0.75, 0.75, 0.75, 1.0, 0.0, "first colour");
    ExpectColor(element.GetSecondColor(), 0.0, 0.0, 0.0, 1.0, 0.0, "second colour");
    EXPECT_EQ(element.GetCurrencyId(), 129);
    EXPECT_EQ(element.GetModelScale(), 16);
    EXPECT_EQ(element.GetHeaderValue212(), 1);
    EXPECT_TRUE(element.GetFirstFlag());

    element.SetCachedPoint(CPoint(1, 1, 1));
    const std::string forty(40, 'P');
    element.SetProductNumber(forty.c_str());
    EXPECT_EQ(std::string(element.GetProductNumber()), std::string(31, 'P'));
    ExpectPoint(element.GetCachedPoint(), 0, 0, 0, "cached point");
    element.SetProductNumber(nullptr);
    EXPECT_EQ(std::string(element.GetProductNumber()), std::string(31, 'P'));
    element.SetLibraryName(std::string(200, 'L').c_str());
    EXPECT_EQ(std::strlen(element.GetLibraryName()), 127u);

    element.SetDescription("Bogen R1");
    EXPECT_EQ(element.GetLocalizedDescription("de"), "Bogen R1");
    element.SetLocalizedDescription("Bogen", "de");
    element.SetLocalizedDescription("Curve", "en");
    EXPECT_EQ(element.GetLocalizedDescription("de"), "Bogen");
    EXPECT_EQ(element.GetLocalizedDescription("fr"), "Curve");
    EXPECT_EQ(UTranslationsMap::Lookup(element.GetTranslations(), "Description", "de"), "Bogen");

    element.GetComponents().push_back(NewStraight(10.0, 0.0, 0.0, 20.0));
    element.GetComponents().push_back(NewCurve(100.0, 10.0));
    element.SetTrackbedWidth(36.5);
    element.SetRailWidth(2.5);
    for (const CBasicGeometry* component : element.GetComponents()) {
        EXPECT_EQ(component->GetTrackbedWidth(), 36.5);
        EXPECT_EQ(component->GetRailWidth(), 2.5);
    }
}

// ------------------------------------------------------------ container

namespace {

class ListContainer : public CTrackElementsContainer {
public:
    const tElements& GetElements() const override { return mElements; }
    tElements mElements;
};

}  // namespace

TEST(TrackElementsContainer, FindsByProductNumberAndComparesPointers) {
    CCompositeGeometry a;
    CCompositeGeometry b;
    CCompositeGeometry c;
    a.SetProductNumber("24188");
    b.SetProductNumber("24130");
    c.SetProductNumber("24130");
    ListContainer container;
    container.mElements = {&a, &b, &c};
    EXPECT_EQ(container.GetElementCount(), 3u);
    EXPECT_EQ(container.GetElementWithProductNumber("24130"), &b);
    EXPECT_EQ(container.GetElementWithProductNumber("24188"), &a);
    EXPECT_EQ(container.GetElementWithProductNumber("2413"), nullptr);
    EXPECT_EQ(container.GetElementWithProductNumber(""), nullptr);

    const CCompositeGeometry copy(b);
    EXPECT_TRUE(container.ContainsElement(&b));
    EXPECT_FALSE(container.ContainsElement(&copy));
    EXPECT_FALSE(container.ContainsElement(nullptr));
}
