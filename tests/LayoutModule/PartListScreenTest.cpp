// The part list tab in a headless window: rows of the track parts by count
// with their pictures, the part list copied as tab-separated text, an empty
// list that copies nothing, and on tablets the chart tied to the table.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "LayoutModule/PartList/VKMPartsTableDataSource.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/UIColorCColorPalette.h"
#include "engine/model/PartList.h"
#include "engine/services/CurrencyStrings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Switch.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "widgets/Charts/GRPieChart.h"

using namespace platform::ui;
using sidescreens::SamePixels;
using sidescreens::SideScreens;

namespace {

// Three straights, two curves turned by 40 degrees, a station building of
// the library (a part, not a track) and a user's text (no part).
const char* const kPartsScenario = R"(version 13
layer "Tracks"
straight length=200 product=S200 maker=Vekmo desc="Straight\ttrack"
straight length=200 product=S200 maker=Vekmo desc="Straight\ttrack"
straight length=200 product=S200 maker=Vekmo desc="Straight\ttrack"
curve radius=360 sweep=30 at=0,400 angle=40 product=R360 maker=Ab desc="Curve"
curve radius=360 sweep=30 product=R360 maker=Ab desc="Curve"
rect size=100,50 at=0,-300 library="layoutgen H0" product=B100 maker=Vekmo desc="Station"
text "Hello" at=0,600
)";

const char* const kNoPartsScenario = R"(version 13
layer "Tracks"
text "Nothing to buy" at=0,0
)";

// Twelve straights of twelve lengths: twelve parts of one piece each.
std::string TwelvePartsScenario() {
    std::string text = "version 13\nlayer \"Tracks\"\n";
    for (int i = 1; i <= 12; ++i) {
        text += "straight length=" + std::to_string(50 + 10 * i) + " product=P" + std::to_string(100 + i) + "\n";
    }
    return text;
}

std::string LabelText(const std::shared_ptr<TableViewCell>& cell, long tag) {
    const auto label = std::dynamic_pointer_cast<Label>(cell->viewWithTag(tag));
    return label ? label->text() : "<no label>";
}

std::shared_ptr<platform::Image> Picture(const std::shared_ptr<TableViewCell>& cell) {
    const auto view = std::dynamic_pointer_cast<ImageView>(cell->viewWithTag(VKMPartsTableDataSource::kPictureTag));
    return view ? view->image() : nullptr;
}

std::shared_ptr<Button> CopyButton(TableView& table) {
    const auto header = table.headerViewForSection(0);
    if (!header) return nullptr;
    std::vector<std::shared_ptr<View>> pending{header};
    while (!pending.empty()) {
        auto view = pending.back();
        pending.pop_back();
        if (auto button = std::dynamic_pointer_cast<Button>(view)) return button;
        for (const auto& sub : view->subviews()) pending.push_back(sub);
    }
    return nullptr;
}

std::vector<std::vector<std::string>> Fields(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        lines.push_back(fields);
    }
    return lines;
}

}  // namespace

