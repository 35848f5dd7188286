// Track library files from untrusted bytes: the bytes become a library file
// that is read in both loading modes; when the whole library loads, its
// elements and translations are put to the uses a library serves: element
// lookups by product number, copies, joints, bounds and translated texts.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/TrackLibrary.h"
#include "engine/model/Translations.h"
#include "engine/services/Logger.h"
#include "fuzz/support/FuzzSupport.h"

namespace {

const std::string& InputPath() {
    static const std::string path = (fuzzsupport::TemporaryRoot() / "input.rset").string();
    return path;
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
    static const bool quiet = [] {
        CLogger::Instance().SetLevel(4);
        return true;
    }();
    (void)quiet;
    if (!fuzzsupport::WriteFile(InputPath(), data, size)) return 0;
    {
        CTrackLibrary header(InputPath());
        (void)header.Load(kLoadingModeHeaderOnly);
    }
    CTrackLibrary library(InputPath());
    if (library.Load(kLoadingModeComplete) == kTrackLibraryLoaded) Exercise(library);
    return 0;
}
