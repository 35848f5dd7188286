// Blob transfer speed against the local blob test server: the client's
// download (into a discarding stream and into memory) and its file upload
// (Put Block per 4 MiB, then Put Block List), each beside the curl command
// line doing the same transfer in the same run (as one request, and for the
// upload also as the client's 65 requests on one connection, which shows
// what the server's work per request costs). Also 64 downloads of 1 MiB at
// once through URLSession itself, beside `curl --parallel` fetching the same
// URLs, from a plain loopback server in a child process. Wall time is
// measured by hand; CPU is the process's own (user + system, all client
// threads) for the client and RUSAGE_CHILDREN for curl. The servers' CPU is
// in neither.

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/net/URLSession.h"
#include "platform/security/Crypto.h"
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
#include <span>
#include <stdexcept>
#include <string>
#include <arpa/inet.h>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace transferbench;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kBlobSize = 256 * kMiB;
constexpr std::size_t kBlockSize = 4 * kMiB;
constexpr int kIterations = 3;
constexpr std::size_t kParallelDownloads = 64;
constexpr std::size_t kParallelSize = kMiB;
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
    // The loopback server of the parallel downloads, its URLs and curl's
    // config for fetching them all at once.
    int parallelPort = 0;
    std::vector<std::string> parallelUrls;
    std::filesystem::path parallelConfig;
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

void report(benchmark::State& state, double totalCpu, double totalWall, std::size_t bytes) {
    const double transfers = double(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["CPU_ms_per_MiB"] = totalCpu * 1000.0 / (transfers * double(bytes) / double(kMiB));
    state.counters["MB_per_s"] = double(bytes) / 1e6 * transfers / totalWall;
}

// Runs `transfer` (moving `bytes`) once per iteration, timing it by hand,
// and `cleanup`, if any, after each, untimed; `cpuWho` picks the process
// whose CPU counts; `label` keys the mean for the closing ratios.
void runTransfers(benchmark::State& state, const std::string& label, int cpuWho, const std::function<void()>& transfer,
                  std::size_t bytes = kBlobSize, const std::function<void()>& cleanup = {}) {
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
        if (cleanup) {
            state.PauseTiming();
            cleanup();
            state.ResumeTiming();
        }
    }
    report(state, totalCpu, totalWall, bytes);
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

// curl writing the blob into a file in memory (tmpfs): the same making of
// fresh pages as the client's download into memory, which /dev/null spares
// curl. A reference, not the target's baseline.
void BM_CurlDownloadToMemory(benchmark::State& state) {
    const std::string url = gSetup->server.baseUrl() + "/" + kContainer + "/" + kDownloadBlob + gSetup->containerSas;
    const std::string file = "/dev/shm/vekmont-bench-" + std::to_string(::getpid());
    runTransfers(
        state, "curl download into tmpfs", RUSAGE_CHILDREN,
        [&] {
            const int status =
                runCurl({"curl", "-s", "-o", file, "-w", "%{http_code}", "-H", "x-bs-version: 2016-03-14", url});
            if (status != 200) die("curl download answered " + std::to_string(status));
        },
        kBlobSize, [&] { std::filesystem::remove(file); });
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

// Parallel downloads -----------------------------------------------------------

// Serves the parallel downloads: every GET is answered with the same
// kParallelSize bytes, on kept connections, a thread per connection. Runs
// in a child process forked before any other thread exists, so that its CPU
// stays out of the client's figures; returns the child and its port.
std::pair<pid_t, int> forkParallelDownloadServer() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 256) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        die("cannot start the loopback server");
    }
    const pid_t pid = ::fork();
    if (pid < 0) die("fork failed");
    if (pid > 0) {
        ::close(listener);
        return {pid, ntohs(address.sin_port)};
    }
    static const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kParallelSize) + "\r\n\r\n";
    static const std::vector<char> body(kParallelSize, 'v');
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread([fd] {
            std::string pending;
            char buffer[4096];
            const auto sendAll = [fd](const char* data, std::size_t size) {
                while (size > 0) {
                    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
                    if (n <= 0) return false;
                    data += n;
                    size -= static_cast<std::size_t>(n);
                }
                return true;
            };
            for (;;) {
                const std::size_t end = pending.find("\r\n\r\n");
                if (end != std::string::npos) {
                    pending.erase(0, end + 4);
                    if (!sendAll(head.data(), head.size()) || !sendAll(body.data(), body.size())) break;
                    continue;
                }
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                pending.append(buffer, static_cast<std::size_t>(n));
            }
            ::close(fd);
        }).detach();
    }
}

