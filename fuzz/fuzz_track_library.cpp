// Track library files from untrusted bytes: the bytes become a library file
// that is read in both loading modes; when the whole library loads, its
// elements and translations are put to the uses a library serves: element
// lookups by product number, copies, joints, bounds and translated texts.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/TrackLibrary.h"
#include "engine/model/Translations.h"
#include "engine/services/Logger.h"

namespace {

const std::string& InputPath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/fuzz-track-library-XXXXXX";
        const int descriptor = mkstemp(pattern);
        if (descriptor < 0) std::abort();
        close(descriptor);
        return std::string(pattern);
    }();
    return path;
}

void RemoveInput() { std::remove(InputPath().c_str()); }

void SetUp() {
    static const bool ready = [] {
        CLogger::Instance().SetLevel(4);
        std::atexit(RemoveInput);
        return true;
    }();
    (void)ready;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void Exercise(CTrackLibrary& library) {
    const tTranslationsMap& translations = library.GetTranslations();
    for (const std::string& language : UTranslationsMap::GetAllLanguages(translations))
        (void)UTranslationsMap::GetTranslation(translations, "Title", language, "-");
    for (CCompositeGeometry* element : library.GetElements()) {
        (void)element->GetLocalizedDescription("de");
        (void)element->GetJoints(kJointFilterAll);
        tDoubleRect box;
        element->CalcBoundingBox(box);
        CCompositeGeometry copy(*element);
        copy.SetAngle(element->GetAngle() + 90.0);
        (void)copy.GetJoints(kJointFilterFree);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetUp();
    if (!WriteInput(data, size)) return 0;
    {
        CTrackLibrary header(InputPath());
        (void)header.Load(kLoadingModeHeaderOnly);
    }
    CTrackLibrary library(InputPath());
    if (library.Load(kLoadingModeComplete) == kTrackLibraryLoaded) Exercise(library);
    return 0;
}
