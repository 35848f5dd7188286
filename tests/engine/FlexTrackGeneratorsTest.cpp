// The flex-track generators: generic flex tracks laid straight and bent,
// their default parameters, missing keys and parameter texts that are not
// numbers.

#include "engine/generators/FlexTrackGenerators.h"

#include "engine/model/FlexTrackBIG.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutGen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testsupport::LogWatch;

constexpr double kPi = 3.14159265358979323846;

tGeneratorParameters Parameters(const std::vector<std::pair<int, std::string>>& entries) {
    tGeneratorParameters parameters;
    for (const auto& [key, text] : entries) parameters[key] = CGeneratorParameter(text);
    return parameters;
}

// Takes ownership of what a generator returned.
struct tGenerated {
    explicit tGenerated(tComponents list) {
        for (CBasicGeometry* component : list) owned.emplace_back(component);
    }
    std::size_t size() const { return owned.size(); }
    CFlexTrackBIG* Flex(std::size_t index = 0) const { return dynamic_cast<CFlexTrackBIG*>(owned.at(index).get()); }
    std::vector<std::unique_ptr<CBasicGeometry>> owned;
};

double Distance(const CPoint& a, const CPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }

std::vector<int> Keys(const tGeneratorParameters& parameters) {
    std::vector<int> keys;
    for (const auto& entry : parameters) keys.push_back(entry.first);
    return keys;
}

TEST(FlexTrackGeneratorsTest, StraightNeedsItsLengthAndLaysAGenericFlexTrackOfThatLength) {
    CStraightFlexTrackComponentGenerator straight;
    tGeneratorParameters parameters = Parameters({{3, "0"}, {6, "750.000000"}, {7, "16.500000"}, {8, "40.000000"}});
    EXPECT_EQ(tGenerated(straight.Generate(parameters, nullptr)).size(), 0u) << "no length";

    parameters[2] = CGeneratorParameter(100.0);
    const tGenerated generated(straight.Generate(parameters, nullptr));
    ASSERT_EQ(generated.size(), 1u);
    CFlexTrackBIG* flex = generated.Flex();
    ASSERT_NE(flex, nullptr);
    EXPECT_TRUE(flex->IsGenerated());
    EXPECT_NEAR(flex->GetTrackLength(), 100.0, 1e-6);
    EXPECT_DOUBLE_EQ(flex->GetGauge(), 16.5);
    EXPECT_DOUBLE_EQ(flex->GetRailWidth(), 1.03125);  // a sixteenth of the gauge
    EXPECT_DOUBLE_EQ(flex->GetTrackbedWidth(), 40.0);
    EXPECT_DOUBLE_EQ(flex->GetMaxLength(), 750.0);  // key 6 written as a real
    EXPECT_EQ(flex->GetComponentAttribute(), 1);    // key 9 absent

    // Three points on one line along x, the first at the start of the
    // track's box: the bed (40 wide) reaches 20 below the centre line.
    const std::vector<CPoint>& points = flex->GetPoints();
    ASSERT_EQ(points.size(), 3u);
    for (const CPoint& point : points) EXPECT_NEAR(point.y, points.front().y, 1e-9);
    EXPECT_NEAR(points.back().x - points.front().x, 100.0, 1e-9);
    EXPECT_NEAR(points[1].x - points.front().x, 50.0, 1e-9);
}

