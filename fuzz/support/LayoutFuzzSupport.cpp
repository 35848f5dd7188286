#include "fuzz/support/LayoutFuzzSupport.h"

#include <cstdlib>

#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Paths.h"

namespace fuzzsupport {

void SetUpLayoutServices() {
    static const bool ready = [] {
        // The root first: it must outlive everything that writes into it.
        const std::filesystem::path home = TemporaryRoot() / "home";
        std::filesystem::create_directories(home);
        setenv("VEKMONT_HOME", home.c_str(), 1);
        platform::Paths::setRoot(home);
        CLogger::Instance().SetLevel(4);
        // The registry never frees its services; these statics keep them
        // reachable after the registry itself is gone at exit.
        static LocalizationService* const localisation = new LocalizationService();
        static VKMPreferencesService* const preferences = new VKMPreferencesService();
        static VKMTextCalculationService* const textMeasurement = new VKMTextCalculationService();
        CServiceLocator::Instance().RegisterService(localisation);
        CServiceLocator::Instance().RegisterService(preferences);
        CServiceLocator::Instance().RegisterService(textMeasurement);
        return true;
    }();
    (void)ready;
}

const std::filesystem::path& LayoutInputPath() {
    static const std::filesystem::path path = TemporaryRoot() / "input.wkst";
    return path;
}

bool WriteLayoutInput(const std::uint8_t* data, std::size_t size) { return WriteFile(LayoutInputPath(), data, size); }

}  // namespace fuzzsupport

// Drawing and measuring texts fills the font caches of fontconfig and cairo,
// and the leak checker cannot follow all their pointers: fontconfig stores
// offsets, and cairo 1.16 leaves one table of a scaled font made while
// outlining glyphs unreachable (one object, however many inputs ran). None
// of it is ours to free. Cairo's frames carry no frame pointers, so its
// allocations cannot be told apart any finer than by library.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libcairo.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
