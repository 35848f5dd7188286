#include "engine/model/AutoColorize.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>

#include "engine/model/GeneratorParameters.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

// Radii and heights closer than this are the same.
constexpr double kTolerance = 0.001;
// Passes of ApplyColorList before it gives up looking for a change.
constexpr unsigned int kMaxColorPasses = 10;
// The curved flex-track generator's radius parameter and its default.
constexpr int kCurvedFlexRadiusKey = 5;
constexpr double kDefaultCurvedFlexRadius = 360.0;

using namespace UElementVectorOperations;

// Pushes `group` and takes it out of `remaining`.
void PushAndSubtract(tElementGroups& groups, tElements& remaining, const tElements& group) {
    groups.push_back(group);
    remaining = SubtractElements(remaining, group);
}

tElements WithoutNulls(const tElements& elements) {
    tElements kept;
    kept.reserve(elements.size());
    for (CCompositeGeometry* element : elements) {
        if (element != nullptr) kept.push_back(element);
    }
    return kept;
}

// A seed from the system's entropy; a device that cannot be opened falls
// back to the library's default one.
std::uint32_t RandomSeed() {
    try {
        std::random_device device("/dev/urandom");
        return device();
    } catch (const std::exception&) {
        std::random_device device;
        return device();
    }
}

// Uniform in 0 to size - 1; size is at least 1.
std::size_t RandomIndex(std::size_t size) {
    std::mt19937 generator(RandomSeed());
    std::uniform_int_distribution<std::size_t> pick(0, size - 1);
    return pick(generator);
}

void Shuffle(tColorList& colors) {
    std::mt19937 generator(RandomSeed());
    std::shuffle(colors.begin(), colors.end(), generator);
}

// Whether every element still has the first colour it had before.
bool SameColors(const tElements& elements, const std::vector<CColor>& before) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!(elements[i]->GetFirstColor() == before[i])) return false;
    }
    return true;
}

}  // namespace

namespace UAutoColorize {

tElementGroups GroupElementsForOperation(const tElements& elements, int operation, int partitionCount) {
    switch (operation) {
        case kColorizeByType: return UColorizeByType::GroupElements(elements);
        case kColorizeByLayer: return UColorizeByLayer::GroupElements(elements);
        case kColorizeByManufacturer: return UColorizeByManufacturer::GroupElements(elements);
        case kColorizeByProductNumber: return UColorizeByProductNumber::GroupElements(elements);
        case kColorizeByRadius: return UColorizeByRadius::GroupElements(elements);
        case kColorizeByHeight: return UColorizeByHeight::GroupElements(elements, partitionCount);
        default: LogWarning("Colorize operation <%d> not recognized", operation); return {};
    }
}

unsigned int ApplyColorList(const tElementGroups& groups, const tColorList& colors, int shuffle, int mode) {
    tElements all;
    for (const tElements& group : groups) {
        for (CCompositeGeometry* element : group) {
            if (element != nullptr) all.push_back(element);
        }
    }
    // Without colours there is nothing to hand out: no index into the list
    // and no modulo by its size.
    if (all.empty() || colors.empty()) return 0;

    // Compared element by element: keying 100,000 colours by identifier
    // text costs more than the colouring itself.
    std::vector<CColor> previous;
    previous.reserve(all.size());
    for (const CCompositeGeometry* element : all) previous.push_back(element->GetFirstColor());
    const bool startFromShuffled = mode == 1 && shuffle != 0;
    unsigned int passes = 0;
    while (passes < kMaxColorPasses) {
        tColorList list = colors;
        std::size_t index = 0;
        if (startFromShuffled) {
            Shuffle(list);
            index = RandomIndex(list.size());
        } else if (mode == 0) {
            if (passes % 2 == 0) std::reverse(list.begin(), list.end());
        } else {
            index = RandomIndex(list.size());
        }

        for (const tElements& group : groups) {
            bool coloured = false;
            for (CCompositeGeometry* element : group) {
                if (element == nullptr) continue;
                element->SetFirstColor(list[index]);
                coloured = true;
            }
            // Empty groups do not use up a colour.
            if (coloured) index = (index + 1) % list.size();
        }
        ++passes;

        // A colouring that changed nothing is tried again in another order.
        if (!SameColors(all, previous)) break;
    }
    return passes;
}

}  // namespace UAutoColorize

