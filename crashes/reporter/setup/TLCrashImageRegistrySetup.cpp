#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"

#include "crashes/reporter/setup/TLCrashImageSetup.h"
#include "crashes/reporter/setup/TLCrashSharedListWriters.h"
#include "crashes/reporter/setup/TLCrashLog.h"

#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct LoadedImage {
    uint64_t headerAddress;
    std::string path;
};

// The path of the running program; empty when it cannot be read.
std::string mainProgramPath() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
    path.resize(static_cast<size_t>(length));
    return path;
}

// Every object the loader has mapped, in its order; the header is where the
// segment that starts at file offset 0 was loaded.
std::vector<LoadedImage> loadedImages() {
    std::vector<LoadedImage> images;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* context) {
            auto& found = *static_cast<std::vector<LoadedImage>*>(context);
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& phdr = info->dlpi_phdr[i];
                if (phdr.p_type != PT_LOAD || phdr.p_offset != 0) continue;
                const char* name = info->dlpi_name != nullptr ? info->dlpi_name : "";
                // The loader lists the main program first, without a name.
                std::string path = name[0] == '\0' && found.empty() ? mainProgramPath() : std::string(name);
                found.push_back({info->dlpi_addr + phdr.p_vaddr, std::move(path)});
                break;
            }
            return 0;
        },
        &images);
    return images;
}

}  // namespace

void tlcrash_async_image_registry_init(tlcrash_async_image_registry* registry, tlcrash_task_t task) {
    registry->task = task;
    registry->list = new tlcrash_async_image_list;
}

tlcrash_error_t tlcrash_async_image_registry_add(tlcrash_async_image_registry* registry, uint64_t header_addr,
                                                 const char* path) {
    auto* image = new tlcrash_async_image;
    const tlcrash_error_t error = tlcrash_async_image_init(image, registry->task, path, header_addr);
    if (error != TLCRASH_ERR_NONE) {
        delete image;
        return error;
    }
    registry->list->append(image);
    return TLCRASH_ERR_NONE;
}

void tlcrash_async_image_registry_remove(tlcrash_async_image_registry* registry, uint64_t header_addr) {
    // Counted in, so the node found cannot be freed before it is removed.
    registry->list->set_reading(true);
    const tlcrash_async_image_node* node = nullptr;
    while ((node = registry->list->next(node)) != nullptr) {
        if (node->value->header_addr == header_addr) {
            registry->list->remove_node(const_cast<tlcrash_async_image_node*>(node));
            break;
        }
    }
    registry->list->set_reading(false);
}

void tlcrash_async_image_registry_sync(tlcrash_async_image_registry* registry) {
    const std::vector<LoadedImage> loaded = loadedImages();
    std::vector<LoadedImage> listed;
    registry->list->set_reading(true);
    for (const tlcrash_async_image_node* node = nullptr; (node = registry->list->next(node)) != nullptr;) {
        listed.push_back({node->value->header_addr, node->value->name});
    }
    registry->list->set_reading(false);

    // A library unloaded and another loaded at the same address differ in
    // their path.
    auto same = [](const LoadedImage& a, const LoadedImage& b) {
        return a.headerAddress == b.headerAddress && a.path == b.path;
    };
    for (const LoadedImage& image : listed) {
        auto matches = [&](const LoadedImage& other) { return same(image, other); };
        if (std::none_of(loaded.begin(), loaded.end(), matches)) {
            tlcrash_async_image_registry_remove(registry, image.headerAddress);
        }
    }
    for (const LoadedImage& image : loaded) {
        auto matches = [&](const LoadedImage& other) { return same(image, other); };
        if (std::any_of(listed.begin(), listed.end(), matches)) continue;
        const tlcrash_error_t error =
            tlcrash_async_image_registry_add(registry, image.headerAddress, image.path.c_str());
        if (error != TLCRASH_ERR_NONE) {
            tlcrash_log("image_add_callback: image '%s' at %p cannot be read: %s", image.path.c_str(),
                        reinterpret_cast<void*>(image.headerAddress), tlcrash_async_strerror(error));
        }
    }
}

tlcrash_async_image_registry& tlcrash_async_image_registry_process() {
    static tlcrash_async_image_registry* made = [] {
        auto* registry = new tlcrash_async_image_registry;
        tlcrash_async_image_registry_init(registry, tlcrash_task_self());
        tlcrash_async_image_registry_sync(registry);
        return registry;
    }();
    return *made;
}
