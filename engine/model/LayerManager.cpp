#include "engine/model/LayerManager.h"
#include "engine/fileformat/Tag.h"

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ContentChanges.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "platform/foundation/OwnedList.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

const char* const kObsoleteVersionText =
    "The object is not recognized by this version of Quenlor.\r\rPlease check the Quenlor Website for a newer "
    "version.";

// Tags of the layer section.
constexpr std::uint16_t kTagLayerCount = 500;
constexpr std::uint16_t kTagName = 501;
constexpr std::uint16_t kTagLocked = 502;
constexpr std::uint16_t kTagVisible = 503;
constexpr std::uint16_t kTagLayerType = 504;
constexpr std::uint16_t kTagColorRed = 505;
constexpr std::uint16_t kTagColorGreen = 506;
constexpr std::uint16_t kTagColorBlue = 507;
constexpr std::uint16_t kTagColorAlpha = 508;
constexpr std::uint16_t kTagParameter509 = 509;
constexpr std::uint16_t kTagSwitch510 = 510;
constexpr std::uint16_t kTagSwitch511 = 511;

// Type, colour and parameter 509 come with version 8, the switches with 9.
constexpr int kVersionLayerDetails = 8;
constexpr int kVersionLayerSwitches = 9;

// Record sizes: 4 bytes of header, then the value (a name holds at least its
// NUL).
constexpr long long kBoolRecord = 5;
constexpr long long kIntRecord = 8;
constexpr long long kRealRecord = 12;

// The fewest bytes one layer record of `version` takes in the file.
long long MinimumLayerBytes(int version) {
    long long bytes = 3 * kBoolRecord;  // name, locked, visible
    if (version >= kVersionLayerDetails) bytes += kIntRecord + 5 * kRealRecord;
    if (version >= kVersionLayerSwitches) bytes += 2 * kBoolRecord;
    return bytes;
}

// A count from the file, at least 0 and no more than the maximum or than
// records of `minimumBytes` that the rest of the stream can hold. `fits` is
// cleared when the stream cannot hold the count: the file is damaged.
std::int32_t BoundCount(FILE* file, std::int32_t count, long long minimumBytes, std::int32_t maximum, bool& fits) {
    if (count <= 0) return 0;
    long long limit = maximum;
    const long long left = BytesLeftInStream(file);
    if (left >= 0 && left / minimumBytes < limit) {
        limit = left / minimumBytes;
        fits = count <= limit;
    }
    if (count > limit) {
        LogWarning("Layer section announces %d layers, at most %lld can follow - reading %lld", count, limit, limit);
        return static_cast<std::int32_t>(limit);
    }
    return count;
}

// The name as a 64-byte field keeps it.
std::string FieldText(const char* name) {
    if (name == nullptr) return {};
    return std::string(name, strnlen(name, CLayer::kNameFieldSize - 1));
}

// The fields after the name; false at the first record that cannot be read.
bool ReadLayerFields(CTaggedFile& tags, int version, CLayer& layer) {
    bool locked = false;
    bool visible = true;
    if (!tags.ReadBool(kTagLocked, locked)) return false;
    layer.SetLocked(locked);
    if (!tags.ReadBool(kTagVisible, visible)) return false;
    layer.SetVisible(visible);

    if (version >= kVersionLayerDetails) {
        std::int32_t type = CLayer::kTrackLayer;
        if (!tags.ReadInt(kTagLayerType, type)) return false;
        layer.SetLayerType(type);
        const CColor color = tags.ReadColor(kTagColorRed, kTagColorGreen, kTagColorBlue, kTagColorAlpha);
        if (tags.LastStatus() != tReadStatus::Ok) return false;
        layer.SetColor(color);
        double parameter = 0.0;
        if (!tags.ReadDouble(kTagParameter509, parameter)) return false;
        layer.SetParameter509(parameter);
    }
    if (version >= kVersionLayerSwitches) {
        bool on = false;
        if (!tags.ReadBool(kTagSwitch510, on)) return false;
        layer.SetSwitch510(on);
        on = false;
        if (!tags.ReadBool(kTagSwitch511, on)) return false;
        layer.SetSwitch511(on);
    }
    return true;
}

}  // namespace

