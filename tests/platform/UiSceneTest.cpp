// Scenes built in code and found by storyboard name and identifier: a table
// controller with its prototype cell's tagged views and a controller with
// label outlets; scenes that are missing or of another class give nothing;
// table controllers clearing their selection as they appear.

#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TableViewController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using platform::Rect;
using namespace platform::ui;

namespace {

// A list of layers, each shown or hidden; a tap on a row toggles it.
class LayerList : public TableViewController {
public:
    void viewDidLoad() override {
        tableView()->registerCell("LayerListRowId", [](const std::string& identifier) {
            auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
            auto toggle = Button::make(ButtonType::system);
            toggle->setTag(1);
            cell->contentView()->addSubview(toggle);
            for (int tag : {2, 3}) {
                auto label = std::make_shared<Label>(Rect{60, tag == 2 ? 0.0 : 22.0, 200, 22});
                label->setTag(tag);
                cell->contentView()->addSubview(label);
            }
            auto preview = std::make_shared<ImageView>(Rect{300, 0, 44, 44});
            preview->setTag(4);
            cell->contentView()->addSubview(preview);
            return cell;
        });
        tableView()->setBounces(false);
    }
    int numberOfRowsInSection(TableView&, int) override { return static_cast<int>(names.size()); }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override {
        auto cell = table.dequeueReusableCell("LayerListRowId");
        const auto row = static_cast<std::size_t>(p.row);
        std::static_pointer_cast<Label>(cell->viewWithTag(2))->setText(names[row]);
        std::static_pointer_cast<Label>(cell->viewWithTag(3))->setText(shown[row] ? "shown" : "hidden");
        return cell;
    }
    void didSelectRowAtIndexPath(TableView& table, IndexPath p) override {
        const auto row = static_cast<std::size_t>(p.row);
        shown[row] = !shown[row];
        table.reloadRows({p}, TableViewRowAnimation::fade);
    }
    std::string className() const override { return "LayerList"; }

    std::vector<std::string> names{"Base", "Tracks", "Scenery"};
    std::vector<bool> shown{true, true, true};
};

class Details : public ViewController {
public:
    void loadView() override {
        ViewController::loadView();
        titleLabel = std::make_shared<Label>(Rect{0, 0, 200, 30});
        descriptionLabel = std::make_shared<Label>(Rect{0, 40, 200, 30});
        view()->addSubview(titleLabel);
        view()->addSubview(descriptionLabel);
    }
    std::string className() const override { return "Details"; }
    std::shared_ptr<Label> titleLabel;
    std::shared_ptr<Label> descriptionLabel;
};

// The scenes of the test's storyboard, removed again at the end.
struct Scenes {
    Scenes() {
        Storyboard::registerScene("Test", "LayerListId", [] { return std::make_shared<LayerList>(); });
        Storyboard::registerScene("Test", "DetailsId", [] { return std::make_shared<Details>(); });
        Storyboard::registerScene("Test", "BrokenId", [] { return nullptr; });
    }
    ~Scenes() {
        for (const char* identifier : {"LayerListId", "DetailsId", "BrokenId"}) {
            Storyboard::removeScene("Test", identifier);
        }
    }
};

}  // namespace

TEST(UiScene, ScenesAreBuiltByIdentifierWithTheirOutletsAndCells) {
    testsupport::VirtualTime time;
    Scenes scenes;
    const auto board = Storyboard::named("Test");
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->name(), "Test");

    auto details = board->instantiateViewControllerAs<Details>("DetailsId");
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->titleLabel == nullptr) << "outlets come with the view";
    ASSERT_NE(details->view(), nullptr);
    ASSERT_NE(details->titleLabel, nullptr);
    EXPECT_TRUE(details->titleLabel->isDescendantOfView(details->view().get()));
    EXPECT_NE(board->instantiateViewController("DetailsId"), details) << "each a new controller";

    auto list = board->instantiateViewControllerAs<LayerList>("LayerListId");
    ASSERT_NE(list, nullptr);
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    window->setRootViewController(list);
    window->layoutIfNeeded();
    auto table = list->tableView();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dataSource(), std::static_pointer_cast<TableViewDataSource>(list));
    EXPECT_FALSE(table->bounces());
    ASSERT_EQ(table->visibleCells().size(), 3u);
    for (const IndexPath& p : table->indexPathsForVisibleRows()) {
        auto cell = table->cellForRowAtIndexPath(p);
        EXPECT_EQ(cell->reuseIdentifier(), "LayerListRowId");
        EXPECT_NE(std::dynamic_pointer_cast<Button>(cell->viewWithTag(1)), nullptr);
        EXPECT_NE(std::dynamic_pointer_cast<ImageView>(cell->viewWithTag(4)), nullptr);
        auto name = std::dynamic_pointer_cast<Label>(cell->viewWithTag(2));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), list->names[static_cast<std::size_t>(p.row)]);
    }

    // A tap on the second row hides that layer and shows it in the row.
    TouchSynth synth(window);
    synth.tap({150, 44 + 20});
    synth.wait(0.5);
    EXPECT_EQ(list->shown, (std::vector<bool>{true, false, true}));
    auto state = std::static_pointer_cast<Label>(table->cellForRowAtIndexPath({0, 1})->viewWithTag(3));
    EXPECT_EQ(state->text(), "hidden");
    EXPECT_EQ(std::static_pointer_cast<Label>(table->cellForRowAtIndexPath({0, 0})->viewWithTag(3))->text(), "shown");
}

TEST(UiScene, MissingScenesAndScenesOfAnotherClassGiveNothing) {
    Scenes scenes;
    EXPECT_EQ(Storyboard::named("Elsewhere"), nullptr);
    EXPECT_EQ(Storyboard::named(""), nullptr);
    const auto board = Storyboard::named("Test");
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->instantiateViewController("NoSuchId"), nullptr);
    EXPECT_EQ(board->instantiateViewController("BrokenId"), nullptr);
    EXPECT_EQ(board->instantiateViewControllerAs<Details>("LayerListId"), nullptr);
    EXPECT_NE(board->instantiateViewControllerAs<TableViewController>("LayerListId"), nullptr);

    Storyboard::removeScene("Test", "DetailsId");
    EXPECT_EQ(board->instantiateViewController("DetailsId"), nullptr);
    // A scene registered again replaces the old one.
    Storyboard::registerScene("Test", "LayerListId", [] { return std::make_shared<Details>(); });
    EXPECT_NE(board->instantiateViewControllerAs<Details>("LayerListId"), nullptr);
}

TEST(UiScene, TableControllersClearTheirSelectionAsTheyAppear) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    auto list = std::make_shared<LayerList>();
    auto other = std::make_shared<ViewController>();
    window->setRootViewController(list);
    window->layoutIfNeeded();
    auto table = list->tableView();

    table->selectRow(IndexPath{0, 2}, false);
    window->setRootViewController(other);
    window->setRootViewController(list);
    EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);

    list->setClearsSelectionOnViewWillAppear(false);
    table->selectRow(IndexPath{0, 2}, false);
    window->setRootViewController(other);
    window->setRootViewController(list);
    EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2}));
}
