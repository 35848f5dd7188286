#include "engine/model/Layout.h"

#include "engine/fileformat/FileHeader.h"
#include "engine/fileformat/StreamRead.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <set>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/LayerManager.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/OwnedList.h"
#include "platform/foundation/RegularFile.h"

namespace {

constexpr tFileFormat kLayoutFormat = {{'W', 'k', 'S', 't'},
                                       static_cast<std::uint32_t>(CLayout::kOldestFileVersion),
                                       static_cast<std::uint32_t>(CLayout::kNewestFileVersion)};
// The smallest element record: its header and the component count record
// (4 bytes of tag head, 4 of value).
constexpr long long kMinElementRecordBytes = kFileHeaderSize + 8;

template <std::size_t N>
void CopyText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

// The file's element count made sane: below 0 is 0. A count the rest of
// the file cannot hold is kept as it is, with a warning: the record after
// the last one there is then missing and fails the load, so a damaged file
// never loads as a shorter one.
int SaneElementCount(FILE* file, std::int32_t announced) {
    if (announced < 0) return 0;
    const long long left = BytesLeftInStream(file);
    if (left >= 0 && announced > left / kMinElementRecordBytes)
        LogWarning("Element count %d exceeds what the file can hold", announced);
    return announced;
}

// Reads the parameter tags in file order and stops at the first one that
// is missing or damaged: after that the stream is spent.
class CParameterReader {
public:
    explicit CParameterReader(FILE* file) : mTags(file) {}

    bool Ok() const { return mOk; }

    void Text(std::uint16_t id, char* field, std::size_t size) {
        if (mOk) Check(mTags.ReadCString(id, field, size), id);
    }
    template <std::size_t N>
    void Text(std::uint16_t id, char (&field)[N]) {
        Text(id, field, N);
    }
    void DiscardText(std::uint16_t id) {
        std::string dropped;
        if (mOk) Check(mTags.ReadString(id, dropped), id);
    }
    void Int(std::uint16_t id, std::int32_t& value) {
        if (mOk) Check(mTags.ReadInt(id, value), id);
    }
    void DiscardInt(std::uint16_t id) {
        std::int32_t dropped = 0;
        Int(id, dropped);
    }
    void Bool(std::uint16_t id, bool& value) {
        if (mOk) Check(mTags.ReadBool(id, value), id);
    }
    // Zero-fills what a short record leaves of `buffer`.
    void Raw(std::uint16_t id, void* buffer, std::size_t size, std::size_t& copied) {
        copied = 0;
        if (mOk) Check(mTags.ReadData(id, buffer, size, &copied), id);
    }
    void Color(std::uint16_t firstId, CColor& color) {
        if (!mOk) return;
        const CColor read = mTags.ReadColor(firstId, firstId + 1, firstId + 2, firstId + 3);
        Check(mTags.LastStatus() == tReadStatus::Ok, firstId);
        if (mOk) color = read;
    }

private:
    void Check(bool read, std::uint16_t id) {
        if (read) return;
        mOk = false;
        LogWarning("Layout parameter %u missing or damaged (%s)", static_cast<unsigned>(id),
                   ReadStatusName(mTags.LastStatus()));
    }

    CTaggedFile mTags;
    bool mOk = true;
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

const char* LayoutSectionName(tLayoutSection section) {
    switch (section) {
        case tLayoutSection::kNone: return "none";
        case tLayoutSection::kGroups: return "groups";
        case tLayoutSection::kImages: return "images";
        case tLayoutSection::kBaseboards: return "baseboards";
    }
    return "none";
}

// ------------------------------------------------------------ CLayout

CLayout::CLayout() : mGroupsManager(new CGroupsManager) {
    CLayoutParameters& p = mParameters;
    p.mWorkspaceWidth = UPreferences::GetInt("QLDefaultWSWidth");
    p.mWorkspaceHeight = UPreferences::GetInt("QLDefaultWSHeight");
    p.mFirstColor = CColor::Black();
    CopyText(p.mAuthor, "<TEST USER>");
    std::fill(std::begin(p.mParameter421), std::end(p.mParameter421), 0);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr ||
        std::strftime(p.mCreationDate, sizeof p.mCreationDate, "%b %e. %Y, %T", &local) == 0) {
        p.mCreationDate[0] = '\0';
    }
    CopyText(p.mText403, "-");
    p.mText404[0] = p.mText405[0] = p.mText406[0] = p.mText407[0] = '\0';

