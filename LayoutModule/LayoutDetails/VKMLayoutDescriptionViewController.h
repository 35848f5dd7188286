#pragma once
// The shared layout's descriptions, one page per language, each headed
// with the language's name; page dots only when there is more than one.
// Its own data source. Main thread only.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/controllers/PageViewController.h"

class VKMSpecificLanguageDescriptionViewController;

class VKMLayoutDescriptionViewController : public platform::ui::PageViewController,
                                           public platform::ui::PageViewControllerDataSource {
public:
    static constexpr const char* kSceneIdentifier = "LayoutDescriptionId";

    using tPages = std::vector<std::shared_ptr<VKMSpecificLanguageDescriptionViewController>>;

    // The open cloud layout's descriptions by language code; none for a
    // layout that is not shared or not cached.
    static std::optional<std::map<std::string, std::string>> getLayoutSummariesForCurrentLayout();
    static tPages getSpecificDescriptionViewControllers();
    // Null when the page's scene cannot be made. An unknown language code
    // names its page by the code itself.
    static std::shared_ptr<VKMSpecificLanguageDescriptionViewController> specificDescriptionViewControllerForLanguage(
        const std::string& code, const std::string& description);
    void addSpecificDescriptionViewControllers(const tPages& pages);

    const tPages& specificDescriptionViewControllers() const { return mPages; }
    std::shared_ptr<platform::ui::ViewController> displayedViewController() const { return mDisplayed.lock(); }

    void viewDidLoad() override;
    std::shared_ptr<platform::ui::ViewController> viewControllerBefore(platform::ui::PageViewController& pages,
                                                                       platform::ui::ViewController& page) override;
    std::shared_ptr<platform::ui::ViewController> viewControllerAfter(platform::ui::PageViewController& pages,
                                                                      platform::ui::ViewController& page) override;
    int presentationCount(platform::ui::PageViewController& pages) override;
    int presentationIndex(platform::ui::PageViewController& pages) override;
    std::string className() const override { return "VKMLayoutDescriptionViewController"; }

private:
    std::optional<std::size_t> indexOf(const platform::ui::ViewController& page) const;

    tPages mPages;
    std::weak_ptr<platform::ui::ViewController> mDisplayed;
};
