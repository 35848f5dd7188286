// layoutinfo: loads one layout file the way the app opens it and prints what
// the engine makes of it: version, the section where a file cut short or
// damaged after its elements stops, parameters, layers, elements by kind and
// type, the types the loader guessed, joints, statistics, the part list and
// the padded content rectangle.
//
//   layoutinfo <file>
//
// The engine starts as at launch (telemetry client, log, services) in the
// app root $VEKMONT_HOME, or in a temporary one that is removed again. The
// exit status is one of tools/common/ExitCodes.h; a failed load's localised
// message and the warnings it logged go to standard error.

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <streambuf>
#include <string>
#include <system_error>
#include <vector>

#include "engine/generators/ComponentGenerator.h"
#include "engine/model/GeneratorParameters.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/ElementTypes.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolSession.h"
#include "engine/services/CurrencyStrings.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"

namespace {

constexpr char kPartListDelimiter = ';';

// A file text made safe to print: mended to UTF-8 as the app shows it
// (older files hold Latin-1: each invalid sequence becomes "*"), control
// bytes, quotes and backslashes escaped, length capped between characters.
std::string Escaped(const char* text, std::size_t limit) {
    const std::string mended = platform::repairUtf8(text, U'*');
    std::string out;
    for (std::size_t i = 0; i < mended.size(); ++i) {
        const auto byte = static_cast<unsigned char>(mended[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (out.size() >= limit && !continuation) {
            out += "...";
            break;
        }
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

// The same in quotes.
std::string Printable(const char* text) { return "\"" + Escaped(text, 200) + "\""; }
std::string Printable(const std::string& text) { return Printable(text.c_str()); }

std::string Colour(const CColor& c) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f,%.3f", c.mRed, c.mGreen, c.mBlue, c.mAlpha);
    return text;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

const char* LayerTypeName(std::int32_t type) {
    switch (type) {
        case CLayer::kTrackLayer: return "track";
        case CLayer::kBaseboardLayer: return "baseboard";
        case CLayer::kImageLayer: return "image";
        default: return "other";
    }
}

void PrintParameters(const CLayout& layout) {
    const CLayoutParameters& p = layout.GetParameters();
    std::printf("parameters\n");
    std::printf("  author           %s\n", Printable(p.mAuthor).c_str());
    std::printf("  created          %s\n", Printable(p.mCreationDate).c_str());
    std::printf("  text 403         %s\n", Printable(p.mText403).c_str());
    std::printf("  text 404         %s\n", Printable(p.mText404).c_str());
    std::printf("  text 405         %s\n", Printable(p.mText405).c_str());
    std::printf("  text 406         %s\n", Printable(p.mText406).c_str());
    std::printf("  text 407         %s\n", Printable(p.mText407).c_str());
    std::printf("  display flags    0x%08" PRIX32 "\n", static_cast<std::uint32_t>(p.mDisplayFlags));
    std::printf("  track style      0x%08" PRIX32 " (single line %s, marks %s, rails %s, curve centres %s)\n",
                static_cast<std::uint32_t>(p.mTrackStyle), YesNo(p.mTrackStyle & CLayoutParameters::kSingleLineTracks),
                YesNo(p.mTrackStyle & CLayoutParameters::kTrackMarks),
                YesNo(p.mTrackStyle & CLayoutParameters::kRailsDrawn),
                YesNo(p.mTrackStyle & CLayoutParameters::kCurveCentresMarked));
    std::printf("  grid             %s\n", YesNo(p.mShowGrid));
    std::printf("  zoom             %d %% (factor %g)\n", p.mZoomPercent, layout.GetZoom());
    std::printf("  workspace        %d x %d\n", p.mWorkspaceWidth, p.mWorkspaceHeight);
    std::printf("  colours          %s  %s  %s\n", Colour(p.mFirstColor).c_str(), Colour(p.mSecondColor).c_str(),
                Colour(p.mThirdColor).c_str());
    std::printf("  parameter 421    0x%04X 0x%04X 0x%04X 0x%04X\n", p.mParameter421[0], p.mParameter421[1],
                p.mParameter421[2], p.mParameter421[3]);
    std::printf("  3D               terrain %s, only tracks %s\n", YesNo(p.mRender3DTerrain), YesNo(p.m3DOnlyTracks));
    std::printf("  tunnel mode      %d\n", p.mTunnelDisplayMode);
    std::printf("  switch 430       %s\n", YesNo(p.mSwitch430));
    std::printf(
        "  integers         413=%d 414=%d 415=%d 428=%d 429=%d 435=%d 440=%d 441=%d 447=%d 448=%d 449=%d "
        "450=%d 451=%d 452=%d\n",
        p.mInt413, p.mInt414, p.mInt415, p.mInt428, p.mInt429, p.mInt435, p.mInt440, p.mInt441, p.mInt447, p.mInt448,
        p.mInt449, p.mInt450, p.mInt451, p.mInt452);
}

void PrintLayers(const CLayout& layout) {
    const tLayers& layers = layout.GetLayerManager().GetLayers();
    std::map<const CLayer*, std::size_t> onLayer;
    for (const CCompositeGeometry* element : layout.GetElements()) ++onLayer[element->GetLayer()];
    std::printf("layers           %zu\n", layers.size());
    int number = 0;
    for (const CLayer* layer : layers) {
        std::printf("  %2d %-24s %-9s %s %s colour %s, %zu elements\n", ++number, Printable(layer->GetName()).c_str(),
                    LayerTypeName(layer->GetLayerType()), layer->IsVisible() ? "visible" : "hidden ",
                    layer->IsLocked() ? "locked  " : "unlocked", Colour(layer->GetColor()).c_str(), onLayer[layer]);
    }
    std::printf("groups           %zu\n", layout.GetGroupsManager().GetGroups().size());
    std::printf("images           %zu\n", layout.GetImages().size());
    std::printf("baseboards       %zu\n", layout.GetBaseboards().size());
}

void PrintElements(const CLayout& layout) {
    const tElements& elements = layout.GetElements();
    std::size_t tracks = 0, singleTracks = 0, turnouts = 0, flex = 0, texts = 0, shapes = 0, generated = 0, tunnels = 0,
                userCreated = 0;
    std::map<std::int32_t, std::size_t> types;
    for (const CCompositeGeometry* element : elements) {
        if (element->GetComponents().empty()) continue;
        const bool track = UElementInspector::IsTrackElement(element);
        tracks += track;
        if (track) {
            const int components = UElementInspector::GetNumberOfTrackComponents(element);
            singleTracks += components == 1;
            turnouts += components > 1;
        }
        flex += UElementInspector::IsFlexTrack(element);
        texts += UElementInspector::IsTextElement(element);
        shapes += !track && (UElementInspector::IsPolyElement(element) || UElementInspector::IsCircleElement(element));
        generated += UElementInspector::IsGeneratedElement(element);
        tunnels += UElementInspector::IsTunnelTrack(element);
        userCreated += UElementInspector::IsUserCreatedElement(element);
        ++types[element->GetElementType()];
    }
    std::printf("elements         %zu\n", elements.size());
    std::printf(
        "  tracks %zu (single %zu, several track parts %zu, flex %zu, in tunnel %zu), texts %zu, shapes %zu, "
        "generated %zu, user-created %zu\n",
        tracks, singleTracks, turnouts, flex, tunnels, texts, shapes, generated, userCreated);
    std::printf("types\n");
    for (const auto& [code, count] : types) {
        const std::string name =
            code == UElementTypes::kUnclassified || UElementTypes::GetElementTypeKey(code) == nullptr
                ? std::string("-")
                : UElementTypes::GetElementTypeName(code);
        std::printf("  %4d %-28s %zu\n", code, name.c_str(), count);
    }
}

// The types the loader guessed, from its log lines after the load began.
void PrintGuessedTypes() {
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(static_cast<int>(CLogger::kMaxRecentLines), lines);
    std::size_t start = 0;
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (lines[i].find("Loading layout from '") != std::string::npos) {
            start = i;
            break;
        }
    }
    std::map<int, std::size_t> guessed;
    std::size_t itemised = 0;
    long total = -1;
    for (std::size_t i = start; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t at = line.find("Guessed type ");
        int code = 0;
        if (at != std::string::npos && std::sscanf(line.c_str() + at, "Guessed type %d", &code) == 1) {
            ++guessed[code];
            ++itemised;
        }
        const std::size_t updated = line.find("ULayoutElementClassifier: ");
        long count = 0;
        if (updated != std::string::npos &&
            std::sscanf(line.c_str() + updated, "ULayoutElementClassifier: %ld elements updated", &count) == 1)
            total = count;
    }
    if (total < 0) total = static_cast<long>(itemised);
    std::printf("guessed types    %ld elements\n", total);
    for (const auto& [code, count] : guessed)
        std::printf("  %4d %-28s %zu\n", code, UElementTypes::GetElementTypeName(code).c_str(), count);
    if (static_cast<long>(itemised) < total)
        std::printf("  (%ld more not itemised: their log lines have rotated out)\n",
                    total - static_cast<long>(itemised));
}

const char* GeneratorTypeName(int type) {
    switch (type) {
        case kGeneratorStraightFlexTrack: return "straight flex track";
        case kGeneratorCurvedFlexTrack: return "curved flex track";
        case kGeneratorArrow: return "arrow";
        case kGeneratorDimension: return "dimension";
        case kGeneratorTunnelPortal: return "tunnel portal";
        case kGeneratorShortenedTrack: return "shortened track";
        case kGeneratorTrackBumper: return "track bumper";
        default: return "unknown";
    }
}

// Each element that has generators: its place in the element list, its
// product number, then one line per generator with its parameters.
void PrintGeneratedElements(const CLayout& layout) {
    const tElements& elements = layout.GetElements();
    std::size_t count = 0;
    for (const CCompositeGeometry* element : elements) count += !element->GetGeneratorMap().empty();
    std::printf("generated        %zu elements\n", count);
    for (std::size_t index = 0; index < elements.size(); ++index) {
        const CCompositeGeometry* element = elements[index];
        if (element->GetGeneratorMap().empty()) continue;
        std::printf("  %zu %s\n", index, Printable(element->GetProductNumber()).c_str());
        for (const auto& [type, parameters] : element->GetGeneratorMap()) {
            const std::string text = UComponentGeneratorParameters::ToString(parameters);
            std::printf("    generator %d (%s): %s\n", type, GeneratorTypeName(type),
                        Escaped(text.c_str(), 600).c_str());
        }
    }
}

void PrintJoints(const CLayout& layout) {
    std::size_t free = 0, connected = 0, near = 0, height = 0, angle = 0;
    const std::vector<CJoint*>& joints = layout.GetLayoutJoints().GetJoints();
    for (const CJoint* joint : joints) {
        connected += joint->IsConnected();
        free += joint->IsFree();
        near += joint->GetMark() == kJointStateNear;
        height += joint->GetMark() == kJointStateHeight;
        angle += joint->GetMark() == kJointStateAngle;
    }
    std::printf(
        "joints           %zu: %zu free, %zu connected (free ends near another: %zu, at another height: %zu, "
        "at another angle: %zu)\n",
        joints.size(), free, connected, near, height, angle);
}

void PrintStatistics(CLayout& layout) {
    CTrackElementsStatistics& statistics = layout.GetStatistics();
    statistics.Refresh(layout.GetElements());
    const tElementKindCounts kinds = statistics.GetElementKindCounts();
    long long pieces = 0;
    for (const CCountedGeometry* entry : statistics.GetCountedElements()) pieces += entry->GetCount();
    std::printf("statistics       %zu parts, %lld pieces, track total %u\n", statistics.GetCountedElements().size(),
                pieces, kinds[0] + kinds[2]);
    std::printf("  library tracks %u, library others %u, user flex tracks %u, user shapes %u, user texts %u\n",
                kinds[0], kinds[1], kinds[2], kinds[3], kinds[4]);
}

void PrintPartList(CLayout& layout) {
    const platform::Bundle* bundle = platform::Bundle::main();
    const std::string language = bundle != nullptr ? bundle->preferredLanguage() : "en";
    CPartList parts(&layout, &layout.GetStatistics());
    const std::string text = parts.ExportToString(kPartListDelimiter, language);
    std::printf("part list        %zu entries\n", parts.GetEntries().size());
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::printf("  %s\n", Escaped(text.substr(begin, end - begin).c_str(), 600).c_str());
        begin = end + 1;
    }
    // The pieces and what they cost together, a sum for each currency.
    long long pieces = 0;
    std::map<std::int32_t, long long> sums;
    for (const CCountedGeometry* entry : parts.GetEntries()) {
        pieces += entry->GetCount();
        sums[entry->GetCurrencyId()] += static_cast<long long>(entry->GetPrice()) * entry->GetCount();
    }
    std::string total;
    for (const auto& [currency, hundredths] : sums) {
        total += (total.empty() ? "" : " + ") +
                 UPriceFormatting::FormatPrice(currency, static_cast<double>(hundredths) / 100.0);
    }
    std::printf("  total: %lld pieces, %s\n", pieces, sums.empty() ? "nothing" : total.c_str());
}

void PrintContent(CLayout& layout) {
    const int padding = UPreferences::GetInt("QLLayoutPadding");
    const tDoubleRect box = ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll);
    if (!(box.Width() >= 0.001 && box.Height() >= 0.001) || !std::isfinite(box.Width()) ||
        !std::isfinite(box.Height())) {
        std::printf("content          none\n");
        return;
    }
    const tPaddedContent content =
        ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, padding);
    std::printf("content          x %.2f to %.2f, y %.2f to %.2f\n", box.minX, box.maxX, box.minY, box.maxY);
    std::printf("padded content   dx %.2f, dy %.2f, width %.0f, height %.0f (padding %d)\n", content.dx, content.dy,
                content.width, content.height, padding);
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: layoutinfo <layout file>\n"
                 "Loads a layout file (\"WkSt\", versions 3 to 13) as the app opens it and prints what the\n"
                 "engine makes of it: version, parameters, layers, groups, images and baseboards, elements by\n"
                 "kind and type, the types the loader guessed, generated elements, joints, statistics, the\n"
                 "part list and the content rectangle.\n"
                 "\n"
                 "options:\n"
                 "  -h, --help   this text\n"
                 "\n"
                 "environment:\n"
                 "  VEKMONT_HOME      app root for the log and preferences (default: a temporary folder,\n"
                 "                    removed at the end)\n"
                 "  VEKMONT_LANGUAGE  language of the messages and the part list (default: from the locale)\n"
                 "\n");
    PrintExitCodes(
        to, {kExitOk, kExitUsage, kExitCannotOpen, kExitNotALayout, kExitUnsupported, kExitDamaged, kExitInternal});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return kExitOk;
    }
    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        if (argc == 2 && argv[1][0] == '-') std::fprintf(stderr, "layoutinfo: unknown option %s\n", argv[1]);
        if (argc > 2) std::fprintf(stderr, "layoutinfo: one layout file only\n");
        std::fprintf(stderr, "usage: layoutinfo <layout file> (--help tells more)\n");
        return kExitUsage;
    }
    const std::string path = argv[1];

    CToolSession session("layoutinfo");
    if (!session.IsReady()) return kExitCannotOpen;
    int code = kExitInternal;
    try {
        session.StartEngine();
        code = session.LoadLayout(path);
        if (code != kExitOk) return code;
        CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
        std::error_code sizeError;
        const auto bytes = std::filesystem::file_size(path, sizeError);
        std::printf("file             %s (%llu bytes)\n", path.c_str(),
                    static_cast<unsigned long long>(sizeError ? 0 : bytes));
        std::printf("version          %d\n", layout.GetFileVersion());
        // Loaded all the same: these sections have no result code.
        if (layout.GetIncompleteSection() != tLayoutSection::kNone) {
            std::printf("incomplete       %s section: the file is cut short or damaged there\n",
                        LayoutSectionName(layout.GetIncompleteSection()));
        }
        PrintParameters(layout);
        PrintLayers(layout);
        PrintElements(layout);
        PrintGuessedTypes();
        PrintGeneratedElements(layout);
        PrintJoints(layout);
        PrintStatistics(layout);
        PrintPartList(layout);
        PrintContent(layout);
    } catch (const std::exception& error) {
        code = session.ReportFailure(error.what());
    }
    return code;
}
