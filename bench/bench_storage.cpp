// Blob transfer speed against the local blob test server: the client's
// download (into a discarding stream and into memory) and its file upload
// (Put Block per 4 MiB, then Put Block List), each beside the curl command
// line doing the same transfer in the same run. Wall time is measured by
// hand; CPU is the process's own (user + system, all client threads) for
// the client and RUSAGE_CHILDREN for curl. The server's CPU is in neither.

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "platform/foundation/TemporaryFolder.h"
#include "storage/BLSCloudBlob.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "tests/storage/support/StorageTestServer.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kBlobSize = 256 * kMiB;
constexpr int kIterations = 3;
const char* const kContainer = "bench";
const char* const kDownloadBlob = "download-256";

using ErrorOut = std::optional<platform::Error>;
using Clock = std::chrono::steady_clock;

// Takes every byte and keeps only the count, so the disk and the allocator
// stay out of the download figures.
class DiscardingOutputStream final : public platform::OutputStream {
public:
    long write(const std::uint8_t* bytes, std::size_t length) override {
        if (status() == platform::StreamStatus::Error) return -1;
        if (status() != platform::StreamStatus::Open) {
            fail(platform::Error(platform::StreamErrorDomain, EBADF));
            return -1;
        }
        if (length == 0) return 0;
        mCount += length;
        postEvent(platform::StreamEvent::HasSpaceAvailable);
        return static_cast<long>(length);
    }
    std::uint64_t count() const { return mCount; }

private:
    std::uint64_t mCount = 0;
};

struct Setup {
    testsupport::StorageTestServer server;
    std::shared_ptr<BLSCloudBlobClient> client;
    std::shared_ptr<BLSCloudBlobContainer> container;
    std::string containerSas;  // "?..." with read and write rights
    platform::TemporaryFolder folder{"vekmont-bench-storage"};
    std::filesystem::path uploadFile;
};

Setup* gSetup = nullptr;

// Wall seconds and count of the transfers of each benchmark (over all
// repetitions), for the closing ratios.
struct WallTotal {
    double seconds = 0;
    std::int64_t transfers = 0;
    double mean() const { return seconds / double(transfers); }
};
std::map<std::string, WallTotal>& wallTotals() {
    static std::map<std::string, WallTotal> totals;
    return totals;
}

double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::vector<std::uint8_t> pseudoRandomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    for (std::size_t i = 0; i + 8 <= count; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(&bytes[i], &state, 8);
    }
    return bytes;
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "bench_storage: %s\n", what.c_str());
    std::exit(1);
}

// Runs curl with `args`; returns the HTTP status it printed (-w).
int runCurl(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe(out) != 0) die("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) die("fork failed");
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execvp("curl", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[64];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die("curl failed: " + text);
    return std::atoi(text.c_str());
}

void report(benchmark::State& state, double totalCpu, double totalWall) {
    const double transfers = double(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlobSize));
    state.counters["CPU_ms_per_MiB"] = totalCpu * 1000.0 / (transfers * double(kBlobSize / kMiB));
    state.counters["MB_per_s"] = double(kBlobSize) / 1e6 * transfers / totalWall;
}

// Runs `transfer` once per iteration, timing it by hand; `cpuWho` picks the
// process whose CPU counts; `label` keys the mean for the closing ratios.
void runTransfers(benchmark::State& state, const std::string& label, int cpuWho,
                  const std::function<void()>& transfer) {
    double totalCpu = 0;
    double totalWall = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds(cpuWho);
        const auto start = Clock::now();
        transfer();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        totalCpu += cpuSeconds(cpuWho) - cpuBefore;
        totalWall += wall;
        state.SetIterationTime(wall);
    }
    report(state, totalCpu, totalWall);
    WallTotal& total = wallTotals()[label];
    total.seconds += totalWall;
    total.transfers += state.iterations();
}

// Client downloads ---------------------------------------------------------------

void BM_ClientDownloadToStream(benchmark::State& state) {
    auto blob = gSetup->container->blockBlobReferenceFromName(kDownloadBlob);
    runTransfers(state, "client download to stream", RUSAGE_SELF, [&] {
        auto stream = std::make_shared<DiscardingOutputStream>();
        std::promise<ErrorOut> done;
        blob->downloadToStream(stream, [&](const ErrorOut& error) { done.set_value(error); });
        const ErrorOut error = done.get_future().get();
        if (error) die("download failed: " + error->localizedDescription());
        if (stream->count() != kBlobSize) die("download gave " + std::to_string(stream->count()) + " bytes");
    });
}

void BM_ClientDownloadToData(benchmark::State& state) {
    auto blob = gSetup->container->blockBlobReferenceFromName(kDownloadBlob);
    runTransfers(state, "client download to data", RUSAGE_SELF, [&] {
        std::promise<std::size_t> done;
        blob->downloadToDataWithCompletionHandler(
            [&](const ErrorOut& error, const std::optional<std::vector<std::uint8_t>>& data) {
                if (error) die("download failed: " + error->localizedDescription());
                done.set_value(data ? data->size() : 0);
            });
        const std::size_t size = done.get_future().get();
        if (size != kBlobSize) die("download gave " + std::to_string(size) + " bytes");
    });
}

