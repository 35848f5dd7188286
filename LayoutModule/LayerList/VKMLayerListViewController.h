#pragma once
// The layer list: one row per layer of the open layout with a visibility
// button, the layer's name, a summary of its content and a small preview.
// A tap on a row shows or hides the layer. On a tablet every change is
// announced at once; on a phone (in a navigation controller with a Done
// button) one announcement goes out when the list is closed. Main thread
// only.
//
// Previews are drawn on a global queue from copies of the layers' content,
// made after the list is shown (VKMLayerPreviewMaker); a row shows an empty
// frame until its layer's preview arrives, and keeps it for later reloads.
// An image layer's preview is the empty frame: pictures are left out of
// exported pictures. Another document, or a change of colours, makes the
// rows and previews anew.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "LayoutModule/LayerList/QLLayerSummaryHelper.h"
#include "platform/ui/controllers/TableViewController.h"

namespace platform {
class Image;
}
namespace platform::ui {
class Button;
}
class QLNotificationObserverTracker;
class VKMLayerPreviewMaker;
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
    static constexpr const char* kElementColorChangedNotification = "QLLayoutElementColorChangedNotification";
    static constexpr const char* kSessionFillColorChangedNotification = "QLLayoutSessionFillColorChangedNotification";

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

    // Layers whose previews are shown (made, or the empty frame of an
    // image layer), and layers whose copies for a preview have begun.
    std::size_t previewsMade() const { return mPreviews.size(); }
    std::size_t previewCopiesBegun() const;
    // Layers whose previews are asked for and have not come.
    std::size_t previewsPending() const { return mPendingPreviews.size(); }

    VKMLayerListViewController();
    ~VKMLayerListViewController() override;

private:
    // The layer's preview into the row's preview view: the one made, else
    // an empty frame while it is made.
    void showPreview(platform::ui::TableViewCell& cell, CLayer* layer);
    void requestPreview(CLayer* layer);
    const std::shared_ptr<platform::Image>& emptyPreview();
    // The layer's preview made, or null when none could be.
    void previewArrived(const CLayer* layer, std::shared_ptr<platform::Image> image);
    // The previews made and on their way are of what was.
    void forgetPreviews();
    void documentChanged();
    // The elements of each layer, counted once for the rows.
    const QLLayerSummaryHelper::tElementCounts& elementCounts();

    std::map<const CLayer*, std::shared_ptr<platform::Image>> mPreviews;
    std::set<const CLayer*> mPendingPreviews;
    std::shared_ptr<platform::Image> mEmptyPreview;
    std::shared_ptr<VKMLayerPreviewMaker> mPreviewMaker;
    std::optional<QLLayerSummaryHelper::tElementCounts> mElementCounts;
    std::unique_ptr<QLNotificationObserverTracker> mDocumentObserver;

    static CLayout* trackLayout();
    // The layer of the row; null (after a soft assertion for a null entry)
    // outside the list.
    static CLayer* layerAt(int index);
};
