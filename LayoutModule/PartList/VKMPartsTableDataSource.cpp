#include "LayoutModule/PartList/VKMPartsTableDataSource.h"

#include "LayoutView/ImageExport/VKMTrackImageHelper.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Images/UIImageCCompositeGeometry.h"
#include "engine/generators/Regeneration.h"
#include "engine/model/PartList.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TableViewCell.h"

using namespace platform::ui;

int VKMPartsTableDataSource::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView;
    (void)section;
    return static_cast<int>(partsArray.size());
}

std::shared_ptr<TableViewCell> VKMPartsTableDataSource::cellForRowAtIndexPath(TableView& tableView,
                                                                              IndexPath indexPath) {
    auto cell = tableView.dequeueReusableCell(kCellIdentifier);
    if (!cell) cell = std::make_shared<TableViewCell>(TableViewCellStyle::subtitle, kCellIdentifier);
    if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= partsArray.size()) {
        ZDUtils::logWarning("Invalid row index requested in %s: %lu, array count: %lu",
                            "tableView:cellForRowAtIndexPath:", static_cast<unsigned long>(indexPath.row),
                            static_cast<unsigned long>(partsArray.size()));
        return cell;
    }
    const VKMPartListValueObject& part = *partsArray[static_cast<std::size_t>(indexPath.row)];
    if (auto picture = std::dynamic_pointer_cast<ImageView>(cell->viewWithTag(kPictureTag))) {
        picture->setImage(pictureForPart(part.partsEntry));
    }
    const auto setText = [&cell](long tag, const std::string& text) {
        if (auto label = std::dynamic_pointer_cast<Label>(cell->viewWithTag(tag))) label->setText(text);
    };
    setText(kTitleTag, part.title);
    setText(kDescriptionTag, part.partDescription);
    setText(kCountTag, part.count + "x");
    // The row places its labels by their texts.
    cell->setNeedsLayout();
    return cell;
}

std::shared_ptr<platform::Image> VKMPartsTableDataSource::pictureForPart(const CCompositeGeometry* part) {
    if (part == nullptr) return nullptr;
    // Turning, moving and regenerating the part list's own entry would
    // change the list (and turn it further at every row shown).
    CCompositeGeometry upright(*part);
    upright.Rotate(CPoint(0, 0, 0), -upright.GetAngle());
    upright.MoveToOrigin(nullptr);
    upright.SetFirstColor(UIColorCColor::CColor(UIColorCColor::vkmPartListElementFillColor()));
    upright.GetGeneratorMap().clear();
    UGeneratedElements::RegenerateComponents(&upright, nullptr);
    const double scale = VKMTrackImageHelper::scaleFactorForGeometry(&upright, {kPictureSize, kPictureSize});
    return UIImageCCompositeGeometry::imageFromCCompositeGeometry(&upright, static_cast<float>(scale),
                                                                  kPictureDrawingStyle);
}
