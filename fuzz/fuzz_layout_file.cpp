// Layout files from untrusted bytes: the bytes become a file that the layout
// document loads as the app loads a downloaded layout; when it loads, the
// document takes the road the app's screens take: the tidy-up after loading,
// the statistics, the part list and its export text, and the layout bounds.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/Paths.h"

namespace {

// One file per process, rewritten for every input; removed at exit.
const std::string& InputPath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/fuzz-layout-file-XXXXXX";
        const int descriptor = mkstemp(pattern);
        if (descriptor < 0) std::abort();
        close(descriptor);
        return std::string(pattern);
    }();
    return path;
}

void RemoveInput() { std::remove(InputPath().c_str()); }

// The services a document asks for (preferences, localisation) in an app
// root of its own; only errors are logged so the log stays out of the way.
void SetUp() {
    static const bool ready = [] {
        char root[] = "/tmp/fuzz-layout-home-XXXXXX";
        if (mkdtemp(root) == nullptr) std::abort();
        setenv("VEKMONT_HOME", root, 1);
        platform::Paths::setRoot(root);
        CLogger::Instance().SetLevel(4);
        // The registry never frees its services; these statics keep them
        // reachable after the registry itself is gone at exit.
        static LocalizationService* const localisation = new LocalizationService();
        static VKMPreferencesService* const preferences = new VKMPreferencesService();
        CServiceLocator::Instance().RegisterService(localisation);
        CServiceLocator::Instance().RegisterService(preferences);
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

void Exercise(CLayout& layout) {
    URemoveEmptyLayers::RemoveEmptyLayers(layout.GetLayerManager(), layout.GetElements(), layout.GetBaseboards(),
                                          layout.GetImages());
    ULayers::UnlockAllLayers(layout.GetLayerManager().GetLayers());
    ULayoutElementClassifier::ClassifyElements(layout.GetElements());
    ULayoutTrackRepairs::RepairTracks(layout.GetElements());

    CTrackElementsStatistics& statistics = layout.GetStatistics();
    statistics.Refresh(layout.GetElements());
    (void)statistics.GetElementKindCounts();
    CPartList parts(&layout, &statistics);
    (void)parts.ExportToString(';', "en");
    (void)parts.ExportToString('\t', "de");

    (void)ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll);
    (void)ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible);
    (void)ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, 10.0);
    for (CCompositeGeometry* element : layout.GetElements()) (void)UElementGeometry::GetElementCenter(element, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetUp();
    if (!WriteInput(data, size)) return 0;
    CLayout layout;
    if (layout.Load(InputPath()) == kLayoutLoaded) Exercise(layout);
    return 0;
}
