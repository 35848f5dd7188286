#include "LayoutModule/Share/VKMSharingHelper.h"

#include <algorithm>

#include "LayoutView/ImageExport/VKMImageExportHelper.h"
#include "LayoutModule/Share/VKMLayoutCopy.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "app/Utilities/Localization/StringVekmont.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessMemory.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/core/Transaction.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/View.h"

using namespace platform::ui;

namespace {

constexpr platform::Color kLinkColor{0, 0.478, 1, 1};

// One centred line: its top-left at half its height below `offset`.
void overlayText(platform::Context& context, const std::string& text, double fontSizeFactor, FontWeight weight,
                 const platform::Color& color, double offset, platform::Size image) {
    Font font = Font::systemFont(fontSizeFactor * image.height, weight);
    platform::TextSize size = platform::measureText(text, font.fontName(), font.pointSize());
    // A long title (a German one, a file name) is made smaller to fit the
    // picture's width rather than cut at both edges.
    const double room = image.width * 0.96;
    if (size.width > room && room > 0) {
        font = Font::systemFont(font.pointSize() * room / size.width, weight);
        size = platform::measureText(text, font.fontName(), font.pointSize());
    }
    platform::TextAttributes attributes;
    attributes.fontName = font.fontName();
    attributes.fontSize = font.pointSize();
    attributes.color = color;
    context.drawText(text, {(image.width - size.width) / 2, size.height / 2 + offset}, attributes);
}

std::string appDisplayName() {
    const platform::Bundle* bundle = platform::Bundle::main();
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        const auto value = bundle ? bundle->infoValue(key) : std::nullopt;
        if (value && value->asString()) return *value->asString();
    }
    return {};
}

// The sheet with `items`, presented; waiting for its items with the status
// `preparing` unless that is empty. Null without a presenter.
std::shared_ptr<ActivityViewController> presentShareSheet(const std::shared_ptr<ViewController>& presenter,
                                                          const std::shared_ptr<View>& targetView,
                                                          std::vector<ActivityItem> items,
                                                          const std::string& preparing = {}) {
    if (!presenter) return nullptr;
    auto sheet = std::make_shared<ActivityViewController>(std::move(items));
    if (!preparing.empty()) sheet->waitForItems(preparing);
    sheet->setExcludedActivityTypes(
        {activity::kAssignToContact, activity::kAddToReadingList, activity::kSaveToCameraRoll, activity::kOpenInBooks});
    sheet->setCompletionWithItemsHandler([](std::optional<std::string> activity, bool completed) {
        if (completed) {
            QLActivityAnalytics::trackEvent("LayoutImageShared");
            ZDUtils::logInfo("Image of layout shared (%s)", activity.value_or("(null)").c_str());
        } else {
            // The sheet reports no error of its own: closing it is a cancel.
            ZDUtils::logInfo("Image of sharing aborted (error = %s)", "(null)");
        }
    });
    sheet->setModalPresentationStyle(ModalPresentationStyle::popover);
    if (auto popover = sheet->popoverPresentationController(); popover && targetView) {
        popover->setPermittedArrowDirections(PopoverArrowDirection::any);
        popover->setCanOverlapSourceViewRect(true);
        popover->setSourceView(targetView->superview());
        popover->setSourceRect(targetView->frame());
    }
    presenter->presentViewController(sheet, true);
    return sheet;
}

}  // namespace

