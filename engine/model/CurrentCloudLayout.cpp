#include "engine/model/CurrentCloudLayout.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/ElementTypes.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/ModelInternal.h"
#include "engine/model/RailConstants.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

// Rail widths at or below this count as none.
constexpr double kMinRailWidth = 0.001;

// Whether the instance was made, and whether a test has let its document go
// since, for the next Instance call to begin again.
std::atomic<bool> gMade{false};
std::atomic<bool> gForgotten{false};

// A read stopped as the program ends (its global queues closed) leaves what
// it read to the process's end: deleting a partly read layout of some
// hundred thousand elements held the quit for a third of a second and more.
void LeaveToTheEnd(std::unique_ptr<CLayout>& layout) {
    if (platform::DispatchQueue::globalQueuesClosed()) (void)layout.release();
}

}  // namespace

// ------------------------------------------------------------ CCurrentCloudLayout

CCurrentCloudLayout& CCurrentCloudLayout::Instance() {
    static CCurrentCloudLayout instance;
    if (gForgotten.exchange(false, std::memory_order_acq_rel)) instance.Begin();
    return instance;
}

void CCurrentCloudLayout::ForgetInstanceForTests() {
    if (!gMade.load(std::memory_order_acquire)) return;
    CCurrentCloudLayout& instance = Instance();
    instance.mLayout.reset();
    instance.mLoadErrorMessage.clear();
    instance.mTransientEditActions.clear();
    gForgotten.store(true, std::memory_order_release);
}

CCurrentCloudLayout::CCurrentCloudLayout() {
    Begin();
    gMade.store(true, std::memory_order_release);
}

void CCurrentCloudLayout::Begin() {
    LogInfo("Creating global layout instance");
    Reset();
}

CCurrentCloudLayout::~CCurrentCloudLayout() = default;

void CCurrentCloudLayout::Reset() {
    mLayout.reset();
    mLayout = std::make_unique<CLayout>();
    ++mGeneration;
    mHasDocument = false;
    LogInfo("Resetting current layout");
    mTransientEditActions.clear();
    if (CLayer* layer = mLayout->GetLayerManager().GetFirstEditableLayer()) layer->SetName("N/A");
}

bool CCurrentCloudLayout::LoadLayout(const std::string& path) {
    Reset();
    mLoadErrorMessage.clear();
    return Adopt(ReadLayout(path));
}

CCurrentCloudLayout::tReadLayout CCurrentCloudLayout::ReadLayout(const std::string& path, const tLoadStopped& stopped) {
    tReadLayout read;
    LogInfo("Loading layout from '%s'", path.c_str());
    auto layout = std::make_unique<CLayout>();
    // Reading runs on the load queue, where an escaping exception (memory
    // a hostile file asks for, a failed placing) would be swallowed and
    // the open never answered: it is a file that failed to open.
    try {
        read.code = layout->Load(path, stopped);
    } catch (const std::exception& error) {
        LogWarning("Failed to load layout from '%s': %s", path.c_str(), error.what());
        read.code = kLayoutFailedToOpenFile;
    }
    if (read.code != kLayoutLoaded) {
        if (read.code == kLayoutLoadStopped) LeaveToTheEnd(layout);
        return read;
    }
    // Each step of the tidy-up goes over every element.
    const std::function<void()> steps[] = {
        [&layout] {
            URemoveEmptyLayers::RemoveEmptyLayers(layout->GetLayerManager(), layout->GetElements(),
                                                  layout->GetBaseboards(), layout->GetImages());
        },
        [&layout] { ULayers::UnlockAllLayers(layout->GetLayerManager().GetLayers()); },
        [&layout] { ULayoutElementClassifier::ClassifyElements(layout->GetElements()); },
        [&layout] { ULayoutTrackRepairs::RepairTracks(layout->GetElements()); },
    };
    for (const auto& step : steps) {
        if (stopped && stopped()) {
            LogInfo("Tidying the layout read from '%s' stopped", path.c_str());
            read.code = kLayoutLoadStopped;
            LeaveToTheEnd(layout);
            return read;
        }
        step();
    }
    layout->GetParameters().mDisplayFlags = 0;
    read.layout = std::move(layout);
    return read;
}

bool CCurrentCloudLayout::Adopt(tReadLayout read) {
    if (!read.layout) {
        mLoadErrorMessage = GetLoadErrorMessage(read.code);
        // Screens read the holder's document: what a broken file gave is
        // no document to show.
        Reset();
        return false;
    }
    mLoadErrorMessage.clear();
    mLayout = std::move(read.layout);
    ++mGeneration;
    mHasDocument = true;
    mTransientEditActions.clear();
    return true;
}

