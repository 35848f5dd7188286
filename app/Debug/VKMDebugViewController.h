#pragma once
// The developers' screen, the storyboard's last tab (removed at every
// launch): two switches bound to user defaults, the performance counters
// and the recent log as tables, and three actions (clear the cloud caches,
// sign the user out, dump the counters). Main thread only.

#include "platform/ui/controllers/ViewController.h"

#include <memory>

namespace platform::ui {
class Button;
class LayoutConstraint;
class Switch;
class TableView;
class View;
}  // namespace platform::ui
class VKMLogTableDataSource;
class VKMPerfCounterTableDataSource;

class VKMDebugViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kStoryboard = "Main";
    static constexpr const char* kSceneIdentifier = "VKMDebugViewController";
    // User defaults of the two switches; stored only, nothing acts on them.
    static constexpr const char* kClearCachesOnLaunchKey = "VKMUserDefaultClearCachesOnLaunch";
    static constexpr const char* kLogNotificationsKey = "VKMUserDefaultLogNotifications";

    // Registers the scene under kStoryboard / kSceneIdentifier, with the
    // symbols its section headers show.
    static void registerScene();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillTransitionToSize(platform::Size size,
                                  platform::ui::ViewControllerTransitionCoordinator& coordinator) override;
    void didReceiveMemoryWarning() override;
    std::string className() const override { return "VKMDebugViewController"; }

    void adjustSectionHeaderStyles();
    void styleSectionHeaderView(const std::shared_ptr<platform::ui::View>& header);
    void configureLogTableView();
    void initializeDebugSwitches();

    // Actions.
    void debugSwitchOneToggled();
    void debugSwitchTwoToggled();
    void clearCloudCaches();
    void resetCurrentUser();
    void dumpPerformanceCounters();

    // Outlets.
    std::shared_ptr<platform::ui::View> debugSectionHeaderView() const { return mDebugSectionHeaderView.lock(); }
    std::shared_ptr<platform::ui::View> performanceSectionHeaderView() const {
        return mPerformanceSectionHeaderView.lock();
    }
    std::shared_ptr<platform::ui::View> logSectionHeaderView() const { return mLogSectionHeaderView.lock(); }
    const std::shared_ptr<platform::ui::TableView>& logTableView() const { return mLogTableView; }
    std::shared_ptr<platform::ui::TableView> perfCounterTableView() const { return mPerfCounterTableView.lock(); }
    const std::shared_ptr<platform::ui::LayoutConstraint>& tableViewHeightConstraint() const {
        return mTableViewHeightConstraint;
    }
    const std::shared_ptr<VKMLogTableDataSource>& logTableDataSource() const { return mLogTableDataSource; }
    const std::shared_ptr<VKMPerfCounterTableDataSource>& perfCounterTableDataSource() const {
        return mPerfCounterTableDataSource;
    }
    std::shared_ptr<platform::ui::Switch> debugSwitchOne() const { return mDebugSwitchOne.lock(); }
    std::shared_ptr<platform::ui::Switch> debugSwitchTwo() const { return mDebugSwitchTwo.lock(); }

private:
    void toggleDefault(const char* key);
    void setLogTableHeight();

    std::weak_ptr<platform::ui::View> mDebugSectionHeaderView;
    std::weak_ptr<platform::ui::View> mPerformanceSectionHeaderView;
    std::weak_ptr<platform::ui::View> mLogSectionHeaderView;
    std::shared_ptr<platform::ui::TableView> mLogTableView;
    std::weak_ptr<platform::ui::TableView> mPerfCounterTableView;
    std::shared_ptr<platform::ui::LayoutConstraint> mTableViewHeightConstraint;
    std::shared_ptr<VKMLogTableDataSource> mLogTableDataSource;
    std::shared_ptr<VKMPerfCounterTableDataSource> mPerfCounterTableDataSource;
    std::weak_ptr<platform::ui::Switch> mDebugSwitchOne;
    std::weak_ptr<platform::ui::Switch> mDebugSwitchTwo;
};
