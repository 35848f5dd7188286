#include "engine/model/TrackLibrary.h"
#include "engine/fileformat/FileHeader.h"
#include "engine/fileformat/StreamRead.h"

#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/PolyBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "platform/foundation/OwnedList.h"

namespace {

// Any version from the oldest on is read.
constexpr tFileFormat kLibraryFormat = {
    {'R', 'S', 'e', 't'}, static_cast<std::uint32_t>(CTrackLibrary::kOldestFileVersion), 0xffffffffu};
// The smallest element record: its header and the component count record.
constexpr long long kMinElementRecordBytes = kFileHeaderSize + 8;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Reads the header tags in order, stopping at the first that fails.
class CHeaderReader {
public:
    explicit CHeaderReader(FILE* file) : mTags(file) {}
    bool Ok() const { return mOk; }

    void Int(std::uint16_t id, std::int32_t& value) {
        if (mOk) Check(mTags.ReadInt(id, value), id);
    }
    void Tenths(std::uint16_t id, double& value) {
        std::int32_t tenths = 0;
        if (!mOk) return;
        Check(mTags.ReadInt(id, tenths), id);
        if (mOk) value = tenths / 10.0;
    }
    void Bool(std::uint16_t id, bool& value) {
        if (mOk) Check(mTags.ReadBool(id, value), id);
    }
    template <std::size_t N>
    void Text(std::uint16_t id, char (&field)[N]) {
        if (mOk) Check(mTags.ReadCString(id, field, N), id);
    }

private:
    void Check(bool read, std::uint16_t id) {
        if (read) return;
        mOk = false;
        LogWarning("Library header tag %u missing or damaged (%s)", static_cast<unsigned>(id),
                   ReadStatusName(mTags.LastStatus()));
    }

    CTaggedFile mTags;
    bool mOk = true;
};

// The repository registered by the app, or null (the registry logs).
CTrackLibraryRepository* Repository() {
    return CServiceLocator::Instance().LocateServiceAs<CTrackLibraryRepository>(CTrackLibraryRepository::kServiceName);
}

}  // namespace

// ------------------------------------------------------------ CTrackLibrary

CTrackLibrary::CTrackLibrary(std::string path) : mPath(std::move(path)) {}

CTrackLibrary::~CTrackLibrary() { platform::DeleteAll(mElements); }

tTrackLibraryErrorCode CTrackLibrary::Load(LoadingMode mode) {
    static const char* const kSignature = "tTrackLibraryErrorCode CTrackLibrary::Load(LoadingMode)";
    if (!mElements.empty())
        LogWarning("%s called on library with elements - possible multiple invocation of Load()?", kSignature);

    std::unique_ptr<FILE, FileCloser> file(std::fopen(mPath.c_str(), "rb"));
    if (!file) {
        LogWarning("%s: Failed to open library at '%s'", kSignature, mPath.c_str());
        return kTrackLibraryOpenFailed;
    }
    CStreamReadScope reading(file.get());
    const tFileHeader header = ReadFileHeader(file.get(), kLibraryFormat);
    if (!header.MagicMatched()) return kTrackLibraryWrongFileType;
    if (header.status == tFileHeaderStatus::TooOld) return kTrackLibraryObsoleteVersion;
    // Only the gates of version 3 look at it; a value past the int range
    // counts as the largest int.
    const int version = header.version > 0x7fffffffu ? 0x7fffffff : static_cast<int>(header.version);
    mVersion = version;

    int elementCount = 0;
    ReadLibraryHeader(file.get(), elementCount, version);
    const std::size_t slash = mPath.rfind('/');
    mLibraryName = slash == std::string::npos ? mPath : mPath.substr(slash + 1);

    if (mode == kLoadingModeHeaderOnly) return kTrackLibraryLoaded;

    bool elementFailed = false;
    for (int index = 0; index < elementCount; ++index) {
        std::unique_ptr<CCompositeGeometry> element(new (std::nothrow) CCompositeGeometry());
        UErrorHandling::ThrowIfNull(element.get(), kSignature, "Failed to create CCompositeGeometry object");
        std::string errorText;
        if (!element->Load(file.get(), errorText)) {
            LogWarning("%s - Failed to load element %d: %s", kSignature, elementCount - index - 1, errorText.c_str());
            elementFailed = true;
            break;
        }
        element->SetLibraryName(mLibraryName.c_str());
        element->SetModelScale(mModelScale);
        element->SetCurrencyId(mInteger103);
        element->SetTrackbedWidth(mTrackbedWidth);
        element->SetRailWidth(mRailWidth);
        mElements.push_back(element.release());
    }

    if (version >= kFirstTranslationsVersion && !UTranslationsMap::ReadTranslations(mTranslations, file.get()))
        LogWarning("Library '%s': translations incomplete", mLibraryName.c_str());
    return elementFailed ? kTrackLibraryElementError : kTrackLibraryLoaded;
}

