// layoutgen: writes layout data for tests, fuzzing and benchmarks. See
// README.md beside this file for the scenario format.
//
//   layoutgen layout <out.wkst> (--scenario <file> | --elements N) [--seed S] [--version V]
//   layoutgen library <out.rset> (--scenario <file> | --elements N) [--seed S] [--version V]
//   layoutgen corpus <folder>
//   layoutgen records <file> [--count N] [--seed S] [--version V]
//
// The exit status is one of tools/common/ExitCodes.h.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "engine/services/Logger.h"
#include "engine/model/MeasureUnits.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"
#include "tools/layoutgen/Scenario.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMessages.h"

namespace {

void Synopsis(FILE* out) {
    std::fprintf(out,
                 "usage: layoutgen layout <out.wkst> (--scenario <file> | --elements N) [--seed S] [--version V]\n"
                 "       layoutgen library <out.rset> (--scenario <file> | --elements N) [--seed S] [--version V]\n"
                 "       layoutgen corpus <folder>\n"
                 "       layoutgen records <file> [--count N] [--seed S] [--version V]\n");
}

// A wrong command line: the synopsis on standard error.
int UsageError() {
    Synopsis(stderr);
    std::fprintf(stderr, "(layoutgen --help tells more)\n");
    return kExitUsage;
}

int Help() {
    Synopsis(stdout);
    std::printf(
        "Writes layout data for tests, fuzzing and benchmarks with the engine's own record writers:\n"
        "  layout    a layout file (\"WkSt\"), from a scenario or N generated elements\n"
        "  library   a track library (\"RSet\"), from a scenario or N generated elements\n"
        "  corpus    the fuzz seed corpora into <folder>/element_record, layout_file and track_library\n"
        "  records   N random element records, one after another\n"
        "A scenario is a text file of one statement per line (tools/layoutgen/README.md); a folder or\n"
        "a scenario without any statement is refused.\n"
        "\n"
        "options:\n"
        "  --scenario FILE  the scenario to write\n"
        "  --elements N     generate N elements laid end to end (layouts up to 10000000, libraries up\n"
        "                   to 1000000)\n"
        "  --count N        the number of records (default 100000)\n"
        "  --seed S         the generator's seed (default 1); the same seed and count give the same file\n"
        "  --version V      the file's version (layouts %d to %d, libraries 2 to 255, records %d to %d)\n"
        "  -h, --help       this text\n"
        "\n",
        CLayout::kOldestFileVersion, CLayout::kNewestFileVersion, CCompositeGeometry::kOldestRecordVersion,
        CCompositeGeometry::kNewestRecordVersion);
    PrintExitCodes(stdout, {kExitOk, kExitUsage, kExitCannotOpen, kExitDamaged, kExitInternal});
    return kExitOk;
}

// Writes `path` through `write`, into a partial file renamed over `path`
// once whole, so a failure leaves whatever stood there before. On failure
// says why and returns kExitCannotOpen.
int WriteFile(const char* path, const std::function<bool(FILE*)>& write) {
    std::error_code ignored;
    const auto existing = std::filesystem::status(path, ignored);
    if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing)) {
        // A device or pipe is never replaced by a file of ours.
        const std::string why = std::filesystem::is_directory(existing) ? UToolMessages::SystemReason(EISDIR)
                                                                        : "it is not an ordinary file";
        std::fprintf(stderr, "layoutgen: cannot write %s: %s\n", path, why.c_str());
        return kExitCannotOpen;
    }
    const std::string partial = std::string(path) + ".partial";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "layoutgen: cannot write %s: %s\n", path, UToolMessages::SystemReason(errno).c_str());
        return kExitCannotOpen;
    }
    errno = 0;
    bool written = write(file);
    int error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(partial.c_str(), path) == 0) return kExitOk;
    if (written) error = errno;
    std::remove(partial.c_str());
    std::fprintf(stderr, "layoutgen: cannot write %s: %s\n", path,
                 error != 0 ? UToolMessages::SystemReason(error).c_str() : "writing failed");
    return kExitCannotOpen;
}

