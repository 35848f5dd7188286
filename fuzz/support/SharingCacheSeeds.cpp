// Writes the seed corpus of the sharing caches' index target: indexes the
// caches themselves write (downloaded layouts recorded on several dates, a
// picture cache's entries with their blob names), the user names' file as
// that cache stores it, an empty index, and an index that an earlier version
// with other keys could have left.
//
//   sharing_cache_index_seeds <folder>

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "engine/services/Logger.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using platform::Value;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sharing_cache_index_seeds <folder>\n");
        return 1;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder);
    CLogger::Instance().SetLevel(4);
    const platform::TemporaryFolder scratch("sharing-cache-seeds");
    using namespace std::chrono;
    const auto clock = std::make_shared<platform::VirtualClock>(sys_days{year{2026} / February / 22} + hours{9});
    const platform::ScopedClock installed(clock);

    {
        // Recorded a week, a day and an hour before the target's date.
        QLCloudLayoutsCache layouts(scratch.path() / "CloudLayouts", folder / "cloud-layouts.plist");
        layouts.recordDownload("2f1c9a7e-layout-old");
        clock->setDate(clock->now() + hours{24 * 6});
        layouts.recordDownload("8b03d4c2-layout-yesterday");
        clock->setDate(clock->now() + hours{23});
        layouts.recordDownload("e55a0f19-layout-fresh");
        layouts.cachedLayoutsCount();
    }
    {
        QLProfileImageCache pictures(scratch.path() / "ProfileImages", folder / "profile-images.plist");
        pictures.files().record("ada", {{"blobName", "ada-512.png"}});
        pictures.files().record("grace", {{"blobName", "grace-512.png"}, {"size", 512}});
        pictures.files().count();
    }
    const auto write = [&](const char* name, const Value& value) {
        platform::writeFileAtomically(folder / name, value.toStoredForm());
    };
    write("user-names.plist", Value(Value::Dictionary{{"ada", "Ada L."}, {"grace", "Grace H."}, {"u-3", "ユーザー"}}));
    write("empty.plist", Value(Value::Dictionary{}));
    write("other-keys.plist",
          Value(Value::Dictionary{
              {"L1", Value::Dictionary{{"file", "L1.layout"}, {"date", clock->now()}, {"etag", "0x8D9"}}},
              {"L2", Value::Dictionary{{"path", "L2.layout"}, {"date", clock->now()}}},
          }));
    return 0;
}
