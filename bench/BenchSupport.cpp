#include "bench/BenchSupport.h"

#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"

#include <cstdlib>

void SetUpBenchEngine(const char* name) {
    static const bool ready = [name] {
        static const platform::TemporaryFolder root(name);  // removed at exit
        setenv("VEKMONT_HOME", root.path().c_str(), 1);
        platform::Paths::setRoot(root.path());
        CLogger::Instance().SetLevel(3);
        CServiceLocator::Instance().RegisterService(new LocalizationService());
        CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
        CServiceLocator::Instance().RegisterService(new VKMTextCalculationService());
        return true;
    }();
    (void)ready;
}

void EnablePerformanceCounters() {
    static const bool ready = [] {
        auto* counters = new QLPerformanceCountersService();
        counters->Enable();
        CServiceLocator::Instance().RegisterService(counters);
        return true;
    }();
    (void)ready;
}
