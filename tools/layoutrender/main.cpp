// layoutrender: loads one layout file the way the app opens it, fits the
// workspace to the content as the layout screen does after a load, and
// exports a picture of it through the viewer's export road: on white, the
// visible baseboards (with their grid and dimensions), then the elements of
// every visible layer, bottom layer first, filled and outlined in the
// layout's track style, with the tunnel stripes. Like the app's exported
// pictures it leaves out the layout's images, the workspace grid and the
// overlays (names, height labels, curve centres).
//
//   layoutrender <file> -o <out> [--width W] [--height H] [--style BITS]
//                [--colorize CRITERION] [--png|--pdf|--svg]
//
// Without a size the picture is the sharing crop: the visible content with
// 350 mm around it, the longer side 2048 points. With a size (one side given
// stands for both) the content with 100 mm around it is fitted into W x H
// points. --style replaces the layout's track-style word (decimal or 0x
// hex). --colorize colours the elements automatically before the export,
// by type, layer, maker, product, radius or height (eleven height bands),
// handing out the app's eleven colours in a fixed order so that one file
// always gives the same picture. The output's extension (.png, .pdf, .svg)
// chooses the format; --png, --pdf or --svg choose it for a name without
// one of those extensions and may not contradict it. The exit status is one
// of tools/common/ExitCodes.h.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "LayoutView/ImageExport/VKMImageExportHelper.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/DocumentContext.h"
#include "platform/graphics/Image.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMessages.h"
#include "tools/common/ToolSession.h"

namespace {

constexpr int kSharingPadding = 350;
constexpr double kSharingImageSize = 2048;
constexpr int kFittedPadding = 100;
constexpr long kLargestSide = 16384;

enum class tFormat { png, pdf, svg };

struct tFormatName {
    const char* name;
    tFormat format;
};

const tFormatName kFormats[] = {{"png", tFormat::png}, {"pdf", tFormat::pdf}, {"svg", tFormat::svg}};

struct tOptions {
    std::string input;
    std::string output;
    std::optional<long> width;
    std::optional<long> height;
    std::optional<std::int32_t> style;
    std::optional<int> colorize;
    tFormat format = tFormat::png;
};

// The format a file name's extension names, in any case; none for another
// extension or none at all.
std::optional<tFormat> FormatOfName(const std::string& path) {
    const std::string extension = platform::ascii::lowercased(std::filesystem::path(path).extension().string());
    for (const tFormatName& format : kFormats) {
        if (extension == std::string(".") + format.name) return format.format;
    }
    return std::nullopt;
}

struct tColorizeCriterion {
    const char* name;
    int operation;
};

const tColorizeCriterion kColorizeCriteria[] = {
    {"type", kColorizeByType},          {"layer", kColorizeByLayer},
    {"maker", kColorizeByManufacturer}, {"product", kColorizeByProductNumber},
    {"radius", kColorizeByRadius},      {"height", kColorizeByHeight},
};

// The eleven light colours the app colourises with, in its order.
const char* const kColorizeColors[] = {"#FF80CBC4", "#FFFFAB91", "#FFA5D6A7", "#FFFFE082", "#FF81D4FA", "#FFFFF59D",
                                       "#FF9FA8DA", "#FFEF9A9A", "#FFE6EE9C", "#FFF48FB1", "#FFB0BEC5"};

std::optional<int> ColorizeOperation(const char* name) {
    if (name == nullptr) return std::nullopt;
    for (const tColorizeCriterion& criterion : kColorizeCriteria) {
        if (std::strcmp(name, criterion.name) == 0) return criterion.operation;
    }
    return std::nullopt;
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: layoutrender <layout file> -o <output> [--width W] [--height H] [--style BITS]\n"
                 "                    [--colorize CRITERION] [--png|--pdf|--svg]\n"
                 "Loads a layout file as the app opens it and exports its picture as the app's image export\n"
                 "does: on white, the visible baseboards (with their grid and dimensions), then the elements\n"
                 "of every visible layer, bottom layer first, filled and outlined in the layout's track style,\n"
                 "with the tunnel stripes. The layout's images, the workspace grid and the overlays (names,\n"
                 "height labels, curve centres) are left out, as in the app's exported pictures.\n"
                 "\n"
                 "options:\n"
                 "  -o, --output FILE    where the picture goes; its extension (.png, .pdf or .svg, in any\n"
                 "                       case) chooses the format, PNG when it has none\n"
                 "  --png, --pdf, --svg  the format, for a name without one of those extensions; an option\n"
                 "                       that contradicts the extension or another option is refused\n"
                 "  --width W, --height H\n"
                 "                       fit the content with 100 mm around it into W x H points (1 to %ld;\n"
                 "                       one side given stands for both); without them the picture is the\n"
                 "                       sharing crop, the content with 350 mm around it, 2048 points on its\n"
                 "                       longer side\n"
                 "  --style BITS         replace the layout's track-style word (decimal or 0x hex)\n"
                 "  --colorize CRITERION colour the elements by one criterion before the export, with the\n"
                 "                       app's eleven colours in a fixed order:\n"
                 "                         type     element type (plain tracks by kind, then each type)\n"
                 "                         layer    layer\n"
                 "                         maker    manufacturer\n"
                 "                         product  product number\n"
                 "                         radius   curve radius (others, straight tracks, then each radius)\n"
                 "                         height   height of the tracks in eleven bands\n"
                 "  -h, --help           this text\n"
                 "An option given twice must have the same value both times.\n"
                 "\n"
                 "environment:\n"
                 "  VEKMONT_HOME      app root for the log and preferences (default: a temporary folder,\n"
                 "                    removed at the end)\n"
                 "  VEKMONT_LANGUAGE  language of the messages (default: from the locale)\n"
                 "\n",
                 kLargestSide);
    PrintExitCodes(
        to, {kExitOk, kExitUsage, kExitCannotOpen, kExitNotALayout, kExitUnsupported, kExitDamaged, kExitInternal});
}

