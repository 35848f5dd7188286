// Blob transfer speed against the local blob test server: the client's
// download (into a discarding stream and into memory) and its file upload
// (Put Block per 4 MiB, then Put Block List), each beside the curl command
// line doing the same transfer in the same run (as one request, and for the
// upload also as the client's 65 requests on one connection, which shows
// what the server's work per request costs). Wall time is measured by
// hand; CPU is the process's own (user + system, all client threads) for
// the client and RUSAGE_CHILDREN for curl. The server's CPU is in neither.

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "platform/security/Crypto.h"
#include "platform/foundation/TemporaryFolder.h"
#include "storage/BLSCloudBlob.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "bench/TransferBench.h"
#include "tests/storage/support/StorageTestServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

using namespace transferbench;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kBlobSize = 256 * kMiB;
constexpr std::size_t kBlockSize = 4 * kMiB;
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
    // curl's config for the client's requests of a file upload: Put Block
    // of each 4 MiB piece of the file, then Put Block List.
    std::filesystem::path blockUploadConfig;
};

Setup* gSetup = nullptr;

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
    wallMeans()[label].push_back(totalWall / double(state.iterations()));
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
        const int status =
            runCurl({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-H", "x-bs-version: 2016-03-14", url});
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
        const int status =
            runCurl({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-T", gSetup->uploadFile.string(), "-H",
                     "x-bs-blob-type: BlockBlob", "-H", "x-bs-version: 2016-03-14", url});
        if (status != 201) die("curl upload answered " + std::to_string(status));
    });
}

// The same requests as the client's file upload (64 Put Block of 4 MiB one
// after another, then Put Block List), made by one curl process on one
// connection: what the server's work per request costs the client's road.
void BM_CurlUploadBlocks(benchmark::State& state) {
    runTransfers(state, "curl upload in blocks", RUSAGE_CHILDREN, [&] {
        const std::string statuses = runCurlOutput({"curl", "-K", gSetup->blockUploadConfig.string()});
        std::string expected;
        for (std::size_t i = 0; i <= kBlobSize / kBlockSize; ++i) expected += "201 ";
        if (statuses != expected) die("curl block upload answered " + statuses);
    });
}

// The CPU column of the client rows is the whole process's (all client
// threads); curl's CPU is only in the CPU_ms_per_MiB counter. The closing
// ratios compare the medians over repetitions (--benchmark_repetitions=5,
// best with --benchmark_enable_random_interleaving on a busy machine).
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
BENCHMARK(BM_CurlUploadBlocks)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
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

    // The block files and curl's config for BM_CurlUploadBlocks.
    const std::string blobUrl = setup.server.baseUrl() + "/" + kContainer + "/upload-curl-blocks";
    const std::string query = "&" + setup.containerSas.substr(1);
    std::ofstream config(setup.folder.path() / "blocks.curl");
    // Each request of the config ("next" starts one) takes its own options.
    const std::string common =
        "silent\noutput = \"/dev/null\"\nwrite-out = \"%{http_code} \"\nheader = \"x-bs-version: 2016-03-14\"\n";
    std::string list = "<?xml version=\"1.0\" encoding=\"utf-8\"?><BlockList>";
    for (std::size_t offset = 0, index = 0; offset < kBlobSize; offset += kBlockSize, ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "block-%05zu", index);
        const std::string id = platform::security::base64Encode(platform::security::bytesOf(name));
        const auto piece = setup.folder.path() / (std::string(name) + ".bin");
        std::ofstream(piece, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data() + offset), static_cast<std::streamsize>(kBlockSize));
        std::string encoded;
        for (char c : id)
            encoded += c == '='   ? std::string("%3D")
                       : c == '+' ? std::string("%2B")
                       : c == '/' ? std::string("%2F")
                                  : std::string(1, c);
        config << (index == 0 ? "" : "next\n") << "url = \"" << blobUrl << "?comp=block&blockid=" << encoded << query
               << "\"\nupload-file = \"" << piece.string() << "\"\n"
               << common;
        list += "<Latest>" + id + "</Latest>";
    }
    list += "</BlockList>";
    std::ofstream(setup.folder.path() / "blocklist.xml", std::ios::binary) << list;
    config << "next\nurl = \"" << blobUrl << "?comp=blocklist" << query << "\"\nupload-file = \""
           << (setup.folder.path() / "blocklist.xml").string() << "\"\n"
           << common;
    setup.blockUploadConfig = setup.folder.path() / "blocks.curl";
    if (!config) die("cannot write the block upload config");
}

void printRatios() {
    std::printf("\nload average at the end: %s", loadAverage().c_str());
    std::printf("target: 1.3x curl (the same transfer as one request)\n");
    printRatio("client download to stream", "curl download");
    printRatio("client download to data", "curl download");
    printRatio("client upload, parallelism 3", "curl upload");
    printRatio("client upload, parallelism 1", "curl upload");
    printRatio("client upload, parallelism 1", "curl upload in blocks");
}

}  // namespace

int main(int argc, char** argv) {
    setProgramName("bench_storage");
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