TEST(PartListScreen, ShowsTheTrackPartsByCountWithTheirPicturesAndTheTrackTotal) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kPartListTab);
    screens.open(kPartsScenario, "parts.wkst");
    const auto table = screens.partList->outlets.partsTableView.lock();
    ASSERT_NE(table, nullptr);

    // Tracks only, more pieces first; the building is a part but no track.
    ASSERT_EQ(table->numberOfRowsInSection(0), 2);
    const auto first = table->cellForRowAtIndexPath({0, 0});
    const auto second = table->cellForRowAtIndexPath({0, 1});
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(LabelText(first, VKMPartsTableDataSource::kTitleTag), "Vekmo S200");
    EXPECT_EQ(LabelText(first, VKMPartsTableDataSource::kDescriptionTag), "Straight\ttrack");
    EXPECT_EQ(LabelText(first, VKMPartsTableDataSource::kCountTag), "3x");
    // A manufacturer of fewer than four characters is left out.
    EXPECT_EQ(LabelText(second, VKMPartsTableDataSource::kTitleTag), "R360");
    EXPECT_EQ(LabelText(second, VKMPartsTableDataSource::kCountTag), "2x");
    EXPECT_EQ(screens.partList->numberOfTracks(), 5u);
    EXPECT_EQ(screens.partList->titleForHeaderInSection(0), "Shopping list");
    EXPECT_EQ(screens.partList->titleForHeaderInSection(1), "???");

    // The picture: the part upright, filled in the part-list colour.
    const auto curvePicture = Picture(second);
    ASSERT_NE(curvePicture, nullptr);
    EXPECT_LE(curvePicture->pixelWidth(), 96);
    EXPECT_LE(curvePicture->pixelHeight(), 96);
    const platform::Color fill = UIColorCColor::vkmPartListElementFillColor();
    EXPECT_GT(layouttest::CountNear(*curvePicture, 0, 0, curvePicture->pixelWidth(), curvePicture->pixelHeight(),
                                    static_cast<int>(fill.red * 255), static_cast<int>(fill.green * 255),
                                    static_cast<int>(fill.blue * 255), 30),
              20);

    // Showing the rows again and again leaves the part list's own entries
    // where they are and draws the same picture each time.
    const CCountedGeometry* curve = nullptr;
    for (CCountedGeometry* entry : screens.partList->partList()->GetEntries()) {
        if (std::string(entry->GetProductNumber()) == "R360") curve = entry;
    }
    ASSERT_NE(curve, nullptr);
    const double angle = curve->GetAngle();
    const CPoint position = curve->GetPosition();
    const std::size_t components = curve->GetComponents().size();
    EXPECT_NEAR(angle, 40, 1e-6);
    for (int round = 0; round < 3; ++round) {
        table->reloadData();
        table->layoutIfNeeded();
    }
    EXPECT_NEAR(curve->GetAngle(), angle, 1e-9);
    EXPECT_NEAR(curve->GetPosition().x, position.x, 1e-9);
    EXPECT_NEAR(curve->GetPosition().y, position.y, 1e-9);
    EXPECT_EQ(curve->GetComponents().size(), components);
    const auto again = Picture(table->cellForRowAtIndexPath({0, 1}));
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(SamePixels(*curvePicture, *again));

    // On a phone the chart is not shown and gets no data.
    const auto chart = screens.partList->outlets.pieChart.lock();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->items().empty());
    EXPECT_TRUE(chart->superview()->isHidden());
}

TEST(PartListScreen, CopiesTheWholePartListAsTabSeparatedText) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kPartListTab);
    screens.open(kPartsScenario, "copy.wkst");
    auto& analytics = testsupport::Analytics();
    analytics.events.clear();
    const auto table = screens.partList->outlets.partsTableView.lock();
    const auto copy = CopyButton(*table);
    ASSERT_NE(copy, nullptr);

    screens.synth->tap(screens.centreOf(*copy));
    screens.advance(0.1);

    const auto& copied = Pasteboard::generalPasteboard().string();
    ASSERT_TRUE(copied.has_value());
    // Every part (the building too), by product number, numbered from 001;
    // the tab inside a description becomes "_".
    const auto lines = Fields(*copied);
    ASSERT_EQ(lines.size(), 3u) << *copied;
    for (const auto& fields : lines) ASSERT_EQ(fields.size(), 6u) << *copied;
    EXPECT_EQ(lines[0][0], "001");
    EXPECT_EQ(lines[0][1], "B100");
    EXPECT_EQ(lines[0][2], "Station");
    EXPECT_EQ(lines[0][5], "1");
    EXPECT_EQ(lines[1][0], "002");
    EXPECT_EQ(lines[1][1], "R360");
    EXPECT_EQ(lines[1][3], "Ab");
    EXPECT_EQ(lines[1][5], "2");
    EXPECT_EQ(lines[2][1], "S200");
    EXPECT_EQ(lines[2][2], "Straight_track");
    EXPECT_EQ(lines[2][3], "Vekmo");
    EXPECT_EQ(lines[2][5], "3");
    EXPECT_EQ(copied->back(), '\n');

    EXPECT_EQ(std::count_if(analytics.events.begin(), analytics.events.end(),
                            [](const auto& event) { return event.first == "PartListCopied"; }),
              1);
    ASSERT_FALSE(screens.messages.empty());
    EXPECT_EQ(screens.messages.back(), "Part list copied");
}

