// The shipped sample layout (resources/samples/sample.scenario): it loads,
// every track end meets another or ends in a bumper, its part list counts
// what the scenario places, and its picture keeps its boards, lake, hill,
// trees and tracks where they were (colour counts in regions).

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "engine/generators/ComponentGenerator.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "platform/graphics/Image.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/Scenario.h"

#if !defined(VEKMONT_LAYOUTRENDER) || !defined(VEKMONT_SAMPLE_SCENARIO)
#error "the sample tests need layoutrender and the sample scenario"
#endif

using layouttest::CountNear;

namespace {

std::string SampleText() {
    std::string text;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ReadTextFile(VEKMONT_SAMPLE_SCENARIO, text, error)) << error;
    return text;
}

// Pieces by product number as the scenario places them: library pieces and
// user-created flex tracks.
std::map<std::string, int> PlacedPieces(const std::string& scenario) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) << error;
    std::map<std::string, int> pieces;
    for (std::size_t i = 0; i < document.elements.size(); ++i) {
        const CCompositeGeometry& element = *document.elements[i];
        const bool libraryPart = std::string(element.GetLibraryName()).size() >= 2;
        if (libraryPart || summary.kinds[i] == ULayoutGen::tElementKind::Flex) ++pieces[element.GetProductNumber()];
    }
    return pieces;
}

bool HasBumper(const CCompositeGeometry* element) {
    return element->GetGeneratorMap().count(kGeneratorTrackBumper) != 0;
}

}  // namespace

TEST(SampleLayout, EveryTrackEndMeetsAnotherOrABumperAndThePartListCountsThePieces) {
    const std::string scenario = SampleText();
    auto layout = layouttest::LoadScenario(scenario, "sample.wkst");
    ASSERT_TRUE(layout);
    const tElements& elements = layout->GetElements();
    EXPECT_GE(elements.size(), 150u);
    EXPECT_LE(elements.size(), 300u);

    // Open ends: none but the bumpers', which the bumpers close.
    std::size_t free = 0;
    for (const CJoint* joint : layout->GetLayoutJoints().GetJoints()) {
        if (!joint->IsFree()) continue;
        ++free;
        const CCompositeGeometry* owner = joint->GetParent();
        ADD_FAILURE() << "open end of " << owner->GetProductNumber() << " at " << joint->GetLayoutPoint().x << ", "
                      << joint->GetLayoutPoint().y;
    }
    EXPECT_EQ(free, 0u);
    int bumpers = 0;
    for (const CCompositeGeometry* element : elements) {
        if (!HasBumper(element)) continue;
        ++bumpers;
        const CBasicGeometry* track = element->GetComponents().front();
        EXPECT_NE(track->IsJointEnabled(0), track->IsJointEnabled(1)) << "a bumper closes exactly one end";
    }
    EXPECT_GE(bumpers, 4);

    // The part list counts every piece the scenario placed, no more.
    CTrackElementsStatistics& statistics = layout->GetStatistics();
    statistics.Refresh(elements);
    CPartList parts(layout.get(), &statistics);
    std::map<std::string, int> listed;
    long long total = 0;
    for (const CCountedGeometry* entry : parts.GetEntries()) {
        listed[entry->GetProductNumber()] += entry->GetCount();
        EXPECT_GT(entry->GetPrice(), 0) << entry->GetProductNumber() << " has a price";
        total += static_cast<long long>(entry->GetPrice()) * entry->GetCount();
    }
    EXPECT_EQ(listed, PlacedPieces(scenario));
    // 34 straights, 12 + 12 + 3 curves, 7 turnouts and one flex track.
    EXPECT_EQ(total, 34 * 395 + 12 * 450 + 12 * 430 + 3 * 470 + 7 * 2990 + 1250);
}

TEST(SampleLayout, ThePictureKeepsItsBoardsSceneryAndTracks) {
    layouttest::RegisterServices();
    const std::string file = layouttest::WriteScenario(SampleText(), "sample-picture.wkst");
    const std::string png = (testsupport::processRoot() / "sample.png").string();
    const std::string command = std::string("'") + VEKMONT_LAYOUTRENDER + "' '" + file + "' -o '" + png +
                                "' --width 900 --height 700 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto image = platform::Image::fromFile(png);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->pixelWidth(), 900);
    ASSERT_EQ(image->pixelHeight(), 700);

    // The plan fills the picture: boards cover much of it.
    EXPECT_GT(CountNear(*image, 0, 0, 900, 700, 237, 227, 199, 12), 900 * 700 / 4) << "main board";
    EXPECT_GT(CountNear(*image, 150, 520, 620, 630, 230, 219, 189, 6), 20000) << "yard board, below";
    // The hill on the left, the lake in the middle, trees in the oval.
    EXPECT_GT(CountNear(*image, 30, 150, 250, 550, 140, 115, 77, 12), 20000) << "hill";
    EXPECT_GT(CountNear(*image, 360, 270, 470, 340, 140, 191, 242, 12), 4000) << "lake";
    EXPECT_GT(CountNear(*image, 300, 230, 780, 450, 77, 153, 77, 20), 3000) << "trees";
    EXPECT_LT(
        CountNear(*image, 0, 0, 900, 700, 140, 191, 242, 12) - CountNear(*image, 360, 270, 470, 340, 140, 191, 242, 12),
        100)
        << "no lake blue elsewhere";
    // Track grey along the oval's straights, top and bottom.
    EXPECT_GT(CountNear(*image, 300, 170, 700, 215, 191, 191, 191, 20), 1500) << "upper straights";
    EXPECT_GT(CountNear(*image, 300, 460, 700, 510, 191, 191, 191, 20), 1500) << "lower straights";
    // The red arrow at the quarry, top right.
    EXPECT_GT(CountNear(*image, 680, 40, 800, 110, 204, 26, 26, 40), 10) << "arrow";
    // White around the plan.
    EXPECT_GT(CountNear(*image, 0, 660, 900, 700, 255, 255, 255, 4), 900 * 40 * 8 / 10) << "white below";
}