namespace UColorizeByType {

tElementGroups GroupElements(const tElements& elements) {
    const tElements input = WithoutNulls(elements);
    tElementGroups groups;
    tElements remaining = input;

    PushAndSubtract(groups, remaining, GetStraightPlainTracks(input));
    PushAndSubtract(groups, remaining, GetCurvedPlainTracks(input));
    PushAndSubtract(groups, remaining, GetPlainFlexTracks(input));

    // The other track pieces, one type at a time.
    constexpr std::int32_t kLastTrackType = 20;
    for (std::int32_t type = 2; type <= kLastTrackType; ++type) {
        PushAndSubtract(groups, remaining, GetElementsOfType(remaining, type));
        if (remaining.empty()) break;
    }

    // Symbols, plants, unclassified, vehicles, buildings, electric and
    // mechanical parts.
    PushAndSubtract(groups, remaining, GetElementsOfType(remaining, 500));
    PushAndSubtract(groups, remaining, GetElementsOfType(remaining, 501));
    PushAndSubtract(groups, remaining, GetElementsOfType(remaining, 300));
    PushAndSubtract(groups, remaining, GetElementsOfType(remaining, 0));
    PushAndSubtract(groups, remaining, GetElementsWithTypeInRange(remaining, 100, 107));
    PushAndSubtract(groups, remaining, GetElementsWithTypeInRange(remaining, 200, 209));
    PushAndSubtract(groups, remaining, GetElementsWithTypeInRange(remaining, 400, 406));
    return groups;
}

}  // namespace UColorizeByType

namespace UColorizeByLayer {

tElementGroups GroupElements(const tElements& elements) {
    const tElements input = WithoutNulls(elements);
    std::vector<const CLayer*> layers;
    for (const CCompositeGeometry* element : input) {
        if (std::find(layers.begin(), layers.end(), element->GetLayer()) == layers.end())
            layers.push_back(element->GetLayer());
    }
    tElementGroups groups;
    for (const CLayer* layer : layers) groups.push_back(GetElementsOfLayer(input, layer));
    return groups;
}

}  // namespace UColorizeByLayer

namespace {

// One group per distinct text, in order of first occurrence.
template <typename TextOf, typename Filter>
tElementGroups GroupByText(const tElements& elements, TextOf textOf, Filter filter) {
    const tElements input = WithoutNulls(elements);
    std::vector<std::string> texts;
    for (const CCompositeGeometry* element : input) {
        const std::string text = textOf(element);
        if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(text);
    }
    tElementGroups groups;
    for (const std::string& text : texts) groups.push_back(filter(input, text));
    return groups;
}

}  // namespace

namespace UColorizeByManufacturer {

tElementGroups GroupElements(const tElements& elements) {
    return GroupByText(
        elements, [](const CCompositeGeometry* element) { return std::string(element->GetManufacturer()); },
        GetElementsOfManufacturer);
}

}  // namespace UColorizeByManufacturer

namespace UColorizeByProductNumber {

tElementGroups GroupElements(const tElements& elements) {
    return GroupByText(
        elements, [](const CCompositeGeometry* element) { return std::string(element->GetProductNumber()); },
        GetElementsWithProductNumber);
}

}  // namespace UColorizeByProductNumber

