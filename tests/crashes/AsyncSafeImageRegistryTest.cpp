// The registry of loaded images against what the loader and readelf say of
// this test program, the C library and a library loaded for the test.

#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
    return output;
}

// The first 16 bytes of the build id that `readelf -n` shows, zero-padded.
std::vector<uint8_t> readelfBuildId(const std::string& path) {
    const std::string notes = run(std::string(VEKMONT_READELF) + " -n '" + path + "'");
    const size_t at = notes.find("Build ID: ");
    if (at == std::string::npos) return {};
    std::istringstream hex(notes.substr(at + 10));
    std::string digits;
    hex >> digits;
    std::vector<uint8_t> id(16, 0);
    for (size_t i = 0; i < 16 && 2 * i + 1 < digits.size(); ++i) {
        id[i] = static_cast<uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    }
    return id;
}

// The link address of .eh_frame as `readelf -S` shows it; 0 when absent.
uint64_t readelfEhFrame(const std::string& path) {
    std::istringstream sections(run(std::string(VEKMONT_READELF) + " -SW '" + path + "'"));
    for (std::string line; std::getline(sections, line);) {
        std::istringstream words(line.substr(line.find(']') + 1));
        std::string name, type, address;
        words >> name >> type >> address;
        if (name == ".eh_frame") return std::stoull(address, nullptr, 16);
    }
    return 0;
}

// The end of the last executable segment and the link address of the one
// at file offset 0, as `readelf -l` shows them.
std::pair<uint64_t, uint64_t> readelfTextRange(const std::string& path) {
    std::istringstream headers(run(std::string(VEKMONT_READELF) + " -lW '" + path + "'"));
    uint64_t headerLink = 0, end = 0;
    for (std::string line; std::getline(headers, line);) {
        std::istringstream words(line);
        std::string type, offset, vaddr, paddr, filesz, memsz;
        words >> type >> offset >> vaddr >> paddr >> filesz >> memsz;
        if (type != "LOAD") continue;
        if (std::stoull(offset, nullptr, 16) == 0) headerLink = std::stoull(vaddr, nullptr, 16);
        if (line.find(" E ") != std::string::npos || line.find("RWE") != std::string::npos) {
            end = std::max<uint64_t>(end, std::stoull(vaddr, nullptr, 16) + std::stoull(memsz, nullptr, 16));
        }
    }
    return {headerLink, end};
}

std::string executablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::multiset<uint64_t> loaderHeaders() {
    std::multiset<uint64_t> headers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* context) {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_offset == 0) {
                    static_cast<std::multiset<uint64_t>*>(context)->insert(info->dlpi_addr +
                                                                           info->dlpi_phdr[i].p_vaddr);
                    break;
                }
            }
            return 0;
        },
        &headers);
    return headers;
}

std::multiset<uint64_t> registryHeaders(tlcrash_async_image_registry* registry) {
    std::multiset<uint64_t> headers;
    tlcrash_async_image_registry_set_reading(registry, true);
    for (const tlcrash_async_image_node* node = nullptr;
         (node = tlcrash_async_image_registry_next(registry, node)) != nullptr;) {
        headers.insert(node->value->header_addr);
    }
    tlcrash_async_image_registry_set_reading(registry, false);
    return headers;
}

std::vector<uint8_t> uuidOf(const tlcrash_async_image* image) {
    return image->has_uuid ? std::vector<uint8_t>(image->uuid, image->uuid + 16) : std::vector<uint8_t>();
}

int functionInTheProgram(int value) { return value + 1; }

}  // namespace

TEST(AsyncSafeImageRegistry, ListsTheProgramAndTheCLibraryAsTheirFilesDescribeThem) {
    tlcrash_async_image_registry registry;
    tlcrash_async_image_registry_init(&registry, tlcrash_task_self());
    tlcrash_async_image_registry_sync(&registry);
    EXPECT_EQ(registryHeaders(&registry), loaderHeaders());
    // A second sync adds nothing.
    tlcrash_async_image_registry_sync(&registry);
    EXPECT_EQ(registryHeaders(&registry), loaderHeaders());

    tlcrash_async_image_registry_set_reading(&registry, true);
    const tlcrash_async_image* program = tlcrash_async_image_registry_image_containing_address(
        &registry, reinterpret_cast<uint64_t>(&functionInTheProgram));
    ASSERT_NE(program, nullptr);
    const std::string path = executablePath();
    EXPECT_EQ(program->name, path);
    const std::vector<uint8_t> programId = readelfBuildId(path);
    ASSERT_FALSE(programId.empty()) << "the test program carries no build id";
    EXPECT_EQ(uuidOf(program), programId);
    const auto [headerLink, textEnd] = readelfTextRange(path);
    EXPECT_EQ(program->header_addr - program->vmaddr_slide, headerLink);
    EXPECT_EQ(program->text_size, textEnd - headerLink);
    EXPECT_EQ(program->eh_frame_addr - program->vmaddr_slide, readelfEhFrame(path));

    Dl_info libc{};
    void* getpidAddress = dlsym(RTLD_DEFAULT, "getpid");
    ASSERT_NE(dladdr(getpidAddress, &libc), 0);
    const tlcrash_async_image* library =
        tlcrash_async_image_registry_image_containing_address(&registry, reinterpret_cast<uint64_t>(getpidAddress));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->header_addr, reinterpret_cast<uint64_t>(libc.dli_fbase));
    EXPECT_STREQ(library->name, libc.dli_fname);
    const std::vector<uint8_t> libcId = readelfBuildId(libc.dli_fname);
    ASSERT_FALSE(libcId.empty()) << "the C library carries no build id";
    EXPECT_EQ(uuidOf(library), libcId);
    EXPECT_EQ(library->eh_frame_addr - library->vmaddr_slide, readelfEhFrame(libc.dli_fname));
    tlcrash_async_image_registry_set_reading(&registry, false);
}

TEST(AsyncSafeImageRegistry, FollowsALibraryLoadedAndUnloadedBetweenSyncs) {
    tlcrash_async_image_registry registry;
    tlcrash_async_image_registry_init(&registry, tlcrash_task_self());
    tlcrash_async_image_registry_sync(&registry);
    const size_t before = registryHeaders(&registry).size();

    void* handle = dlopen(VEKMONT_CRASHES_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto function = reinterpret_cast<uint64_t>(dlsym(handle, "vekmont_crashes_test_image_function"));
    ASSERT_NE(function, 0u);
    tlcrash_async_image_registry_sync(&registry);
    EXPECT_EQ(registryHeaders(&registry).size(), before + 1);
    tlcrash_async_image_registry_set_reading(&registry, true);
    const tlcrash_async_image* loaded = tlcrash_async_image_registry_image_containing_address(&registry, function);
    ASSERT_NE(loaded, nullptr);
    EXPECT_STREQ(loaded->name, VEKMONT_CRASHES_TEST_IMAGE);
    EXPECT_EQ(uuidOf(loaded), readelfBuildId(VEKMONT_CRASHES_TEST_IMAGE));
    tlcrash_async_image_registry_set_reading(&registry, false);

    ASSERT_EQ(dlclose(handle), 0);
    tlcrash_async_image_registry_sync(&registry);
    EXPECT_EQ(registryHeaders(&registry), loaderHeaders());
    tlcrash_async_image_registry_set_reading(&registry, true);
    EXPECT_EQ(tlcrash_async_image_registry_image_containing_address(&registry, function), nullptr);
    tlcrash_async_image_registry_set_reading(&registry, false);
}