// Reads the scenario; false (with a message and the exit status in `code`)
// when it cannot be read or holds no statement.
bool ReadScenario(const std::string& path, std::string& text, int& code) {
    std::string error;
    if (!ULayoutGen::ReadTextFile(path, text, error)) {
        std::fprintf(stderr, "layoutgen: %s\n", error.c_str());
        code = kExitCannotOpen;
        return false;
    }
    if (ULayoutGen::IsEmptyScenario(text)) {
        std::fprintf(stderr, "layoutgen: %s: the scenario is empty (no statement)\n", path.c_str());
        code = kExitDamaged;
        return false;
    }
    return true;
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

// The options after the output path: numbers by name, and --scenario.
struct tOptions {
    std::map<std::string, std::uint64_t> numbers;
    std::optional<std::string> scenario;
};

bool ParseOptions(int argc, char** argv, std::initializer_list<const char*> numberNames, bool takesScenario,
                  tOptions& options) {
    for (int i = 3; i < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value == nullptr) {
            std::fprintf(stderr, "layoutgen: %s needs a value\n", option.c_str());
            return false;
        }
        if (takesScenario && option == "--scenario") {
            options.scenario = value;
            continue;
        }
        bool known = false;
        for (const char* name : numberNames) {
            if (option == std::string("--") + name) {
                known = true;
                std::uint64_t number = 0;
                if (!ParseUnsigned(value, number)) {
                    std::fprintf(stderr, "layoutgen: bad number %s for %s\n", value, option.c_str());
                    return false;
                }
                options.numbers[name] = number;
            }
        }
        if (!known) {
            std::fprintf(stderr, "layoutgen: unknown option %s\n", option.c_str());
            return false;
        }
    }
    return true;
}

// Exactly one of --scenario and --elements.
bool OneSource(const tOptions& options) {
    if (options.scenario.has_value() == (options.numbers.count("elements") != 0)) {
        std::fprintf(stderr, "layoutgen: give either --scenario <file> or --elements N\n");
        return false;
    }
    return true;
}

int Layout(int argc, char** argv) {
    tOptions options;
    if (argc < 3 || !ParseOptions(argc, argv, {"elements", "seed", "version"}, true, options) || !OneSource(options))
        return UsageError();
    std::optional<int> version;
    if (options.numbers.count("version") != 0) {
        const std::uint64_t v = options.numbers["version"];
        if (v < CLayout::kOldestFileVersion || v > CLayout::kNewestFileVersion) {
            std::fprintf(stderr, "layoutgen: layout file versions are %d to %d\n", CLayout::kOldestFileVersion,
                         CLayout::kNewestFileVersion);
            return UsageError();
        }
        version = static_cast<int>(v);
    }

    ULayoutGen::tLayoutDocument document;
    std::map<std::string, int> kinds;
    if (options.scenario) {
        std::string text;
        std::string error;
        ULayoutGen::tScenarioSummary summary;
        int code = kExitOk;
        if (!ReadScenario(*options.scenario, text, code)) return code;
        if (!ULayoutGen::ParseLayoutScenario(text, document, summary, error)) {
            std::fprintf(stderr, "layoutgen: %s: %s\n", options.scenario->c_str(), error.c_str());
            return kExitDamaged;
        }
        if (version) document.version = document.recordVersion = *version;
        for (const ULayoutGen::tElementKind kind : summary.kinds) ++kinds[ULayoutGen::ElementKindName(kind)];
    } else {
        const std::uint64_t count = options.numbers["elements"];
        if (count > 10000000) {
            std::fprintf(stderr, "layoutgen: at most 10000000 elements\n");
            return UsageError();
        }
        const std::uint64_t seed = options.numbers.count("seed") != 0 ? options.numbers["seed"] : 1;
        ULayoutGen::ComposeLargeLayout(document, count, seed, version.value_or(CLayout::kNewestFileVersion));
    }

    for (const std::string& section : document.SectionsLeftOut())
        std::fprintf(stderr, "layoutgen: version %d has no %s; left out\n", document.version, section.c_str());
    const ULayoutFileWriter::tLayoutFile content = document.FileContent();
    if (const int code =
            WriteFile(argv[2], [&](FILE* file) { return ULayoutFileWriter::WriteLayoutFile(file, content); });
        code != kExitOk)
        return code;
    std::error_code sizeError;
    const auto bytes = std::filesystem::file_size(argv[2], sizeError);
    std::printf("wrote %s: version %d, %zu elements", argv[2], document.version, document.elements.size());
    if (!kinds.empty()) {
        const char* separator = " (";
        for (const auto& [kind, count] : kinds) {
            std::printf("%s%d %s", separator, count, kind.c_str());
            separator = ", ";
        }
        std::printf(")");
    }
    std::printf(", %zu layers, %zu groups, %zu images, %zu baseboards, %llu bytes\n",
                document.layers ? document.layers->GetLayers().size() : 1,
                document.groups.empty() ? 0 : static_cast<std::size_t>(document.groups[0]),
                document.version >= 10 ? document.images.size() : 0,
                document.version >= 11 ? document.baseboards.size() : 0,
                static_cast<unsigned long long>(sizeError ? 0 : bytes));
    return kExitOk;
}

