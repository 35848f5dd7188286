#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"

#include "DocPickerModule/Catalog/VKMLayoutOpenRequests.h"
#include "DocPickerModule/LocalLayouts/VKMLayoutNameRow.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/TableView.h"

using namespace platform::ui;
using VKMCommunityStrings::text;

namespace {

void reportFailure(const char* key) { VKMAlerts::showAlertWithTitle(text(key), {}, text("OK"), {}); }

}  // namespace

VKMLocalLayoutsViewController::VKMLocalLayoutsViewController() { setTitle(text("LocalLayoutsTitle")); }

void VKMLocalLayoutsViewController::viewDidLoad() { tableView()->registerCellClass<TableViewCell>(kCellIdentifier); }

void VKMLocalLayoutsViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    // Listed each time it is shown (the first time too): other screens add files.
    reloadLayouts();
}

void VKMLocalLayoutsViewController::reloadLayouts() {
    mLayouts = VKMFileManager::contentsOfVKMDocumentsFolder();
    if (isViewLoaded()) tableView()->reloadData();
}

int VKMLocalLayoutsViewController::numberOfRowsInSection(TableView&, int) { return static_cast<int>(mLayouts.size()); }

std::shared_ptr<TableViewCell> VKMLocalLayoutsViewController::cellForRowAtIndexPath(TableView& table, IndexPath path) {
    auto cell = table.dequeueReusableCell(kCellIdentifier);
    if (static_cast<std::size_t>(path.row) < mLayouts.size())
        VKMLayoutNameRow::show(*cell, mLayouts[static_cast<std::size_t>(path.row)]);
    return cell;
}

double VKMLocalLayoutsViewController::heightForRowAtIndexPath(TableView& table, IndexPath path) {
    if (static_cast<std::size_t>(path.row) >= mLayouts.size()) return kTableViewAutomaticDimension;
    return VKMLayoutNameRow::heightForName(mLayouts[static_cast<std::size_t>(path.row)], table.bounds().width,
                                           table.rowHeight());
}

void VKMLocalLayoutsViewController::didSelectRowAtIndexPath(TableView&, IndexPath path) {
    if (static_cast<std::size_t>(path.row) >= mLayouts.size()) return;
    showActionsForLayout(mLayouts[static_cast<std::size_t>(path.row)], path);
}

void VKMLocalLayoutsViewController::showActionsForLayout(const std::string& name, IndexPath path) {
    auto sheet = std::make_shared<AlertController>(name, std::string{}, AlertControllerStyle::actionSheet);
    std::weak_ptr<VKMLocalLayoutsViewController> weak =
        std::static_pointer_cast<VKMLocalLayoutsViewController>(sharedController());
    auto act = [weak, name](void (VKMLocalLayoutsViewController::*action)(const std::string&)) {
        return [weak, name, action](AlertAction&) {
            if (auto self = weak.lock()) ((*self).*action)(name);
        };
    };
    sheet->addAction(std::make_shared<AlertAction>(text("LocalLayoutOpen"), AlertActionStyle::defaultStyle,
                                                   act(&VKMLocalLayoutsViewController::openLayout)));
    sheet->addAction(std::make_shared<AlertAction>(text("LocalLayoutDuplicate"), AlertActionStyle::defaultStyle,
                                                   act(&VKMLocalLayoutsViewController::duplicateLayout)));
    sheet->addAction(std::make_shared<AlertAction>(text("LocalLayoutDelete"), AlertActionStyle::destructive,
                                                   act(&VKMLocalLayoutsViewController::deleteLayout)));
    sheet->addAction(
        std::make_shared<AlertAction>(text("Cancel"), AlertActionStyle::cancel, [weak, path](AlertAction&) {
            if (auto self = weak.lock()) {
                self->tableView()->deselectRow(path, true);
            }
        }));
    // A tablet shows the sheet as a popover from the row.
    if (auto popover = sheet->popoverPresentationController()) {
        popover->setSourceView(tableView());
        popover->setSourceRect(tableView()->rectForRowAtIndexPath(path));
    }
    presentViewController(sheet, true);
}

void VKMLocalLayoutsViewController::openLayout(const std::string& name) {
    if (const auto path = VKMFileManager::absolutePathToPlan(name)) {
        VKMLayoutOpenRequests::requestLocalLayout(*path, this);
    } else {
        reportFailure("OpenLayoutFailedTitle");
    }
}

void VKMLocalLayoutsViewController::duplicateLayout(const std::string& name) {
    const auto copy = VKMFileManager::cloneFile(name);
    reloadLayouts();
    if (!copy) reportFailure("LocalLayoutDuplicateFailed");
}

void VKMLocalLayoutsViewController::deleteLayout(const std::string& name) {
    std::weak_ptr<VKMLocalLayoutsViewController> weak =
        std::static_pointer_cast<VKMLocalLayoutsViewController>(sharedController());
    VKMAlerts::askYesNoWithTitle(name, text("LocalLayoutDeleteQuestion"), text("LocalLayoutDelete"), [weak, name] {
        if (auto self = weak.lock()) self->deleteConfirmed(name);
    });
}

void VKMLocalLayoutsViewController::deleteConfirmed(const std::string& name) {
    // The file manager only logs what it refuses or fails to do.
    const bool named = VKMFileManager::absolutePathToPlan(name).has_value() && VKMFileManager::fileExists(name);
    if (named) VKMFileManager::deleteFile(name);
    const bool deleted = named && !VKMFileManager::fileExists(name);
    reloadLayouts();
    if (!deleted) reportFailure("LocalLayoutDeleteFailed");
}
