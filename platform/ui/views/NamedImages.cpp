#include "platform/ui/views/NamedImages.h"

#include "platform/foundation/Bundle.h"

#include <map>
#include <mutex>

namespace platform::ui {

namespace {

bool usableName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find_first_of("/\\") == std::string::npos;
}

std::shared_ptr<Image> load(const std::filesystem::path& folder, const std::string& name) {
    struct Variant {
        const char* suffix;
        double scale;
    };
    constexpr Variant variants[] = {{"@2x.png", 2}, {"@3x.png", 3}, {".png", 1}, {".jpg", 1}};
    for (const Variant& v : variants) {
        const auto path = folder / (name + v.suffix);
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) continue;
        return Image::fromFile(path, v.scale);
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<Image> imageNamed(const std::string& name) {
    Bundle* bundle = Bundle::main();
    return bundle != nullptr ? imageNamed(name, *bundle) : nullptr;
}

std::shared_ptr<Image> imageNamed(const std::string& name, const Bundle& bundle) {
    if (!usableName(name)) return nullptr;
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::shared_ptr<Image>> kept;
    const auto folder = bundle.resourcesPath() / "images";
    const auto key = folder / name;
    std::lock_guard lock(mutex);
    if (const auto found = kept.find(key); found != kept.end()) return found->second;
    auto image = load(folder, name);
    // A missing image is looked for again next time: it may be installed later.
    if (image != nullptr) kept.emplace(key, image);
    return image;
}

}  // namespace platform::ui
