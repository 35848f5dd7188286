#pragma once
// The catalogue tab as far as the app needs it: a table of the local
// layouts (the documents folder) and of the shared layouts whose files are
// downloaded (titled from the entity cache when it knows them). A local
// layout's row shows its name as the local-layouts tab does, whole
// (VKMLayoutNameRow.h). A tap posts the request to open the layout; the
// catalogue's opener, which lives with the screen from its creation, serves
// it. Main thread only; made with std::make_shared.

#include "platform/ui/controllers/TableViewController.h"

#include <memory>
#include <string>
#include <vector>

class QLSharedLayoutsClient;
class VKMLayoutOpener;

class VKMCatalogViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "VKMCatalogViewController";
    static constexpr int kLocalSection = 0;
    static constexpr int kCloudSection = 1;
    static constexpr const char* kCellIdentifier = "CatalogLayoutCell";
    static constexpr const char* kLocalCellIdentifier = "CatalogLocalLayoutCell";

    struct CloudRow {
        std::string layoutId;
        std::string title;
    };

    // The app's sharing client when none is given.
    explicit VKMCatalogViewController(std::shared_ptr<QLSharedLayoutsClient> client = nullptr);

    // Reads the documents folder and the caches again and reloads the table.
    void reloadLayouts();
    const std::vector<std::string>& localLayouts() const { return mLocalLayouts; }
    const std::vector<CloudRow>& cloudLayouts() const { return mCloudLayouts; }
    const std::shared_ptr<VKMLayoutOpener>& opener() const { return mOpener; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    std::string className() const override { return "VKMCatalogViewController"; }

    int numberOfSectionsInTableView(platform::ui::TableView& tableView) override;
    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;
    double heightForRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;
    std::string titleForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    void didSelectRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;

private:
    std::shared_ptr<VKMLayoutOpener> mOpener;
    std::vector<std::string> mLocalLayouts;
    std::vector<CloudRow> mCloudLayouts;
};