CLayerManager::CLayerManager(const std::string& firstLayerName) {
    UErrorHandling::ThrowIfNull(AddLayer(firstLayerName.c_str(), false), "CLayerManager::CLayerManager(string)",
                                "Creation of initial layer failed");
}

CLayerManager::~CLayerManager() { platform::DeleteAll(mLayers); }

CLayer* CLayerManager::AddLayer(const char* name, bool append) {
    // As MakeUniqueLayerName, but the asterisks must fit the 63-byte field
    // too: a long name gives up its last bytes for them rather than being
    // cut back onto a taken name.
    constexpr std::size_t kMaxName = CLayer::kNameFieldSize - 1;
    std::string base = FieldText(name);
    std::string stars;
    while (FindLayerByName(base + stars) != nullptr && stars.size() < kMaxName) {
        stars += '*';
        if (base.size() + stars.size() > kMaxName) base.resize(kMaxName - stars.size());
    }
    const std::string unique = base + stars;

    std::unique_ptr<CLayer> layer(new (std::nothrow) CLayer(unique));
    UErrorHandling::ThrowIfNull(layer.get(), "CLayer *CLayerManager::AddLayer(const char *, bool)",
                                "Failed to create new layer");

    auto position = mLayers.end();
    if (!append) {
        position = mLayers.begin();
        if (mCurrentLayer != nullptr && mCurrentLayer->GetLayerType() == CLayer::kTrackLayer) {
            const auto current = std::find(mLayers.begin(), mLayers.end(), mCurrentLayer);
            if (current != mLayers.end()) position = current;
        }
    }
    mLayers.insert(position, layer.get());
    mCurrentLayer = layer.release();
    mNextLayerNumber = static_cast<int>(mLayers.size()) + 1;
    UContentChanges::Note();
    return mCurrentLayer;
}

void CLayerManager::DeleteLayers() {
    while (!mLayers.empty()) {
        CLayer* layer = mLayers.front();
        mLayers.erase(mLayers.begin());
        UErrorHandling::ThrowIfNull(layer, "void CLayerManager::DeleteLayers()",
                                    "Failed to get first layer from layer list");
        delete layer;
    }
    mCurrentLayer = nullptr;
    UContentChanges::Note();
}

bool CLayerManager::Load(FILE* file, int version, std::string& errorText) {
    if (version < kFirstLayerVersion) {
        errorText = kObsoleteVersionText;
        return false;
    }

    CTaggedFile tags(file);
    std::int32_t announced = 0;
    tags.ReadInt(kTagLayerCount, announced);
    bool whole = true;
    const std::int32_t count = BoundCount(file, announced, MinimumLayerBytes(version), kMaxLayerCount, whole);
    if (!whole) errorText = "The layer count exceeds what the file can hold";
    DeleteLayers();

    for (std::int32_t i = 0; i < count; ++i) {
        char name[CLayer::kNameFieldSize] = {};
        bool complete = tags.ReadCString(kTagName, name);
        if (complete) {
            CLayer* layer = UErrorHandling::ThrowIfNull(
                AddLayer(name, true), "bool CLayerManager::Load(FILE *, int, string &)", "No reference to new layer");
            complete = ReadLayerFields(tags, version, *layer);
        }
        if (!complete) {
            LogWarning("Layer section ends in layer %d of %d (%s)", i + 1, count, ReadStatusName(tags.LastStatus()));
            errorText = std::string("Layer ") + std::to_string(i + 1) + " cannot be read (" +
                        ReadStatusName(tags.LastStatus()) + ")";
            whole = false;
            break;
        }
    }

    // Elements, images and baseboards need a layer to land on.
    if (mLayers.empty()) {
        AddLayer(ULocalization::GetLocalizedFormattedString("NewLayerName", 1).c_str(), false);
    }

    mCurrentLayer = GetFirstEditableLayer();
    if (mCurrentLayer == nullptr) mCurrentLayer = mLayers.front();
    return whole;
}

