// Fetching 200 pictures at once from the local servers: 100 profile
// pictures (container "profilepictures") and 100 layout previews
// ("layouts"), asked of the sharing client's two picture caches in one go
// from the main thread, until all 200 notifications have arrived; beside
// `curl --parallel` fetching the same 200 blob addresses with the same
// container signatures into files, in the same run. The client's run
// includes what curl does not do: each picture is decoded before it is
// kept, written through a temporary file that is synced and renamed, and
// recorded in the cache's index. Both start with the signatures in hand
// (the client from an untimed first round).
//
// Wall time is measured by hand; CPU is the bench process's own (every
// client thread) for the client and RUSAGE_CHILDREN for curl. The servers'
// CPU is in neither. Run with
//   bench_sharing --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true

#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"
#include "bench/TransferBench.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "tests/SharingModule/support/SharingTestServer.h"
#include "tests/storage/support/StorageTestServer.h"
#include "tools/layoutgen/LayoutComposer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace transferbench;

namespace {

constexpr int kPicturesPerKind = 100;
using Clock = std::chrono::steady_clock;

struct Setup {
    platform::TemporaryFolder root{"vekmont-bench-sharing"};
    testsupport::StorageTestServer blobs;
    sharingtest::SharingTestServer sharing;
    // By the most downloads each runs at once; the default one is made first.
    std::map<std::size_t, std::shared_ptr<QLSharedLayoutsClient>> clients;
    // curl's transfers into files, and into /dev/null.
    std::filesystem::path curlConfig;
    std::filesystem::path curlConfigDiscarding;
    std::uint64_t totalBytes = 0;
    int round = 0;
};

Setup* gSetup = nullptr;

std::string profileBlob(int i) { return "user-" + std::to_string(i) + "-512.png"; }
std::string previewBlob(int i) { return "layout-" + std::to_string(i) + "-preview.png"; }

// The client's round: fresh caches in a folder of their own, 200 requests,
// wait for 200 notifications.
void clientRound(const std::shared_ptr<QLSharedLayoutsClient>& client) {
    const auto folder = gSetup->root.path() / ("client-" + std::to_string(gSetup->round++));
    QLProfileImageCache profiles(folder / "ProfileImages", folder / "ProfileImages.plist");
    QLPreviewImageCache previews(folder / "LayoutPreviews", folder / "LayoutPreviews.plist");
    std::atomic<int> arrived{0};
    auto& center = platform::NotificationCenter::defaultCenter();
    auto count = [&arrived](const platform::Notification&) { ++arrived; };
    auto profileToken = center.addObserverForName(QLProfileImageCache::kUpdatedNotification, &profiles, count);
    auto previewToken = center.addObserverForName(QLPreviewImageCache::kUpdatedNotification, &previews, count);
    for (int i = 0; i < kPicturesPerKind; ++i) {
        profiles.requestProfileImageForUserId("user-" + std::to_string(i), profileBlob(i), client);
        previews.requestImage("layout-" + std::to_string(i), previewBlob(i), client);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (arrived.load() < 2 * kPicturesPerKind) {
        platform::RunLoop::main()->runUntil([&] { return arrived.load() >= 2 * kPicturesPerKind; },
                                            std::chrono::milliseconds(1));
        if (Clock::now() > deadline) die("the client's pictures did not all arrive");
    }
    if (profiles.profileImageForUserId("user-0") == nullptr) die("a profile picture is missing");
    // Make sure the index writes are done before the caches go.
    profiles.files().count();
    previews.files().count();
}

void curlRound(int parallelism, bool toFiles) {
    std::vector<std::string> args = {
        "curl", "--silent", "--parallel", "--parallel-immediate", "--parallel-max", std::to_string(parallelism)};
    // "next" in a config resets --output-dir, so curl runs in the round's folder.
    std::filesystem::path folder;
    if (toFiles) {
        folder = gSetup->root.path() / ("curl-" + std::to_string(gSetup->round++));
        std::filesystem::create_directories(folder);
    }
    args.insert(args.end(), {"-K", (toFiles ? gSetup->curlConfig : gSetup->curlConfigDiscarding).string()});
    const std::string statuses = runCurlOutput(args, folder.string());
    std::size_t ok = 0;
    for (std::size_t at = statuses.find("200 "); at != std::string::npos; at = statuses.find("200 ", at + 4)) ++ok;
    if (ok != 2 * kPicturesPerKind) die("curl answered " + statuses);
}

void runRounds(benchmark::State& state, const std::string& label, int cpuWho, const std::function<void()>& round) {
    double totalCpu = 0;
    double totalWall = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds(cpuWho);
        const auto start = Clock::now();
        round();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        totalCpu += cpuSeconds(cpuWho) - cpuBefore;
        totalWall += wall;
        state.SetIterationTime(wall);
    }
    const double rounds = double(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gSetup->totalBytes));
    state.counters["CPU_ms"] = totalCpu * 1000.0 / rounds;
    state.counters["pictures_per_s"] = 2 * kPicturesPerKind * rounds / totalWall;
    wallMeans()[label].push_back(totalWall / rounds);
}

