#pragma once
// Lets the user pick a layout file on the device with the document picker
// (a copy is handed over) and announces the one picked with
// VKMOpenLocalLayoutNotification, whose observers open it. Whoever makes an
// importer keeps it while the picker shows. Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controllers/SystemSheets.h"

namespace platform::ui {
class ViewController;
}

class VKMLocalLayoutImporter : public platform::ui::DocumentPickerDelegate,
                               public std::enable_shared_from_this<VKMLocalLayoutImporter> {
public:
    // The app's own document type of layout files.
    static constexpr const char* kLayoutDocumentType = "com.vekmont.app.layout";

    // The parent presents the picker; it is held weakly.
    explicit VKMLocalLayoutImporter(const std::shared_ptr<platform::ui::ViewController>& parentViewController);

    // An alert that explains, then the picker.
    void handleOpenLocalTapped();
    // The picker at once; nothing when the parent is gone.
    void openDocumentPicker();

    // Exactly one file picked posts it; none or several post nothing.
    void documentPickerDidPickDocumentsAtURLs(platform::ui::DocumentPickerViewController& picker,
                                              const std::vector<std::string>& urls) override;

private:
    std::weak_ptr<platform::ui::ViewController> mParentViewController;
};