namespace UColorizeByRadius {

double GetCurveRadius(const CCompositeGeometry* element) {
    static const char* const kSignature = "static double UColorizeByRadius::GetCurveRadius(const CCompositeGeometry *)";
    UErrorHandling::ThrowIfNull(element, kSignature, "Parameter is NULL");
    const auto* curve = dynamic_cast<const CCurveBIG*>(UElementComponents::GetFirstTrackComponent(element));
    if (curve == nullptr) {
        char message[256];
        std::snprintf(message, sizeof message, "No curve component found in element %s (%s)",
                      element->GetProductNumber(), element->GetLibraryName());
        UErrorHandling::ThrowIfNull(curve, kSignature, message);
    }
    return curve->GetRadius();
}

double GetElementRadius(const CCompositeGeometry* element) {
    if (UElementInspector::IsCurvedTrack(element)) return GetCurveRadius(element);
    if (!element->UsesComponentGenerator(kGeneratorTypeCurvedFlexTrack)) return 0.0;
    return UGeneratorParameters::GetGeneratorDouble(element->GetGeneratorMap(), kGeneratorTypeCurvedFlexTrack,
                                                    kCurvedFlexRadiusKey, kDefaultCurvedFlexRadius);
}

tElementGroups GroupElements(const tElements& elements) {
    const tElements input = WithoutNulls(elements);
    const std::vector<double> radii = GetListOfRadii(input);
    const tElements tracks = GetTrackElements(input);

    tElementGroups groups;
    groups.push_back(SubtractElements(input, tracks));

    tElements curved = GetSingleCurvedTracks(tracks);
    // An element is listed once even if it were both kinds.
    for (CCompositeGeometry* flex : SubtractElements(GetCurvedFlexTracks(tracks), curved)) curved.push_back(flex);
    groups.push_back(SubtractElements(tracks, curved));

    for (const double radius : radii) {
        tElements group;
        for (CCompositeGeometry* element : curved) {
            if (std::fabs(GetElementRadius(element) - radius) < kTolerance) group.push_back(element);
        }
        PushAndSubtract(groups, curved, group);
    }
    return groups;
}

}  // namespace UColorizeByRadius

namespace UColorizeByHeight {

tElements TrackElementsInHeightRange(const tElements& elements, const double lower, const double partitionHeight) {
    tElements kept;
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        const double height = element->GetPosition().z;
        if (lower < height + kTolerance && height < lower + partitionHeight - kTolerance) kept.push_back(element);
    }
    LogDebug("In %s with lower = %.1f, partitionHeight = %.1f",
             "static tElements UColorizeByHeight::TrackElementsInHeightRange(const tElements &, const double, "
             "const double)",
             lower, partitionHeight);
    LogDebug("(%lu/%lu matching elements)", static_cast<unsigned long>(kept.size()),
             static_cast<unsigned long>(elements.size()));
    return kept;
}

// The band count is the caller's and is not bounded here: every band up to
// the highest element is pushed, empty or not.
tElementGroups GroupElements(const tElements& elements, int partitionCount) {
    const tElements input = WithoutNulls(elements);
    tElementGroups groups;
    if (input.empty()) return groups;

    // Heights that are no number lie in no band and do not stretch the range.
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (const CCompositeGeometry* element : input) {
        const double height = element->GetPosition().z;
        if (std::isnan(height)) continue;
        lowest = std::min(lowest, height);
        highest = std::max(highest, height);
    }
    if (!(highest - lowest >= kTolerance)) {
        groups.push_back(input);
        return groups;
    }

    // Fewer than two bands make one band over the whole range.
    const int bands = std::max(partitionCount, 1);
    const double step = std::ceil((highest - lowest) / bands);

    tElements tracks = GetTrackElements(input);
    groups.push_back(SubtractElements(input, tracks));

    double lower = lowest;
    for (int band = 0; band < bands; ++band, lower += step) {
        if (tracks.empty() || !std::isfinite(lower) || lower >= highest + kTolerance) break;
        // The last band reaches past the highest element, which the upper
        // tolerance would otherwise leave out.
        const bool last = band == bands - 1;
        const double height = last ? std::max(step, highest - lower) + 2 * kTolerance : step;
        PushAndSubtract(groups, tracks, TrackElementsInHeightRange(tracks, lower, height));
    }
    return groups;
}

}  // namespace UColorizeByHeight

namespace UElementColors {

tElementColorMap GetColorsById(const tElements& elements, int selector) {
    tElementColorMap colors;
    for (const CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        colors[element->GetIdentifier()] = selector == 0 ? element->GetFirstColor() : element->GetSecondColor();
    }
    return colors;
}

void SetColorsById(const tElements& elements, const tElementColorMap& colors, int selector) {
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        const auto found = colors.find(element->GetIdentifier());
        if (found == colors.end()) continue;
        if (selector == 0) {
            element->SetFirstColor(found->second);
        } else {
            element->SetSecondColor(found->second);
        }
    }
}

void SetColors(const tElements& elements, const CColor* firstColor, const CColor* secondColor) {
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        if (firstColor != nullptr) element->SetFirstColor(*firstColor);
        if (secondColor != nullptr) element->SetSecondColor(*secondColor);
    }
}

}  // namespace UElementColors
