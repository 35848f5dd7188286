#include "LayoutModule/LayoutDetails/VKMLayoutSummaryViewController.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "app/Utilities/Units/QLUnitFormatter.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Groups.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/TunnelPaths.h"
#include "platform/foundation/ByteCountFormatter.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"

using namespace platform::ui;

namespace {

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& text : texts) out += (out.empty() ? "" : ", ") + text;
    return out;
}

void show(const std::weak_ptr<Label>& outlet, const std::string& text) {
    if (auto label = outlet.lock()) label->setText(text);
}

void hide(const std::weak_ptr<Label>& outlet, bool hidden) {
    if (auto label = outlet.lock()) label->setHidden(hidden);
}

std::string length(QLUnitFormatter& formatter, double millimeters) {
    return formatter.stringForObjectValue(platform::Value(millimeters)).value_or("");
}

}  // namespace

void VKMLayoutSummaryViewController::viewDidLoad() { updateLabelsForLayout(*CCurrentCloudLayout::Instance().Layout()); }

void VKMLayoutSummaryViewController::updateLabelsForLayout(CLayout& layout) {
    const auto entity = VKMCurrentCloudLayout::layoutEntity();
    const Outlets& o = outlets;
    show(o.titleLabel, entity ? entity->title() : "");

    const std::string revision(layout.GetParameters().mText407,
                               strnlen(layout.GetParameters().mText407, CLayoutParameters::kText407Size));
    show(o.revisionLabel, revision);
    hide(o.revisionLabel, revision.empty());
    hide(o.revisionTitleLabel, revision.empty());
    hide(o.cacheDateHeaderLabel, true);
    hide(o.cacheDateLabel, true);

    std::string uploaded;
    if (entity && entity->uploadDate()) {
        const bool tablet = Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::tablet;
        uploaded = platform::Locale::current().formatDate(
            *entity->uploadDate(), tablet ? platform::DateStyle::longStyle : platform::DateStyle::shortStyle,
            tablet ? platform::DateStyle::mediumStyle : platform::DateStyle::shortStyle);
    }
    show(o.uploadDateLabel, uploaded);
    show(o.tagsLabel, entity ? joined(entity->tags()) : "");
    show(o.modelScaleLabel, entity ? joined(entity->modelScales()) : "");
    show(o.trackLengthLabel, getLayoutOverallTrackLength(layout));
    show(o.tunnelSectionsLabel, getTunnelSectionCount(layout));
    show(o.groupsLabel, getGroupsCount(layout));
    show(o.contentDimensionLabel, getContentDimensionForLayout(layout));
    show(o.elementCountLabel, std::to_string(layout.GetElements().size()));
    show(o.trackCountLabel, entity ? std::to_string(entity->numberOfTracks()) : "");

    const std::size_t images = layout.GetImages().size();
    show(o.imageCountLabel, std::to_string(images));
    hide(o.imageCountLabel, images == 0);
    hide(o.imagesTitleLabel, images == 0);
    const std::size_t baseboards = layout.GetBaseboards().size();
    show(o.baseboardCountLabel, std::to_string(baseboards));
    hide(o.baseboardCountLabel, baseboards == 0);
    hide(o.baseboardsTitleLabel, baseboards == 0);
    show(o.layerCountLabel, std::to_string(layout.GetLayerManager().GetLayers().size()));
    show(o.fileSizeLabel, getLayoutFileSize(layout));
}

std::string VKMLayoutSummaryViewController::getLayoutOverallTrackLength(CLayout& layout) {
    return length(*unitFormatterForSystem(), UElementVectorOperations::GetOverallTrackLength(layout.GetElements()));
}

std::string VKMLayoutSummaryViewController::getTunnelSectionCount(CLayout& layout) {
    // A copy of the list, not of the elements: clones lose their connections,
    // and each piece of a bore would count as a section of its own.
    const tElements elements = layout.GetElements();
    return std::to_string(UContiguousTunnelPaths::GetPathsForTunnelTracks(elements, 0).size());
}

std::string VKMLayoutSummaryViewController::getGroupsCount(CLayout& layout) {
    return std::to_string(layout.GetGroupsManager().GetGroups().size());
}

std::string VKMLayoutSummaryViewController::getContentDimensionForLayout(CLayout& layout) {
    const tPaddedContent content = ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, 0);
    const auto formatter = unitFormatterForSystem();
    return length(*formatter, std::ceil(content.width)) + " x " + length(*formatter, std::ceil(content.height));
}

std::string VKMLayoutSummaryViewController::getLayoutFileSize(CLayout& layout) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(layout.GetFilePath(), error);
    if (error || layout.GetFilePath().empty()) return {};
    return platform::ByteCountFormatter::stringFromByteCount(static_cast<std::int64_t>(size));
}

std::optional<std::chrono::system_clock::time_point> VKMLayoutSummaryViewController::getFileCreationDate(
    const std::filesystem::path& path) {
    struct statx attributes {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &attributes) != 0) return std::nullopt;
    if ((attributes.stx_mask & STATX_BTIME) == 0) return std::nullopt;
    return std::chrono::system_clock::time_point(std::chrono::seconds(attributes.stx_btime.tv_sec) +
                                                 std::chrono::nanoseconds(attributes.stx_btime.tv_nsec));
}

std::unique_ptr<QLUnitFormatter> VKMLayoutSummaryViewController::unitFormatterForSystem() {
    auto formatter = std::make_unique<QLUnitFormatter>();
    formatter->setUnitType(platform::Locale::current().usesMetricSystem() ? 2 : 4);
    return formatter;
}
