#pragma once
// The part list tab: the track pieces of the open layout as a shopping
// list, one row per part (picture, title, description, count), a header
// with the number of tracks and a button that copies the whole part list
// as tab-separated text, and on tablets a pie chart of the counts. Rebuilt
// whenever a layout has been loaded or closed; without an open layout it
// says that none is. Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LayoutModule/PartList/VKMPartListValueObject.h"
#include "platform/graphics/Color.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/controllers/ViewController.h"
#include "widgets/Charts/GRChartDelegate.h"

namespace platform::ui {
class Control;
class Label;
class LayoutConstraint;
class StackView;
class Switch;
}  // namespace platform::ui
class CLayout;
class CPartList;
class GRPieChart;
class QLNotificationObserverTracker;
class VKMPartsTableDataSource;

class VKMPartListViewController : public platform::ui::ViewController,
                                  public platform::ui::TableViewDelegate,
                                  public GRChartDelegate {
public:
    static constexpr const char* kSceneIdentifier = "VKMPartListViewController";
    static constexpr const char* kTracksOnlyDefaultsKey = "VKMUserDefaultTracksOnlyInPartList";
    static constexpr double kHeaderHeight = 65;
    static constexpr double kHeaderStackMargin = 25;
    static constexpr double kCopySymbolPointSize = 22.5;
    static constexpr const char* kCopySymbol = "doc.on.doc";
    static constexpr double kSwitchRefreshDelay = 0.5;
    // Of the stack's smaller side.
    static constexpr double kPieChartShare = 0.65;
    // A stack whose smaller side is no more than this keeps the chart's size.
    static constexpr double kSmallestStackSide = 100;
    static constexpr std::size_t kPaletteSize = 11;

    // What the scene connects.
    struct Outlets {
        std::weak_ptr<platform::ui::TableView> partsTableView;
        // Holds the chart's container and the table.
        std::weak_ptr<platform::ui::StackView> stackView;
        std::weak_ptr<GRPieChart> pieChart;
        std::weak_ptr<platform::ui::LayoutConstraint> pieChartWidthConstraint;
        std::weak_ptr<platform::ui::Switch> tracksOnlySwitch;
        // Says that no layout is open, in the middle, in place of the
        // switch, the chart and the table.
        std::weak_ptr<platform::ui::Label> emptyStateLabel;
    };
    Outlets outlets;

    // The scene: the switch over a stack of the chart and the table with
    // its prototype cell (picture 1; labels 2, 3 and 5), and the label of
    // the state without a layout.
    static std::shared_ptr<platform::ui::ViewController> makeScene();

    VKMPartListViewController();
    ~VKMPartListViewController() override;

    // The current-layout holder's document.
    CLayout* trackLayout() const;
    // Library tracks and user-made flex tracks of the document.
    std::uint32_t numberOfTracks() const;

    // A new part list of the document (replacing the last), its rows given
    // to the data source and the chart; without an open layout (none
    // loaded yet, or closed by a load that failed) the screen says so.
    void refreshPartList();
    // Whether a layout is open: one was loaded and not closed since.
    bool hasLayout() const;
    // refreshPartList, then the table reloaded when the screen is shown.
    void refreshPartListAndTable();
    // Rows of the track parts, larger counts first.
    std::vector<std::shared_ptr<VKMPartListValueObject>> partsArrayFromPartsVector() const;
    // The whole part list (every part, not only tracks) as text, with the
    // first byte of `delimiter` between fields; empty for an empty list.
    std::string partListAsStringUsingDelimiterCharacter(const std::string& delimiter) const;
    // Puts the part list on the pasteboard as tab-separated text. An empty
    // list leaves the pasteboard alone and says there is nothing to copy.
    void copyToClipboard();
    // The tracks-only switch: stores its state and refreshes 0.5 s later.
    void changeSwitch(platform::ui::Control& sender);
    // Lays the stack out in a row when the device is held sideways, in a
    // column when upright.
    void handleDeviceRotated();
    // The palette of the chart, repeating after 11 colours.
    static platform::Color colorForIndex(std::size_t index);

    const CPartList* partList() const { return mPartList.get(); }
    const std::shared_ptr<VKMPartsTableDataSource>& partsDataSource() const { return mPartsDataSource; }

    // The translation of "ShoppingList" for section 0, "???" otherwise.
    std::string titleForHeaderInSection(int section) const;

    // --- controller ---------------------------------------------------------
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidLayoutSubviews() override;
    std::string className() const override { return "VKMPartListViewController"; }

    // --- table delegate -----------------------------------------------------
    double heightForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::View> viewForHeaderInSection(platform::ui::TableView& tableView,
                                                               int section) override;
    void didSelectRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;

    // --- chart delegate -----------------------------------------------------
    void chartTappedOnPieIndexItem(std::int64_t pieIndex) override;

private:
    void refreshChart(const std::vector<std::shared_ptr<VKMPartListValueObject>>& parts);
    void showLayoutState();
    void reloadTableIfShown();
    bool isShown() const;
    void stylePieChart();
    std::shared_ptr<VKMPartListViewController> self();

    std::unique_ptr<CPartList> mPartList;
    std::shared_ptr<VKMPartsTableDataSource> mPartsDataSource;
    std::unique_ptr<QLNotificationObserverTracker> mNotificationTracker;
};