    p.mInt414 = UMeasureUnits::IsBaseTenUnit(UMeasureUnits::GetUnitType()) ? 10 : 12;
    p.mInt415 = 2;
    p.mInt450 = 1;
    p.mInt451 = 24;
    p.mInt452 = 0;
    p.mTrackStyle = UPreferences::GetInt("QLWSDefaultTrackStyle");
    const int zoom = UPreferences::GetInt("QLWSDefaultZoom");
    p.mZoomPercent = zoom > 9 ? zoom : 10;

    p.mShowGrid = UPreferences::GetBool("QLDefaultWSShowGrid");
    p.mSecondColor = CColor::Gray25();
    p.mInt413 = 1;
    p.mRender3DTerrain = UPreferences::GetBool("QLRender3DTerrain");
    p.mSwitch430 = false;
    p.mInt428 = 2;
    p.mInt429 = 0;
    p.m3DOnlyTracks = UPreferences::GetBool("QL3DOnlyTracks");
    p.mInt440 = 25;
    p.mInt447 = 50;
    p.mInt448 = 0;
    p.mInt449 = 0;
    p.mInt441 = 2;
    p.mTunnelDisplayMode = 0;
    p.mInt435 = 25;
    p.mThirdColor = CColor::Gray60();

    p.mDisplayFlags =
        (UPreferences::GetBool("QLDefaultWSShowElmNames") ? CLayoutParameters::kShowElementNames : 0) | 0x68;
    p.mParameter421[0] |= 0x20;