// A client that runs at most `concurrent` downloads at once, with its
// signatures in hand after an untimed first round.
std::shared_ptr<QLSharedLayoutsClient> clientFor(std::size_t concurrent) {
    auto& client = gSetup->clients[concurrent];
    if (!client) {
        QLSharedLayoutsClient::Configuration configuration;
        configuration.serviceURL = *platform::net::URL::parse(gSetup->sharing.baseUrl());
        configuration.maximumConcurrentDownloads = concurrent;
        client = std::make_shared<QLSharedLayoutsClient>(configuration, std::make_shared<VKMSharedLayoutsUser>());
        clientRound(client);
    }
    return client;
}

void BM_ClientPictures(benchmark::State& state) {
    const auto concurrent = static_cast<std::size_t>(state.range(0));
    auto client = clientFor(concurrent);
    runRounds(state, "client, " + std::to_string(concurrent) + " at once", RUSAGE_SELF,
              [&client] { clientRound(client); });
}

void BM_CurlParallel(benchmark::State& state) {
    const int parallelism = static_cast<int>(state.range(0));
    const bool toFiles = state.range(1) != 0;
    runRounds(state, "curl --parallel-max " + std::to_string(parallelism) + (toFiles ? "" : ", no files"),
              RUSAGE_CHILDREN, [parallelism, toFiles] { curlRound(parallelism, toFiles); });
}

// The default (16), and what every download at once and fewer give.
BENCHMARK(BM_ClientPictures)->Arg(16)->Arg(200)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
// 50 is curl's own default, 16 the client's, 200 everything at once; into
// files as the client writes them, and at 16 also into /dev/null, which shows
// what the transfers alone take.
BENCHMARK(BM_CurlParallel)
    ->Args({50, 1})
    ->Args({16, 1})
    ->Args({200, 1})
    ->Args({16, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The signature of a container, as the client holds it.
std::string signatureOf(const std::string& container) {
    std::shared_ptr<BLSCloudBlobContainer> opened;
    bool done = false;
    clientFor(QLSharedLayoutsClient::Configuration().maximumConcurrentDownloads)
        ->blobContainerNamed(container, [&](const auto& c, const auto&) {
            opened = c;
            done = true;
        });
    platform::RunLoop::main()->runUntil([&] { return done; }, std::chrono::seconds(30));
    if (!opened || !opened->client()->credentials() || !opened->client()->credentials()->sasToken()) {
        die("no signature for " + container);
    }
    return *opened->client()->credentials()->sasToken();
}

void setUp(Setup& setup) {
    platform::Paths::setRoot(setup.root.path());
    setup.blobs.start();
    setup.sharing.start(setup.blobs);
    for (int i = 0; i < kPicturesPerKind; ++i) {
        const auto profile = ULayoutGen::TinyPng(128, 128, static_cast<std::uint32_t>(i));
        const auto preview = ULayoutGen::TinyPng(256, 192, static_cast<std::uint32_t>(1000 + i));
        setup.blobs.preloadBlob("profilepictures", profileBlob(i), profile);
        setup.blobs.preloadBlob("layouts", previewBlob(i), preview);
        setup.totalBytes += profile.size() + preview.size();
    }
    gSetup = &setup;

    const std::string profiles = signatureOf("profilepictures");
    const std::string previews = signatureOf("layouts");
    auto writeConfig = [&](const std::filesystem::path& path, bool toFiles) {
        std::ofstream config(path);
        for (int i = 0; i < 2 * kPicturesPerKind; ++i) {
            const bool profile = i % 2 == 0;
            const std::string container = profile ? "profilepictures" : "layouts";
            const std::string blob = profile ? profileBlob(i / 2) : previewBlob(i / 2);
            config << (i == 0 ? "" : "next\n") << "url = \"" << setup.blobs.baseUrl() << "/" << container << "/" << blob
                   << "?" << (profile ? profiles : previews) << "\"\noutput = \""
                   << (toFiles ? container + "-" + blob : std::string("/dev/null"))
                   << "\"\nsilent\nwrite-out = \"%{http_code} \"\nheader = \"x-bs-version: 2016-03-14\"\n";
        }
        if (!config) die("cannot write curl's config");
    };
    setup.curlConfig = setup.root.path() / "pictures.curl";
    setup.curlConfigDiscarding = setup.root.path() / "discarding.curl";
    writeConfig(setup.curlConfig, true);
    writeConfig(setup.curlConfigDiscarding, false);
}

}  // namespace

int main(int argc, char** argv) {
    setProgramName("bench_sharing");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The servers die with the thread that started them, and the client's
    // answers come on the main loop: both on this thread.
    Setup setup;
    try {
        setUp(setup);
    } catch (const std::exception& e) {
        die(e.what());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nload average at the end: %s", loadAverage().c_str());
    std::printf("target: 1.5x curl --parallel\n");
    for (const char* client : {"client, 16 at once", "client, 8 at once", "client, 200 at once"}) {
        printRatio(client, "curl --parallel-max 50");
    }
    printRatio("client, 16 at once", "curl --parallel-max 16");
    printRatio("client, 16 at once", "curl --parallel-max 16, no files");
    printRatio("client, 200 at once", "curl --parallel-max 200");
    gSetup = nullptr;
    return 0;
}
