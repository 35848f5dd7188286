#include "bench/BenchSupport.h"

#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::filesystem::path& Root() {
    static std::filesystem::path root;
    return root;
}

void RemoveRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(Root(), ignored);
}

}  // namespace

void SetUpBenchEngine(const char* name) {
    static const bool ready = [name] {
        std::string root = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
        if (mkdtemp(root.data()) == nullptr) std::abort();
        Root() = root;
        std::atexit(RemoveRoot);
        setenv("VEKMONT_HOME", root.c_str(), 1);
        platform::Paths::setRoot(root);
        CLogger::Instance().SetLevel(3);
        CServiceLocator::Instance().RegisterService(new LocalizationService());
        CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
        CServiceLocator::Instance().RegisterService(new VKMTextCalculationService());
        return true;
    }();
    (void)ready;
}
