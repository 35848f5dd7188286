#pragma once
// Whole layout files ("WkSt") and track library files ("RSet") written from
// the engine's own record writers: the parameters as CLayout reads them, the
// layer section (CLayerManager::Save), the element records
// (CCompositeGeometry::Save), the groups (UGroups::WriteSerializedGroups),
// the images (UImageElements::SaveImages) and the baseboards
// (UBaseboardElements::WriteBaseboards). Each part can also be written on
// its own, so tests can put damaged files together.
//
// Test support only (library `layoutgen`); the app never writes layout files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Groups.h"
#include "engine/model/Image.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/Translations.h"

namespace ULayoutFileWriter {

// ------------------------------------------------------------ layout files

// Everything one layout file holds. Pointers are not owned.
struct tLayoutFile {
    int version = CLayout::kNewestFileVersion;
    CLayoutParameters parameters;
    // The layer section (from version 4); null writes one layer "Layer 1".
    const CLayerManager* layers = nullptr;
    std::vector<CCompositeGeometry*> elements;
    // The version of every element record.
    int elementRecordVersion = CCompositeGeometry::kNewestRecordVersion;
    // Tag 423; the number of elements when not set.
    std::optional<std::int32_t> elementCount;
    tSerializedGroups groups;
    tImages images;                 // written from version 10
    tBaseboardElements baseboards;  // written from version 11
};

// 8 bytes: the magic and the version, big-endian.
bool WriteHeader(FILE* file, const char (&magic)[5], std::uint32_t version);

// The parameter tags 400 to 452 (not 423) of `version`, in the order the
// reader takes them; `omittedTag` (0: none) is left out.
bool WriteParameters(FILE* file, const CLayoutParameters& p, int version, std::uint16_t omittedTag = 0);

// Tag 423.
bool WriteElementCount(FILE* file, std::int32_t count);

// The whole file at the stream's position. Images are written from version
// 10 and baseboards from version 11; older versions leave them out.
bool WriteLayoutFile(FILE* file, const tLayoutFile& content);
bool WriteLayoutFile(const std::filesystem::path& path, const tLayoutFile& content);

// ------------------------------------------------------------ track library files

// Everything one library file holds. Pointers are not owned.
struct tTrackLibraryFile {
    int version = 3;
    std::int32_t modelScale = 16;  // 101
    std::int32_t integer102 = 0;
    std::int32_t integer103 = 129;
    std::int32_t real104Tenths = 0;
    std::int32_t trackbedWidthTenths = 400;  // 105
    std::int32_t railWidthTenths = 10;       // 106
    bool switch116 = false;                  // from version 3
    std::string texts[9];                    // 107 to 115
    std::vector<CCompositeGeometry*> elements;
    int elementRecordVersion = CCompositeGeometry::kNewestRecordVersion;
    // Tag 100; the number of elements when not set.
    std::optional<std::int32_t> elementCount;
    tTranslationsMap translations;  // from version 3
};

bool WriteTrackLibraryFile(FILE* file, const tTrackLibraryFile& content);
bool WriteTrackLibraryFile(const std::filesystem::path& path, const tTrackLibraryFile& content);

// ------------------------------------------------------------ bytes

// The same files into memory: for fuzz seeds and tests that damage bytes.
// Empty on failure.
std::vector<std::uint8_t> LayoutFileBytes(const tLayoutFile& content);
std::vector<std::uint8_t> TrackLibraryFileBytes(const tTrackLibraryFile& content);

}  // namespace ULayoutFileWriter
