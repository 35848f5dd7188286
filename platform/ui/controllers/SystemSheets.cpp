#include "platform/ui/controllers/SystemSheets.h"


#include <algorithm>

namespace platform::ui {

namespace {

int gReviewRequests = 0;

}  // namespace

ActivityViewController::ActivityViewController(std::vector<ActivityItem> items) : mItems(std::move(items)) {
    setTitle("Share");
}

bool ActivityViewController::complete(std::optional<std::string> activity, bool completed) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    if (activity && std::find(mExcluded.begin(), mExcluded.end(), *activity) != mExcluded.end()) return false;
    auto completion = mCompletion;
    dismissViewController(true, [completion, activity, completed] {
        if (completion) completion(activity, activity ? completed : false);
    });
    return true;
}

DocumentPickerViewController::DocumentPickerViewController(std::vector<std::string> contentTypes, bool asCopy)
    : mTypes(std::move(contentTypes)), mAsCopy(asCopy) {}

bool DocumentPickerViewController::pick(std::vector<std::string> urls) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    if (urls.empty() || (urls.size() > 1 && !mMultiple)) return false;
    std::weak_ptr<DocumentPickerViewController> weak =
        std::static_pointer_cast<DocumentPickerViewController>(sharedController());
    dismissViewController(true, [weak, urls = std::move(urls)] {
        const auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->documentPickerDidPickDocumentsAtURLs(*self, urls);
    });
    return true;
}

void DocumentPickerViewController::cancel() {
    if (!presentingViewController() || isBeingDismissed()) return;
    std::weak_ptr<DocumentPickerViewController> weak =
        std::static_pointer_cast<DocumentPickerViewController>(sharedController());
    dismissViewController(true, [weak] {
        const auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->documentPickerWasCancelled(*self);
    });
}

void StoreReviewController::requestReview() { ++gReviewRequests; }
int StoreReviewController::requestCount() { return gReviewRequests; }
void StoreReviewController::resetRequestCount() { gReviewRequests = 0; }

}  // namespace platform::ui
