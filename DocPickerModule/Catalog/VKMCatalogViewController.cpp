#include "DocPickerModule/Catalog/VKMCatalogViewController.h"

#include "DocPickerModule/Catalog/VKMLayoutOpenRequests.h"
#include "DocPickerModule/Catalog/VKMLayoutOpener.h"
#include "DocPickerModule/LocalLayouts/VKMLayoutNameRow.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "app/Helper/VKMFileManager.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TableView.h"

#include <algorithm>

using namespace platform::ui;

VKMCatalogViewController::VKMCatalogViewController(std::shared_ptr<QLSharedLayoutsClient> client)
    : mOpener(VKMLayoutOpener::make(std::move(client))) {
    setTitle(VKMCommunityStrings::text("CatalogTitle"));
}

void VKMCatalogViewController::viewDidLoad() {
    tableView()->registerCell(kCellIdentifier, [](const std::string& identifier) {
        auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::subtitle, identifier);
        // A long layout name shrinks to its row rather than losing its end.
        cell->textLabel()->setAdjustsFontSizeToFitWidth(true);
        cell->textLabel()->setMinimumScaleFactor(0.6);
        return cell;
    });
    tableView()->registerCellClass<TableViewCell>(kLocalCellIdentifier);
    reloadLayouts();
}

void VKMCatalogViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    reloadLayouts();
}

void VKMCatalogViewController::reloadLayouts() {
    mLocalLayouts = VKMFileManager::contentsOfVKMDocumentsFolder();
    mCloudLayouts.clear();
    for (const std::string& layoutId : QLCloudLayoutsCache::sharedInstance().cachedLayoutIds()) {
        auto entity = VKMLayoutEntityCache::sharedInstance().objectForKey(layoutId);
        std::string title = entity && !entity->title().empty() ? entity->title() : layoutId;
        // Titles name files: their underscores are blanks.
        std::replace(title.begin(), title.end(), '_', ' ');
        mCloudLayouts.push_back({layoutId, std::move(title)});
    }
    const auto& locale = platform::Locale::current();
    std::stable_sort(mCloudLayouts.begin(), mCloudLayouts.end(), [&](const CloudRow& a, const CloudRow& b) {
        return locale.localizedStandardCompare(a.title, b.title) < 0;
    });
    if (isViewLoaded()) tableView()->reloadData();
}

int VKMCatalogViewController::numberOfSectionsInTableView(TableView&) { return 2; }

int VKMCatalogViewController::numberOfRowsInSection(TableView&, int section) {
    return static_cast<int>(section == kLocalSection ? mLocalLayouts.size() : mCloudLayouts.size());
}

double VKMCatalogViewController::heightForRowAtIndexPath(TableView& table, IndexPath path) {
    const auto row = static_cast<std::size_t>(path.row);
    if (path.section != kLocalSection || row >= mLocalLayouts.size()) return kTableViewAutomaticDimension;
    return VKMLayoutNameRow::heightForName(mLocalLayouts[row], table.bounds().width, table.rowHeight());
}

std::shared_ptr<TableViewCell> VKMCatalogViewController::cellForRowAtIndexPath(TableView& table, IndexPath path) {
    const auto row = static_cast<std::size_t>(path.row);
    if (path.section == kLocalSection) {
        // No second line of detail: the name has the row to itself.
        auto cell = table.dequeueReusableCell(kLocalCellIdentifier);
        if (row < mLocalLayouts.size()) VKMLayoutNameRow::show(*cell, mLocalLayouts[row]);
        return cell;
    }
    auto cell = table.dequeueReusableCell(kCellIdentifier);
    if (path.section == kCloudSection && row < mCloudLayouts.size()) {
        cell->textLabel()->setText(mCloudLayouts[row].title);
        auto entity = VKMLayoutEntityCache::sharedInstance().objectForKey(mCloudLayouts[row].layoutId);
        // The author's name once the user-name cache has it, else the identifier.
        const std::string author = entity ? entity->author() : std::string{};
        cell->detailTextLabel()->setText(
            author.empty() ? author : QLUserNameCache::sharedInstance().userNameForUserId(author).value_or(author));
    }
    return cell;
}

std::string VKMCatalogViewController::titleForHeaderInSection(TableView&, int section) {
    return VKMCommunityStrings::text(section == kLocalSection ? "CatalogLocalSection" : "CatalogCloudSection");
}

void VKMCatalogViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path) {
    table.deselectRow(path, true);
    const auto row = static_cast<std::size_t>(path.row);
    if (path.section == kLocalSection && row < mLocalLayouts.size()) {
        if (auto file = VKMFileManager::absolutePathToPlan(mLocalLayouts[row])) {
            VKMLayoutOpenRequests::requestLocalLayout(*file, this);
        }
    } else if (path.section == kCloudSection && row < mCloudLayouts.size()) {
        VKMLayoutOpenRequests::requestCloudLayout(mCloudLayouts[row].layoutId, this);
    }
}
