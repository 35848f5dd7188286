// settings-helper: a stand-in for the app's use of its settings, run by the
// tool tests as the app runs, so that a kill can be tried on it.
//
//   settings-helper change PREFERENCE VALUE DEFAULT VALUE
//     starts the preferences service as the app's start-up does, sets the
//     engine preference and the user default (integers), prints "changed",
//     and then waits to be killed.
//   settings-helper show PREFERENCE DEFAULT
//     starts the same way and prints both as they are read at start:
//     "PREFERENCE=n" and "DEFAULT=n" (or "DEFAULT=none").

#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/UserDefaults.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: settings-helper change PREFERENCE VALUE DEFAULT VALUE\n"
                 "       settings-helper show PREFERENCE DEFAULT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (!(command == "change" && argc == 6) && !(command == "show" && argc == 4)) return Usage();
    CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
    platform::UserDefaults& defaults = platform::UserDefaults::standard();

    if (command == "show") {
        std::printf("%s=%d\n", argv[2], UPreferences::GetInt(argv[2]));
        const auto stored = defaults.integerValue(argv[3]);
        if (stored) {
            std::printf("%s=%lld\n", argv[3], static_cast<long long>(*stored));
        } else {
            std::printf("%s=none\n", argv[3]);
        }
        return 0;
    }

    UPreferences::SetInt(argv[2], std::atoi(argv[3]));
    defaults.setInteger(argv[4], std::atoll(argv[5]));
    std::printf("changed\n");
    std::fflush(stdout);
    for (;;) pause();
}
