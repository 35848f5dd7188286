#pragma once
// The layout's summary: facts of the shared layout (title, tags, upload
// date, model scales, track count) and figures of the open document (track
// length, tunnel sections, groups, dimensions, counts, file size). Filled
// once, when the view loads. Main thread only.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/controllers/ViewController.h"

namespace platform::ui {
class Label;
}
class CLayout;
class QLUnitFormatter;

class VKMLayoutSummaryViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutSummaryId";

    struct Outlets {
        std::weak_ptr<platform::ui::Label> titleLabel, tagsLabel, uploadDateLabel, cacheDateHeaderLabel, cacheDateLabel,
            revisionTitleLabel, revisionLabel, modelScaleLabel, trackLengthLabel, tunnelSectionsLabel, groupsLabel,
            contentDimensionLabel, elementCountLabel, trackCountLabel, imagesTitleLabel, imageCountLabel,
            baseboardsTitleLabel, baseboardCountLabel, layerCountLabel, fileSizeLabel;
    };
    Outlets outlets;

    void viewDidLoad() override;
    void updateLabelsForLayout(CLayout& layout);

    static std::string getLayoutOverallTrackLength(CLayout& layout);
    static std::string getTunnelSectionCount(CLayout& layout);
    static std::string getGroupsCount(CLayout& layout);
    static std::string getContentDimensionForLayout(CLayout& layout);
    // Empty when the file's size cannot be read: a missing size is not a
    // file of no bytes.
    static std::string getLayoutFileSize(CLayout& layout);
    static std::optional<std::chrono::system_clock::time_point> getFileCreationDate(const std::filesystem::path& path);
    // Centimetres where the locale is metric, inches elsewhere.
    static std::unique_ptr<QLUnitFormatter> unitFormatterForSystem();

    std::string className() const override { return "VKMLayoutSummaryViewController"; }
};
