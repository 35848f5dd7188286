#pragma once
// The part list's rows: a cell per part from the prototype cell, with the
// part's picture, title, description and count. Main thread only.

#include <memory>
#include <vector>

#include "LayoutModule/PartList/VKMPartListValueObject.h"
#include "platform/ui/views/TableView.h"

namespace platform {
class Image;
}
class CCompositeGeometry;

class VKMPartsTableDataSource : public platform::ui::TableViewDataSource {
public:
    static constexpr const char* kCellIdentifier = "PartsPrototypeCell";
    static constexpr long kPictureTag = 1;
    static constexpr long kTitleTag = 2;
    static constexpr long kDescriptionTag = 3;
    static constexpr long kCountTag = 5;
    // The picture's side in points.
    static constexpr double kPictureSize = 47.5;
    static constexpr int kPictureDrawingStyle = 97;

    explicit VKMPartsTableDataSource(std::vector<std::shared_ptr<VKMPartListValueObject>> partsArray)
        : partsArray(std::move(partsArray)) {}

    std::vector<std::shared_ptr<VKMPartListValueObject>> partsArray;

    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;

    // The part drawn alone, upright at the origin, filled in the part-list
    // colour and fitted to kPictureSize. Works on a copy: the part is left
    // as it is. None for a null part.
    static std::shared_ptr<platform::Image> pictureForPart(const CCompositeGeometry* part);
};