bool CTrackLibrary::ReadLibraryHeader(FILE* file, int& elementCount, int version) {
    elementCount = 0;
    if (file == nullptr) return false;
    std::int32_t announced = 0;
    CHeaderReader read(file);
    read.Int(100, announced);
    read.Int(101, mModelScale);
    read.Int(102, mInteger102);
    if (version >= kFirstTranslationsVersion) read.Bool(116, mSwitch116);
    read.Int(103, mInteger103);
    read.Tenths(104, mReal104);
    read.Tenths(105, mTrackbedWidth);
    read.Tenths(106, mRailWidth);
    read.Text(107, mText107);
    read.Text(108, mText108);
    read.Text(109, mText109);
    read.Text(110, mText110);
    read.Text(111, mText111);
    read.Text(112, mText112);
    read.Text(113, mText113);
    read.Text(114, mText114);
    read.Text(115, mText115);
    if (std::strlen(mText114) < 3) std::memcpy(mText114, mText115, sizeof mText114);

    if (announced > 0) {
        // Kept as it is: the record after the last one the file holds is
        // then missing and fails the load, so a damaged library never loads
        // as a shorter one.
        const long long left = BytesLeftInStream(file);
        if (left >= 0 && announced > left / kMinElementRecordBytes)
            LogWarning("Library element count %d exceeds what the file can hold", announced);
        elementCount = announced;
    }
    return read.Ok();
}

// ------------------------------------------------------------ lookups

namespace UTrackLibraryElements {

CCompositeGeometry* GetTrackLibrary(const std::string& libraryName, const std::string& productNumber) {
    // Elements handed out stay valid because their libraries stay here.
    static std::map<std::string, std::unique_ptr<CTrackLibrary>> loaded;
    CTrackLibraryRepository* repository = Repository();
    if (repository == nullptr) return nullptr;
    auto found = loaded.find(libraryName);
    if (found == loaded.end()) {
        std::unique_ptr<CTrackLibrary> library(repository->GetTrackLibrary(libraryName));
        if (!library) {
            LogWarning("Track library '%s' for element %s not found.", libraryName.c_str(), productNumber.c_str());
            return nullptr;
        }
        library->Load(kLoadingModeComplete);
        found = loaded.emplace(libraryName, std::move(library)).first;
    }
    return found->second->GetElementWithProductNumber(productNumber);
}

CCompositeGeometry* GetElementFromTrackLibrary(const std::string& libraryName, const std::string& productNumber) {
    static const char* const kSignature =
        "static CCompositeGeometry *UTrackLibraryElements::GetElementFromTrackLibrary(string, string)";
    static const char* const kFailedLibrary =
        "%s: Failed to load libraryName '%s' for element with product number %s: %d";
    CTrackLibraryRepository* repository = Repository();
    if (repository == nullptr) return nullptr;
    std::unique_ptr<CTrackLibrary> library(repository->GetTrackLibrary(libraryName));
    if (!library) {
        LogWarning(kFailedLibrary, kSignature, libraryName.c_str(), productNumber.c_str(),
                   static_cast<int>(kTrackLibraryOpenFailed));
        return nullptr;
    }
    const tTrackLibraryErrorCode code = library->Load(kLoadingModeComplete);
    if (code != kTrackLibraryLoaded) {
        LogWarning(kFailedLibrary, kSignature, libraryName.c_str(), productNumber.c_str(), static_cast<int>(code));
        return nullptr;
    }
    const CCompositeGeometry* prototype = library->GetElementWithProductNumber(productNumber);
    if (prototype == nullptr) {
        LogWarning("%s: Failed to load element '%s' from library %s", kSignature, productNumber.c_str(),
                   libraryName.c_str());
        return nullptr;
    }
    CCompositeGeometry* copy = new (std::nothrow) CCompositeGeometry(*prototype);
    return UErrorHandling::ThrowIfNull(copy, kSignature, "Failed to create element from template");
}

}  // namespace UTrackLibraryElements

// ------------------------------------------------------------ element helpers

namespace UElementComponents {

int GetPolygonPointCount(const CCompositeGeometry* element, const CPolyBIG* polygon) {
    if (polygon == nullptr && element != nullptr) {
        for (const CBasicGeometry* component : element->GetComponents()) {
            polygon = dynamic_cast<const CPolyBIG*>(component);
            if (polygon != nullptr) break;
        }
    }
    if (polygon == nullptr) {
        LogWarning("Element %s doesn't contain a polygon component",
                   element != nullptr ? element->GetProductNumber() : "(null)");
        return 0;
    }
    return static_cast<int>(polygon->GetNumberOfPoints());
}

}  // namespace UElementComponents

namespace UComponentGeneratorParameters {

std::pair<CPoint, CPoint> GetLineEndPoints(const tGeneratorParameters& parameters) {
    const CPoint first(UGeneratorParameters::GetDouble(parameters, 10, 0.0),
                       UGeneratorParameters::GetDouble(parameters, 11, 0.0), 0.0);
    const CPoint second(UGeneratorParameters::GetDouble(parameters, 12, 100.0),
                        UGeneratorParameters::GetDouble(parameters, 13, 0.0), 0.0);
    return {first, second};
}

}  // namespace UComponentGeneratorParameters
