#include "LayoutModule/Info/VKMLocalLayoutImporter.h"

#include "app/Utilities/VKMAlerts.h"
#include "app/VKMNotificationNames.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"

using namespace platform::ui;

VKMLocalLayoutImporter::VKMLocalLayoutImporter(const std::shared_ptr<ViewController>& parentViewController)
    : mParentViewController(parentViewController) {}

void VKMLocalLayoutImporter::handleOpenLocalTapped() {
    const std::weak_ptr<VKMLocalLayoutImporter> weak = weak_from_this();
    VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("ImportLocalLayout"),
                                  ZDUtils::localizedString("PleaseSelectLocalFile"), "OK", [weak] {
                                      if (auto self = weak.lock()) self->openDocumentPicker();
                                  });
}

void VKMLocalLayoutImporter::openDocumentPicker() {
    const auto parent = mParentViewController.lock();
    if (!parent) return;
    auto picker = std::make_shared<DocumentPickerViewController>(std::vector<std::string>{kLayoutDocumentType}, true);
    picker->setDelegate(weak_from_this());
    parent->presentViewController(picker, true);
}

void VKMLocalLayoutImporter::documentPickerDidPickDocumentsAtURLs(DocumentPickerViewController& picker,
                                                                  const std::vector<std::string>& urls) {
    (void)picker;
    if (urls.size() != 1) return;
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMNotificationNames::kOpenLocalLayout, this,
        platform::Value(
            platform::Value::Dictionary{{VKMNotificationNames::kKeyFileURL, platform::Value(urls.front())}}));
}
