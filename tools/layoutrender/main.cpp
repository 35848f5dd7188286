// layoutrender: loads one layout file the way the app opens it, fits the
// workspace to the content as the layout screen does after a load, and
// exports a picture of it through the viewer's export road: on white, the
// baseboards, then every element filled and outlined, layer by layer.
//
//   layoutrender <file> -o <out> [--width W --height H] [--style BITS]
//                [--colorize CRITERION] [--pdf|--svg]
//
// Without a size the picture is the sharing crop: the visible content with
// 350 mm around it, the longer side 2048 points. With a size (one side given
// stands for both) the content with 100 mm around it is fitted into W x H
// points. --style replaces the layout's track-style word (decimal or 0x
// hex). --colorize colours the elements automatically before the export,
// by type, layer, maker, product, radius or height (eleven height bands),
// handing out the app's eleven colours in a fixed order so that one file
// always gives the same picture. PNG unless --pdf or --svg.
//
// Exit status: 0 written; 1 to 6 the load failure codes (their localised
// message on standard error); 64 for a wrong command line; 73 when the
// picture cannot be made or written; 70 for any other failure.

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "tools/common/ToolSession.h"
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>

#include "LayoutModule/LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutModule/LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "LayoutModule/LayoutView/ImageExport/VKMImageExportHelper.h"
#include "LayoutModule/LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/DocumentContext.h"
#include "platform/graphics/Image.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"

namespace {

constexpr int kUsageError = 64;
constexpr int kInternalError = 70;
constexpr int kWriteError = 73;
constexpr int kSharingPadding = 350;
constexpr double kSharingImageSize = 2048;
constexpr int kFittedPadding = 100;
constexpr long kLargestSide = 16384;

enum class tFormat { png, pdf, svg };

struct tOptions {
    std::string input;
    std::string output;
    std::optional<long> width;
    std::optional<long> height;
    std::optional<std::int32_t> style;
    std::optional<int> colorize;
    tFormat format = tFormat::png;
};

struct tColorizeCriterion {
    const char* name;
    int operation;
};

const tColorizeCriterion kColorizeCriteria[] = {
    {"type", kColorizeByType},       {"layer", kColorizeByLayer},   {"maker", kColorizeByManufacturer},
    {"product", kColorizeByProductNumber}, {"radius", kColorizeByRadius}, {"height", kColorizeByHeight},
};

// The eleven light colours the app colourises with, in its order.
const char* const kColorizeColors[] = {"#FF80CBC4", "#FFFFAB91", "#FFA5D6A7", "#FFFFE082",
                                       "#FF81D4FA", "#FFFFF59D", "#FF9FA8DA", "#FFEF9A9A",
                                       "#FFE6EE9C", "#FFF48FB1", "#FFB0BEC5"};

std::optional<int> ColorizeOperation(const char* name) {
    if (name == nullptr) return std::nullopt;
    for (const tColorizeCriterion& criterion : kColorizeCriteria) {
        if (std::strcmp(name, criterion.name) == 0) return criterion.operation;
    }
    return std::nullopt;
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: layoutrender <layout file> -o <output> [--width W --height H] [--style BITS] "
                 "[--colorize CRITERION] [--pdf|--svg]\n"
                 "  --colorize  colour the elements by one criterion before the export:\n"
                 "              type     element type (plain tracks by kind, then each type)\n"
                 "              layer    layer\n"
                 "              maker    manufacturer\n"
                 "              product  product number\n"
                 "              radius   curve radius (others, straight tracks, then each radius)\n"
                 "              height   height of the tracks in eleven bands\n");
}

std::optional<long> ParseNumber(const char* text, long low, long high) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

// False (with a message) for a wrong command line.
bool ParseArguments(int argc, char** argv, tOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "layoutrender: %s needs a value\n", what);
                return nullptr;
            }
            return argv[++i];
        };
        if (argument == "-o" || argument == "--output") {
            const char* v = value("-o");
            if (v == nullptr) return false;
            options.output = v;
        } else if (argument == "--width" || argument == "--height") {
            const char* v = value(argument.c_str());
            const std::optional<long> number = ParseNumber(v, 1, kLargestSide);
            if (!number) {
                std::fprintf(stderr, "layoutrender: %s takes a whole number from 1 to %ld\n", argument.c_str(),
                             kLargestSide);
                return false;
            }
            (argument == "--width" ? options.width : options.height) = number;
        } else if (argument == "--style") {
            const std::optional<long> number = ParseNumber(value("--style"), 0, 0xFFFFFFFFL);
            if (!number) {
                std::fprintf(stderr, "layoutrender: --style takes a number from 0 to 0xFFFFFFFF\n");
                return false;
            }
            options.style = static_cast<std::int32_t>(static_cast<std::uint32_t>(*number));
        } else if (argument == "--colorize") {
            options.colorize = ColorizeOperation(value("--colorize"));
            if (!options.colorize) {
                std::fprintf(stderr,
                             "layoutrender: --colorize takes type, layer, maker, product, radius or height\n");
                return false;
            }
        } else if (argument == "--pdf") {
            options.format = tFormat::pdf;
        } else if (argument == "--svg") {
            options.format = tFormat::svg;
        } else if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "layoutrender: unknown option %s\n", argument.c_str());
            return false;
        } else if (options.input.empty()) {
            options.input = argument;
        } else {
            std::fprintf(stderr, "layoutrender: one layout file only\n");
            return false;
        }
    }
    if (options.input.empty() || options.output.empty()) {
        std::fprintf(stderr, "layoutrender: a layout file and -o <output> are needed\n");
        return false;
    }
    return true;
}