// Counts the body bytes and the ends of a session's tasks.
class CountingDelegate final : public platform::net::URLSessionDataDelegate {
public:
    void didReceiveData(platform::net::URLSession&, platform::net::URLSessionTask&,
                        std::span<const std::uint8_t> data) override {
        std::lock_guard lock(mMutex);
        mBytes += data.size();
    }
    void didCompleteWithError(platform::net::URLSession&, platform::net::URLSessionTask&,
                              const std::optional<platform::Error>& error) override {
        std::lock_guard lock(mMutex);
        ++mCompleted;
        if (error) mFailure = error->localizedDescription();
        mChanged.notify_all();
    }
    // Waits for `count` completions; the bytes received meanwhile, or an error.
    std::size_t waitAndReset(std::size_t count) {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [&] { return mCompleted >= count; });
        if (!mFailure.empty()) die("parallel download failed: " + mFailure);
        mCompleted = 0;
        return std::exchange(mBytes, 0);
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::size_t mBytes = 0;
    std::size_t mCompleted = 0;
    std::string mFailure;
};

// One session for every round, as a cache client keeps one: its connections
// stay open from round to round, while each curl process starts afresh.
void BM_ClientParallelDownloads(benchmark::State& state) {
    auto delegate = std::make_shared<CountingDelegate>();
    auto session = platform::net::URLSession::sessionWithConfiguration(
        platform::net::URLSessionConfiguration::ephemeralSessionConfiguration(), delegate, nullptr);
    std::vector<platform::net::URLRequest> requests;
    for (const auto& url : gSetup->parallelUrls) requests.emplace_back(platform::net::URL::parse(url).value());
    runTransfers(
        state, "client 64 parallel downloads", RUSAGE_SELF,
        [&] {
            for (const auto& request : requests) session->dataTaskWithRequest(request)->resume();
            const std::size_t bytes = delegate->waitAndReset(requests.size());
            if (bytes != kParallelDownloads * kParallelSize) die("parallel downloads gave " + std::to_string(bytes));
        },
        kParallelDownloads * kParallelSize);
    session->finishTasksAndInvalidate();
}

void BM_CurlParallelDownloads(benchmark::State& state) {
    std::string expected;
    for (std::size_t i = 0; i < kParallelDownloads; ++i) expected += "200 ";
    runTransfers(
        state, "curl --parallel", RUSAGE_CHILDREN,
        [&] {
            const std::string statuses = runCurlOutput({"curl", "-K", gSetup->parallelConfig.string()});
            if (statuses != expected) die("curl --parallel answered " + statuses);
        },
        kParallelDownloads * kParallelSize);
}

// The CPU column of the client rows is the whole process's (all client
// threads); curl's CPU is only in the CPU_ms_per_MiB counter. The closing
// ratios compare the medians over repetitions (--benchmark_repetitions=5,
// best with --benchmark_enable_random_interleaving on a busy machine).
BENCHMARK(BM_CurlDownload)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlDownloadToMemory)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
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
BENCHMARK(BM_CurlParallelDownloads)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientParallelDownloads)
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

    // The parallel downloads: 64 URLs of the loopback server, all at once.
    setup.parallelConfig = setup.folder.path() / "parallel.curl";
    std::ofstream parallel(setup.parallelConfig);
    parallel << "parallel\nparallel-max = " << kParallelDownloads << "\nsilent\n";
    for (std::size_t i = 0; i < kParallelDownloads; ++i) {
        setup.parallelUrls.push_back("http://127.0.0.1:" + std::to_string(setup.parallelPort) + "/p/" +
                                     std::to_string(i));
        parallel << "url = \"" << setup.parallelUrls.back()
                 << "\"\noutput = \"/dev/null\"\nwrite-out = \"%{http_code} \"\n";
    }
    if (!parallel) die("cannot write the parallel download config");
}

void printRatios() {
    std::printf("\nload average at the end: %s", loadAverage().c_str());
    std::printf("target: 1.3x curl (the same transfer as one request)\n");
    printRatio("client download to stream", "curl download");
    printRatio("client download to data", "curl download");
    printRatio("client download to data", "curl download into tmpfs");
    printRatio("client upload, parallelism 3", "curl upload");
    printRatio("client upload, parallelism 1", "curl upload");
    printRatio("client upload, parallelism 1", "curl upload in blocks");
    printRatio("client 64 parallel downloads", "curl --parallel");
}

}  // namespace

int main(int argc, char** argv) {
    setProgramName("bench_storage");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Before any thread exists: the child process has only the one.
    const auto [parallelServer, parallelPort] = forkParallelDownloadServer();
    // The server dies with the thread that started it: start it here, on
    // the thread that runs the benchmarks.
    Setup setup;
    setup.parallelPort = parallelPort;
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
    ::kill(parallelServer, SIGTERM);
    ::waitpid(parallelServer, nullptr, 0);
    return 0;
}