void BM_CurlDownload(benchmark::State& state) {
    const std::string url = gSetup->server.baseUrl() + "/" + kContainer + "/" + kDownloadBlob + gSetup->containerSas;
    runTransfers(state, "curl download", RUSAGE_CHILDREN, [&] {
        const int status = runCurl({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-H",
                                    "x-bs-version: 2016-03-14", url});
        if (status != 200) die("curl download answered " + std::to_string(status));
    });
}

// Uploads ------------------------------------------------------------------------

void BM_ClientUploadFromFile(benchmark::State& state) {
    const std::int64_t parallelism = state.range(0);
    auto blob = gSetup->container->blockBlobReferenceFromName("upload-client-" + std::to_string(parallelism));
    std::shared_ptr<BLSBlobRequestOptions> options;
    if (parallelism != 3) {  // 3 is the default: leave the options alone then
        options = std::make_shared<BLSBlobRequestOptions>();
        options->setParallelismFactor(parallelism);
    }
    runTransfers(state, "client upload, parallelism " + std::to_string(parallelism), RUSAGE_SELF, [&] {
        std::promise<ErrorOut> done;
        blob->uploadFromFileWithPath(gSetup->uploadFile, nullptr, options, nullptr,
                                     [&](const ErrorOut& error) { done.set_value(error); });
        const ErrorOut error = done.get_future().get();
        if (error) die("upload failed: " + error->localizedDescription());
    });
    std::promise<ErrorOut> attributes;
    blob->downloadAttributesWithCompletionHandler([&](const ErrorOut& error) { attributes.set_value(error); });
    const ErrorOut error = attributes.get_future().get();
    if (error || blob->properties().length != std::int64_t(kBlobSize)) die("uploaded blob has the wrong length");
}

void BM_CurlUpload(benchmark::State& state) {
    const std::string url = gSetup->server.baseUrl() + "/" + kContainer + "/upload-curl" + gSetup->containerSas;
    runTransfers(state, "curl upload", RUSAGE_CHILDREN, [&] {
        const int status = runCurl({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-T",
                                    gSetup->uploadFile.string(), "-H", "x-bs-blob-type: BlockBlob", "-H",
                                    "x-bs-version: 2016-03-14", url});
        if (status != 201) die("curl upload answered " + std::to_string(status));
    });
}

// The CPU column of the client rows is the whole process's (all client
// threads); curl's CPU is only in the CPU_ms_per_MiB counter. The closing
// ratios pool repetitions (--benchmark_repetitions, best with
// --benchmark_enable_random_interleaving on a busy machine).
BENCHMARK(BM_CurlDownload)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientDownloadToStream)
    ->Iterations(kIterations)
    ->UseManualTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientDownloadToData)
    ->Iterations(kIterations)
    ->UseManualTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlUpload)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientUploadFromFile)
    ->ArgName("parallelism")
    ->Arg(3)
    ->Arg(1)
    ->Iterations(kIterations)
    ->UseManualTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void setUp(Setup& setup) {
    setup.server.start();
    const auto bytes = pseudoRandomBytes(kBlobSize);
    setup.server.preloadBlob(kContainer, kDownloadBlob, bytes);

    setup.uploadFile = setup.folder.path() / "upload-256.bin";
    {
        std::ofstream file(setup.uploadFile, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file) die("cannot write " + setup.uploadFile.string());
    }

    ErrorOut error;
    auto account = BLSCloudStorageAccount::accountFromConnectionString(setup.server.connectionString(), error);
    if (!account) die("account: " + (error ? error->localizedDescription() : std::string("?")));
    setup.client = account->getBlobClient();
    setup.container = setup.client->containerReferenceFromName(kContainer);

    // Read (1) and write (8) on the whole container, for an hour.
    BLSSharedAccessBlobParameters parameters;
    parameters.permissions = 1 | 8;
    parameters.sharedAccessExpiryTime = std::chrono::system_clock::now() + std::chrono::hours(1);
    auto sas = setup.container->createSharedAccessSignatureWithParameters(parameters, error);
    if (!sas) die("SAS: " + (error ? error->localizedDescription() : std::string("?")));
    setup.containerSas = *sas;
}

void printRatios() {
    const auto& totals = wallTotals();
    auto ratio = [&](const char* client, const char* curl) {
        const auto a = totals.find(client);
        const auto b = totals.find(curl);
        if (a == totals.end() || b == totals.end()) return;
        std::printf("%-30s %7.0f ms vs curl %7.0f ms: %.2fx (target 1.5x)\n", client, a->second.mean() * 1000,
                    b->second.mean() * 1000, a->second.mean() / b->second.mean());
    };
    std::printf("\n");
    ratio("client download to stream", "curl download");
    ratio("client download to data", "curl download");
    ratio("client upload, parallelism 3", "curl upload");
    ratio("client upload, parallelism 1", "curl upload");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The server dies with the thread that started it: start it here, on
    // the thread that runs the benchmarks.
    Setup setup;
    try {
        setUp(setup);
    } catch (const std::exception& e) {
        die(e.what());
    }
    gSetup = &setup;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    gSetup = nullptr;
    return 0;
}
