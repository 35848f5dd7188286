#pragma once
// The layer list: one row per layer of the open layout with a visibility
// button, the layer's name, a summary of its content and a small preview.
// A tap on a row shows or hides the layer. On a tablet every change is
// announced at once; on a phone (in a navigation controller with a Done
// button) one announcement goes out when the list is closed. Main thread
// only.
//
// Previews are drawn on a global queue from copies of the layers' content
// made on the main thread after the list is shown; a row shows an empty
// frame until its layer's preview arrives, and keeps it for later reloads.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/ui/controllers/TableViewController.h"

namespace platform {
class Image;
}
namespace platform::ui {
class Button;
}
class QLNotificationObserverTracker;
class CLayer;
class CLayout;

class VKMLayerListViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayerListId";
    static constexpr const char* kCellIdentifier = "LayerListRowId";
    static constexpr long kVisibilityButtonTag = 1;
    static constexpr long kNameLabelTag = 2;
    static constexpr long kSummaryLabelTag = 3;
    static constexpr long kPreviewTag = 4;
    static constexpr double kPreviewSize = 48;
    static constexpr double kHeaderHeight = 40;
    static constexpr const char* kVisibilityOnImage = "visibility_on";
    static constexpr const char* kVisibilityOffImage = "visibility_off";
    static constexpr const char* kLayerChangedNotification = "QLPropertyDidChangeForLayerNotification";

    // The scene: the table with its prototype row (button 1, labels 2 and
    // 3, preview 4).
    static std::shared_ptr<platform::ui::ViewController> makeScene();

    void viewDidLoad() override;
    // Closed on a phone, by Done or otherwise (a drag down, a key): the
    // changes are announced, once.
    void viewDidDisappear(bool animated) override;
    // Closes the list; once it is gone, announces the layers' changes.
    void dismissButtonTapped();

    // Fills the row's tagged views for the layer at `index`.
    void refreshLayerCell(platform::ui::TableViewCell& cell, int index);
    static void adjustVisibilityImageForButton(platform::ui::Button& button, const CLayer& layer);
    // The stored name with the German and English words for a layer, where
    // it starts with them, shown in the user's language.
    static std::string getNameForLayer(const CLayer& layer);
    // Inverts the row's layer's visibility and shows it.
    void handleRowTapped(platform::ui::IndexPath indexPath);

    // --- table ----------------------------------------------------------------
    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;
    std::string titleForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::View> viewForHeaderInSection(platform::ui::TableView& tableView,
                                                               int section) override;
    double heightForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    void didSelectRowAtIndexPath(platform::ui::TableView& tableView, platform::ui::IndexPath indexPath) override;

    std::string className() const override { return "VKMLayerListViewController"; }

    VKMLayerListViewController();
    ~VKMLayerListViewController() override;

private:
    // The layer's preview into the row's preview view: the one made, else
    // an empty frame while it is made.
    void showPreview(platform::ui::TableViewCell& cell, CLayer* layer);
    void requestPreview(CLayer* layer);
    // On the main thread, once the copy of the layer has been drawn.
    void previewArrived(const CLayer* layer, std::uint64_t generation, std::shared_ptr<platform::Image> image);
    // Another document: the previews made and on their way are of the old one.
    void forgetPreviews();

    std::map<const CLayer*, std::shared_ptr<platform::Image>> mPreviews;
    std::set<const CLayer*> mPendingPreviews;
    std::shared_ptr<platform::Image> mEmptyPreview;
    std::uint64_t mPreviewGeneration = 0;
    std::unique_ptr<QLNotificationObserverTracker> mDocumentObserver;

    static CLayout* trackLayout();
    // The layer of the row; null (after a soft assertion for a null entry)
    // outside the list.
    static CLayer* layerAt(int index);
};