TEST(FlexTrackGeneratorsTest, CurvedBendsAGenericFlexTrackToTheArc) {
    CCurvedFlexTrackComponentGenerator curved;
    tGeneratorParameters parameters =
        Parameters({{3, "0.000000"}, {4, "30.000000"}, {5, "360.000000"}, {7, "9"}, {8, "25"}, {9, "4"}});
    const tGenerated generated(curved.Generate(parameters, nullptr));
    ASSERT_EQ(generated.size(), 1u);
    CFlexTrackBIG* flex = generated.Flex();
    ASSERT_NE(flex, nullptr);
    EXPECT_TRUE(flex->IsGenerated());
    const std::vector<CPoint>& points = flex->GetPoints();
    ASSERT_EQ(points.size(), 4u);
    // The chord of 30 degrees of a 360 radius; the arc is 360 * pi / 6 long.
    EXPECT_NEAR(Distance(points.front(), points.back()), 2.0 * 360.0 * std::sin(15.0 * kPi / 180.0), 1e-6);
    EXPECT_NEAR(flex->GetTrackLength(), 360.0 * kPi / 6.0, 0.05);
    EXPECT_DOUBLE_EQ(flex->GetRailWidth(), 9.0 / 16.0);
    EXPECT_DOUBLE_EQ(flex->GetMaxLength(), 500.0);  // key 6 absent
    EXPECT_EQ(flex->GetComponentAttribute(), 4);

    for (const int missing : {3, 4, 5, 7, 8}) {
        tGeneratorParameters without = parameters;
        without.erase(missing);
        EXPECT_EQ(tGenerated(curved.Generate(without, nullptr)).size(), 0u) << "without key " << missing;
    }
}

TEST(FlexTrackGeneratorsTest, UnknownLibraryTrackFallsBackToTheGenericFlexTrack) {
    CCurvedFlexTrackComponentGenerator curved;
    tGeneratorParameters parameters =
        Parameters({{0, "No such library"}, {1, "FLEX-X"}, {3, "0"}, {4, "30"}, {5, "360"}, {7, "16.5"}, {8, "40"}});
    LogWatch watch;
    const tGenerated generated(curved.Generate(parameters, nullptr));
    EXPECT_EQ(watch.Count("Failed to retrieve original track 'FLEX-X' from library 'No such library' in "), 1);
    ASSERT_EQ(generated.size(), 1u);
    EXPECT_DOUBLE_EQ(generated.Flex()->GetGauge(), 16.5);

    // Without an element name: a different warning, and still the fallback.
    parameters.erase(1);
    LogWatch missing;
    EXPECT_EQ(tGenerated(curved.Generate(parameters, nullptr)).size(), 1u);
    EXPECT_EQ(missing.Count("Parameters missing for libraryName/elementName in "), 1);

    // An empty library name asks no library at all.
    parameters[0] = CGeneratorParameter("");
    LogWatch empty;
    EXPECT_EQ(tGenerated(curved.Generate(parameters, nullptr)).size(), 1u);
    EXPECT_EQ(empty.Count("Parameters missing"), 0);
    EXPECT_EQ(empty.Count("Failed to retrieve original track"), 0);

    // No library track and no gauge: nothing.
    parameters.erase(7);
    EXPECT_EQ(tGenerated(curved.Generate(parameters, nullptr)).size(), 0u);
}

TEST(FlexTrackGeneratorsTest, ParameterTextsThatAreNotNumbersReadAsDefaultsWithAWarning) {
    CStraightFlexTrackComponentGenerator straight;
    tGeneratorParameters parameters =
        Parameters({{2, "long"}, {3, "east"}, {6, "max"}, {7, "16.5"}, {8, "40"}, {9, "?"}});
    LogWatch watch;
    std::size_t count = 0;
    double length = 0.0;
    double maxLength = 0.0;
    int attribute = 0;
    EXPECT_NO_THROW({
        const tGenerated generated(straight.Generate(parameters, nullptr));
        count = generated.size();
        if (count == 1) {
            length = generated.Flex()->GetTrackLength();
            maxLength = generated.Flex()->GetMaxLength();
            attribute = generated.Flex()->GetComponentAttribute();
        }
    });
    ASSERT_EQ(count, 1u);
    EXPECT_NEAR(length, 100.0, 1e-6);  // the default length
    EXPECT_DOUBLE_EQ(maxLength, 500.0);
    EXPECT_EQ(attribute, 1);
    EXPECT_EQ(watch.Count("Generator parameter 2: 'long' is not a number"), 1);
    EXPECT_EQ(watch.Count("Generator parameter 6: 'max' is not a number"), 1);

    CCurvedFlexTrackComponentGenerator curved;
    tGeneratorParameters bent = Parameters({{3, "0"}, {4, "thirty"}, {5, "1e999"}, {7, "x"}, {8, "40"}});
    EXPECT_NO_THROW({
        const tGenerated generated(curved.Generate(bent, nullptr));
        EXPECT_EQ(generated.size(), 1u);
    });
}