// Swallows what the log's console sink writes; the log file keeps it.
// Draws the loaded document into a page of the chosen format. 0 or the
// write failure code.
int Export(CLayout& layout, const tOptions& options) {
    platform::Size page;
    double zoom = 1;
    std::optional<VKMImageExportHelper::tCrop> crop;
    if (options.width || options.height) {
        const long width = options.width.value_or(*options.height);
        const long height = options.height.value_or(*options.width);
        page = {static_cast<double>(width), static_cast<double>(height)};
        zoom = QLImageFromLayoutHelper::calculateFittingZoomForSize(page, layout, kFittedPadding);
    } else {
        crop = VKMImageExportHelper::croppedFrame(layout, kSharingPadding, kSharingImageSize);
        page = crop->size;
    }
    auto draw = [&](platform::Context& context) {
        if (crop) {
            VKMImageExportHelper::drawCroppedLayout(layout, context, *crop);
        } else {
            VKMImageExportHelper::drawLayout(layout, context, zoom, false);
        }
    };

    if (options.format == tFormat::png) {
        std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::createForPointSize(page);
        if (!context) {
            std::fprintf(stderr, "layoutrender: cannot make a picture of %.0f x %.0f points\n", page.width,
                         page.height);
            return kWriteError;
        }
        draw(*context);
        const std::shared_ptr<platform::Image> image = context->makeImage();
        if (!image || !image->writePNG(options.output)) {
            std::fprintf(stderr, "layoutrender: cannot write %s\n", options.output.c_str());
            return kWriteError;
        }
        return 0;
    }
    std::unique_ptr<platform::DocumentContext> document =
        options.format == tFormat::pdf ? platform::DocumentContext::createPdf(options.output, page)
                                       : platform::DocumentContext::createSvg(options.output, page);
    if (!document) {
        std::fprintf(stderr, "layoutrender: cannot write %s\n", options.output.c_str());
        return kWriteError;
    }
    draw(*document);
    if (!document->finish()) {
        std::fprintf(stderr, "layoutrender: cannot write %s\n", options.output.c_str());
        return kWriteError;
    }
    return 0;
}

int Run(const tOptions& options) {
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    if (!holder.LoadLayout(options.input)) {
        std::fprintf(stderr, "layoutrender: %s: %s\n", options.input.c_str(),
                     holder.GetLastLoadErrorMessage().c_str());
        return LastLoadErrorCode();
    }
    CLayout& layout = *holder.Layout();
    if (options.style) layout.GetParameters().mTrackStyle = *options.style;
    if (options.colorize) {
        tColorList colors;
        for (const char* hex : kColorizeColors) colors.push_back(CColor::FromHexString(hex));
        const tElementGroups groups = UAutoColorize::GroupElementsForOperation(
            layout.GetElements(), *options.colorize, static_cast<int>(colors.size()));
        // No shuffle, mode 0: the same groups always get the same colours.
        constexpr int kNoShuffle = 0;
        constexpr int kFixedOrder = 0;
        UAutoColorize::ApplyColorList(groups, colors, kNoShuffle, kFixedOrder);
    }
    VKMLayoutResizeHelper::sizeLayoutToFitContents(layout);
    return Export(layout, options);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    tOptions options;
    if (!ParseArguments(argc, argv, options)) {
        Usage(stderr);
        return kUsageError;
    }

    int code = kInternalError;
    {
        CToolSession session("layoutrender");
        if (!session.IsReady()) return kInternalError;
        try {
            session.StartEngine();
            code = Run(options);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "layoutrender: %s\n", error.what());
            code = kInternalError;
        } catch (...) {
            std::fprintf(stderr, "layoutrender: unexpected failure\n");
            code = kInternalError;
        }
        VKMDrawingInstructionsRenderData::waitForPendingReleases();
    }
    return code;
}
