// A bundle's info values from untrusted bytes (a damaged Info.json): the
// bundle answers for the keys the app asks for and for every key the file
// holds, as the file says when it is a JSON object and with nothing
// otherwise.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::Value;

namespace {

const std::filesystem::path& Resources() {
    static const std::filesystem::path resources = [] {
        const std::filesystem::path path = fuzzsupport::TemporaryRoot() / "resources";
        std::filesystem::create_directories(path);
        return path;
    }();
    return resources;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzsupport::WriteFile(Resources() / "Info.json", data, size)) return 0;
    const platform::Bundle bundle(Resources());
    const auto parsed = Value::fromJson(fuzzsupport::Text(data, size));
    const Value::Dictionary* info = parsed ? parsed->asDictionary() : nullptr;

    for (const char* key : {"CFBundleName", "CFBundleIdentifier", "CFBundleVersion", "CFBundleShortVersionString"}) {
        const auto value = bundle.infoValue(key);
        const Value* expected = parsed ? parsed->find(key) : nullptr;
        Require(value.has_value() == (expected != nullptr), "a key is there when the file has it");
        if (value) Require(*value == *expected, "a value reads as the file has it");
    }
    if (info != nullptr) {
        for (const auto& [key, expected] : *info) {
            const auto value = bundle.infoValue(key);
            Require(value.has_value() && *value == expected, "every key of the file reads");
        }
    }
    return 0;
}
