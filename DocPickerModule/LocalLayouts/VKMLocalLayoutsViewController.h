#pragma once
// The local-layouts tab: the layout files of the documents folder, each
// name whole (VKMLayoutNameRow.h). A tap on
// a row offers to open, duplicate or delete the file (deleting asks once
// more); the file manager does the work and refuses names that would reach
// outside the folder, which the screen reports in an alert. Main thread
// only; made with std::make_shared.

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/controllers/TableViewController.h"

#include <string>
#include <vector>

class VKMLocalLayoutsViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "VKMLocalLayoutsViewController";
    static constexpr const char* kCellIdentifier = "LocalLayoutCell";

    VKMLocalLayoutsViewController();

    // Lists the documents folder again and reloads the table.
    void reloadLayouts();
    const std::vector<std::string>& layouts() const { return mLayouts; }

    // What the row's actions do, by file name.
    void openLayout(const std::string& name);
    void duplicateLayout(const std::string& name);
    // Asks first; the file goes when the user confirms.
    void deleteLayout(const std::string& name);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    std::string className() const override { return "VKMLocalLayoutsViewController"; }

    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;
    double heightForRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;
    void didSelectRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;

private:
    void showActionsForLayout(const std::string& name, platform::ui::IndexPath indexPath);
    void deleteConfirmed(const std::string& name);

    std::vector<std::string> mLayouts;
};