TEST(PartListScreen, AnEmptyPartListLeavesThePasteboardAloneAndSaysThereIsNothingToCopy) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kPartListTab);
    screens.open(kNoPartsScenario, "empty.wkst");
    auto& analytics = testsupport::Analytics();
    analytics.events.clear();
    Pasteboard::generalPasteboard().setString("kept");
    const auto changes = Pasteboard::generalPasteboard().changeCount();
    const auto table = screens.partList->outlets.partsTableView.lock();
    EXPECT_EQ(table->numberOfRowsInSection(0), 0);
    const testsupport::LogWatch watch;

    const auto copy = CopyButton(*table);
    ASSERT_NE(copy, nullptr);
    screens.synth->tap(screens.centreOf(*copy));
    screens.advance(0.1);

    EXPECT_EQ(Pasteboard::generalPasteboard().string(), std::optional<std::string>("kept"));
    EXPECT_EQ(Pasteboard::generalPasteboard().changeCount(), changes);
    EXPECT_TRUE(std::none_of(analytics.events.begin(), analytics.events.end(),
                             [](const auto& event) { return event.first == "PartListCopied"; }));
    ASSERT_EQ(screens.messages.size(), 1u);
    EXPECT_EQ(screens.messages[0], "The part list is empty: nothing to copy");
    EXPECT_EQ(testsupport::CountWith(watch.Lines(), "Could not create string for part list"), 1);
    EXPECT_TRUE(screens.partList->outlets.pieChart.lock()->items().empty());
}

namespace {

// The texts of the labels shown under `view`: none of a hidden view's.
void ShownTexts(const std::shared_ptr<View>& view, std::vector<std::string>& texts) {
    if (view->isHidden() || view->alpha() < 0.01) return;
    if (const auto label = std::dynamic_pointer_cast<Label>(view); label && !label->text().empty())
        texts.push_back(label->text());
    for (const auto& subview : view->subviews()) ShownTexts(subview, texts);
}

std::vector<std::string> ShownTexts(const std::shared_ptr<View>& view) {
    std::vector<std::string> texts;
    ShownTexts(view, texts);
    return texts;
}

}  // namespace

TEST(PartListScreen, AfterALoadThatFailedClosedTheLayoutItSaysNoLayoutIsOpen) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    const auto shown = [&] { return ShownTexts(screens.partList->view()); };
    const std::vector<std::string> none{"No layout open"};
    const auto failedLoad = [&] {
        EXPECT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile("/nonexistent/missing.wkst"));
        screens.advance(1);
        ASSERT_NE(screens.presented(), nullptr) << "the alert of the failed load";
        screens.tabs->dismissViewController(false);
        screens.advance(0.5);
    };

    // Before any layout.
    screens.tabs->setSelectedIndex(sidescreens::kPartListTab);
    screens.advance(0.5);
    EXPECT_EQ(shown(), none);

    // A layout, then a load that fails while another tab is shown.
    screens.open(kPartsScenario, "parts.wkst");
    screens.advance(0.5);
    auto texts = shown();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "5 tracks"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "No layout open"), texts.end());
    screens.tabs->setSelectedIndex(sidescreens::kLayoutTab);
    screens.advance(0.5);
    failedLoad();
    screens.tabs->setSelectedIndex(sidescreens::kPartListTab);
    screens.advance(0.5);
    EXPECT_EQ(shown(), none) << "no \"Shopping list 0 tracks\"";
    EXPECT_TRUE(screens.partList->outlets.pieChart.lock()->items().empty());

    // A layout again; then a load that fails while the part list is shown.
    screens.open(kPartsScenario, "again.wkst");
    screens.advance(0.5);
    EXPECT_EQ(screens.partList->outlets.partsTableView.lock()->numberOfRowsInSection(0), 2);
    EXPECT_NE(shown(), none);
    failedLoad();
    EXPECT_EQ(shown(), none);
    EXPECT_EQ(screens.partList->outlets.partsTableView.lock()->numberOfRowsInSection(0), 0);
}

