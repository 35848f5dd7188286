#include "LayoutView/ImageExport/VKMImageExportHelper.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <typeinfo>
#include <variant>
#include <cmath>
#include <optional>
#include <vector>

#include "LayoutView/Drawing/VKMBaseboardsPainter.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

namespace {

platform::Size WorkspaceSize(const CLayout& layout, double zoom) {
    return {layout.GetParameters().mWorkspaceWidth * zoom, layout.GetParameters().mWorkspaceHeight * zoom};
}

// Content fitted far smaller than a pixel would vanish: a fill narrower
// than `width` (layout units) is outlined in its own colour to come out
// about `width` wide, and a stroke too thin for the context to draw at all
// is drawn a quarter of `width` wide; a text too small to read is marked
// by its box, filled in its colour, as wide. Lines that do show keep their
// width, so the picture looks as before wherever its content was large
// enough. A text's mark goes into `marks`.
void WidenIfVanishing(CDrawingInstruction* instruction, double width,
                      std::vector<std::unique_ptr<CDrawingInstruction>>& marks) {
    if (instruction == nullptr) return;
    auto narrowestOf = [](const tDoubleRect& box) { return std::min(box.Width(), box.Height()); };
    if (const auto* text = dynamic_cast<const CTextDrawingInstruction*>(instruction)) {
        const tDoubleRect& box = text->mBounds;
        const double narrowest = narrowestOf(box);
        if (text->mText.empty() || !(narrowest >= 0) || !(narrowest < width)) return;
        auto mark = std::make_unique<CPathDrawingInstruction>(kDrawingStyleFillAndStroke, false, text->mFillColor,
                                                              text->mFillColor);
        mark->AddLineTo({box.minX, box.minY, 0});
        mark->AddLineTo({box.maxX, box.minY, 0});
        mark->AddLineTo({box.maxX, box.maxY, 0});
        mark->AddLineTo({box.minX, box.maxY, 0});
        mark->AddLineTo({box.minX, box.minY, 0});
        mark->mLineWidth = width - narrowest;
        mark->CalcBoundingBox();
        marks.push_back(std::move(mark));
        return;
    }
    double* lineWidth = nullptr;
    if (auto* path = dynamic_cast<CPathDrawingInstruction*>(instruction)) {
        lineWidth = &path->mLineWidth;
    } else if (auto* oval = dynamic_cast<COvalDrawingInstruction*>(instruction)) {
        lineWidth = &oval->mLineWidth;
    }
    if (lineWidth == nullptr) return;
    if (instruction->mUseStroke) {
        if (!(*lineWidth < width / 20)) return;
        *lineWidth = width / 4;
    } else {
        const double narrowest = narrowestOf(instruction->mBounds);
        if (!instruction->mUseFill || !(narrowest >= 0) || !(narrowest < width)) return;
        instruction->mUseStroke = true;
        instruction->mStrokeColor = instruction->mFillColor;
        *lineWidth = width - narrowest;
    }
    instruction->CalcBoundingBox();
}

// Instructions widened by one thread in one go.
constexpr std::size_t kWidenedPerShare = 8192;

// WidenIfVanishing on every instruction, a long list in shares side by side;
// the marks of texts are appended in the order of their texts.
void WidenVanishingLines(tDrawingInstructions& instructions, double width) {
    if (!(width > 0) || !std::isfinite(width)) return;
    const std::size_t count = instructions.size();
    const std::size_t shares = (count + kWidenedPerShare - 1) / kWidenedPerShare;
    std::vector<std::vector<std::unique_ptr<CDrawingInstruction>>> marks(shares);
    auto widen = [&](std::size_t share) {
        const std::size_t end = std::min(count, (share + 1) * kWidenedPerShare);
        for (std::size_t i = share * kWidenedPerShare; i < end; ++i)
            WidenIfVanishing(instructions[i], width, marks[share]);
    };
    if (shares > 1) {
        platform::DispatchQueue::concurrentPerform(shares, widen);
    } else if (shares == 1) {
        widen(0);
    }
    for (auto& share : marks) {
        for (auto& mark : share) VKMInstructionList::append(instructions, std::move(mark));
    }
}

// The instructions of one drawing of a layout, built once and painted into
// the whole picture or band by band.
struct tExportLists {
    VKMScopedInstructionList baseboards;
    VKMScopedInstructionList elements;
};

void BuildLists(CLayout& layout, double zoomFactor, double minimumLineWidth, tExportLists& lists) {
    const double minimumWidth = zoomFactor > 0 ? minimumLineWidth / zoomFactor : 0;
    VKMBaseboardsPainter::drawBaseboards(layout.GetBaseboards(), layout, lists.baseboards.list());
    WidenVanishingLines(lists.baseboards.list(), minimumWidth);
    VKMLayoutElementsPainter::drawElementsInLayout(layout, lists.elements.list());
    WidenVanishingLines(lists.elements.list(), minimumWidth);
}

// White, the grid when asked for, then the lists at the zoom (the elements
// unless `withElements` is false). `area` (in points) limits what is
// painted to the instructions whose boxes meet it: a band's rows and a
// little around them; without it, the whole workspace.
void PaintLists(CLayout& layout, platform::Context& context, double zoomFactor, bool includeGrid, tExportLists& lists,
                const std::optional<platform::Rect>& area, bool withElements = true) {
    const platform::Size size = WorkspaceSize(layout, zoomFactor);
    const platform::Rect areaRect{0, 0, size.width, size.height};
    context.save();
    context.setFillColor(platform::Color::white(1.0));
    context.fillRect(areaRect);
    if (includeGrid) {
        VKMGridPainter::drawGridInRect(context, areaRect, areaRect, zoomFactor, zoomFactor,
                                       VKMLayoutColors::vkmLayoutGridColor());
    }
    context.scale(zoomFactor, zoomFactor);
    platform::Rect dirty{0, 0, static_cast<double>(layout.GetParameters().mWorkspaceWidth),
                         static_cast<double>(layout.GetParameters().mWorkspaceHeight)};
    if (area && zoomFactor > 0) {
        dirty = {area->x / zoomFactor, area->y / zoomFactor, area->width / zoomFactor, area->height / zoomFactor};
    }
    VKMDrawingInstructionsPainter::draw(context, lists.baseboards.list(), dirty, "ImageExportBaseboards");
    if (withElements) {
        VKMDrawingInstructionsPainter::draw(context, lists.elements.list(), dirty, "ImageExportElements");
    }
    context.restore();
}

// Instructions below this many are painted in one go.
constexpr std::size_t kPartedInstructions = 4096;
// Pictures up to this many pixels are painted in layers (below), larger
// ones in bands.
constexpr int kMostLayeredPixels = 256 * 256;
// Instructions a layer has at least, and layers at most.
constexpr std::size_t kLayerInstructions = 2048;
constexpr std::size_t kMostLayers = 32;

// Whether each instruction sets all it draws with (colours, line width,
// cap, dash) and leaves the context as it found it: then a run of them
// paints the same into any context with the same transform, whatever came
// before it. Graphics-state changes, clips and ready-made paths (which
// stroke at the width in force) do not.
bool PaintsOnItsOwn(const tDrawingInstructions& instructions) {
    return std::all_of(instructions.begin(), instructions.end(), [](const CDrawingInstruction* instruction) {
        if (instruction == nullptr) return true;
        const std::type_info& kind = typeid(*instruction);
        if (kind == typeid(COvalDrawingInstruction) || kind == typeid(CTextDrawingInstruction)) return true;
        if (kind != typeid(CPathDrawingInstruction)) return false;
        const auto& steps = static_cast<const CPathDrawingInstruction*>(instruction)->mPathMicroInstructions;
        return std::none_of(steps.begin(), steps.end(), [](const CPathMicroInstruction& step) {
            return std::holds_alternative<CPathAddClipMicroInstruction>(step);
        });
    });
}

// Points around a band's rows whose instructions it paints too: what a
// box (which holds the line width) leaves out, a pixel of smoothing, most of
// a mitred corner.
constexpr double kBandReach = 2;
// Rows a band has at least.
constexpr int kBandRows = 8;
// Bands at most: enough that each is a short job.
constexpr std::size_t kMostBands = 32;

// Bands for a picture of that many rows.
std::size_t BandCount(int rows) {
    return std::min<std::size_t>(kMostBands, static_cast<std::size_t>(std::max(1, rows / kBandRows)));
}

// Runs paint(0) to paint(count - 1) on the calling thread and on up to half
// the pool's threads, each part a low-priority job of its own: between
// parts the pool's threads come free for more urgent work, such as the
// bands of the frame the compositor is drawing, which a picture must not
// keep waiting. Returns once all have run; the first exception reaches the
// caller then.
void PaintParts(std::size_t count, const std::function<void(std::size_t)>& paint) {
    struct tWork {
        const std::function<void(std::size_t)>* paint;
        std::size_t count;
        std::atomic<std::size_t> next{0};
        std::size_t done = 0;
        std::mutex mutex;
        std::condition_variable finished;
        std::exception_ptr error;

        // One part, when one is left; a job that finds none never touches
        // `paint`, which may be gone by then.
        bool runOne() {
            const std::size_t part = next.fetch_add(1);
            if (part >= count) return false;
            std::exception_ptr thrown;
            try {
                (*paint)(part);
            } catch (...) {
                thrown = std::current_exception();
            }
            std::lock_guard lock(mutex);
            if (thrown && !error) error = thrown;
            if (++done == count) finished.notify_all();
            return true;
        }
    };
    auto work = std::make_shared<tWork>();
    work->paint = &paint;
    work->count = count;
    // A job that paints one part and queues itself again while parts are left.
    struct tHelper {
        static void queue(const std::shared_ptr<tWork>& work) {
            platform::DispatchQueue::global(platform::DispatchQueuePriority::Low).async([work] {
                if (work->runOne()) queue(work);
            });
        }
    };
    const std::size_t helpers = std::min<std::size_t>(count - 1, platform::DispatchQueue::concurrency() / 2);
    for (std::size_t i = 0; i < helpers; ++i) tHelper::queue(work);
    while (work->runOne()) {
    }
    std::unique_lock lock(work->mutex);
    work->finished.wait(lock, [&] { return work->done == work->count; });
    if (work->error) std::rethrow_exception(work->error);
}

}  // namespace

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, double zoomFactor,
                                                                      bool includeGrid) {
    ZDUtils::logInfo("Creating image from layout w/ %lu elements",
                     static_cast<unsigned long>(layout.GetElements().size()));
    return imageForLayout(layout, zoomFactor, includeGrid, 0);
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, double zoomFactor,
                                                                      bool includeGrid, double minimumLineWidth) {
    std::unique_ptr<platform::BitmapContext> context =
        platform::BitmapContext::createForPointSize(WorkspaceSize(layout, zoomFactor));
    if (!context) return nullptr;
    tExportLists lists;
    BuildLists(layout, zoomFactor, minimumLineWidth, lists);
    const tDrawingInstructions& elements = lists.elements.list();
    if (elements.size() < kPartedInstructions) {
        PaintLists(layout, *context, zoomFactor, includeGrid, lists, std::nullopt);
        return platform::BitmapContext::takeImage(std::move(context));
    }
    const int columns = context->pixelWidth();
    const int rows = context->pixelHeight();
    const double scale = context->contentScale();
    if (columns * rows <= kMostLayeredPixels && PaintsOnItsOwn(elements)) {
        // A small picture in layers: runs of the list painted side by side
        // into transparent bitmaps of its size, laid over the baseboards in
        // order. Painting over is associative, so the picture is the one
        // painted in one go (within a unit of rounding), without a band's
        // work on what reaches into its neighbours.
        PaintLists(layout, *context, zoomFactor, includeGrid, lists, std::nullopt, false);
        const std::size_t count = std::min(kMostLayers, elements.size() / kLayerInstructions);
        std::vector<std::shared_ptr<platform::Image>> layers(count);
        const platform::Rect dirty{0, 0, static_cast<double>(layout.GetParameters().mWorkspaceWidth),
                                   static_cast<double>(layout.GetParameters().mWorkspaceHeight)};
        PaintParts(count, [&](std::size_t i) {
            auto part = platform::BitmapContext::create(columns, rows, scale);
            if (!part) return;
            part->scale(zoomFactor, zoomFactor);
            const tDrawingInstructions run(
                elements.begin() + static_cast<std::ptrdiff_t>(elements.size() * i / count),
                elements.begin() + static_cast<std::ptrdiff_t>(elements.size() * (i + 1) / count));
            VKMDrawingInstructionsPainter::draw(*part, run, dirty, "ImageExportElements");
            layers[i] = platform::BitmapContext::takeImage(std::move(part));
        });
        if (std::find(layers.begin(), layers.end(), nullptr) != layers.end()) {
            // No memory for a layer: the whole picture in one go after all.
            PaintLists(layout, *context, zoomFactor, includeGrid, lists, std::nullopt);
            return platform::BitmapContext::takeImage(std::move(context));
        }
        for (const auto& layer : layers) context->drawImage(*layer, {0, 0, columns / scale, rows / scale});
        return platform::BitmapContext::takeImage(std::move(context));
    }
    // Bands of rows drawn side by side: each paints what may reach its rows
    // (by the instructions' boxes) into its own rows of the one bitmap.
    const std::size_t bands = BandCount(rows);
    std::vector<std::unique_ptr<platform::BitmapContext>> parts;
    std::vector<platform::Rect> areas;
    for (std::size_t i = 0; i < bands; ++i) {
        const int first = static_cast<int>(static_cast<std::size_t>(rows) * i / bands);
        const int end = static_cast<int>(static_cast<std::size_t>(rows) * (i + 1) / bands);
        parts.push_back(context->band(first, end));
        if (!parts.back()) {
            parts.clear();
            PaintLists(layout, *context, zoomFactor, includeGrid, lists, std::nullopt);
            return platform::BitmapContext::takeImage(std::move(context));
        }
        const double top = first / scale - kBandReach;
        areas.push_back({-kBandReach, top, columns / scale + 2 * kBandReach, (end - first) / scale + 2 * kBandReach});
    }
    PaintParts(bands, [&](std::size_t i) { PaintLists(layout, *parts[i], zoomFactor, includeGrid, lists, areas[i]); });
    parts.clear();
    return platform::BitmapContext::takeImage(std::move(context));
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayout(CLayout& layout, bool includeGrid) {
    return imageForLayout(layout, layout.GetZoom(), includeGrid);
}

std::shared_ptr<platform::Image> VKMImageExportHelper::imageForLayer(CLayer* layer, CLayout& layout, double zoomFactor,
                                                                     bool includeGrid) {
    std::unique_ptr<CLayout> single = QLImageFromLayoutHelper::layoutWithLayer(layer, layout);
    return imageForLayout(*single, zoomFactor, includeGrid);
}

VKMImageExportHelper::tCrop VKMImageExportHelper::croppedFrame(CLayout& layout, int padding, double targetImageSize) {
    const tPaddedContent content =
        ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeVisible, padding);
    tCrop crop;
    const double side = std::max(content.width, content.height);
    crop.zoom = side > 0 ? targetImageSize / side : 1.0;
    crop.size = {content.width * crop.zoom, content.height * crop.zoom};
    crop.offset = {content.dx * crop.zoom, content.dy * crop.zoom};
    ZDUtils::logInfo("Exporting image with (cropped) dimensions %d x %d at zoom factor %.3f",
                     static_cast<int>(content.width), static_cast<int>(content.height), crop.zoom);
    return crop;
}