std::optional<long> ParseNumber(const char* text, long low, long high) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

// The format from the output's name and the format option ("--pdf", or
// empty). False (with a message) when they disagree, or when neither tells.
bool ChooseFormat(const std::string& option, tOptions& options) {
    const std::optional<tFormat> named = FormatOfName(options.output);
    std::optional<tFormat> chosen;
    for (const tFormatName& format : kFormats) {
        if (option == std::string("--") + format.name) chosen = format.format;
    }
    const std::string extension = std::filesystem::path(options.output).extension().string();
    if (chosen && named && *chosen != *named) {
        std::fprintf(stderr, "layoutrender: %s contradicts the extension of %s\n", option.c_str(),
                     options.output.c_str());
        return false;
    }
    if (!chosen && !named && !extension.empty()) {
        std::fprintf(stderr,
                     "layoutrender: %s: the extension %s names no format of ours; use .png, .pdf or .svg, "
                     "or give --png, --pdf or --svg\n",
                     options.output.c_str(), extension.c_str());
        return false;
    }
    options.format = chosen.value_or(named.value_or(tFormat::png));
    return true;
}

// False (with a message) for a wrong command line: an unknown option, a
// bad value, an option given twice with different values, or a format that
// contradicts another option or the output's extension.
bool ParseArguments(int argc, char** argv, tOptions& options) {
    std::map<std::string, std::string> given;  // option -> its value as first given
    auto once = [&](const std::string& name, const std::string& text) {
        const auto [earlier, added] = given.emplace(name, text);
        if (added || earlier->second == text) return true;
        std::fprintf(stderr, "layoutrender: %s given twice with different values (%s and %s)\n", name.c_str(),
                     earlier->second.c_str(), text.c_str());
        return false;
    };
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
            if (v == nullptr || !once("-o", v)) return false;
            options.output = v;
        } else if (argument == "--width" || argument == "--height") {
            const char* v = value(argument.c_str());
            const std::optional<long> number = ParseNumber(v, 1, kLargestSide);
            if (!number) {
                std::fprintf(stderr, "layoutrender: %s takes a whole number from 1 to %ld\n", argument.c_str(),
                             kLargestSide);
                return false;
            }
            if (!once(argument, std::to_string(*number))) return false;
            (argument == "--width" ? options.width : options.height) = number;
        } else if (argument == "--style") {
            const std::optional<long> number = ParseNumber(value("--style"), 0, 0xFFFFFFFFL);
            if (!number) {
                std::fprintf(stderr, "layoutrender: --style takes a number from 0 to 0xFFFFFFFF\n");
                return false;
            }
            if (!once("--style", std::to_string(*number))) return false;
            options.style = static_cast<std::int32_t>(static_cast<std::uint32_t>(*number));
        } else if (argument == "--colorize") {
            const char* v = value("--colorize");
            options.colorize = ColorizeOperation(v);
            if (!options.colorize) {
                std::fprintf(stderr, "layoutrender: --colorize takes type, layer, maker, product, radius or height\n");
                return false;
            }
            if (!once("--colorize", v)) return false;
        } else if (argument == "--png" || argument == "--pdf" || argument == "--svg") {
            const auto earlier = given.find("format");
            if (earlier != given.end() && earlier->second != argument) {
                std::fprintf(stderr, "layoutrender: %s and %s contradict each other\n", earlier->second.c_str(),
                             argument.c_str());
                return false;
            }
            given["format"] = argument;
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
    return ChooseFormat(given.count("format") != 0 ? given["format"] : std::string(), options);
}

