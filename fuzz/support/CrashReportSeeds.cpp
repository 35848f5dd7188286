// Writes the seed corpus of the crash report reader's fuzz target: reports
// packed by protobuf-c with the tests' report builder, each with another
// part present or left out.
//
//   crash_report_seeds <folder>

#include "tests/crashes/support/CrashReportFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using crashtest::Bytes;
using crashtest::FullReport;

std::vector<std::pair<std::string, std::function<void(FullReport&)>>> variants() {
    return {
        {"full", [](FullReport&) {}},
        {"arm64e", [](FullReport& r) { r.machineProcessor.subtype = 2; }},
        {"no-machine",
         [](FullReport& r) {
             r.report.machine_info = nullptr;
             r.system.architecture = TLCRASH__ARCHITECTURE__X86_64;
         }},
        {"no-optional-parts",
         [](FullReport& r) {
             r.report.process_info = nullptr;
             r.report.exception = nullptr;
             r.report.report_info = nullptr;
             r.report.has_custom_data = 0;
             r.signal.mach_exception = nullptr;
             r.system.os_build = nullptr;
             r.application.marketing_version = nullptr;
         }},
        {"exception-without-frames", [](FullReport& r) { r.exception.n_frames = 0; }},
        {"image-with-empty-uuid",
         [](FullReport& r) {
             r.images[0].uuid = {0, nullptr};
         }},
        {"many-codes",
         [](FullReport& r) {
             r.codes.assign(255, 0x10);
             r.mach.n_codes = r.codes.size();
             r.mach.codes = r.codes.data();
         }},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: crash_report_seeds <folder>\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    for (const auto& [name, change] : variants()) {
        FullReport report;
        change(report);
        const Bytes bytes = report.file();
        std::ofstream out(folder / (name + ".tlcrash"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
