// Writes the seed corpus of the telemetry archive's fuzz target: archives of
// every value kind and of the records the client keeps, made by our own
// archiver.
//
//   tlm_archive_seeds <folder>

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, TLMArchiveValue>> seeds() {
    using Value = TLMArchiveValue;
    TLMArchiveValue::Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) uuid.bytes[i] = static_cast<std::uint8_t>(i * 17);
    const Value::Date date = Value::Date(std::chrono::milliseconds(1'700'000'000'123));
    return {
        {"kinds", Value::Array{Value(), true, false, std::int64_t{-2}, 0.5, "text", Value::Data{0x1F, 0x8B}, date, uuid,
                               Value::Array{}, Value::Dictionary{}}},
        {"dictionary", Value::Dictionary{{"properties", Value::Dictionary{{"URL", "https://layouts.example/a"}}},
                                         {"services", Value::Array{"Analytics", "Crashes"}}}},
        {"nested", Value::Array{Value::Array{Value::Array{Value::Dictionary{{"deep", Value::Array{1, 2}}}}}}},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tlm_archive_seeds <folder>\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    for (const auto& [name, value] : seeds()) {
        std::string error;
        const auto bytes = TLMKeyedArchiver::archivedData(value, &error);
        if (!bytes) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        std::ofstream out(folder / (name + ".tlma"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