void VKMImageExportHelper::drawCroppedLayout(CLayout& layout, platform::Context& context, const tCrop& crop) {
    context.save();
    context.translate(crop.offset.x, crop.offset.y);
    drawLayout(layout, context, crop.zoom, false);
    context.restore();
}

std::shared_ptr<platform::Image> VKMImageExportHelper::getCroppedImage(CLayout& layout, int padding,
                                                                       double targetImageSize) {
    const tCrop crop = croppedFrame(layout, padding, targetImageSize);
    ZDUtils::logInfo("Creating image from layout w/ %lu elements",
                     static_cast<unsigned long>(layout.GetElements().size()));
    // Drawn straight into the crop rather than cropped from an image of the
    // whole workspace: the same pixels without the larger bitmap.
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::createForPointSize(crop.size);
    if (!VKM_SOFT_ASSERT(context != nullptr)) return nullptr;
    drawCroppedLayout(layout, *context, crop);
    std::shared_ptr<platform::Image> croppedImage = context->makeImage();
    VKM_SOFT_ASSERT(croppedImage != nullptr);
    return croppedImage;
}

void VKMImageExportHelper::drawLayout(CLayout& layout, platform::Context& rendererContext, double zoomFactor,
                                      bool includeGrid, double minimumLineWidth) {
    tExportLists lists;
    BuildLists(layout, zoomFactor, minimumLineWidth, lists);
    PaintLists(layout, rendererContext, zoomFactor, includeGrid, lists, std::nullopt);
}