    mLayerManager.reset(new (std::nothrow)
                            CLayerManager(ULocalization::GetLocalizedFormattedString("NewLayerName", 1)));
    UErrorHandling::ThrowIfNull(mLayerManager.get(), "CLayout::CLayout()", "Failed to create CLayerManager instance");
    mZoom = p.mZoomPercent / 100.0;
    mStatistics.reset(new (std::nothrow) CTrackElementsStatistics(this));
    UErrorHandling::ThrowIfNull(mStatistics.get(), "CLayout::CLayout()",
                                "Failed to create CTrackElementsStatistics instance");
}

CLayout::~CLayout() {
    ClearElements();
    ClearBackgrounds();
}

void CLayout::ClearBackgrounds() {
    platform::DeleteAll(mImages);
    platform::DeleteAll(mBaseboards);
    UContentChanges::Note();
}

LayoutErrorCode CLayout::Load(const std::string& path, const tLoadStopped& stopped) {
    ClearElements();
    ClearBackgrounds();

    mIncompleteSection = tLayoutSection::kNone;

    // Only a regular file: a pipe in its place (handed in, or a stalled
    // mount's) would hold the reading thread for good.
    std::string reason;
    const int descriptor = platform::openRegularFile(path, &reason);
    std::unique_ptr<FILE, FileCloser> file(descriptor >= 0 ? ::fdopen(descriptor, "rb") : nullptr);
    if (!file) {
        if (descriptor >= 0) {
            reason = std::strerror(errno);
            ::close(descriptor);
        }
        LogWarning("Failed to load layout file: %s", reason.empty() ? "n/a" : reason.c_str());
        return kLayoutFailedToOpenFile;
    }
    // The whole file is read through this scope: in large blocks, its size
    // taken once.
    CStreamReadScope reading(file.get());

    const tFileHeader header = ReadFileHeader(file.get(), kLayoutFormat);
    if (!header.MagicMatched()) {
        LogWarning("Layout file type not recognized");
        return kLayoutWrongFileType;
    }
    LogInfo("Loading v%u layout file", header.version);
    if (header.status == tFileHeaderStatus::TooOld) {
        LogWarning("Unsupported layout file version %u", header.version);
        return kLayoutObsoleteVersion;
    }
    if (header.status == tFileHeaderStatus::TooNew) {
        LogWarning("Layout file version %u newer than expected", header.version);
        return kLayoutVersionNotSupported;
    }
    const int fileVersion = static_cast<int>(header.version);

    int elementCount = 0;
    if (!ReadLayoutParameter(file.get(), fileVersion, elementCount)) {
        LogWarning("Failed to read layout parameters");
        return kLayoutParameterError;
    }
    mFilePath = path;

    const LayoutErrorCode elementsResult = LoadElements(file.get(), elementCount, stopped);
    tElements elementsByRecord;
    elementsByRecord.swap(mElementsByRecord);
    if (elementsResult != kLayoutLoaded) return elementsResult;
    const auto stop = [&stopped, &path] {
        if (!stopped || !stopped()) return false;
        LogInfo("Loading layout file '%s' stopped", path.c_str());
        return true;
    };

    // The sections after the elements have no result code of their own: a
    // file cut short or damaged there loads with what was read, and the
    // document says where the reading stopped.
    tSerializedGroups serializedGroups;
    if (ReadSerializedGroups(file.get(), serializedGroups)) {
        UGroups::DeserializeGroups(*mGroupsManager, elementsByRecord, serializedGroups, false);
    } else {
        NoteIncompleteSection(tLayoutSection::kGroups);
    }
    if (stop()) return kLayoutLoadStopped;
    if (fileVersion >= 10 && !UImageElements::ReadImages(mImages, file.get(), *mLayerManager))
        NoteIncompleteSection(tLayoutSection::kImages);
    if (fileVersion >= 11) {
        CLayerManager* layers = mLayerManager.get();
        if (!UBaseboardElements::ReadBaseboards(
                mBaseboards, file.get(), [layers](const std::string& name) { return layers->FindLayerByName(name); },
                fileVersion))
            NoteIncompleteSection(tLayoutSection::kBaseboards);
    }

    if (stop()) return kLayoutLoadStopped;
    mJoints.RebuildConnections();
    if (stop()) return kLayoutLoadStopped;
    mZoom = mParameters.mZoomPercent / 100.0;
    RefreshStatistics();
    LogInfo("Layout file '%s' (v%d) with %d elements successfully loaded", path.c_str(), fileVersion,
            static_cast<int>(mElements.size()));
    return kLayoutLoaded;
}

void CLayout::NoteIncompleteSection(tLayoutSection section) {
    // The first section that fails is where the file went wrong; later ones
    // mostly fail because of it.
    if (mIncompleteSection != tLayoutSection::kNone) return;
    mIncompleteSection = section;
    LogWarning("Layout file '%s' is cut short or damaged in its %s section", mFilePath.c_str(),
               LayoutSectionName(section));
}

bool CLayout::ReadLayoutParameter(FILE* file, int version, int& elementCount) {
    static const char* const kSignature = "bool CLayout::ReadLayoutParameter(FILE *, int, int &)";
    elementCount = 0;
    if (file == nullptr) return false;
    CLayoutParameters& p = mParameters;
    {
        CParameterReader read(file);
        read.Text(400, p.mAuthor);
        if (version <= 5) read.DiscardText(401);
        read.Text(402, p.mCreationDate);
        read.Text(403, p.mText403);
        read.Text(404, p.mText404);
        read.Text(405, p.mText405);
        read.Text(406, p.mText406);
        if (version < 13) p.mText406[0] = '\0';
        read.Text(407, p.mText407);
        if (version <= 5) {
            std::size_t copied = 0;
            std::uint8_t raw[sizeof p.mLegacyRaw408] = {};
            read.Raw(408, raw, sizeof raw, copied);
            if (read.Ok()) std::memcpy(p.mLegacyRaw408, raw, sizeof raw);
            read.Int(409, p.mLegacyInt409);
        }
        read.Int(410, p.mDisplayFlags);
        if (version <= 5) p.mDisplayFlags &= ~0x6;
        read.Int(411, p.mTrackStyle);
        if (version <= 5) read.DiscardInt(412);
        read.Int(413, p.mInt413);
        read.Int(414, p.mInt414);
        read.Int(415, p.mInt415);
        read.Bool(416, p.mShowGrid);
        read.Int(417, p.mZoomPercent);
        read.Int(418, p.mWorkspaceWidth);
        read.Int(419, p.mWorkspaceHeight);
        if (version >= 6) {
            read.Color(431, p.mFirstColor);
        } else {
            std::uint16_t words[3] = {};
            std::size_t copied = 0;
            read.Raw(420, words, sizeof words, copied);
            if (read.Ok()) {
                if (copied == sizeof words) {
                    UColorWords::BigEndianTripleToHost(words);
                    p.mFirstColor = CColor(words[0], words[1], words[2]);
                } else {
                    LogWarning("Layout colour of %zu bytes ignored", copied);
                }
            }
        }
        {
            std::uint16_t words[4] = {};
            std::size_t copied = 0;
            read.Raw(421, words, sizeof words, copied);
            if (read.Ok()) {
                UColorWords::BigEndianQuadrupleToHost(words);
                if (version < 8) std::fill(std::begin(words), std::end(words), 0);
                std::copy(std::begin(words), std::end(words), std::begin(p.mParameter421));
            }
        }
        read.DiscardInt(422);
        VisitLaterLayoutParameters(read, p, version);
        if (!read.Ok()) return false;
    }

    if (version >= CLayerManager::kFirstLayerVersion) {
        std::string errorText;
        if (!mLayerManager->Load(file, version, errorText)) {
            LogWarning("%s: Failed to load layers, %s", kSignature, errorText.c_str());
            return false;
        }
    }

    CTaggedFile tags(file);
    std::int32_t announced = 0;
    if (!tags.ReadInt(423, announced)) {
        LogWarning("Layout parameter 423 missing or damaged (%s)", ReadStatusName(tags.LastStatus()));
        return false;
    }
    elementCount = SaneElementCount(file, announced);
    mFileVersion = version;
    return true;
}

LayoutErrorCode CLayout::LoadElements(FILE* file, int elementCount, const tLoadStopped& stopped) {
    static const char* const kSignature = "LayoutErrorCode CLayout::LoadElements(FILE *, int)";
    mElementsByRecord.clear();
    // Room for the records the file can hold; a larger count fails anyway.
    if (elementCount > 0) {
        const long long left = BytesLeftInStream(file);
        const long long fits = left >= 0 ? std::min<long long>(elementCount, left / kMinElementRecordBytes) : 0;
        mElements.reserve(mElements.size() + static_cast<std::size_t>(fits));
        mElementsByRecord.reserve(static_cast<std::size_t>(fits));
    }
    int number = GetHighestElementNumber();
    // Reading is sequential, but placing an element at its origin (its box,
    // which measures its texts, and its joints) is its own work: shares of
    // the elements read are placed on the pool while reading goes on. Their
    // joints join the document's in file order once all are placed, also
    // when a later record fails.
    constexpr std::size_t kElementsPerShare = 1024;
    const std::size_t firstRead = mElements.size();
    tElements share;
    platform::ConcurrentFeed placing;
    const auto placeShare = [&placing, &share] {
        if (share.empty()) return;
        placing.add([elements = std::move(share)] {
            for (CCompositeGeometry* element : elements) element->PlaceAtOrigin();
        });
        share = tElements();
    };
    const auto finishPlacing = [&] {
        placeShare();
        placing.finish();
        for (std::size_t i = firstRead; i < mElements.size(); ++i) mJoints.AddCurrentElementJoints(mElements[i]);
    };
    for (int index = 0; index < elementCount; ++index) {
        if (stopped && stopped()) {
            LogInfo("Loading layout file '%s' stopped after %d of %d elements", mFilePath.c_str(), index, elementCount);
            finishPlacing();
            return kLayoutLoadStopped;
        }
        std::unique_ptr<CCompositeGeometry> element(new (std::nothrow) CCompositeGeometry());
        UErrorHandling::ThrowIfNull(element.get(), kSignature, "Failed to create CCompositeGeometry object");
        std::string errorText;
        if (!element->LoadUnplaced(file, errorText)) {
            LogWarning("%s: Failed to load layout, %s", kSignature, errorText.c_str());
            finishPlacing();
            return kLayoutElementsError;
        }
        if (element->GetComponents().empty()) {
            // Discarded unplaced: placing it would only measure nothing
            // and report that as a damaged element.
            LogWarning("Empty element '%s' (%s) encountered - skipping", element->GetProductNumber(),
                       element->GetLibraryName());
            mElementsByRecord.push_back(nullptr);
            continue;
        }
        CLayer* layer = mLayerManager->GetCurrentLayer();
        const std::string& layerName = element->GetLayerName();
        if (!layerName.empty()) {
            if (CLayer* named = mLayerManager->FindLayerByName(layerName)) {
                layer = named;
            } else {
                LogWarning("Layer '%s' not in layer list for current layout", layerName.c_str());
            }
        }
        CCompositeGeometry* added = element.release();
        added->SetLayer(layer);
        added->SetAttributeValue(++number);
        mElements.push_back(added);
        mElementsByRecord.push_back(added);
        share.push_back(added);
        if (share.size() == kElementsPerShare) placeShare();
    }
    finishPlacing();
    return kLayoutLoaded;
}

bool CLayout::ReadSerializedGroups(FILE* file, tSerializedGroups& serializedGroups) {
    return UGroups::ReadSerializedGroups(file, serializedGroups);
}

void CLayout::ClearElements() {
    tElements elements;
    elements.swap(mElements);
    for (CCompositeGeometry* element : elements) {
        UErrorHandling::ThrowIfNull(element, "void CLayout::ClearElements()",
                                    "Bad CCompositeGeometry reference fetched from mElements");
    }
    mJoints.Clear();
    platform::DeleteAll(elements);
    UContentChanges::Note();
    mGroupsManager.reset(new CGroupsManager);
    mStatistics->Refresh(mElements);
}

void CLayout::AddElement(CCompositeGeometry* element, CLayer* layer) { AddElementsToLayer({element}, layer); }

void CLayout::AddElementsToLayer(const tElements& elements, CLayer* layer) {
    int number = GetHighestElementNumber();
    for (CCompositeGeometry* element : elements) {
        UErrorHandling::ThrowIfNull(element, "void CLayout::AddElement(CCompositeGeometry *, CLayer *)",
                                    "Invalid element supplied");
        element->SetLayer(layer);
        element->SetAttributeValue(++number);
        mElements.push_back(element);
        mJoints.AddElementJoints(element);
    }
    UContentChanges::Note();
}

void CLayout::AddElements(const tElements& elements, bool rebuild, bool useOwnLayer) {
    int number = GetHighestElementNumber();
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        CLayer* layer = mLayerManager->GetCurrentLayer();
        if (useOwnLayer) {
            if (CLayer* own = mLayerManager->FindLayerByName(element->GetLayerName())) layer = own;
        }
        if (layer != nullptr && layer->GetLayerType() != CLayer::kTrackLayer)
            LogWarning("Invalid layer type for track element");
        // The same number AddElement gives, without a scan per element.
        element->SetLayer(layer);
        element->SetAttributeValue(++number);
        mElements.push_back(element);
        mJoints.AddElementJoints(element);
    }
    UContentChanges::Note();
    if (rebuild) mJoints.RebuildConnections();
    RefreshStatistics();
}

void CLayout::RemoveElements(const tElements& elements) {
    const std::set<const CCompositeGeometry*> removed(elements.begin(), elements.end());
    for (const CCompositeGeometry* element : removed) {
        if (element != nullptr && ContainsElement(element)) mJoints.RemoveElementJoints(element);
    }
    mElements.erase(std::remove_if(mElements.begin(), mElements.end(),
                                   [&removed](const CCompositeGeometry* e) { return removed.count(e) != 0; }),
                    mElements.end());
    UContentChanges::Note();
    mJoints.RebuildConnections();
    mStatistics->Refresh(mElements);
}

int CLayout::GetHighestElementNumber() const {
    int highest = 0;
    for (const CCompositeGeometry* element : mElements) {
        if (element != nullptr) highest = std::max(highest, static_cast<int>(element->GetAttributeValue()));
    }
    return highest;
}

void CLayout::SetWorkspaceSize(int width, int height) {
    mParameters.mWorkspaceWidth = width;
    mParameters.mWorkspaceHeight = height;
}

void CLayout::RefreshStatistics() {
    mStatistics->Refresh(mElements);
    UPriceList::ApplyPrices(this, mStatistics->GetCountedElements());
}