std::string CCurrentCloudLayout::GetLoadErrorMessage(LayoutErrorCode code) {
    switch (code) {
        case kLayoutFailedToOpenFile: return ULocalization::GetLocalizedString("FailedToOpenFile");
        case kLayoutWrongFileType: return ULocalization::GetLocalizedString("LayoutLoadFailedWrongFileType");
        case kLayoutObsoleteVersion: return ULocalization::GetLocalizedString("LayoutLoadFailedObsoleteVersion");
        case kLayoutVersionNotSupported:
            return ULocalization::GetLocalizedString("LayoutLoadFailedVersionIsNotSupported");
        case kLayoutElementsError: return ULocalization::GetLocalizedString("LayoutLoadFailedElementsError");
        case kLayoutParameterError: return ULocalization::GetLocalizedString("LayoutLoadFailedParameterError");
        default: return std::string();
    }
}

// ------------------------------------------------------------ tidy-up after a load

namespace URemoveEmptyLayers {

int RemoveEmptyLayers(CLayerManager& layerManager, const tElements& elements, const tBaseboardElements& baseboards,
                      const tImages& images) {
    // Whatever lies on a layer keeps it, whatever the layer's type says.
    std::vector<const CLayer*> layersInUse = UImageElements::GetLayersInUse(images);
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) layersInUse.push_back(baseboard->GetLayer());
    }

    std::vector<CLayer*> empty;
    for (CLayer* layer : layerManager.GetLayers()) {
        bool candidate = false;
        if (layer->GetLayerType() == CLayer::kBaseboardLayer) {
            candidate = baseboards.empty();
        } else if (layer->GetLayerType() == CLayer::kTrackLayer) {
            candidate = true;
        }
        // The search stops at a layer's first element: only the empty ones
        // are looked for through the whole list.
        if (candidate && layerManager.IsLayerEmpty(layer, elements, layersInUse)) empty.push_back(layer);
    }

    int removed = 0;
    for (auto it = empty.rbegin(); it != empty.rend(); ++it) {
        LogInfo("Removing empty layer '%s'", (*it)->GetName().c_str());
        if (layerManager.RemoveLayer(*it)) ++removed;
    }
    return removed;
}

}  // namespace URemoveEmptyLayers

namespace ULayoutElementClassifier {

int ClassifyElements(const tElements& elements) {
    if (!UElementVectorOperations::ContainsUnclassifiedElements(elements)) return 0;
    // A guess reads its element alone: they are made side by side on the
    // pool, and taken (and logged) here in the elements' order.
    std::vector<std::int32_t> guesses(elements.size(), UElementTypes::kUnclassified);
    UModelInternal::ForEachShare(
        elements.size(), [&elements, &guesses](std::size_t, std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i) {
                const CCompositeGeometry* element = elements[i];
                if (element != nullptr && element->GetElementType() == UElementTypes::kUnclassified)
                    guesses[i] = UElementTypes::GuessElementType(element);
            }
        });
    int updated = 0;
    // The type's name is looked up only for a line the level lets through,
    // and once a type.
    const bool logEach = LogEnabled(2);
    std::map<std::int32_t, std::string> names;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        CCompositeGeometry* element = elements[i];
        // An element listed twice is taken once.
        if (element == nullptr || element->GetElementType() != UElementTypes::kUnclassified) continue;
        const std::int32_t guess = guesses[i];
        if (guess == UElementTypes::kUnclassified) continue;
        element->SetElementType(guess);
        if (logEach) {
            auto name = names.find(guess);
            if (name == names.end()) name = names.emplace(guess, UElementTypes::GetElementTypeName(guess)).first;
            LogInfo("Guessed type %d (%s) for %s", guess, name->second.c_str(), element->GetProductNumber());
        }
        ++updated;
    }
    if (updated > 0) LogInfo("%s: %d elements updated", "ULayoutElementClassifier", updated);
    return updated;
}

}  // namespace ULayoutElementClassifier

namespace ULayoutTrackRepairs {

int RepairTracks(const tElements& elements) {
    const tElements tracks = UElementVectorOperations::GetTrackElements(elements);

    double reference = std::numeric_limits<double>::max();
    for (const CCompositeGeometry* track : tracks) {
        const double width = UElementComponents::GetMaxRailWidth(track);
        if (width > kMinRailWidth) reference = std::min(reference, width);
    }
    if (reference == std::numeric_limits<double>::max()) {
        reference = URailConstants::GetDefaultRailWidthForModelScale(tracks.empty() ? URailConstants::kModelScaleH0
                                                                                    : tracks.front()->GetModelScale());
    }

    int updated = 0;
    for (CCompositeGeometry* track : tracks) {
        bool changed = false;
        for (CBasicGeometry* component : track->GetComponents()) {
            if (UModelInternal::IsTrackType(component->GetType()) && component->GetRailWidth() < reference) {
                component->SetRailWidth(reference);
                changed = true;
            }
        }
        if (track->GetSecondColor() != CColor::Black()) {
            track->SetSecondColor(CColor::Black());
            changed = true;
        }
        if (changed) ++updated;
    }
    if (updated > 0) LogInfo("%s: %d tracks updated", "ULayoutTrackRepairs", updated);
    return updated;
}

}  // namespace ULayoutTrackRepairs
