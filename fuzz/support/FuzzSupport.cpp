#include "fuzz/support/FuzzSupport.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "platform/foundation/TemporaryFolder.h"

namespace fuzzsupport {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "vekmont-fuzz-";

// Folders "vekmont-fuzz-<pid>-..." whose process has gone.
void RemoveAbandonedRoots(const fs::path& parent) {
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) continue;
        char* rest = nullptr;
        const long pid = std::strtol(name.c_str() + std::char_traits<char>::length(kPrefix), &rest, 10);
        if (pid <= 0 || rest == nullptr || *rest != '-' || pid == getpid()) continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

}  // namespace

const fs::path& TemporaryRoot() {
    // Made before any object that keeps a path into it, so it is removed
    // after them at exit.
    static const platform::TemporaryFolder root = [] {
        const fs::path parent = platform::temporaryDirectory();
        RemoveAbandonedRoots(parent);
        return platform::TemporaryFolder(kPrefix + std::to_string(getpid()), parent);
    }();
    return root.path();
}

bool WriteFile(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

bool SameValue(const platform::Value& a, const platform::Value& b) {
    if (a.type() != b.type()) return false;
    if (const double* x = a.asReal()) {
        const double y = *b.asReal();
        return (std::isnan(*x) && std::isnan(y)) || *x == y;
    }
    if (const auto* items = a.asArray()) {
        const auto& others = *b.asArray();
        if (items->size() != others.size()) return false;
        for (std::size_t i = 0; i < items->size(); ++i) {
            if (!SameValue((*items)[i], others[i])) return false;
        }
        return true;
    }
    if (const auto* members = a.asDictionary()) {
        const auto& others = *b.asDictionary();
        if (members->size() != others.size()) return false;
        for (auto it = members->begin(), other = others.begin(); it != members->end(); ++it, ++other) {
            if (it->first != other->first || !SameValue(it->second, other->second)) return false;
        }
        return true;
    }
    return a == b;
}

bool SameQueryPairs(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    auto keyed = [](std::map<std::string, std::string> pairs) {
        pairs.erase(std::string());
        return pairs;
    };
    return a.contains(std::string()) == b.contains(std::string()) && keyed(a) == keyed(b);
}

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz target expectation failed: %s\n", what);
    std::abort();
}

}  // namespace fuzzsupport