TEST(FlexTrackGeneratorsTest, DefaultParametersOfUserCreatedAndLibraryFlexTracks) {
    ULayoutGen::tTrackMeasures measures{16.5, 40.0, 1.0};
    std::unique_ptr<CCompositeGeometry> userFlex = ULayoutGen::CElementBuilder()
                                                       .Catalogue("", "", "", "")
                                                       .FlexTrack(CPoint(0, 0), CPoint(300, 0), 900.0, measures)
                                                       .Build();
    std::unique_ptr<CCompositeGeometry> libraryFlex = ULayoutGen::CElementBuilder()
                                                          .Catalogue("FLEX-G", "Maker A", "H0 C track", "")
                                                          .FlexTrack(CPoint(0, 0), CPoint(300, 0), 900.0, measures)
                                                          .Build();
    CStraightFlexTrackComponentGenerator straight;
    CCurvedFlexTrackComponentGenerator curved;

    const tGeneratorParameters user = straight.DefaultParameters(userFlex.get());
    EXPECT_EQ(Keys(user), (std::vector<int>{2, 6, 7, 8, 9}));
    EXPECT_EQ(user.at(2).GetText(), "100.000000");
    EXPECT_EQ(user.at(6).GetText(), "900.000000");
    EXPECT_EQ(user.at(7).GetText(), "16.500000");
    EXPECT_EQ(user.at(8).GetText(), "40.000000");
    EXPECT_EQ(user.at(9).GetText(), "1");

    const tGeneratorParameters userCurved = curved.DefaultParameters(userFlex.get());
    EXPECT_EQ(Keys(userCurved), (std::vector<int>{4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(userCurved.at(4).GetText(), "30.000000");
    EXPECT_EQ(userCurved.at(5).GetText(), "360.000000");

    const tGeneratorParameters library = curved.DefaultParameters(libraryFlex.get());
    EXPECT_EQ(Keys(library), (std::vector<int>{0, 1, 4, 5}));
    EXPECT_EQ(library.at(0).GetText(), "H0 C track");
    EXPECT_EQ(library.at(1).GetText(), "FLEX-G");
    EXPECT_EQ(Keys(straight.DefaultParameters(libraryFlex.get())), (std::vector<int>{0, 1, 2}));

    LogWatch watch;
    EXPECT_TRUE(straight.DefaultParameters(nullptr).empty());
    EXPECT_TRUE(curved.DefaultParameters(nullptr).empty());
    EXPECT_EQ(watch.Count("No proto library flex track provided to "), 2);

    // The defaults of a user-created flex track, with an angle, make a track
    // of the same kind again.
    tGeneratorParameters again = user;
    again[3] = CGeneratorParameter(0.0);
    const tGenerated generated(straight.Generate(again, nullptr));
    ASSERT_EQ(generated.size(), 1u);
    EXPECT_DOUBLE_EQ(generated.Flex()->GetMaxLength(), 900.0);
    EXPECT_DOUBLE_EQ(generated.Flex()->GetTrackbedWidth(), 40.0);
}

TEST(FlexTrackGeneratorsTest, UnsupportedRequestsThrow) {
    CStraightFlexTrackComponentGenerator straight;
    const CComponentGenerator& asBase = straight;
    LogWatch watch;
    EXPECT_THROW(asBase.DefaultParameters(), std::runtime_error);
    EXPECT_EQ(watch.Count("Parameterless constructor not supported for this type of component generator"), 1);

    // A user-made element whose first track is a plain straight.
    std::unique_ptr<CCompositeGeometry> plain =
        ULayoutGen::CElementBuilder().Catalogue("", "", "", "").Straight(100.0).Build();
    EXPECT_THROW(straight.ParametersForGenericFlex(plain.get()), std::runtime_error);
    EXPECT_THROW(CCurvedFlexTrackComponentGenerator().ParametersForGenericFlex(plain.get()), std::runtime_error);
    EXPECT_EQ(watch.Count("No flex track component found in element"), 2);
}

}  // namespace