int Library(int argc, char** argv) {
    tOptions options;
    if (argc < 3 || !ParseOptions(argc, argv, {"elements", "seed", "version"}, true, options) || !OneSource(options))
        return UsageError();
    std::optional<int> version;
    if (options.numbers.count("version") != 0) {
        const std::uint64_t v = options.numbers["version"];
        if (v < 2 || v > 255) {
            std::fprintf(stderr, "layoutgen: library versions are 2 to 255\n");
            return UsageError();
        }
        version = static_cast<int>(v);
    }
    ULayoutGen::tLibraryDocument document;
    if (options.scenario) {
        std::string text;
        std::string error;
        int code = kExitOk;
        if (!ReadScenario(*options.scenario, text, code)) return code;
        if (!ULayoutGen::ParseLibraryScenario(text, document, error)) {
            std::fprintf(stderr, "layoutgen: %s: %s\n", options.scenario->c_str(), error.c_str());
            return kExitDamaged;
        }
        if (version) document.header.version = *version;
    } else {
        const std::uint64_t count = options.numbers["elements"];
        if (count > 1000000) {
            std::fprintf(stderr, "layoutgen: at most 1000000 library elements\n");
            return UsageError();
        }
        const std::uint64_t seed = options.numbers.count("seed") != 0 ? options.numbers["seed"] : 1;
        ULayoutGen::ComposeLargeLibrary(document, count, seed, version.value_or(3));
    }
    const ULayoutFileWriter::tTrackLibraryFile content = document.FileContent();
    if (const int code =
            WriteFile(argv[2], [&](FILE* file) { return ULayoutFileWriter::WriteTrackLibraryFile(file, content); });
        code != kExitOk)
        return code;
    std::printf("wrote %s: library version %d, %zu elements, %zu translations\n", argv[2], document.header.version,
                document.elements.size(), document.header.version >= 3 ? document.header.translations.size() : 0);
    return kExitOk;
}

int Corpus(int argc, char** argv) {
    if (argc != 3) return UsageError();
    const std::filesystem::path root = argv[2];
    std::string error;
    const int records = ULayoutGen::WriteSeedCorpus(root / "element_record", error);
    const int layouts = records < 0 ? -1 : ULayoutGen::WriteLayoutSeedCorpus(root / "layout_file", error);
    const int libraries = layouts < 0 ? -1 : ULayoutGen::WriteLibrarySeedCorpus(root / "track_library", error);
    if (libraries < 0) {
        std::fprintf(stderr, "layoutgen: %s\n", error.c_str());
        return kExitCannotOpen;
    }
    std::printf("wrote %d element records, %d layout files and %d libraries under %s\n", records, layouts, libraries,
                argv[2]);
    return kExitOk;
}

int Records(int argc, char** argv) {
    tOptions options;
    if (argc < 3 || !ParseOptions(argc, argv, {"count", "seed", "version"}, false, options)) return UsageError();
    const std::uint64_t count = options.numbers.count("count") != 0 ? options.numbers["count"] : 100000;
    const std::uint64_t seed = options.numbers.count("seed") != 0 ? options.numbers["seed"] : 1;
    const std::uint64_t version =
        options.numbers.count("version") != 0 ? options.numbers["version"] : CCompositeGeometry::kNewestRecordVersion;
    if (version < CCompositeGeometry::kOldestRecordVersion || version > CCompositeGeometry::kNewestRecordVersion) {
        std::fprintf(stderr, "layoutgen: record versions are %d to %d\n", CCompositeGeometry::kOldestRecordVersion,
                     CCompositeGeometry::kNewestRecordVersion);
        return UsageError();
    }
    long size = 0;
    const int code = WriteFile(argv[2], [&](FILE* file) {
        const bool written = ULayoutGen::WriteRandomElementRecords(file, count, seed, static_cast<int>(version));
        size = std::ftell(file);
        return written;
    });
    if (code != kExitOk) return code;
    std::printf("wrote %llu element records (%ld bytes, version %d, seed %llu) to %s\n",
                static_cast<unsigned long long>(count), size, static_cast<int>(version),
                static_cast<unsigned long long>(seed), argv[2]);
    return kExitOk;
}

// Preferences in memory only, so that what generators read from them does
// not hang on the locale: dimensions show centimetres, and equal scenarios
// give equal files.
class CWriterPreferences : public PreferencesServiceBase {
public:
    CWriterPreferences() { SetInt("QLUnits", UMeasureUnits::kUnitTypeCentimeters); }
    std::string GetServiceName() const override { return PreferencesService::kServiceName; }
    bool Synchronize() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return UsageError();
    const std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") return Help();
    // Only the text measurement service and fixed preferences run here, so
    // that texts are placed by the box the reader will measure; the warnings
    // of the missing services would bury the program's own messages.
    CLogger::Instance().SetLevel(4);
    CServiceLocator::Instance().RegisterService(new VKMTextCalculationService());
    CServiceLocator::Instance().RegisterService(new CWriterPreferences());
    try {
        if (command == "layout") return Layout(argc, argv);
        if (command == "library") return Library(argc, argv);
        if (command == "corpus") return Corpus(argc, argv);
        if (command == "records") return Records(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "layoutgen: unexpected failure: %s\n",
                     UToolMessages::WithoutSignatures(error.what()).c_str());
        return kExitInternal;
    }
    std::fprintf(stderr, "layoutgen: unknown command %s\n", command.c_str());
    return UsageError();
}
