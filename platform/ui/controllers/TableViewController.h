#pragma once
// A controller whose view is a table of the main screen's size, and which
// is the table's data source and delegate: subclasses override the
// questions they answer (it has no rows by default). Each time its view
// will appear it deselects the selected row, animated, unless told not to.
// Made with std::make_shared. Main thread only.

#include "platform/ui/views/TableView.h"
#include "platform/ui/controllers/ViewController.h"

#include <memory>

namespace platform::ui {

class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
public:
    explicit TableViewController(TableViewStyle style = TableViewStyle::plain) : mStyle(style) {}

    // Loads the view when it is not yet.
    std::shared_ptr<TableView> tableView();

    bool clearsSelectionOnViewWillAppear() const { return mClearsSelection; }
    void setClearsSelectionOnViewWillAppear(bool clears) { mClearsSelection = clears; }

    void loadView() override;
    void viewWillAppear(bool animated) override;

    int numberOfRowsInSection(TableView& tableView, int section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, IndexPath indexPath) override;

    std::string className() const override { return "TableViewController"; }

private:
    TableViewStyle mStyle;
    bool mClearsSelection = true;
};

}  // namespace platform::ui