bool CLayerManager::Save(FILE* file, int version) const {
    if (file == nullptr || version < kFirstLayerVersion) return false;
    CTaggedFile tags(file);
    if (!tags.WriteInt(kTagLayerCount, static_cast<std::int32_t>(mLayers.size()))) return false;
    for (const CLayer* layer : mLayers) {
        bool ok = tags.WriteString(kTagName, layer->GetName()) && tags.WriteBool(kTagLocked, layer->IsLocked()) &&
                  tags.WriteBool(kTagVisible, layer->IsVisible());
        if (ok && version >= kVersionLayerDetails) {
            const CColor& color = layer->GetColor();
            ok = tags.WriteInt(kTagLayerType, layer->GetLayerType()) && tags.WriteDouble(kTagColorRed, color.mRed) &&
                 tags.WriteDouble(kTagColorGreen, color.mGreen) && tags.WriteDouble(kTagColorBlue, color.mBlue) &&
                 tags.WriteDouble(kTagColorAlpha, color.mAlpha) &&
                 tags.WriteDouble(kTagParameter509, layer->GetParameter509());
        }
        if (ok && version >= kVersionLayerSwitches) {
            ok = tags.WriteBool(kTagSwitch510, layer->GetSwitch510()) &&
                 tags.WriteBool(kTagSwitch511, layer->GetSwitch511());
        }
        if (!ok) return false;
    }
    return true;
}

bool CLayerManager::RemoveLayer(CLayer* layer) {
    if (mLayers.size() == 1) {
        LogWarning("Cannot delete last layer.");
        return false;
    }
    const auto found = std::find(mLayers.begin(), mLayers.end(), layer);
    if (found == mLayers.end()) {
        LogWarning("Cannot remove layer from layer list (not found).");
        return false;
    }
    if (layer == mCurrentLayer) mCurrentLayer = found == mLayers.begin() ? *(found + 1) : *(found - 1);
    mLayers.erase(found);
    delete layer;
    UContentChanges::Note();
    return true;
}

int CLayerManager::GetLayerIndex(const CLayer* layer) const {
    const auto found = std::find(mLayers.begin(), mLayers.end(), layer);
    if (found == mLayers.end()) {
        LogWarning("Cannot get index of layer in layer list (not found).");
        return -1;
    }
    return static_cast<int>(found - mLayers.begin());
}

CLayer* CLayerManager::FindLayerByName(const std::string& name) const { return FindLayerByName(mLayers, name); }

CLayer* CLayerManager::FindLayerByName(const tLayers& layers, const std::string& name) {
    for (CLayer* layer : layers) {
        if (layer != nullptr && layer->GetName() == name) return layer;
    }
    return nullptr;
}

CLayer* CLayerManager::GetFirstEditableLayer() const {
    for (CLayer* layer : mLayers) {
        if (layer->IsVisible() && !layer->IsLocked()) return layer;
    }
    return nullptr;
}

std::string CLayerManager::MakeUniqueLayerName(const std::string& name) const {
    std::string unique = name;
    while (FindLayerByName(unique) != nullptr) unique += '*';
    return unique;
}

bool CLayerManager::IsLayerEmpty(const CLayer* layer, const tElements& elements,
                                 const std::vector<const CLayer*>& otherLayersInUse) const {
    if (layer == nullptr || !Contains(layer)) return false;
    for (const CCompositeGeometry* element : elements) {
        if (element != nullptr && element->GetLayer() == layer) return false;
    }
    return std::find(otherLayersInUse.begin(), otherLayersInUse.end(), layer) == otherLayersInUse.end();
}

bool CLayerManager::Contains(const CLayer* layer) const {
    return std::find(mLayers.begin(), mLayers.end(), layer) != mLayers.end();
}