TEST(PartListScreen, OnATabletTheChartFollowsTheTableAndTheStackTheDevice) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kPartListTab);
    screens.open(TwelvePartsScenario(), "twelve.wkst");
    const auto table = screens.partList->outlets.partsTableView.lock();
    const auto chart = screens.partList->outlets.pieChart.lock();
    const auto stack = screens.partList->outlets.stackView.lock();
    ASSERT_EQ(table->numberOfRowsInSection(0), 12);

    // One slice per row, described by product number; the twelfth reuses
    // the first colour.
    ASSERT_EQ(chart->items().size(), 12u);
    EXPECT_FALSE(chart->superview()->isHidden());
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(chart->items()[i]->value, 1) << i;
    EXPECT_EQ(chart->items()[0]->color, UIColorCColor::paperColorTeal200());
    EXPECT_EQ(chart->items()[1]->color, UIColorCColor::paperColorDeepOrange200());
    EXPECT_EQ(chart->items()[11]->color, UIColorCColor::paperColorTeal200());
    const auto shownFirst = LabelText(table->cellForRowAtIndexPath({0, 0}), VKMPartsTableDataSource::kTitleTag);
    ASSERT_TRUE(chart->items()[0]->textDescription.has_value());
    EXPECT_EQ(shownFirst, "layoutgen " + *chart->items()[0]->textDescription);

    // A tapped row lights its slice.
    const auto row = table->cellForRowAtIndexPath({0, 1});
    screens.synth->tap(screens.centreOf(*row));
    screens.advance(0.5);
    ASSERT_NE(chart->sectorHighlight(), nullptr);
    EXPECT_NE(chart->sectorHighlight()->superlayer(), nullptr);
    platform::Color lit = UIColorCColor::paperColorDeepOrange200();
    lit.alpha /= 2;
    EXPECT_EQ(chart->sectorHighlight()->strokeColor(), lit);
    // A tapped slice selects its row.
    screens.partList->chartTappedOnPieIndexItem(5);
    EXPECT_EQ(table->indexPathForSelectedRow(), std::optional<IndexPath>(IndexPath{0, 5}));
    screens.partList->chartTappedOnPieIndexItem(12);
    EXPECT_EQ(table->indexPathForSelectedRow(), std::optional<IndexPath>(IndexPath{0, 5}));

    // The chart takes 0.65 of the stack's smaller side.
    const auto width = screens.partList->outlets.pieChartWidthConstraint.lock();
    const platform::Rect bounds = stack->bounds();
    EXPECT_NEAR(width->constant(), 0.65 * std::min(bounds.width, bounds.height), 0.5);

    // Held sideways the stack is a row; face up changes nothing.
    EXPECT_EQ(stack->axis(), LayoutConstraintAxis::vertical);
    Device::currentDevice().setOrientation(DeviceOrientation::landscapeLeft);
    EXPECT_EQ(stack->axis(), LayoutConstraintAxis::horizontal);
    Device::currentDevice().setOrientation(DeviceOrientation::faceUp);
    EXPECT_EQ(stack->axis(), LayoutConstraintAxis::horizontal);
    Device::currentDevice().setOrientation(DeviceOrientation::portraitUpsideDown);
    EXPECT_EQ(stack->axis(), LayoutConstraintAxis::vertical);

    // A stack too small for a chart keeps the chart's size and says so.
    const double before = width->constant();
    const testsupport::LogWatch watch;
    stack->setFrame({0, 44, 100, 300});
    screens.partList->viewDidLayoutSubviews();
    EXPECT_EQ(width->constant(), before);
    EXPECT_EQ(testsupport::CountWith(watch.Lines(), "Stack view too small: {{0, 0}, {100, 300}}"), 1);
}

