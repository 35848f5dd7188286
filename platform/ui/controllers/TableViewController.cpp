#include "platform/ui/controllers/TableViewController.h"

#include "platform/ui/views/Screen.h"

namespace platform::ui {

std::shared_ptr<TableView> TableViewController::tableView() { return std::dynamic_pointer_cast<TableView>(view()); }

void TableViewController::loadView() {
    auto table = TableView::make(Screen::mainScreen()->bounds(), mStyle);
    auto self = std::static_pointer_cast<TableViewController>(sharedController());
    table->setDataSource(std::static_pointer_cast<TableViewDataSource>(self));
    table->setTableDelegate(self);
    setView(table);
}

void TableViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (!mClearsSelection) return;
    auto table = std::dynamic_pointer_cast<TableView>(viewIfLoaded());
    if (table && table->indexPathForSelectedRow()) table->deselectRow(*table->indexPathForSelectedRow(), animated);
}

int TableViewController::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView;
    (void)section;
    return 0;
}

std::shared_ptr<TableViewCell> TableViewController::cellForRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
    (void)tableView;
    (void)indexPath;
    return nullptr;
}

}  // namespace platform::ui
