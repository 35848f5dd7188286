#include "LayoutModule/LayoutDetails/VKMLayoutDescriptionViewController.h"

#include "LayoutModule/LayoutDetails/VKMSpecificLanguageDescriptionViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "SharingModule/Model/QLLocalizedLayoutDescriptionHelper.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Localization/StringVekmont.h"
#include "platform/ui/views/PageControl.h"
#include "platform/ui/views/View.h"

using namespace platform::ui;

std::optional<std::map<std::string, std::string>>
VKMLayoutDescriptionViewController::getLayoutSummariesForCurrentLayout() {
    const auto& cloudLayoutId = VKMLayoutSession::sharedSession().cloudLayoutId();
    VKM_SOFT_ASSERT(cloudLayoutId.has_value());
    const auto layoutEntity =
        cloudLayoutId ? VKMLayoutEntityCache::sharedInstance().objectForKey(*cloudLayoutId) : nullptr;
    if (!VKM_SOFT_ASSERT(layoutEntity != nullptr)) return std::nullopt;
    return layoutEntity->summary();
}

VKMLayoutDescriptionViewController::tPages VKMLayoutDescriptionViewController::getSpecificDescriptionViewControllers() {
    tPages pages;
    const auto summaries = getLayoutSummariesForCurrentLayout();
    if (!summaries) return pages;
    for (const auto& [code, text] : *summaries) {
        if (auto page = specificDescriptionViewControllerForLanguage(code, text)) pages.push_back(std::move(page));
    }
    return pages;
}

std::shared_ptr<VKMSpecificLanguageDescriptionViewController>
VKMLayoutDescriptionViewController::specificDescriptionViewControllerForLanguage(const std::string& code,
                                                                                 const std::string& description) {
    auto page = platform::ui::Storyboard(VKMLayoutScenes::kStoryboard)
                    .instantiateViewControllerAs<VKMSpecificLanguageDescriptionViewController>(
                        VKMLayoutScenes::kSpecificLanguageDescriptionId);
    if (!page) return nullptr;
    // A code the language list does not know names its page itself.
    const std::string language =
        QLLocalizedLayoutDescriptionHelper::localizedLanguageNameForTwoLetterCode(code).value_or(code);
    page->setDescription(description, StringVekmont::localizedFormat("LayoutDescription", {language}));
    return page;
}

void VKMLayoutDescriptionViewController::addSpecificDescriptionViewControllers(const tPages& pages) {
    const std::weak_ptr<VKMLayoutDescriptionViewController> weak =
        std::static_pointer_cast<VKMLayoutDescriptionViewController>(sharedController());
    // Last to first, so the first page is the one left showing; unanimated,
    // since a page turn still running would refuse the next one.
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        const std::weak_ptr<ViewController> page = *it;
        setViewControllers({*it}, PageViewControllerNavigationDirection::forward, false, [weak, page](bool finished) {
            if (auto self = weak.lock(); self && finished) self->mDisplayed = page;
        });
    }
}

void VKMLayoutDescriptionViewController::viewDidLoad() {
    PageViewController::viewDidLoad();
    mPages = getSpecificDescriptionViewControllers();
    addSpecificDescriptionViewControllers(mPages);
    setDataSource(std::static_pointer_cast<VKMLayoutDescriptionViewController>(sharedController()));
    if (auto dots = pageControl()) {
        dots->setPageIndicatorTintColor(platform::Color::white(0.75));
        dots->setCurrentPageIndicatorTintColor(view()->tintColor());
    }
}

std::optional<std::size_t> VKMLayoutDescriptionViewController::indexOf(const ViewController& page) const {
    for (std::size_t i = 0; i < mPages.size(); ++i) {
        if (mPages[i].get() == &page) return i;
    }
    return std::nullopt;
}

std::shared_ptr<ViewController> VKMLayoutDescriptionViewController::viewControllerBefore(PageViewController& pages,
                                                                                         ViewController& page) {
    (void)pages;
    const auto index = indexOf(page);
    if (!index || *index == 0) return nullptr;
    return mPages[*index - 1];
}

std::shared_ptr<ViewController> VKMLayoutDescriptionViewController::viewControllerAfter(PageViewController& pages,
                                                                                        ViewController& page) {
    (void)pages;
    const auto index = indexOf(page);
    if (!index || *index + 1 >= mPages.size()) return nullptr;
    return mPages[*index + 1];
}

int VKMLayoutDescriptionViewController::presentationCount(PageViewController& pages) {
    (void)pages;
    return mPages.size() == 1 ? 0 : static_cast<int>(mPages.size());
}

int VKMLayoutDescriptionViewController::presentationIndex(PageViewController& pages) {
    (void)pages;
    const auto displayed = mDisplayed.lock();
    const auto index = displayed ? indexOf(*displayed) : std::nullopt;
    return index ? static_cast<int>(*index) : 0;
}