TEST(PartListScreen, SnapshotsShowTheHeaderThePicturesAndOnATabletTheChart) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const char* name = idiom == UserInterfaceIdiom::phone ? "phone" : "tablet";
        SideScreens screens;
        screens.show(idiom, sidescreens::kPartListTab);
        screens.open(kPartsScenario, std::string("snapshot-") + name + ".wkst");
        // Past the chart's reveal.
        screens.advance(2);
        const auto shot = screens.window->snapshot();
        ASSERT_NE(shot, nullptr) << name;
        if (getenv("SIDE_SHOTS")) shot->writePNG(std::string("/tmp/side-a-partlist-") + name + ".png");
        const auto table = screens.partList->outlets.partsTableView.lock();

        // The header's band in the secondary background.
        const platform::Rect header = table->convertRectToView(table->rectForHeaderInSection(0), nullptr);
        EXPECT_TRUE(layouttest::PixelNear(*shot, static_cast<int>(header.x * 2 + 8),
                                          static_cast<int>((header.y + 3) * 2), 242, 242, 247, 255, 8))
            << name;
        // The first row's picture holds the part-list fill.
        const auto picture = table->cellForRowAtIndexPath({0, 0})->viewWithTag(VKMPartsTableDataSource::kPictureTag);
        const platform::Rect box = picture->convertRectToView(picture->bounds(), nullptr);
        // The fill, 0.8 opaque, over the white row.
        const platform::Color fill = UIColorCColor::vkmPartListElementFillColor();
        const auto overWhite = [&fill](double channel) {
            return static_cast<int>((channel * fill.alpha + (1 - fill.alpha)) * 255);
        };
        EXPECT_GT(layouttest::CountNear(*shot, static_cast<int>(box.x * 2), static_cast<int>(box.y * 2),
                                        static_cast<int>(box.maxX() * 2), static_cast<int>(box.maxY() * 2),
                                        overWhite(fill.red), overWhite(fill.green), overWhite(fill.blue), 30),
                  20)
            << name;
        // Teal slices of the chart on a tablet only.
        const platform::Color teal = UIColorCColor::paperColorTeal200();
        const int tealPixels = layouttest::CountNear(
            *shot, 0, 0, shot->pixelWidth(), static_cast<int>(header.y * 2), static_cast<int>(teal.red * 255),
            static_cast<int>(teal.green * 255), static_cast<int>(teal.blue * 255), 12);
        if (idiom == UserInterfaceIdiom::tablet) {
            EXPECT_GT(tealPixels, 1000) << name;
        } else {
            EXPECT_EQ(tealPixels, 0) << name;
        }
    }
}

TEST(PartListScreen, TheSwitchKeepsItsStateAndARowKeepsItsPriceInThePriceList) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kPartListTab);
    screens.open(kPartsScenario, "price.wkst");
    const auto table = screens.partList->outlets.partsTableView.lock();
    const auto tracksOnly = screens.partList->outlets.tracksOnlySwitch.lock();
    ASSERT_NE(tracksOnly, nullptr);

    // The switch's state is stored; the table is rebuilt half a second on.
    screens.synth->tap(screens.centreOf(*tracksOnly));
    EXPECT_TRUE(tracksOnly->isOn());
    EXPECT_EQ(platform::UserDefaults::standard().boolValue(VKMPartListViewController::kTracksOnlyDefaultsKey),
              std::optional<bool>(true));
    const CPartList* before = screens.partList->partList();
    screens.advance(0.3);
    EXPECT_EQ(screens.partList->partList(), before);
    screens.advance(0.3);
    EXPECT_NE(screens.partList->partList(), before);
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);

    // A typed price goes to the price list in hundredths, rounded; none is 0.
    const auto& row = screens.partList->partsDataSource()->partsArray.at(0);
    ASSERT_EQ(row->productNr, "S200");
    const std::int32_t currency = row->partsEntry->GetCurrencyId();
    row->setPrice(UPriceFormatting::FormatPrice(currency, 12.5));
    const CCompositeGeometry* entry = CPriceList::Instance().FindEntry(row->partsEntry);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetPrice(), 1250);
    row->setPrice(std::nullopt);
    EXPECT_EQ(CPriceList::Instance().FindEntry(row->partsEntry)->GetPrice(), 0);
    EXPECT_NE(row->description().find(" : S200 (\"Straight\ttrack\"), 3x, "), std::string::npos) << row->description();
}
