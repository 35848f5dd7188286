#pragma once
// Track libraries: catalogues of the track pieces of one manufacturer and
// model scale, element templates that layout elements refer to by library
// name and product number. CTrackLibrary reads a library file, a file of
// tagged records:
//
//   header        "RSet", version (unsigned 32-bit big-endian, 2 or later)
//   header tags   100, 101, 102, 116 (from version 3), 103 to 115
//   elements      as many element records ("RCig") as tag 100 says
//   translations  tags 800 to 802, from version 3
//
// UTrackLibraryElements finds a library through the library repository
// service "LibraryRepositoryService" and copies templates out of it. The
// start-up registers no repository, so these lookups end at the missing
// service unless one is plugged in.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "engine/model/GeneratorParameters.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"
#include "engine/model/Translations.h"
#include "engine/services/ServiceLocator.h"

class CPolyBIG;

// The result of CTrackLibrary::Load.
enum tTrackLibraryErrorCode : int {
    kTrackLibraryLoaded = 0,
    kTrackLibraryElementError = 1,  // an element record failed to load
    kTrackLibraryOpenFailed = 2,
    kTrackLibraryWrongFileType = 3,    // the magic is not "RSet"
    kTrackLibraryObsoleteVersion = 4,  // version below 2
};

enum LoadingMode : int {
    kLoadingModeComplete = 0,  // header, elements and translations (any value but 1)
    kLoadingModeHeaderOnly = 1,
};

class CTrackLibrary : public CTrackElementsContainer {
public:
    static constexpr int kOldestFileVersion = 2;
    // Translations and switch 116 exist from this version on.
    static constexpr int kFirstTranslationsVersion = 3;

    static constexpr std::size_t kText107Size = 128;
    static constexpr std::size_t kText108Size = 128;
    static constexpr std::size_t kText109Size = 256;
    static constexpr std::size_t kText110Size = 256;
    static constexpr std::size_t kText111Size = 8;
    static constexpr std::size_t kText112Size = 512;
    static constexpr std::size_t kText113Size = 256;
    static constexpr std::size_t kText114Size = 32;
    static constexpr std::size_t kText115Size = 32;

    // A library to be read from `path`; nothing is read yet.
    explicit CTrackLibrary(std::string path);
    // Deletes the elements.
    ~CTrackLibrary() override;

    CTrackLibrary(const CTrackLibrary&) = delete;
    CTrackLibrary& operator=(const CTrackLibrary&) = delete;

    // Reads the file. In complete mode each element takes the library's
    // name (the last path component), model scale, integer 103 (as its
    // currency id), trackbed width and rail width. Reading elements stops at
    // the first record that fails (code 1); the translations are read all
    // the same. The file is closed on every path.
    tTrackLibraryErrorCode Load(LoadingMode mode);

    // The header tags in file order. `elementCount` is the count of tag 100
    // made sane: 0 when missing or below 0, and no more records than the rest
    // of the file could hold. False when a tag is missing or damaged; the
    // fields read until then keep their values.
    bool ReadLibraryHeader(FILE* file, int& elementCount, int version);

    // ---- CTrackElementsContainer
    const tElements& GetElements() const override { return mElements; }

    const std::string& GetPath() const { return mPath; }
    // The last path component, set by Load.
    const std::string& GetLibraryName() const { return mLibraryName; }
    int GetVersion() const { return mVersion; }
    std::int32_t GetModelScale() const { return mModelScale; }
    std::int32_t GetInteger102() const { return mInteger102; }
    std::int32_t GetInteger103() const { return mInteger103; }
    double GetReal104() const { return mReal104; }
    double GetTrackbedWidth() const { return mTrackbedWidth; }
    double GetRailWidth() const { return mRailWidth; }
    bool GetSwitch116() const { return mSwitch116; }
    const char* GetText107() const { return mText107; }
    const char* GetText108() const { return mText108; }
    const char* GetText109() const { return mText109; }
    const char* GetText110() const { return mText110; }
    const char* GetText111() const { return mText111; }
    const char* GetText112() const { return mText112; }
    const char* GetText113() const { return mText113; }
    const char* GetText114() const { return mText114; }
    const char* GetText115() const { return mText115; }
    const tTranslationsMap& GetTranslations() const { return mTranslations; }

private:
    tElements mElements;
    std::string mPath;
    std::string mLibraryName;
    int mVersion = 0;
    std::int32_t mModelScale = 0;
    std::int32_t mInteger103 = 0;
    double mReal104 = 0.0;
    double mTrackbedWidth = 0.0;
    double mRailWidth = 0.0;
    bool mSwitch116 = false;
    char mText107[kText107Size] = {};
    char mText108[kText108Size] = {};
    char mText109[kText109Size] = {};
    char mText110[kText110Size] = {};
    char mText111[kText111Size] = {};
    char mText112[kText112Size] = {};
    char mText113[kText113Size] = {};
    char mText114[kText114Size] = {};
    char mText115[kText115Size] = {};
    tTranslationsMap mTranslations;
    std::int32_t mInteger102 = 0;
};

// What the lookups ask of a library repository: register an implementation
// under "LibraryRepositoryService".
class CTrackLibraryRepository : public LibraryRepositoryServiceBase {
public:
    static constexpr const char* kServiceName = "LibraryRepositoryService";

    std::string GetServiceName() const override { return kServiceName; }
    // A new library (not loaded yet) for the caller to delete, or null.
    virtual CTrackLibrary* GetTrackLibrary(const std::string& libraryName) = 0;
};

namespace UTrackLibraryElements {

// The library's element with that product number, or null. The library is
// loaded once per name and kept until the process ends, so the element
// stays valid; it is not a copy.
CCompositeGeometry* GetTrackLibrary(const std::string& libraryName, const std::string& productNumber);

// A new element (the caller owns it) copied from the library's template,
// or null with a warning. The library is deleted again.
CCompositeGeometry* GetElementFromTrackLibrary(const std::string& libraryName, const std::string& productNumber);

}  // namespace UTrackLibraryElements

namespace UElementComponents {

// The point count of `polygon`, or without one of the element's first
// polygon component (a flex track counts); 0 with a warning when there is
// none.
int GetPolygonPointCount(const CCompositeGeometry* element, const CPolyBIG* polygon = nullptr);

}  // namespace UElementComponents

namespace UComponentGeneratorParameters {

// The points (10, 11) and (12, 13), each coordinate read with
// UGeneratorParameters::GetDouble; defaults 0 but 100 for key 12; z 0.
std::pair<CPoint, CPoint> GetLineEndPoints(const tGeneratorParameters& parameters);

}  // namespace UComponentGeneratorParameters