void VKMSharingHelper::shareImageOfLayout(CLayout& layout, const std::shared_ptr<ViewController>& presenter,
                                          const std::shared_ptr<View>& targetView) {
    ZDUtils::logInfo("Preparing to share image of layout");
    const tOverlayTexts texts = currentOverlayTexts();
    // The sheet comes at once and says there, where the user looks, that the
    // picture is being made; it offers the picture once it is ready.
    const auto sheet = presentShareSheet(presenter, targetView, {{{}, nullptr, {}, texts.title}},
                                         ZDUtils::localizedString("SharingLayout"));
    if (!sheet) return;
    const std::weak_ptr<ActivityViewController> weakSheet = sheet;
    const auto failed = [weakSheet] {
        ZDUtils::logError("The picture of the layout could not be drawn");
        if (const auto shown = weakSheet.lock())
            shown->setActivityItems({}, ZDUtils::localizedString("SharingLayoutFailed"));
    };
    // The copy and the picture free and take hundreds of megabytes on
    // several threads while the sheet's frames run: what they free stays
    // theirs to take again until the picture is on the sheet, rather than
    // going back and being faulted in anew; and for a few seconds more, for
    // a share again at once (another target, a second try). Let go where
    // giving them back holds up no frame, also when the sheet is closed
    // before.
    auto held = platform::holdFreedPages(std::chrono::seconds(3));
    // The picture is drawn from a copy, so that the screen may close the
    // document or apply display edits meanwhile.
    auto draw = [texts, weakSheet, failed, held](std::unique_ptr<CLayout> copy) {
        if (!copy) {
            failed();
            return;
        }
        platform::DispatchQueue::global(platform::DispatchQueuePriority::High)
            .async([copy = std::shared_ptr<CLayout>(std::move(copy)), texts, weakSheet, failed, held]() mutable {
                std::shared_ptr<platform::Image> image = getCroppedOverlayedImage(*copy, texts);
                platform::DispatchQueue::main().async(
                    [image, weakSheet, failed, name = texts.title, copy = std::move(copy), held]() mutable {
                        held.reset();
                        // Deleting a hundred thousand elements takes about as
                        // long as copying them, freeing into the heaps of the
                        // threads that copied them: not beside the frames that
                        // show the picture, but once they are done.
                        Transaction::begin();
                        Transaction::setCompletionBlock([copy = std::move(copy)]() mutable {
                            platform::DispatchQueue::global(platform::DispatchQueuePriority::Background)
                                .async([copy = std::move(copy)]() mutable { copy.reset(); });
                        });
                        // Closed meanwhile: the picture is not wanted.
                        if (const auto shown = weakSheet.lock()) {
                            if (image) {
                                shown->setActivityItems({{{}, image, {}, name}});
                            } else {
                                failed();
                            }
                        }
                        Transaction::commit();
                    });
            });
    };
    if (&layout == CCurrentCloudLayout::Instance().Layout()) {
        // The open document of a hundred thousand elements takes a tenth
        // of a second to copy: copied in turns, so that the sheet shows at
        // once and frames keep coming.
        VKMLayoutCopier::copyOpenDocument([weakSheet] { return !weakSheet.expired(); }, std::move(draw));
    } else {
        // Nothing tells when another layout changes or goes: copied now.
        draw(VKMLayoutCopy::copyForDrawing(layout));
    }
}

VKMSharingHelper::tOverlayTexts VKMSharingHelper::currentOverlayTexts() {
    tOverlayTexts texts;
    texts.title = VKMCurrentCloudLayout::title();
    std::replace(texts.title.begin(), texts.title.end(), '_', ' ');
    texts.author = VKMCurrentCloudLayout::author().value_or("");
    texts.appName = appDisplayName();
    return texts;
}

std::shared_ptr<platform::Image> VKMSharingHelper::getCroppedOverlayedImage(CLayout& layout,
                                                                            const tOverlayTexts& texts) {
    const auto cropped = VKMImageExportHelper::getCroppedImage(layout, kPaddingMM, kTargetImageSize);
    return cropped ? addTextOverlayToImage(*cropped, texts) : nullptr;
}

std::shared_ptr<platform::Image> VKMSharingHelper::addTextOverlayToImage(const platform::Image& image,
                                                                         const tOverlayTexts& texts) {
    const platform::Size size = image.size();
    auto context = platform::BitmapContext::createForPointSize(size, image.scale());
    if (!context) return nullptr;
    context->drawImage(image, {0, 0, size.width, size.height});
    overlayText(*context, StringVekmont::localizedFormat("LayoutWithQuotedTitle", {texts.title}), 0.02,
                FontWeight::bold, SystemColors::kGray, size.height * 0.005, size);
    overlayText(*context, StringVekmont::localizedFormat("ByAuthor", {texts.author}), 0.015, FontWeight::regular,
                kLinkColor, size.height * 0.04, size);
    overlayText(*context, StringVekmont::localizedFormat("ImageExportMarketingLine", {texts.appName}), 0.01,
                FontWeight::semibold, SystemColors::kGray, size.height * 0.975, size);
    return context->makeImage();
}

void VKMSharingHelper::shareInViewController(const std::shared_ptr<ViewController>& presenter,
                                             const std::shared_ptr<View>& targetView,
                                             const std::shared_ptr<platform::Image>& image, const std::string& name) {
    if (image) presentShareSheet(presenter, targetView, {{{}, image, {}, name}});
}
