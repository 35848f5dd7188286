// layoutgen: writes layout data for tests, fuzzing and benchmarks.
//
//   layoutgen corpus <folder>
//       one element record per sample element and corpus version, as
//       <name>-v<version>.bin (the fuzz seed corpus)
//   layoutgen records <file> [--count N] [--seed S] [--version V]
//       N random element records back to back (default 100000, seed 1,
//       version 13)

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/services/Logger.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

int Usage(FILE* out, int code) {
    std::fprintf(out,
                 "usage: layoutgen corpus <folder>\n"
                 "       layoutgen records <file> [--count N] [--seed S] [--version V]\n");
    return code;
}

bool ParseUnsigned(const char* text, std::uint64_t& value) {
    if (text == nullptr || *text == '\0' || *text == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = parsed;
    return true;
}

int Corpus(int argc, char** argv) {
    if (argc != 3) return Usage(stderr, 2);
    std::string error;
    const int written = ULayoutGen::WriteSeedCorpus(argv[2], error);
    if (written < 0) {
        std::fprintf(stderr, "layoutgen: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %d element records to %s\n", written, argv[2]);
    return 0;
}

int Records(int argc, char** argv) {
    if (argc < 3) return Usage(stderr, 2);
    std::uint64_t count = 100000;
    std::uint64_t seed = 1;
    std::uint64_t version = CCompositeGeometry::kNewestRecordVersion;
    for (int i = 3; i < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::uint64_t* target = option == "--count"   ? &count
                                : option == "--seed"  ? &seed
                                : option == "--version" ? &version
                                                        : nullptr;
        if (target == nullptr || !ParseUnsigned(value, *target)) {
            std::fprintf(stderr, "layoutgen: bad option %s %s\n", option.c_str(), value ? value : "");
            return Usage(stderr, 2);
        }
    }
    if (version < CCompositeGeometry::kOldestRecordVersion ||
        version > CCompositeGeometry::kNewestRecordVersion) {
        std::fprintf(stderr, "layoutgen: record versions are %d to %d\n",
                     CCompositeGeometry::kOldestRecordVersion, CCompositeGeometry::kNewestRecordVersion);
        return 2;
    }
    FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "layoutgen: cannot write %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    const bool written = ULayoutGen::WriteRandomElementRecords(file, count, seed, static_cast<int>(version));
    const long size = std::ftell(file);
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "layoutgen: failed to write %s\n", argv[2]);
        return 1;
    }
    std::printf("wrote %llu element records (%ld bytes, version %d, seed %llu) to %s\n",
                static_cast<unsigned long long>(count), size, static_cast<int>(version),
                static_cast<unsigned long long>(seed), argv[2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage(stderr, 2);
    // No engine services run here (texts are not measured); their warnings
    // would only bury the program's own messages.
    CLogger::Instance().SetLevel(4);
    const std::string command = argv[1];
    if (command == "corpus") return Corpus(argc, argv);
    if (command == "records") return Records(argc, argv);
    if (command == "help" || command == "--help" || command == "-h") return Usage(stdout, 0);
    std::fprintf(stderr, "layoutgen: unknown command %s\n", command.c_str());
    return Usage(stderr, 2);
}