// Says why the picture could not be written and returns the exit status.
// `reason` is errno as the failed call left it.
int WriteFailure(const std::string& output, int reason) {
    std::fprintf(stderr, "layoutrender: cannot write %s: %s\n", output.c_str(),
                 reason != 0 ? UToolMessages::SystemReason(reason).c_str() : "the picture could not be stored");
    return kExitCannotOpen;
}

// Draws the loaded document into a page of the chosen format. kExitOk or
// the exit status of the failure.
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
            return kExitInternal;
        }
        draw(*context);
        const std::shared_ptr<platform::Image> image = context->makeImage();
        if (!image) {
            std::fprintf(stderr, "layoutrender: cannot make a picture of %.0f x %.0f points\n", page.width,
                         page.height);
            return kExitInternal;
        }
        if (!image->writePNG(options.output)) return WriteFailure(options.output, errno);
        return kExitOk;
    }
    std::unique_ptr<platform::DocumentContext> document =
        options.format == tFormat::pdf ? platform::DocumentContext::createPdf(options.output, page)
                                       : platform::DocumentContext::createSvg(options.output, page);
    if (!document) return WriteFailure(options.output, errno);
    draw(*document);
    if (!document->finish()) return WriteFailure(options.output, errno);
    return kExitOk;
}

int Run(CToolSession& session, const tOptions& options) {
    const int loaded = session.LoadLayout(options.input);
    if (loaded != kExitOk) return loaded;
    CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
    if (options.style) layout.GetParameters().mTrackStyle = *options.style;
    if (options.colorize) {
        tColorList colors;
        for (const char* hex : kColorizeColors) colors.push_back(CColor::FromHexString(hex));
        const tElementGroups groups = UAutoColorize::GroupElementsForOperation(layout.GetElements(), *options.colorize,
                                                                               static_cast<int>(colors.size()));
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
        return kExitOk;
    }
    tOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "usage: layoutrender <layout file> -o <output> [options] (--help tells more)\n");
        return kExitUsage;
    }
    // Before the load, which may take long: a picture that cannot be put
    // there would be drawn for nothing.
    std::string reason;
    if (!UToolMessages::CanWrite(options.output, reason)) {
        std::fprintf(stderr, "layoutrender: cannot write %s: %s\n", options.output.c_str(), reason.c_str());
        return kExitCannotOpen;
    }

    int code = kExitInternal;
    {
        CToolSession session("layoutrender");
        if (!session.IsReady()) return kExitCannotOpen;
        try {
            session.StartEngine();
            code = Run(session, options);
        } catch (const std::exception& error) {
            code = session.ReportFailure(error.what());
        } catch (...) {
            code = session.ReportFailure(nullptr);
        }
        VKMDrawingInstructionsRenderData::waitForPendingReleases();
    }
    return code;
}
